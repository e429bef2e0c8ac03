#include "shell/platform_win32.hpp"

#include "bridge/clipboard_win32.hpp"
#include "bridge/start_program_win32.hpp"
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

constexpr UINT kSciGetDirectFunction = 2184;
constexpr UINT kSciGetDirectPointer = 2185;

using ScintillaDirectFunction = std::intptr_t (*)(std::intptr_t view, unsigned message, std::uintptr_t wParam,
                                                  std::intptr_t lParam);

// Messages to the view go through Scintilla's direct function where it
// offers one: the same handling without a trip through the window system,
// which under Wine makes every message cost round trips to its server (about
// half the time of a Format that writes back scattered lines). Commands run
// on the view's own thread, as the direct function requires. A window without
// one gets window messages.
SendToEditor SendToView(HWND view) {
    const auto function = reinterpret_cast<ScintillaDirectFunction>(SendMessageW(view, kSciGetDirectFunction, 0, 0));
    const auto pointer = static_cast<std::intptr_t>(SendMessageW(view, kSciGetDirectPointer, 0, 0));
    if (function != nullptr && pointer != 0) {
        return [function, pointer](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
            return function(pointer, message, wParam, lParam);
        };
    }
    return [view](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
        return static_cast<std::intptr_t>(SendMessageW(view, message, wParam, lParam));
    };
}

}  // namespace

Platform Win32Platform(HWND mainView) {
    Platform platform;
    platform.sendToEditor = SendToView(mainView);
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
