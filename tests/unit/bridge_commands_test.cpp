// The Variable Report and About commands over recording platform fakes.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "bridge/about_command.hpp"
#include "bridge/variable_report_command.hpp"
#include "fake_scintilla.hpp"
#include "editor/editor.hpp"

namespace halvex {
namespace {

using testing::FakeScintilla;
using testing::LengthConvention;

// One platform call, in the order it was made.
struct Call {
    std::string what;  // "clipboard", "start" or "box"
    Text a, b, c;
    unsigned flags = 0;
    bool operator==(const Call&) const = default;
};

Call Clipboard(TextView text) { return {"clipboard", Text(text), {}, {}, 0}; }
Call Start(TextView program, TextView parameters, TextView directory) {
    return {"start", Text(program), Text(parameters), Text(directory), 0};
}
Call Box(TextView title, TextView text, unsigned flags) { return {"box", Text(title), Text(text), {}, flags}; }

void PrintTo(const Call& call, std::ostream* out) {
    *out << call.what << "(" << ToUtf8(call.a) << " | " << ToUtf8(call.b) << " | " << ToUtf8(call.c) << ")";
}

class BridgeCommandTest : public ::testing::TestWithParam<LengthConvention> {
   protected:
    Platform Recording() {
        Platform platform;
        platform.sendToEditor = [this](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
            return editor_.Handle(message, wParam, lParam);
        };
        platform.showMessageBox = [this](std::u16string_view title, std::u16string_view text, unsigned flags) {
            calls_.push_back(Box(title, text, flags));
            return 1;
        };
        platform.copyTextToClipboard = [this](std::u16string_view text) {
            calls_.push_back(Clipboard(text));
            return clipboardWorks_;
        };
        platform.startProgram = [this](std::u16string_view program, std::u16string_view parameters,
                                       std::u16string_view directory) {
            calls_.push_back(Start(program, parameters, directory));
            return false;
        };
        return platform;
    }

    void Report(std::string document, TextView exePath = u"C:\\Tools\\ide.exe", std::int64_t handle = 131844) {
        editor_ = FakeScintilla(std::move(document), GetParam());
        VariableReportCommand(Recording(), exePath, handle);
    }

    FakeScintilla editor_;
    std::vector<Call> calls_;
    bool clipboardWorks_ = true;
};

TEST_P(BridgeCommandTest, ClipboardFirstThenTheIdeWithHandleAndDirectory) {
    Report("SUB A\r\n  x = 1\r\nEND SUB\r\n");
    const std::vector<Call> want = {
        Clipboard(u"SUB A\r\n  x = 1\r\nEND SUB\r\n"),
        Start(u"C:\\Tools\\ide.exe", u"/npp 131844 /VariableReport", u"C:\\Tools\\"),
    };
    EXPECT_EQ(calls_, want);
    EXPECT_EQ(editor_.messages(), (std::vector<unsigned>{sci::kGetLength, sci::kGetText}));
    EXPECT_EQ(editor_.writes(), 0);
}

TEST_P(BridgeCommandTest, DocumentTextAsTheClipboardReceivesIt) {
    const struct {
        const char* name;
        std::string document;
        std::u16string_view want;
    } cases[] = {
        {"empty document", "", u""},
        {"NUL byte ends the text", std::string("abc\0def", 7), u"abc"},
        {"NUL byte first", std::string("\0abc", 4), u""},
        {"UTF-8", "caf\xC3\xA9 \xF0\x9F\x98\x80", u"caf\u00E9 \U0001F600"},
        {"single-byte code page", "caf\xE9 Gr\xFC\xDF\x65", u"caf\uFFFD Gr\uFFFD\uFFFDe"},
        {"line breaks unchanged", "a\r\nb\nc\rd", u"a\r\nb\nc\rd"},
    };
    for (const auto& c : cases) {
        calls_.clear();
        Report(c.document);
        ASSERT_EQ(calls_.size(), 2u) << c.name;
        EXPECT_EQ(calls_[0], Clipboard(c.want)) << c.name;
        EXPECT_EQ(calls_[1].what, "start") << c.name;
    }
}

TEST_P(BridgeCommandTest, ProgramGoesAsWrittenWithItsDirectoryPart) {
    const struct {
        std::u16string_view exePath, directory;
    } cases[] = {
        {u"\"C:\\Program Files\\IDE\\ide.exe\"", u"C:\\Program Files\\IDE\\"},
        {u"C:\\Program Files\\IDE\\ide.exe", u"C:\\Program Files\\IDE\\"},
        {u"D:/apps/ide.exe", u"D:/apps/"},
        {u"ide.exe", u""},
        {u"C:\\a|b\\ide.exe", u"C:\\"},
        {u"", u""},
    };
    for (const auto& c : cases) {
        calls_.clear();
        Report("x", c.exePath, -7);
        ASSERT_EQ(calls_.size(), 2u);
        EXPECT_EQ(calls_[1], Start(c.exePath, u"/npp -7 /VariableReport", c.directory));
    }
}

TEST_P(BridgeCommandTest, FailedClipboardStillStartsTheIdeAndNothingIsShown) {
    clipboardWorks_ = false;
    Report("x");
    ASSERT_EQ(calls_.size(), 2u);
    EXPECT_EQ(calls_[0].what, "clipboard");
    EXPECT_EQ(calls_[1].what, "start");  // and its failure shows nothing either
}

TEST_P(BridgeCommandTest, UnusableLengthDoesNothing) {
    for (const std::intptr_t length : {std::intptr_t{-1}, kMaxReportedDocument + 1, INTPTR_MAX}) {
        editor_ = FakeScintilla("x", GetParam());
        Platform platform = Recording();
        platform.sendToEditor = [&](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
            return message == sci::kGetLength ? length : editor_.Handle(message, wParam, lParam);
        };
        VariableReportCommand(platform, u"C:\\ide.exe", 1);
        EXPECT_TRUE(calls_.empty()) << length;
        EXPECT_EQ(editor_.messages(), std::vector<unsigned>{}) << "no text was fetched for " << length;
    }
}

TEST_P(BridgeCommandTest, ExceptionsStayInsideAndStopTheCommand) {
    editor_ = FakeScintilla("x", GetParam());
    Platform platform = Recording();
    platform.sendToEditor = [](unsigned message, std::uintptr_t, std::intptr_t) -> std::intptr_t {
        if (message == sci::kGetText) throw std::bad_alloc();
        return 1;
    };
    VariableReportCommand(platform, u"C:\\ide.exe", 1);
    EXPECT_TRUE(calls_.empty());

    platform = Recording();
    platform.copyTextToClipboard = [](std::u16string_view) -> bool { throw std::bad_alloc(); };
    VariableReportCommand(platform, u"C:\\ide.exe", 1);
    EXPECT_TRUE(calls_.empty()) << "the IDE is not started after a failure";

    VariableReportCommand(Platform{}, u"C:\\ide.exe", 1);  // no callables at all
}

INSTANTIATE_TEST_SUITE_P(BothLengthConventions, BridgeCommandTest,
                         ::testing::Values(LengthConvention::kCountsNul, LengthConvention::kExcludesNul),
                         [](const auto& info) {
                             return info.param == LengthConvention::kCountsNul ? std::string("CountsNul")
                                                                                 : std::string("ExcludesNul");
                         });

TEST(AboutText, Table) {
    const struct {
        std::u16string_view exePath;
        int number;
        std::int32_t date;
        std::u16string_view want;
    } cases[] = {
        {u"C:\\Tools\\ide.exe", 40, 1549652624, u"Build 40\n2019/02/08\nBrenvoPlus path:\nC:\\Tools\\ide.exe"},
        {u"", 40, 1549652624, u"Build 40\n2019/02/08\nBrenvoPlus path:\n"},
        {u"\"D:\\x y\\ide.exe\"", 1234, 0, u"Build 1234\n1970/01/01\nBrenvoPlus path:\n\"D:\\x y\\ide.exe\""},
        {u"ide.exe", -5, -1, u"Build -5\n1969/12/31\nBrenvoPlus path:\nide.exe"},
    };
    for (const auto& c : cases) EXPECT_EQ(AboutText(c.exePath, c.number, c.date), c.want);
}

TEST(AboutCommand, OneBoxWithTheBuildValues) {
    std::vector<Call> calls;
    Platform platform;
    platform.showMessageBox = [&](std::u16string_view title, std::u16string_view text, unsigned flags) {
        calls.push_back(Box(title, text, flags));
        return 1;
    };
    AboutCommand(platform, u"C:\\Tools\\ide.exe");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].b, AboutText(u"C:\\Tools\\ide.exe", buildNumber, buildDate));
    EXPECT_EQ(calls[0].a, u"Brenvo Plus");
    EXPECT_EQ(calls[0].flags, 0u);
    if (buildNumber != 40 || buildDate != 1549652624) GTEST_SKIP() << "built with other build values";
    EXPECT_EQ(calls[0].b, u"Build 40\n2019/02/08\nBrenvoPlus path:\nC:\\Tools\\ide.exe");
}

TEST(AboutCommand, ExceptionStaysInside) {
    Platform platform;
    platform.showMessageBox = [](std::u16string_view, std::u16string_view, unsigned) -> int {
        throw std::bad_alloc();
    };
    AboutCommand(platform, u"x");
    AboutCommand(Platform{}, u"x");
}

}  // namespace
}  // namespace halvex
