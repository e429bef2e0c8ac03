// The settings file reader, the shortcut grammar and the start-up lookup.
#include "shell/settings.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace halvex {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using namespace std::string_view_literals;

std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

TEST(ShortcutGrammar, TableOfShortcutTexts) {
    struct Case { std::u16string_view text; ShortcutFields want; };
    for (const Case& c : {
             Case{u"alt 121", {0, 1, 0, 121}},
             Case{u"ctrl+shft 70", {1, 0, 1, 70}},
             Case{u"altctrl 65", {1, 1, 0, 65}},
             Case{u"ctrl alt 65", {1, 1, 0, 0}},  // the second field is "alt"
             Case{u"Alt 121", {0, 0, 0, 121}},
             Case{u"shift 121", {0, 0, 0, 121}},
             Case{u"alt $79", {0, 1, 0, 121}},
             Case{u"alt %1111001", {0, 1, 0, 121}},
             Case{u"alt 377", {0, 1, 0, 121}},
             Case{u"alt -1", {0, 1, 0, 255}},
             Case{u"alt  121", {0, 1, 0, 0}},
             Case{u"121", {0, 0, 0, 0}},
             Case{u"", {0, 0, 0, 0}},
         }) {
        EXPECT_EQ(parseShortcut(c.text), c.want) << Narrow(c.text);
    }
}

TEST(ShortcutGrammar, KeyCodeStopsAtTheFirstNonDigitAndKeepsTheLowEightBits) {
    struct Case { std::u16string_view text; std::uint8_t keyCode; };
    for (const Case& c : {
             Case{u"alt $7a", 122}, Case{u"alt $7A;", 122}, Case{u"alt $", 0}, Case{u"alt $g1", 0},
             Case{u"alt %102", 2}, Case{u"alt -%1", 255}, Case{u"alt -$1", 255}, Case{u"alt +65", 65},
             Case{u"alt --65", 0}, Case{u"alt \t65x", 65}, Case{u"alt \t 65", 0}, Case{u"alt 65 66", 65}, Case{u"alt\t65", 0},
             Case{u"alt 18446744073709551617", 1},          // 2^64 + 1
             Case{u"alt 99999999999999999999999999", 255},  // far beyond 64 bits
             Case{u"alt $FFFFFFFFFFFFFFFFFFFFFF7A", 122},
         }) {
        EXPECT_EQ(parseShortcut(c.text).keyCode, c.keyCode) << Narrow(c.text);
    }
}

// Looks the key up in a file of `bytes`.
Text Lookup(const std::string& bytes, std::u16string_view key, std::u16string_view fallback = u"<default>") {
    SettingsFile file;
    file.parse(bytes);
    return file.readString(key, fallback);
}

TEST(SettingsLookup, KeysValuesCommentsAndGroups) {
    struct Case { const char* name; std::string file; std::u16string_view want; };
    for (const Case& c : {
             Case{"plain", "Exe Path = C:\\ide.exe\r\n", u"C:\\ide.exe"},
             Case{"ascii case ignored", "exe path=C:\\a\r\n", u"C:\\a"},
             Case{"inner space matters", "ExePath=C:\\a\r\n", u"<default>"},
             Case{"indented key, blanks around =", "  \tEXE PATH \t=\t C:\\a\r\n", u"C:\\a"},
             Case{"trailing blanks trimmed", "Exe Path=C:\\a b \t \r\n", u"C:\\a b"},
             Case{"empty value", "Exe Path=\r\nExe Path=C:\\a\r\n", u""},
             Case{"first match wins", "Exe Path=first\r\nexe path=second\r\n", u"first"},
             Case{"comment ignored", "; Exe Path = C:\\old\r\n  ;Exe Path=x\r\n", u"<default>"},
             Case{"comment then setting", ";Exe Path=x\r\nExe Path=y\r\n", u"y"},
             Case{"no end-of-line comment", "Exe Path=C:\\a ; note\r\n", u"C:\\a ; note"},
             Case{"no quoting", "Exe Path=\"C:\\a\"=b\r\n", u"\"C:\\a\"=b"},
             Case{"below a group header", "[Brenvo]\r\nExe Path=C:\\a\r\n", u"<default>"},
             Case{"above a group header", "Exe Path=a\r\n[G]\r\nExe Path=b\r\n", u"a"},
             Case{"blank lines skipped", "\r\n \t \r\n\r\nExe Path=a", u"a"},
             Case{"NUL kept in the value", "Exe Path=a\0b"s, u"a\0b"sv},
         }) {
        EXPECT_EQ(Lookup(c.file, u"Exe Path"), c.want) << c.name;
    }
    EXPECT_EQ(Lookup("\xC9=1\r\n", u"\u00E9"), u"<default>");  // only ASCII letters fold
}

TEST(SettingsLookup, IntegersTakeLeadingDigitsAndSaturate) {
    struct Case { std::string value; std::int32_t want; };
    for (const Case& c : {
             Case{"3", 3}, Case{"3abc", 3}, Case{"$10", 0}, Case{"", 0}, Case{"abc", 0}, Case{"-7", -7},
             Case{"+7", 7}, Case{"- 7", 0}, Case{"0012 \t", 12}, Case{"1 2", 1},
             Case{"2147483647", INT32_MAX}, Case{"2147483648", INT32_MAX}, Case{"-2147483648", INT32_MIN},
             Case{"-2147483649", INT32_MIN}, Case{"99999999999999999999999", INT32_MAX},
             Case{"-99999999999999999999999", INT32_MIN},
         }) {
        SettingsFile file;
        file.parse("Indent = " + c.value + "\n");
        EXPECT_EQ(file.readInteger(u"Indent", 1), c.want) << c.value;
        EXPECT_EQ(file.readInteger(u"Tab size", 2), 2);
    }
}

// A line without "=" is a key with an empty value, whatever the line ends.
TEST(SettingsLookup, StrayLineNeverSwallowsTheNextLine) {
    for (const std::string eol : {"\n", "\r", "\r\n", "\r\r\n\n"}) {
        SettingsFile file;
        file.parse("Stray text \t" + eol + "Exe Path=C:\\ide" + eol + "Indent=4");
        EXPECT_EQ(file.readString(u"Exe Path", u""), u"C:\\ide");
        EXPECT_EQ(file.readInteger(u"Indent", 1), 4);
        EXPECT_EQ(file.readString(u"stray TEXT", u"<default>"), u"");
    }
}

// Real files in a folder of the test's own; the lookup names point into it.
class SettingsFileTest : public ::testing::Test {
   protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("halvex-settings-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return (dir_ / name).string();
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

TEST_F(SettingsFileTest, OnlyTheFirstFileThatOpensIsRead) {
    Write("second.inf", "Indent=7\r\nExe Path=second\r\n");
    Write("third.inf", "Indent=8\r\n");
    struct Case { const char* name; bool directory; const char* first; int indent; std::u16string_view exePath; };
    for (const Case& c : {Case{"both present", false, "Indent=5\r\n", 5, u""},
                          Case{"first empty", false, "", 1, u""},
                          Case{"first missing", false, nullptr, 7, u"second"},
                          Case{"first a directory", true, nullptr, 7, u"second"}}) {
        fs::remove_all(Path("first.inf"));
        if (c.directory) fs::create_directory(Path("first.inf"));
        if (c.first != nullptr) Write("first.inf", c.first);
        const SettingsValues got = LoadSettings({Path("first.inf"), Path("second.inf"), Path("third.inf")});
        EXPECT_EQ(got.baseIndentLevel, c.indent) << c.name;
        EXPECT_EQ(got.exePath, c.exePath) << c.name;
    }
    EXPECT_EQ(LoadSettings({Path("missing.inf"), Path("first.inf"), Path("third.inf")}).baseIndentLevel, 8)
        << "every candidate that cannot be opened is passed over";
}

TEST_F(SettingsFileTest, NoFileGivesEveryDefaultAndWritesNothing) {
    const SettingsValues got = LoadSettings({Path("a.inf"), Path("b.inf")});
    EXPECT_EQ(LoadSettings({}).vrShortcutKey, got.vrShortcutKey);
    EXPECT_EQ(got.exePath, u"");
    EXPECT_EQ(got.baseIndentLevel, 1);
    EXPECT_EQ(got.suppressFormatError, 0);
    EXPECT_EQ(got.vrShortcutKey, (ShortcutFields{0, 1, 0, 121}));
    EXPECT_EQ(got.formatShortcutKey, (ShortcutFields{0, 1, 0, 122}));
    EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(SettingsFileTest, EveryKeyIsRead) {
    const SettingsValues got = LoadSettings(
        {Write("Halvex.inf", "\xEF\xBB\xBF" "exe path=C:\\Br\xC3\xA9nvo\\ide.exe \r\nVR Shortcut=ctrl+alt $46\r\n"
                             "Format Shortcut=\r\nINDENT=0\r\nSuppress format error=1\r\n")});
    EXPECT_EQ(got.exePath, u"C:\\Br\u00E9nvo\\ide.exe");
    EXPECT_EQ(got.vrShortcutKey, (ShortcutFields{1, 1, 0, 70}));
    EXPECT_EQ(got.formatShortcutKey, (ShortcutFields{0, 0, 0, 0}));  // present but empty
    const FormatSettings format = FormatSettingsFrom(got);
    EXPECT_EQ(format.baseIndentLevel, 0);
    EXPECT_EQ(format.suppressFormatError, 1);
}

TEST_F(SettingsFileTest, OptInFormatKeysAreOnForAnyNumberButZero) {
    const auto read = [&](const std::string& file) {
        return FormatSettingsFrom(LoadSettings({Write("s.inf", file)}));
    };
    EXPECT_TRUE(read("trim TABS = -3abc\r\n").trimTabs);
    EXPECT_TRUE(read("Selection context=1").selectionContext);
    EXPECT_TRUE(read("blank LINES=2").blankLinesEmpty);
    const FormatSettings off = read("Trim tabs=0\r\nSelection context=x\r\nBlank lines=0\r\n");
    EXPECT_FALSE(off.trimTabs || off.selectionContext || off.blankLinesEmpty || read("").trimTabs ||
                 read("").selectionContext || read("").blankLinesEmpty);
    const FormatSettings style = read("Indent width=4\r\nUse tabs=-1\r\n");
    EXPECT_EQ(std::tuple(style.indentWidth, style.useTabs, read("").indentWidth, read("").useTabs),
              std::tuple(4, -1, 2, 0));
    const SettingsValues typing = LoadSettings({Write("t.inf", "Indent while typing=1\r\nFormat on save=1\r\n")});
    EXPECT_EQ(typing.indentWhileTyping + typing.formatOnSave, 2);
    EXPECT_EQ(LoadSettings({}).indentWhileTyping + LoadSettings({}).formatOnSave, 0);
    // The sample that the release zip carries turns "Trim tabs", "Blank
    // lines" and "Indent while typing" on, and leaves the rest at the defaults.
    const SettingsValues s = LoadSettings({HALVEX_TEST_DATA_DIR "/../../examples/Halvex.inf"});
    EXPECT_EQ(std::tuple(s.trimTabs, s.blankLines, s.indentWhileTyping, s.indentWidth, s.useTabs, s.formatOnSave),
              std::tuple(1, 1, 1, 2, 0, 0));
}

TEST_F(SettingsFileTest, LatinOneAndUtf8WithMarkGiveTheSameText) {
    SettingsFile latin, utf8;
    ASSERT_TRUE(latin.open(Write("latin.inf", "Exe Path=caf\xE9\r\n")));
    ASSERT_TRUE(utf8.open(Write("utf8.inf", "\xEF\xBB\xBF" "Exe Path=caf\xC3\xA9\r\n")));
    EXPECT_EQ(latin.readString(u"Exe Path", u""), u"caf\u00E9");
    EXPECT_EQ(utf8.readString(u"Exe Path", u""), u"caf\u00E9");
    // Without the mark, UTF-8 bytes are two characters; broken UTF-8 after it is U+FFFD.
    EXPECT_EQ(Lookup("Exe Path=caf\xC3\xA9", u"Exe Path"), u"caf\u00C3\u00A9");
    EXPECT_EQ(Lookup("\xEF\xBB\xBF" "Exe Path=caf\xE9", u"Exe Path"), u"caf\uFFFD");
    EXPECT_EQ(Lookup("\xEF\xBB" "Exe Path=x", u"Exe Path"), u"<default>");  // no full mark: part of the key
}

TEST_F(SettingsFileTest, FailedOpenAndCloseLeaveOnlyDefaults) {
    SettingsFile file;
    ASSERT_TRUE(file.open(Write("s.inf", "Indent=5\n")));
    EXPECT_FALSE(file.open(Path("missing.inf")));
    EXPECT_EQ(file.readInteger(u"Indent", 1), 1);
    ASSERT_TRUE(file.open(Path("s.inf")));
    file.close();
    EXPECT_EQ(file.readInteger(u"Indent", 1), 1);
}

TEST_F(SettingsFileTest, AnyContentIsReadWithoutACrash) {
    std::string everyByte;
    for (int round = 0; round < 64; ++round) {
        for (int b = 0; b < 256; ++b) everyByte.push_back(static_cast<char>(b));
    }
    const std::string manyLines = [] {
        std::string s;
        for (int i = 0; i < 200000; ++i) s += "; comment line\r\nKey" + std::to_string(i) + "=v\r\n";
        return s + "Indent=9\r\n";
    }();
    struct Case { const char* name; std::string bytes; std::int32_t indent; std::size_t exePathSize; };
    for (const Case& c : {Case{"every byte", everyByte, 1, 0},
                          Case{"NULs only", std::string(1 << 20, '\0'), 1, 0},
                          Case{"UTF-16 with its mark", "\xFF\xFEI\0n\0d\0e\0n\0t\0=\0003\0"s, 1, 0},
                          Case{"many lines", manyLines, 9, 0},
                          Case{"one long line", "Exe Path=" + std::string(8 << 20, 'a'), 1, 8 << 20},
                          Case{"mark then binary", "\xEF\xBB\xBF" + everyByte, 1, 0}}) {
        SettingsFile file;
        ASSERT_TRUE(file.open(Write("s.inf", c.bytes))) << c.name;
        EXPECT_EQ(file.readInteger(u"Indent", 1), c.indent) << c.name;
        EXPECT_EQ(file.readString(u"Exe Path", u"").size(), c.exePathSize) << c.name;
    }
}

}  // namespace
}  // namespace halvex
