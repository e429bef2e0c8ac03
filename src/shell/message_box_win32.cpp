#include "shell/message_box_win32.hpp"

#include <windows.h>

#include <string>
#include <vector>

namespace halvex {
namespace {

// A window that the box keeps out of the way while it is open.
struct HeldWindow {
    HWND window;
    bool wasTopmost;
    bool disabledByUs;
};

struct Enumeration {
    HWND foreground;
    DWORD threadId;
    std::vector<HeldWindow>* held;
};

BOOL CALLBACK HoldWindow(HWND window, LPARAM context) noexcept {
    auto& enumeration = *reinterpret_cast<Enumeration*>(context);
    if (GetWindowThreadProcessId(window, nullptr) != enumeration.threadId || !IsWindowVisible(window)) return TRUE;
    const bool topmost = (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    const bool disable = window != enumeration.foreground && IsWindowEnabled(window);
    try {
        enumeration.held->push_back({window, topmost, disable});
    } catch (...) {
        return TRUE;  // out of memory: leave this window as it is
    }
    if (disable) EnableWindow(window, FALSE);
    return TRUE;
}

HWND OwnerWindow(HWND foreground) {
    if (foreground == nullptr) return nullptr;
    DWORD processId = 0;
    GetWindowThreadProcessId(foreground, &processId);
    return processId == GetCurrentProcessId() ? foreground : nullptr;
}

void SetTopmost(HWND window, bool topmost) {
    SetWindowPos(window, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
}

}  // namespace

int ShowMessageBox(std::u16string_view title, std::u16string_view text, unsigned flags) noexcept {
    try {
        const std::wstring titleText(title.begin(), title.end());
        const std::wstring messageText(text.begin(), text.end());
        const HWND foreground = GetForegroundWindow();
        const HWND owner = OwnerWindow(foreground);

        // The windows are held in a list of this call's own, so that a box
        // shown while another is open restores only what it changed.
        std::vector<HeldWindow> held;
        Enumeration enumeration{foreground, GetCurrentThreadId(), &held};
        EnumWindows(HoldWindow, reinterpret_cast<LPARAM>(&enumeration));
        for (const HeldWindow& entry : held) {
            if (entry.wasTopmost) SetTopmost(entry.window, false);
        }

        const int result = MessageBoxW(owner, messageText.c_str(), titleText.c_str(), flags);

        for (const HeldWindow& entry : held) {
            if (entry.disabledByUs) EnableWindow(entry.window, TRUE);
            if (entry.wasTopmost) SetTopmost(entry.window, true);
        }
        return result;
    } catch (...) {
        return 0;
    }
}

}  // namespace halvex
