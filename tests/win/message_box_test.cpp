// ShowMessageBox with real windows: what reaches the box, and what happens to
// the calling thread's other windows while it is open.
#include <gtest/gtest.h>
#include <windows.h>

#include "box_watcher_win32.hpp"
#include "shell/message_box_win32.hpp"

namespace halvex {
namespace {

using testing::BoxWatcher;

struct WindowState {
    bool enabled;
    bool topmost;
};

WindowState StateOf(HWND window) {
    return {IsWindowEnabled(window) != FALSE, (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0};
}

class MessageBoxTest : public ::testing::Test {
   protected:
    HWND MakeWindow(DWORD exStyle, bool visible) {
        const HWND window = CreateWindowExW(exStyle, L"STATIC", L"test window", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100,
                                            nullptr, nullptr, nullptr, nullptr);
        if (visible) ShowWindow(window, SW_SHOWNOACTIVATE);
        windows_.push_back(window);
        return window;
    }
    void TearDown() override {
        for (HWND window : windows_) DestroyWindow(window);
    }
    std::vector<HWND> windows_;
};

TEST_F(MessageBoxTest, TitleTextAndFlagsReachTheBox) {
    BoxWatcher watcher;
    EXPECT_EQ(ShowMessageBox(u"OOPS!", u"Format error in:\nSUB Show(n)", MB_OK), IDOK);
    EXPECT_EQ(ShowMessageBox(u"Other", u"caf\u00E9", MB_OKCANCEL | MB_ICONERROR), IDOK);
    ASSERT_EQ(watcher.boxes().size(), 2u);
    EXPECT_EQ(watcher.boxes()[0].title, L"OOPS!");
    EXPECT_EQ(watcher.boxes()[0].text, L"Format error in:\nSUB Show(n)");
    EXPECT_TRUE(watcher.boxes()[0].hasOk);
    EXPECT_FALSE(watcher.boxes()[0].hasCancel);
    EXPECT_FALSE(watcher.boxes()[0].hasIcon);
    EXPECT_EQ(watcher.boxes()[1].text, L"caf\u00E9");
    EXPECT_TRUE(watcher.boxes()[1].hasCancel);
    EXPECT_TRUE(watcher.boxes()[1].hasIcon);
}

TEST_F(MessageBoxTest, OtherWindowsAreHeldWhileTheBoxIsOpenAndRestoredAfter) {
    const HWND main = MakeWindow(0, true);
    const HWND tool = MakeWindow(0, true);
    const HWND topmost = MakeWindow(WS_EX_TOPMOST, true);
    const HWND disabled = MakeWindow(0, true);
    EnableWindow(disabled, FALSE);
    const HWND hidden = MakeWindow(WS_EX_TOPMOST, false);
    SetForegroundWindow(main);
    const HWND foreground = GetForegroundWindow();
    ASSERT_EQ(foreground, main);

    std::vector<std::pair<HWND, WindowState>> whileOpen;
    HWND owner = nullptr;
    BoxWatcher watcher([&](HWND box) {
        owner = GetWindow(box, GW_OWNER);
        for (HWND window : windows_) whileOpen.emplace_back(window, StateOf(window));
    });
    ShowMessageBox(u"t", u"m", 0);

    ASSERT_EQ(whileOpen.size(), windows_.size());
    for (const auto& [window, state] : whileOpen) {
        if (window == foreground) {
            // It owns the box, so the box's own modal loop holds it.
            EXPECT_EQ(owner, foreground);
        } else if (window == hidden) {
            EXPECT_TRUE(state.enabled) << "an invisible window is untouched";
            EXPECT_TRUE(state.topmost) << "an invisible window keeps its top-most place";
        } else {
            EXPECT_FALSE(state.enabled);
        }
        if (window == topmost) {
            EXPECT_FALSE(state.topmost) << "leaves the top-most band while the box is open";
        }
    }

    EXPECT_TRUE(StateOf(main).enabled);
    EXPECT_TRUE(StateOf(tool).enabled);
    EXPECT_TRUE(StateOf(topmost).enabled);
    EXPECT_TRUE(StateOf(topmost).topmost) << "regains the top-most band";
    EXPECT_FALSE(StateOf(disabled).enabled) << "an already disabled window stays disabled";
    EXPECT_TRUE(StateOf(hidden).topmost);
}

}  // namespace
}  // namespace halvex
