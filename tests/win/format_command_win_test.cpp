// The Format command sending real window messages (SendMessageW) to a window
// that answers them as Scintilla does, and showing its box for real.
#include <gtest/gtest.h>
#include <windows.h>

#include "box_watcher_win32.hpp"
#include "fake_scintilla_window_win32.hpp"
#include "formatter/format_command.hpp"
#include "shell/message_box_win32.hpp"

namespace halvex {
namespace {

using testing::FakeScintilla;
using testing::LengthConvention;

Platform WindowPlatform(HWND view) {
    Platform platform;
    platform.sendToEditor = [view](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
        return static_cast<std::intptr_t>(SendMessageW(view, message, wParam, lParam));
    };
    platform.showMessageBox = ShowMessageBox;
    return platform;
}

TEST(FormatCommandWin32, FormatsThroughWindowMessagesInBothConventions) {
    for (const LengthConvention convention : {LengthConvention::kCountsNul, LengthConvention::kExcludesNul}) {
        FakeScintilla model("SUB Show(n)\nDO\nEND SUB\r\nx = 1", convention);
        model.SetSelection(14, 14);
        const HWND view = testing::CreateFakeScintillaWindow(model);
        FormatterState state;
        testing::BoxWatcher watcher;
        FormatCommand(WindowPlatform(view), {}, state);
        DestroyWindow(view);

        EXPECT_EQ(model.document(), "SUB Show(n)\r\n  DO\r\nEND SUB\r\n    x = 1");
        EXPECT_EQ(model.caret(), 13);
        ASSERT_EQ(watcher.boxes().size(), 1u);
        EXPECT_EQ(watcher.boxes()[0].title, L"OOPS!");
        EXPECT_EQ(watcher.boxes()[0].text, L"Format error in:\nSUB Show(n)");
        EXPECT_FALSE(watcher.boxes()[0].hasCancel);
    }
}

TEST(FormatCommandWin32, SelectionIsWidenedToWholeLines) {
    FakeScintilla model("a\r\nb\r\nc\r\n");
    model.SetSelection(4, 5);
    const HWND view = testing::CreateFakeScintillaWindow(model);
    FormatterState state;
    FormatCommand(WindowPlatform(view), {}, state);
    DestroyWindow(view);
    EXPECT_EQ(model.document(), "a\r\n  b\r\nc\r\n");
}

}  // namespace
}  // namespace halvex
