#pragma once
// Watches for message boxes shown on the calling thread, records what they
// show and closes each one with its OK button, so that programs that show
// boxes can run unattended.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace halvex::testing {

struct SeenBox {
    std::wstring title;
    std::wstring text;
    bool hasOk = false;
    bool hasCancel = false;
    bool hasIcon = false;
    HWND owner = nullptr;
};

class BoxWatcher {
   public:
    // `whileOpen` runs while each box is open, before it is closed.
    explicit BoxWatcher(std::function<void(HWND box)> whileOpen = {});
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    const std::vector<SeenBox>& boxes() const { return boxes_; }

   private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    void OnActivate(HWND window);

    HHOOK hook_ = nullptr;
    std::function<void(HWND)> whileOpen_;
    std::vector<SeenBox> boxes_;
    std::vector<HWND> handled_;
};

}  // namespace halvex::testing
