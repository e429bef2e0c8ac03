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

}  // namespace

Platform Win32Platform(HWND mainView) {
    Platform platform;
    platform.sendToEditor = [mainView](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
        return static_cast<std::intptr_t>(SendMessageW(mainView, message, wParam, lParam));
    };
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
