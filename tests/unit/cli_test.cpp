// halvex-format as a user runs it: the real binary, real files, exit codes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fake_scintilla.hpp"
#include "formatter/format_command.hpp"

namespace halvex {
namespace {

namespace fs = std::filesystem;

struct Result {
    int status;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
   protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("halvex-cli-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return dir_ / name;
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

    // Runs halvex-format with `args` in the test's folder, `input` on stdin.
    Result Run(const std::string& args, const std::string& input = "") {
        Write("stdin", input);
        const std::string command = "cd '" + dir_.string() + "' && '" HALVEX_FORMAT_EXE "' " + args +
                                    " <stdin >stdout 2>stderr";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Read(dir_ / "stdout"), Read(dir_ / "stderr")};
    }

    fs::path dir_;
};

TEST_F(CliTest, StdinToStdout) {
    for (const std::string args : {"", "-"}) {
        const Result r = Run(args, "FOR i = 1 TO 2\nx = i\nNEXT\n");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "  FOR i = 1 TO 2\r\n    x = i\r\n  NEXT\r\n");
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(CliTest, OutputIsWhatTheCommandWritesForTheWholeDocument) {
    const std::string source = "SUB A\n  FOR i = 1 TO 2   \r\nx\rNEXT\nEND SUB\n\xFF\xFE tail";
    testing::FakeScintilla editor(source);
    FormatterState state;
    Platform platform;
    platform.sendToEditor = [&](unsigned m, std::uintptr_t w, std::intptr_t l) { return editor.Handle(m, w, l); };
    platform.showMessageBox = [](std::u16string_view, std::u16string_view, unsigned) { return 1; };
    FormatCommand(platform, {}, state);
    EXPECT_EQ(Run("", source).out, editor.document());
}

TEST_F(CliTest, OptionsSetIndentAndErrorReporting) {
    EXPECT_EQ(Run("--indent 0", "x\n").out, "x\r\n");
    EXPECT_EQ(Run("--indent=3", "x\n").out, "      x\r\n");
    const Result suppressed = Run("--suppress-format-error 1", "SUB A\nDO\nEND SUB\n");
    EXPECT_EQ(suppressed.status, 0);
    EXPECT_EQ(suppressed.err, "");
}

// --settings reads the plug-in's file with the plug-in's rules; options take
// effect in command-line order.
TEST_F(CliTest, SettingsFileSetsIndentAndErrorReportingInOrder) {
    Write("three.inf", "; sample\r\nINDENT = 3abc\r\nSuppress format error=1\r\n[Group]\r\nIndent=9\r\n");
    Write("grouped.inf", "[Group]\nIndent=9\n");
    struct Case { std::string args; std::string out; int status; };
    for (const Case& c : {Case{"--settings three.inf", "      x\r\n", 0},
                          Case{"--settings=three.inf", "      x\r\n", 0},
                          Case{"--settings three.inf --indent 0", "x\r\n", 0},
                          Case{"--indent 0 --settings three.inf", "      x\r\n", 0},
                          Case{"--indent 2 --suppress-format-error 1 --settings grouped.inf", "    x\r\n", 0},
                          Case{"--settings three.inf --suppress-format-error 0", "      x\r\n", 1}}) {
        EXPECT_EQ(Run(c.args, "x\n").out, c.out) << c.args;
        const Result unbalanced = Run(c.args, "SUB A\nDO\nEND SUB\n");
        EXPECT_EQ(unbalanced.status, c.status) << c.args << ": " << unbalanced.err;
    }

    fs::create_directory(dir_ / "folder.inf");
    for (const std::string name : {"missing.inf", "folder.inf"}) {
        const Result r = Run("--settings " + name + " prog.bas");
        EXPECT_EQ(r.status, 2) << name;
        EXPECT_EQ(r.err, "halvex-format: " + name + ": cannot read settings file\n");
        EXPECT_EQ(r.out, "");
    }
    EXPECT_NE(Run("--settings").err.find("--settings needs a FILE"), std::string::npos);
    EXPECT_NE(Run("--help").out.find("--settings FILE"), std::string::npos);
}

// The new keys through --settings, --lines after a byte-order mark, and a
// range that the file does not have.
TEST_F(CliTest, LinesAndTheNewKeysThroughSettings) {
    Write("on.inf", "Trim tabs=1\r\nSelection context=1\r\n");
    const std::string source = "SUB A\n\tFOR\ti = 1 TO 2\n\t\tx = i\n\tNEXT\nEND SUB\n";
    Write("prog.bas", source);
    EXPECT_EQ(Run("--settings on.inf --lines 3:4 prog.bas").out,
              "SUB A\n\tFOR\ti = 1 TO 2\n    x = i\r\n  NEXT\r\nEND SUB\n");
    EXPECT_EQ(Run("--lines 2:2", "\xEF\xBB\xBFx\ny\nz").out, "\xEF\xBB\xBFx\n  y\r\nz");
    const Result beyond = Run("-i --lines 5:6 prog.bas");
    EXPECT_EQ(beyond.status, 2);
    EXPECT_EQ(beyond.err, "halvex-format: prog.bas: has no line 6 (--lines 5:6); not formatted\n");
    EXPECT_EQ(Read(dir_ / "prog.bas"), source);
}

// --lines writes what the Format command writes for a selection of those
// lines, and names the file's own line in a format error.
TEST_F(CliTest, LinesFormatAsASelectionOfThemDoes) {
    const std::string source = "x = 0\r\nSUB Two\nFOR i = 1 TO 2\rIF i THEN\r\n\ty = i \nEND IF\nEND SUB\r\nz\n";
    for (const bool context : {false, true}) {
        testing::FakeScintilla editor(source);
        editor.SetSelection(editor.LineStart(3) + 1, editor.LineStart(6));
        FormatterState state;
        Platform platform;
        platform.sendToEditor = [&](unsigned m, std::uintptr_t w, std::intptr_t l) { return editor.Handle(m, w, l); };
        platform.showMessageBox = [](std::u16string_view, std::u16string_view, unsigned) { return 1; };
        FormatCommand(platform, {1, 0, true, context}, state);
        const Result r = Run(std::string("--trim-tabs --lines 4:7") + (context ? " --selection-context" : ""), source);
        EXPECT_EQ(r.out, editor.document()) << context;
        EXPECT_EQ(r.err, context ? "<stdin>:7: Format error in: SUB Two\n" : "") << context;
    }
}

TEST_F(CliTest, FormatErrorNamesFileLineAndRoutine) {
    Write("prog.bas", "x = 1\nSUB Show(n) ' shows\nDO\nEND SUB\nSUB B\nFOR i\nEND SUB\n");
    const Result r = Run("prog.bas");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "prog.bas:4: Format error in: SUB Show(n) ' shows\n");
    EXPECT_NE(r.out, "");  // the formatted text is still written
    EXPECT_EQ(Run("", "SUB A\nDO\nEND SUB\n").err, "<stdin>:3: Format error in: SUB A\n");
}

TEST_F(CliTest, InPlaceRewritesOnlyChangedFiles) {
    const fs::path changed = Write("a.bas", "FOR i\nNEXT\n");
    const fs::path unchanged = Write("b.bas", "  x = 1\r\n");
    fs::permissions(changed, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const auto before = fs::last_write_time(unchanged);
    struct stat unchangedInfo {};
    ::stat(unchanged.c_str(), &unchangedInfo);

    const Result r = Run("-i a.bas b.bas");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Read(changed), "  FOR i\r\n  NEXT\r\n");
    EXPECT_EQ(fs::status(changed).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    struct stat after {};
    ::stat(unchanged.c_str(), &after);
    EXPECT_EQ(after.st_ino, unchangedInfo.st_ino);
    EXPECT_EQ(fs::last_write_time(unchanged), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 5);  // no temporary left
}

TEST_F(CliTest, CheckNamesFilesThatWouldChangeAndWritesNothing) {
    Write("a.bas", "FOR i\nNEXT\n");
    Write("b.bas", "  x = 1\r\n");
    const Result r = Run("--check a.bas b.bas");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "a.bas\n");
    EXPECT_EQ(Read(dir_ / "a.bas"), "FOR i\nNEXT\n");
    EXPECT_EQ(Run("--check b.bas").status, 0);
}

TEST_F(CliTest, ByteOrderMarkIsSetAsideAndPutBack) {
    EXPECT_EQ(Run("", "\xEF\xBB\xBFSUB A\nx\nEND SUB\n").out, "\xEF\xBB\xBFSUB A\r\n  x\r\nEND SUB\r\n");
}

TEST_F(CliTest, FailuresExitTwoAndNameTheFile) {
    const std::string withNul("FOR i\n\0\nNEXT\n", 13);
    Write("nul.bas", withNul);
    Write("good.bas", "x\n");
    const Result nul = Run("-i nul.bas good.bas");
    EXPECT_EQ(nul.status, 2);
    EXPECT_EQ(nul.err, "halvex-format: nul.bas: contains a NUL byte; not formatted\n");
    EXPECT_EQ(Read(dir_ / "nul.bas"), withNul);
    EXPECT_EQ(Read(dir_ / "good.bas"), "  x\r\n");  // the other files are still done

    const Result missing = Run("missing.bas");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "halvex-format: missing.bas: No such file or directory\n");

    struct Usage { std::string args; std::string message; };
    for (const Usage& u : {Usage{"--bogus", "unknown option '--bogus'"},
                           Usage{"--indent x", "--indent needs a whole number"},
                           Usage{"--indent 99999999999", "--indent needs a whole number"},
                           Usage{"--indent", "--indent needs a whole number"},
                           Usage{"-i", "-i needs FILE arguments"},
                           Usage{"-i --check a.bas", "cannot be used together"},
                           Usage{"--lines 0:2", "--lines needs FIRST:LAST"},
                           Usage{"--lines 3:2", "--lines needs FIRST:LAST"},
                           Usage{"--lines 1:2 --lines 3:4", "--lines can be given only once"}}) {
        const Result r = Run(u.args);
        EXPECT_EQ(r.status, 2) << u.args;
        EXPECT_NE(r.err.find(u.message), std::string::npos) << u.args << ": " << r.err;
    }
}

TEST_F(CliTest, HelpAndVersion) {
    const Result help = Run("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--in-place", "--trim-tabs", "--lines FIRST:LAST", "--selection-context", "Trim tabs"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    const Result version = Run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("halvex-format ", 0), 0u);
}

}  // namespace
}  // namespace halvex
