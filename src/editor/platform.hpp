#pragma once
// What the commands need from the platform, as plain callables: the DLL binds
// them to Win32 (SendMessageW to the main view, the message box, the
// clipboard, process start, CharLowerBuffW, WM_SETREDRAW); tests bind them to
// recording fakes.

#include <cstdint>
#include <functional>
#include <string_view>

#include "text/lower_case.hpp"

namespace halvex {

using SendToEditor = std::function<std::intptr_t(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)>;
// Turns the main view's redrawing off (false) or back on (true); back on, the
// view is repainted whole, scroll bars included. May be empty: there is no
// window to spare the redrawing of.
using SetViewRedraw = std::function<void(bool redraw)>;

struct Platform {
    SendToEditor sendToEditor;
    SetViewRedraw setViewRedraw;
    // Shows a modal box and returns the id of the button that closed it.
    std::function<int(std::u16string_view title, std::u16string_view text, unsigned flags)> showMessageBox;
    // Puts the text on the clipboard; false when that failed.
    std::function<bool(std::u16string_view text)> copyTextToClipboard;
    // Starts the program without waiting for it; false when that failed.
    std::function<bool(std::u16string_view program, std::u16string_view parameters, std::u16string_view directory)>
        startProgram;
    // The platform's lower-case mapping, as far as the formatter can see it.
    LowerCaseFolds lowerCaseFolds;
};

}  // namespace halvex
