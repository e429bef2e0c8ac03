#include "shell/platform_win32.hpp"

#include "bridge/clipboard_win32.hpp"
#include "bridge/start_program_win32.hpp"
#include "editor/editor.hpp"
#include "shell/message_box_win32.hpp"

namespace halvex {
namespace {

// The characters that CharLowerBuffW lowers into ASCII, found once per
// process on first use (not at load: the loader lock is held there).
const LowerCaseFolds& PlatformLowerCaseFolds() {
    static const LowerCaseFolds folds = LowerCaseFolds::FromMapping([](char32_t c) {
        wchar_t unit = static_cast<wchar_t>(c);
        CharLowerBuffW(&unit, 1);
        return static_cast<char32_t>(unit);
    });
    return folds;
}

// Scintilla's direct function: the editor's own message handler, called
// without a window message (which costs microseconds under Wine, and Format
// sends two per changed run). The commands run on the editor's thread, so
// calling it is safe. Only in 64-bit builds, where every function has the
// same calling convention; elsewhere, and for an editor that offers none,
// messages go through SendMessageW.
SendToEditor EditorSender(HWND view) {
#if defined(_WIN64)
    using DirectFunction = std::intptr_t (*)(std::intptr_t, unsigned, std::uintptr_t, std::intptr_t);
    const auto direct = reinterpret_cast<DirectFunction>(SendMessageW(view, sci::kGetDirectFunction, 0, 0));
    const auto pointer = static_cast<std::intptr_t>(SendMessageW(view, sci::kGetDirectPointer, 0, 0));
    if (direct != nullptr && pointer != 0) {
        return [direct, pointer](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
            return direct(pointer, message, wParam, lParam);
        };
    }
#endif
    return [view](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
        return static_cast<std::intptr_t>(SendMessageW(view, message, wParam, lParam));
    };
}

// WM_SETREDRAW FALSE leaves the view as last drawn while Scintilla changes
// it, scroll bars included; TRUE alone does not repaint it, so the whole
// window, its frame (where the scroll bars are) with it, is invalidated, to
// be painted by the next pass of the message loop as after any edit.
SetViewRedraw ViewRedrawSwitch(HWND view) {
    return [view](bool redraw) {
        SendMessageW(view, WM_SETREDRAW, redraw ? TRUE : FALSE, 0);
        if (redraw) RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    };
}

}  // namespace

Platform Win32Platform(HWND mainView) {
    Platform platform;
    platform.sendToEditor = EditorSender(mainView);
    platform.setViewRedraw = ViewRedrawSwitch(mainView);
    platform.showMessageBox = ShowMessageBox;
    platform.copyTextToClipboard = [](std::u16string_view text) { return CopyTextToClipboard(text) != 0; };
    platform.startProgram = [](std::u16string_view program, std::u16string_view parameters,
                               std::u16string_view directory) {
        return StartProgram(program, parameters, directory) != 0;
    };
    platform.lowerCaseFolds = PlatformLowerCaseFolds();
    return platform;
}

}  // namespace halvex
