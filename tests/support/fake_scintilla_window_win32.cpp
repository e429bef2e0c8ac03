#include "fake_scintilla_window_win32.hpp"

#include "editor/editor.hpp"

namespace halvex::testing {
namespace {

constexpr wchar_t kClassName[] = L"HalvexFakeScintilla";

// What SCI_GETDIRECTFUNCTION hands out: a call straight into the model that
// SCI_GETDIRECTPOINTER names, without a window message.
std::intptr_t DirectFunction(std::intptr_t model, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    return reinterpret_cast<FakeScintilla*>(model)->Handle(message, wParam, lParam);
}

LRESULT CALLBACK FakeScintillaProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* model = reinterpret_cast<FakeScintilla*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (model == nullptr || message < 2000 || message >= 3000) return DefWindowProcW(window, message, wParam, lParam);
    if (message == sci::kGetDirectFunction) return reinterpret_cast<LRESULT>(&DirectFunction);
    if (message == sci::kGetDirectPointer) return reinterpret_cast<LRESULT>(model);
    return model->Handle(message, wParam, lParam);
}

void RegisterClassOnce() {
    static const bool registered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = FakeScintillaProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        return RegisterClassW(&windowClass) != 0;
    }();
    (void)registered;
}

}  // namespace

HWND CreateFakeScintillaWindow(FakeScintilla& model, HWND parent) {
    RegisterClassOnce();
    const DWORD style = parent != nullptr ? WS_CHILD : WS_OVERLAPPED;
    return CreateWindowExW(0, kClassName, L"", style, 0, 0, 100, 100, parent, nullptr, GetModuleHandleW(nullptr),
                           &model);
}

}  // namespace halvex::testing
