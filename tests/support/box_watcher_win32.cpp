#include "box_watcher_win32.hpp"

#include <algorithm>

namespace halvex::testing {
namespace {

thread_local BoxWatcher* activeWatcher = nullptr;

// The message box's static text control, on Windows and in Wine.
constexpr int kTextControlId = 0xFFFF;
// Its icon control: 0x14 on Windows, 0x440 in Wine.
constexpr int kIconControlIds[] = {0x14, 0x440};

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool IsDialog(HWND window) {
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    return std::wstring_view(className) == L"#32770";
}

bool HasVisibleIcon(HWND box) {
    for (const int id : kIconControlIds) {
        const HWND icon = GetDlgItem(box, id);
        if (icon != nullptr && SendMessageW(icon, STM_GETICON, 0, 0) != 0) return true;
    }
    return false;
}

}  // namespace

BoxWatcher::BoxWatcher(std::function<void(HWND)> whileOpen) : whileOpen_(std::move(whileOpen)) {
    activeWatcher = this;
    hook_ = SetWindowsHookExW(WH_CBT, HookProc, nullptr, GetCurrentThreadId());
}

BoxWatcher::~BoxWatcher() {
    UnhookWindowsHookEx(hook_);
    activeWatcher = nullptr;
}

LRESULT CALLBACK BoxWatcher::HookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && activeWatcher != nullptr) activeWatcher->OnActivate(reinterpret_cast<HWND>(wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void BoxWatcher::OnActivate(HWND window) {
    if (!IsDialog(window) || std::find(handled_.begin(), handled_.end(), window) != handled_.end()) return;
    handled_.push_back(window);
    SeenBox box;
    box.title = WindowText(window);
    box.text = WindowText(GetDlgItem(window, kTextControlId));
    box.hasOk = GetDlgItem(window, IDOK) != nullptr;
    box.hasCancel = GetDlgItem(window, IDCANCEL) != nullptr;
    box.hasIcon = HasVisibleIcon(window);
    box.owner = GetWindow(window, GW_OWNER);
    boxes_.push_back(box);
    if (whileOpen_) whileOpen_(window);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK)));
}

}  // namespace halvex::testing
