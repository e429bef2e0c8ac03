// halvex-format as a user runs it: the real binary, real files, exit codes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
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

    // Runs halvex-format with `args` in the test's folder, `input` on stdin;
    // `prefix` comes before the program (a lower privilege, a limit) and `out`
    // takes its standard output. Redirections in `args` (2>&-) come last.
    Result Run(const std::string& args, const std::string& input = "", const std::string& prefix = "",
               const std::string& out = "stdout") {
        Write("stdin", input);
        const std::string command = "cd '" + dir_.string() + "' && " + prefix + "'" HALVEX_FORMAT_EXE "' <stdin >" +
                                    out + " 2>stderr " + args;
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Read(dir_ / "stdout"), Read(dir_ / "stderr")};
    }

    // Runs "halvex-format -i FILE" and sends it `signal` as soon as it has
    // started writing FILE; the status is a shell's (128 + the signal).
    Result RunInterrupted(const std::string& file, int signal) {
        const fs::path path = dir_ / file;
        struct stat before {};
        ::stat(path.c_str(), &before);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(::open((dir_ / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
            ::signal(signal, SIG_DFL);
            if (::chdir(dir_.c_str()) == 0) ::execl(HALVEX_FORMAT_EXE, "halvex-format", "-i", file.c_str(), nullptr);
            ::_exit(127);
        }
        int raw = 0;
        for (struct stat now = before; ::waitpid(pid, &raw, WNOHANG) == 0; ::usleep(200)) {
            ::stat(path.c_str(), &now);
            if (now.st_mtim.tv_sec == before.st_mtim.tv_sec && now.st_mtim.tv_nsec == before.st_mtim.tv_nsec) continue;
            ::kill(pid, signal);
            ::waitpid(pid, &raw, 0);
            break;
        }
        return {WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : WEXITSTATUS(raw), "", Read(dir_ / "stderr")};
    }

    // Before the program: the fault shim preloaded, FILE (a pattern) failing
    // as `writes` and `shrink` say (see fault_shim.cpp).
    static std::string Faulty(const std::string& file, const std::string& writes, const std::string& shrink = "") {
        return "ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD='" HALVEX_FAULT_SHIM "' HALVEX_FAULT_FILE='" + file +
               "' HALVEX_FAULT_WRITES=" + writes + (shrink.empty() ? "" : " HALVEX_FAULT_SHRINK=" + shrink) + " ";
    }

    // Runs a command as an ordinary user: CI runs the tests as root, who may
    // write and read any file.
    static std::string AsOrdinaryUser() {
        return ::geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
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

// Also where a line break, or the CR and LF of one, meet the end of the
// first 256 KiB that the CLI reads and formats before reading on.
TEST_F(CliTest, OutputIsWhatTheCommandWritesForTheWholeDocument) {
    const std::string block = " FOR i = 1 TO 2\n" + std::string((1 << 18) - 17, 'x');  // all but one byte
    for (const std::string& source :
         {std::string("SUB A\n  FOR i = 1 TO 2   \r\nx\rNEXT\nEND SUB\n\xFF\xFE tail"), block + "\r\nNEXT\r\n",
          block + "\ry\nNEXT", block + "\nNEXT\n", block.substr(1) + "\r\r\nNEXT"}) {
        testing::FakeScintilla editor(source);
        FormatterState state;
        Platform platform;
        platform.sendToEditor = [&](unsigned m, std::uintptr_t w, std::intptr_t l) { return editor.Handle(m, w, l); };
        platform.showMessageBox = [](std::u16string_view, std::u16string_view, unsigned) { return 1; };
        FormatCommand(platform, {}, state);
        EXPECT_EQ(Run("", source).out, editor.document()) << source.size();
    }
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
    Write("locked.inf", "Indent=3\n");
    fs::permissions(dir_ / "locked.inf", fs::perms::none);
    struct Failure { std::string name; std::string why; std::string prefix; };
    for (const Failure& f : {Failure{"missing.inf", "No such file or directory", ""},
                             Failure{"folder.inf", "is a directory", ""},
                             Failure{"locked.inf", "Permission denied", AsOrdinaryUser()}}) {
        const Result r = Run("--settings " + f.name + " prog.bas", "", f.prefix);
        EXPECT_EQ(r.status, 2) << f.name;
        EXPECT_EQ(r.err, "halvex-format: " + f.name + ": " + f.why + "\n");
        EXPECT_EQ(r.out, "");
    }
    EXPECT_NE(Run("--settings").err.find("--settings needs a FILE"), std::string::npos);
    EXPECT_NE(Run("--help").out.find("--settings FILE"), std::string::npos);
}

// The new keys through --settings, --lines after a byte-order mark, and a
// range that the file does not have.
TEST_F(CliTest, LinesAndTheNewKeysThroughSettings) {
    Write("style.inf", "Indent width=3\r\nBlank lines=1\r\nUse tabs=1\r\n");
    Write("plain.inf", "Use tabs=0\r\nBlank lines=0\r\n");
    struct Case { std::string args; std::string out; };
    for (const Case& c : {Case{"--settings style.inf", "\tFOR i\r\n\r\n\t\tx\r\n"},
                          Case{"--indent-width 3 --blank-lines-empty", "   FOR i\r\n\r\n      \tx\r\n"},
                          Case{"--indent-width=4 --use-tabs --indent 0", "FOR i\r\n\t\r\n\tx\r\n"},
                          Case{"--use-tabs --blank-lines-empty --settings plain.inf", "  FOR i\r\n    \r\n    \tx\r\n"}}) {
        EXPECT_EQ(Run(c.args, "FOR i\n  \n\tx\n").out, c.out) << c.args;
    }
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

    // A write to standard output that fails is a failure of every mode. A NUL
    // is found without holding the whole file (AddressSanitizer reserves
    // terabytes of address space: no limit there).
    Write("big.bas", std::string(20'000, '\n'));
    Write("nul-ends-block.bas", std::string((1 << 18) - 1, '\n') + '\0' + "x\n");
    Write("nul-starts-block.bas", std::string(1 << 18, '\n') + '\0');
    fs::resize_file(Write("sparse.bas", ""), std::uintmax_t{3} << 30);
#if defined(__SANITIZE_ADDRESS__)
    const std::string addressLimit;
#else
    const std::string addressLimit = "ulimit -v 1000000 && ";
#endif
    struct Usage { std::string args; std::string message; std::string out = "stdout"; std::string prefix = ""; };
    for (const Usage& u : {Usage{"--bogus", "unknown option '--bogus'"},
                           Usage{"--indent x", "--indent needs a whole number"},
                           Usage{"--indent 99999999999", "--indent needs a whole number"},
                           Usage{"--indent +-3", "--indent needs a whole number"},
                           Usage{"--indent", "--indent needs a whole number"},
                           Usage{"--indent-width 9", "--indent-width needs a number from 1 to 8"},
                           Usage{"-i", "-i needs FILE arguments"},
                           Usage{"-i --check a.bas", "cannot be used together"},
                           Usage{"--diff -i a.bas", "cannot be used together"},
                           Usage{"--ext bas,,inc .", "--ext needs a comma-separated LIST"},
                           Usage{"good.bas .", ".: is a directory; use -i, --check or --diff"},
                           Usage{"--check good.bas", "<stdout>: No space left on device", "/dev/full"},
                           Usage{"--diff good.bas", "<stdout>: No space left on device", "/dev/full"},
                           Usage{"--help", "<stdout>: No space left on device", "/dev/full"},
                           Usage{"--check --ext 'bas, inc.txt' good.bas", "--ext needs a comma-separated LIST"},
                           Usage{"--check big.bas good.bas", "big.bas: changed while it was read; not formatted",
                                 "stdout", Faulty("big.bas", "w", "4096")},
                           // Saved over by an editor while it was formatted.
                           Usage{"-i big.bas", "big.bas: changed since it was read; left as it was", "stdout",
                                 Faulty("big.bas", "w", "100@2")},
                           Usage{"sparse.bas", "sparse.bas: contains a NUL byte; not formatted", "stdout", addressLimit},
                           Usage{"nul-ends-block.bas", "nul-ends-block.bas: contains a NUL byte; not formatted"},
                           Usage{"nul-starts-block.bas", "nul-starts-block.bas: contains a NUL byte; not formatted"},
                           Usage{"--lines 0:2", "--lines needs FIRST:LAST"},
                           Usage{"--lines 3:2", "--lines needs FIRST:LAST"},
                           Usage{"--lines 1:2 --lines 3:4", "--lines can be given only once"}}) {
        Write("good.bas", "x\n");
        const Result r = Run(u.args, "", u.prefix, u.out);
        EXPECT_EQ(r.status, 2) << u.args;
        EXPECT_NE(r.err.find(u.message), std::string::npos) << u.args << ": " << r.err;
        EXPECT_TRUE(u.message.find("NUL") == std::string::npos || r.out.empty()) << u.args;  // nothing written
    }
}

// -i never harms the file: whatever happens it keeps its inode, so its owner,
// group, mode and hard links, ends whole (old or new), and leaves no other
// file; only when the old content cannot be written back either does a backup
// stay, whole and named. A name of a backup always holds the whole old content.
TEST_F(CliTest, InPlaceNeverHarmsTheFile) {
    std::string source;
    std::string formatted;
    for (int i = 0; i < 120; ++i) source += "x\n", formatted += "  x\r\n";
    std::string large;
    for (int i = 0; i < 1'000'000; ++i) large += "SUB A\nFOR i = 1 TO 3\nx = i\nNEXT\nEND SUB\n";
    struct Case {
        std::string file;
        std::function<void(const fs::path&)> prepare;
        std::string prefix;  // before the program: a lower privilege, a file size limit
        int status;
        std::string message;
        bool rewritten;
        int signal = 0;             // sent as soon as the file is being written
        std::string after = "";     // after the file: a redirection, an option
        std::string leftover = "";  // the one other file left: FILE, this and six random characters
    };
    const Case cases[] = {
        {"pipe.bas", [](const fs::path& p) { fs::remove(p), ::mkfifo(p.c_str(), 0644); }, "", 2,
         "pipe.bas: not a regular file; left as it was", false},
        {"readonly.bas", [](const fs::path& p) { fs::permissions(p, fs::perms::owner_read | fs::perms::others_read); },
         AsOrdinaryUser(), 2, "readonly.bas: Permission denied", false},
        {"shared.bas", {}, "", 0, "", true},
        {std::string(247, 'L') + ".bas", {}, "", 0, "", true},
        // 512 bytes: the backup fits, the new text does not.
        {"limited.bas", {}, "ulimit -f 1 && ", 2, "limited.bas: cannot write: File too large; left as it was", false},
        {"large.bas", [&](const fs::path& p) { std::ofstream(p, std::ios::binary) << large; }, "", 128 + SIGINT,
         "large.bas: interrupted; left as it was", false, SIGINT},
        {"alarm.bas", [&](const fs::path& p) { std::ofstream(p, std::ios::binary) << large; }, "", 128 + SIGALRM,
         "alarm.bas: interrupted; left as it was", false, SIGALRM},
        // Standard error closed: no message may end up in the file.
        {"quiet.bas", {}, "ulimit -f 1 && ", 2, "", false, 0, "2>&-"},
        // The second piece of the new text fails to allocate, or both writes fail.
        {"nomem.bas", {}, Faulty("nomem.bas", "wmw"), 2, "nomem.bas: out of memory; left as it was", false, 0,
         "--lines 2:3"},
        {"full.bas", {}, Faulty("full.bas", "wf"), 2,
         "full.bas: cannot write: No space left on device; its old content is in ", false, 0,
         "--lines 2:3", ".halvex-backup-"},
        // Killed with half of the backup written: that half has no backup's name.
        {"killed.bas", {}, Faulty("killed.bas.halvex-*", "k"), 128 + SIGKILL, "", false, 0, "", ".halvex-tmp-"},
    };
    for (const Case& c : cases) {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        const fs::path path = Write(c.file, source);
        if (c.prepare) c.prepare(path);
        fs::create_hard_link(path, dir_ / "link");
        if (::geteuid() == 0) ::chown(path.c_str(), 65534, 65534);  // a file of another user
        struct stat before {};
        ::stat(path.c_str(), &before);
        const std::string old = S_ISREG(before.st_mode) ? Read(path) : "";

        const Result r = c.signal != 0 ? RunInterrupted(c.file, c.signal)
                                       : Run("-i '" + c.file + "' " + c.after, "", c.prefix);
        EXPECT_EQ(r.status, c.status) << c.file;
        std::set<std::string> others;
        for (const auto& entry : fs::directory_iterator(dir_)) others.insert(entry.path().filename().string());
        for (const char* known : {"link", "stdin", "stdout", "stderr"}) others.erase(known);
        others.erase(c.file);
        const std::string left = others.empty() ? "" : *others.begin();
        EXPECT_EQ(others.size(), left.empty() ? 0u : 1u) << c.file;
        EXPECT_EQ(left.substr(0, left.size() - std::min<std::size_t>(6, left.size())),
                  c.leftover.empty() ? "" : c.file + c.leftover);
        EXPECT_EQ(r.err, c.message.empty() ? "" : "halvex-format: " + c.message + left + "\n");
        struct stat after {};
        ::stat(path.c_str(), &after);
        EXPECT_EQ(after.st_ino, before.st_ino) << c.file;
        EXPECT_EQ(after.st_mode, before.st_mode) << c.file;
        EXPECT_EQ(after.st_uid, before.st_uid) << c.file;
        EXPECT_EQ(after.st_gid, before.st_gid) << c.file;
        EXPECT_EQ(after.st_nlink, 2u) << c.file;
        if (S_ISREG(before.st_mode) && c.leftover != ".halvex-backup-") {
            EXPECT_TRUE(Read(path) == (c.rewritten ? formatted : old)) << c.file;
            EXPECT_TRUE(Read(dir_ / "link") == Read(path)) << c.file;
        }
        if (left.find(".halvex-backup-") != std::string::npos) {
            EXPECT_TRUE(Read(dir_ / left) == old) << c.file;
        }
    }
}

// A folder stands for the source files below it, in sorted order: --ext's
// extensions in any letter case, hidden folders and other files passed over;
// a file or folder that fails is reported and the rest is still done.
TEST_F(CliTest, FoldersAreWalkedForSourceFiles) {
    fs::create_directories(dir_ / "src/sub");
    fs::create_directories(dir_ / "src/.git");
    fs::create_directories(dir_ / "src/locked");
    for (const std::string name : {"src/b.bas", "src/a.INC", "src/sub/c.Bas", "src/.git/d.bas", "src/e.txt"}) {
        Write(name, "x\n");
    }
    Write("src/done.bas", "  x\r\n");
    Write("src/nul.bas", std::string("x\n\0", 3));
    fs::permissions(dir_ / "src/locked", fs::perms::none);

    const Result check = Run("--check src", "", AsOrdinaryUser());
    EXPECT_EQ(check.status, 2);
    EXPECT_EQ(check.out, "src/a.INC\nsrc/b.bas\nsrc/sub/c.Bas\n");
    EXPECT_EQ(check.err,
              "halvex-format: src/locked: Permission denied\n"
              "halvex-format: src/nul.bas: contains a NUL byte; not formatted\n");
    EXPECT_EQ(Run("--check src 2>&1", "", AsOrdinaryUser()).out,  // in the order of the walk
              "src/a.INC\nsrc/b.bas\nhalvex-format: src/locked: Permission denied\n"
              "halvex-format: src/nul.bas: contains a NUL byte; not formatted\nsrc/sub/c.Bas\n");
    for (const std::string ext : {"--ext=TXT,.inc", "--ext ' txt , .INC '"}) {
        const Result other = Run("--check " + ext + " src/");
        EXPECT_EQ(other.out, "src/a.INC\nsrc/e.txt\n") << ext;
        EXPECT_EQ(other.status, 1) << ext;
    }

    EXPECT_EQ(Run("-i src").status, 2);
    EXPECT_EQ(Read(dir_ / "src/sub/c.Bas"), "  x\r\n");
    EXPECT_EQ(Read(dir_ / "src/.git/d.bas"), "x\n");
    EXPECT_EQ(Read(dir_ / "src/e.txt"), "x\n");
}

// --diff prints what -i would write as a patch that applies with patch -p1
// and git apply, whatever the names hold and however the path is written.
TEST_F(CliTest, DiffIsAPatchThatMakesTheFormattedFiles) {
    fs::create_directories(dir_ / "tree/sub");
    Write("tree/short.bas", "FOR i\nNEXT\n");
    const std::string odd = "z \"b\"\\c\td \xC3\xA9\nf.bas";
    Write("tree/" + odd, "x\n");
    std::string mixed = "SUB A\r\nx\rDO\n";  // a lone CR inside an LF line
    for (int i = 0; i < 9; ++i) mixed += "    y\r\n";  // already formatted: two hunks
    Write("tree/sub/mixed.bas", mixed + "LOOP  \nEND SUB");  // no final line break
    Write("tree/sub/done.bas", "  x\r\n");

    const Result diff = Run("--diff tree");
    EXPECT_EQ(diff.status, 1);
    EXPECT_EQ(diff.out.substr(0, diff.out.find("--- a/tree/sub/mixed.bas")),
              "--- a/tree/short.bas\n+++ b/tree/short.bas\n@@ -1,2 +1,2 @@\n-FOR i\n-NEXT\n+  FOR i\r\n+  NEXT\r\n");
    Write("tree.patch", diff.out);
    EXPECT_EQ(Run("--diff .//tree/").out, diff.out);
    const std::string absolute = Run("--diff " + dir_.string() + "/tree").out;
    EXPECT_EQ(absolute.substr(0, absolute.find('\n')), "--- a" + dir_.string() + "/tree/short.bas");
    EXPECT_EQ(std::system(("cd / && patch -s --batch --dry-run -p1 <'" + (dir_ / "stdout").string() + "'").c_str()), 0);
    const auto tools = {"patch -s --batch -p1", "git apply --whitespace=nowarn"};  // each patches a copy named after it
    for (const std::string tool : tools) {
        fs::create_directory(dir_ / tool);
        fs::copy(dir_ / "tree", dir_ / tool / "tree", fs::copy_options::recursive);
        ASSERT_EQ(std::system(("cd '" + (dir_ / tool).string() + "' && " + tool + " <../tree.patch").c_str()), 0);
    }

    EXPECT_EQ(Run("-i tree").status, 0);
    for (const std::string name : {"short.bas", "sub/mixed.bas", "sub/done.bas", odd.c_str()}) {
        for (const char* tool : tools) EXPECT_EQ(Read(dir_ / tool / "tree" / name), Read(dir_ / "tree" / name)) << tool;
    }
    const Result none = Run("--diff tree");
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
}

TEST_F(CliTest, HelpAndVersion) {
    const Result help = Run("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--in-place", "--diff", "--ext LIST", "--trim-tabs", "--lines FIRST:LAST",
                               "--selection-context", "Trim tabs", "--indent-width N", "--use-tabs",
                               "--blank-lines-empty", "Blank lines"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    const Result version = Run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("halvex-format ", 0), 0u);
}

}  // namespace
}  // namespace halvex
