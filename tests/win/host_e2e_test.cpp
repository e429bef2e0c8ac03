// End to end: halvex-host.exe loads the real Halvex.dll as Notepad++ does and
// runs its commands; Variable Report starts the host again as the IDE
// stand-in, which records what it was given.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "process_win32.hpp"

namespace halvex {
namespace {

using testing::ModuleDirectory;
using testing::Narrow;
using testing::ProcessResult;
using testing::ReadBytes;
using testing::Records;
using testing::TempFolder;
using testing::Widen;
using testing::WriteBytes;
using Fields = std::vector<std::string>;

// A path as one command-line argument: quoted, a final backslash doubled so
// that it does not escape the closing quote.
std::wstring Quote(const std::wstring& path) {
    return L"\"" + path + (!path.empty() && path.back() == L'\\' ? L"\\" : L"") + L"\"";
}

std::string InQuotes(const std::string& text) {
    std::string quoted(1, '"');
    quoted += text;
    quoted += '"';
    return quoted;
}

std::string Unescape(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        const char next = field[++i];
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next;
    }
    return out;
}

std::wstring WithoutFinalBackslash(std::wstring path) {
    if (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

class HostTest : public ::testing::Test {
   protected:
    static std::wstring Host() { return ModuleDirectory() + L"halvex-host.exe"; }

    // Runs the host with the test folder as the editor's current directory.
    ProcessResult RunHost(const std::wstring& args) {
        return testing::RunProcess(Quote(Host()) + L" --cwd " + Quote(cwd_.path()) + L" " + args);
    }

    void WriteSettings(const std::string& contents) {
        CreateDirectoryW((cwd_.path() + L"plugins").c_str(), nullptr);
        CreateDirectoryW((cwd_.path() + L"plugins\\Halvex").c_str(), nullptr);
        WriteBytes(cwd_.path() + L"plugins\\Halvex\\Halvex.inf", contents);
    }

    std::wstring WriteDocument(const std::string& bytes) {
        const std::wstring path = files_.path() + L"document.bas";
        WriteBytes(path, bytes);
        return path;
    }

    TempFolder cwd_;
    TempFolder files_;
};

TEST_F(HostTest, MenuPrintsTheCommandTable) {
    const ProcessResult defaults = RunHost(L"menu");
    EXPECT_EQ(defaults.exitCode, 0u);
    EXPECT_EQ(defaults.out,
              "name\tBrenvo Plus\n"
              "item\t1\tVariable Report\tctrl=0 alt=1 shift=0 key=121\n"
              "item\t2\tFormat\tctrl=0 alt=1 shift=0 key=122\n"
              "item\t3\tAbout\t-\n");

    WriteSettings("VR Shortcut = ctrl+shft 70\r\nFormat Shortcut = alt $79\r\n");
    const auto records = Records(RunHost(L"menu").out);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[1][3], "ctrl=1 alt=0 shift=1 key=70");
    EXPECT_EQ(records[2][3], "ctrl=0 alt=1 shift=0 key=121");
}

TEST_F(HostTest, FormatThroughTheMenuAndTheExportGivesTheGoldenText) {
    const std::wstring data = ModuleDirectory() + L"testdata\\";
    for (const wchar_t* name : {L"loops_and_blocks", L"routines"}) {
        for (const wchar_t* via : {L"menu", L"export"}) {
            const std::wstring out = files_.path() + L"out.bas";
            const ProcessResult r = RunHost(L"format " + Quote(data + name + L".bas") + L" " + Quote(out) +
                                            L" --caret 0 --via " + via);
            EXPECT_EQ(r.exitCode, 0u);
            EXPECT_EQ(ReadBytes(out), ReadBytes(data + name + L".golden")) << Narrow(name) << " via " << Narrow(via);
            const auto records = Records(r.out);
            EXPECT_EQ(records.front(), (Fields{"caret-line", "0"}));
            if (std::wstring(via) == L"export") {
                EXPECT_EQ(records.back(), (Fields{"result", "0"}));
            }
        }
    }
}

TEST_F(HostTest, FormatErrorBoxAndCaretLineInBothConventions) {
    const std::wstring in = WriteDocument("x = 1\nSUB Show(n)\nDO\nEND SUB\nFOR i\n");
    for (const wchar_t* convention : {L"", L" --old-scintilla"}) {
        const std::wstring out = files_.path() + L"out.bas";
        const ProcessResult r = RunHost(L"format " + Quote(in) + L" " + Quote(out) + L" --select 8 26" + convention);
        EXPECT_EQ(Records(r.out), (std::vector<Fields>{{"box", "OOPS!", "Format error in:\\nSUB Show(n)"},
                                                       {"caret-line", "3"},
                                                       {"selection", "25", "25"}}));
        EXPECT_EQ(ReadBytes(out), "x = 1\nSUB Show(n)\r\n  DO\r\nEND SUB\r\nFOR i\n");
    }
}

TEST_F(HostTest, FormatKeepsMarkersFoldsAndView) {
    const std::wstring in = WriteDocument("x = 1\nSUB Show(n)\nDO\nEND SUB\nFOR i\n");
    const std::wstring out = files_.path() + L"out.bas";
    const ProcessResult r = RunHost(L"format " + Quote(in) + L" " + Quote(out) +
                                    L" --caret 20 --marker 1 1048576 --marker 2 8 --marker 4 1 --fold 2 --view 0 16");
    const auto records = Records(r.out);
    ASSERT_GE(records.size(), 3u);
    EXPECT_EQ(std::vector<Fields>(records.end() - 3, records.end()),
              (std::vector<Fields>{{"markers", "1:1048576", "2:8", "4:1"}, {"folds", "2"}, {"view", "0", "16"}}));
    EXPECT_EQ(ReadBytes(out), "  x = 1\r\nSUB Show(n)\r\n  DO\r\nEND SUB\r\n    FOR i\r\n");  // the DO stays open
}

TEST_F(HostTest, AboutShowsBuildDateAndPath) {
    WriteSettings("Exe Path = C:\\Tools\\ide.exe  \r\n");
    const auto records = Records(RunHost(L"about").out);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0][1], "Brenvo Plus");
    EXPECT_EQ(Unescape(records[0][2]), "Build 40\n2019/02/08\nBrenvoPlus path:\nC:\\Tools\\ide.exe");
}

// Variable Report with the host itself as the IDE: each case sets "Exe Path"
// and checks the record the stand-in leaves.
class VariableReportTest : public HostTest {
   protected:
    void SetUp() override {
        recordPath_ = files_.path() + L"ide-record.txt";
        SetEnvironmentVariableW(L"HALVEX_IDE_RECORD", recordPath_.c_str());
    }
    void TearDown() override { SetEnvironmentVariableW(L"HALVEX_IDE_RECORD", nullptr); }

    struct Run {
        std::vector<Fields> hostRecords;
        std::string mainView;
        std::string argv, cwd, clipboard;  // empty when the IDE never started
    };

    Run Report(const std::wstring& exePath, const std::string& document, const std::wstring& via = L"menu",
               int waitMs = 15000) {
        WriteSettings("Exe Path = " + Narrow(exePath) + "\r\n");
        DeleteFileW(recordPath_.c_str());
        Run run;
        const std::wstring args = L"varreport " + Quote(WriteDocument(document)) + L" --via " + via;
        run.hostRecords = Records(RunHost(args + L" --show-main-view").out);
        if (!run.hostRecords.empty() && run.hostRecords[0][0] == "main-view") run.mainView = run.hostRecords[0][1];
        ReadRecord(run, waitMs);
        return run;
    }

    // The stand-in runs on its own: wait for its record.
    void ReadRecord(Run& run, int waitMs) {
        for (int waited = 0; waited <= waitMs; waited += 50) {
            const auto records = Records(ReadBytes(recordPath_));
            if (records.size() >= 3 && records[2][0] == "clipboard") {
                run.argv = Unescape(records[0][1]);
                run.cwd = Unescape(records[1][1]);
                run.clipboard = Unescape(records[2][1]);
                return;
            }
            Sleep(50);
        }
    }

    std::string Expected(const std::string& program, const std::string& mainView) {
        return program + " /npp " + mainView + " /VariableReport";
    }

    std::wstring recordPath_;
};

TEST_F(VariableReportTest, HandsTheMainViewTextAndHandleToTheIde) {
    const std::wstring host = Host();
    const std::string document = "PRINT \"caf\xC3\xA9\"\r\nx = 1\r\n";
    for (const wchar_t* via : {L"menu", L"export"}) {
        const Run run = Report(host, document, via);
        ASSERT_FALSE(run.mainView.empty());
        EXPECT_EQ(run.argv, Expected(InQuotes(Narrow(host)), run.mainView));
        EXPECT_EQ(run.cwd, Narrow(WithoutFinalBackslash(ModuleDirectory())));
        EXPECT_EQ(run.clipboard, document);
        EXPECT_EQ(run.hostRecords.size(), std::wstring(via) == L"export" ? 2u : 1u) << "no box is shown";
    }
}

TEST_F(VariableReportTest, ClipboardTextEndsAtNulAndShowsBadBytesAsReplacements) {
    struct Case { std::string document, clipboard; };
    for (const Case& c : {Case{"", ""}, Case{std::string("ab\0cd", 5), "ab"}, Case{"caf\xE9", "caf\xEF\xBF\xBD"}}) {
        EXPECT_EQ(Report(Host(), c.document).clipboard, c.clipboard);
    }
}

TEST_F(VariableReportTest, ProgramPathsAndWorkingDirectories) {
    TempFolder spaced;
    const std::wstring spacedDir = spaced.path() + L"my ide\\";
    CreateDirectoryW(spacedDir.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(Host().c_str(), (spacedDir + L"halvex-host.exe").c_str(), FALSE));
    std::wstring slashed = Host();
    for (wchar_t& c : slashed) c = c == L'\\' ? L'/' : c;
    const std::string hostDir = Narrow(WithoutFinalBackslash(ModuleDirectory()));

    const Run withSpaces = Report(spacedDir + L"halvex-host.exe", "x");
    EXPECT_EQ(withSpaces.argv, Expected(InQuotes(Narrow(spacedDir) + "halvex-host.exe"), withSpaces.mainView));
    EXPECT_EQ(withSpaces.cwd, Narrow(WithoutFinalBackslash(spacedDir)));

    const Run quoted = Report(L"\"" + Host() + L"\"", "x");
    EXPECT_EQ(quoted.argv, Expected(InQuotes(Narrow(Host())), quoted.mainView));
    EXPECT_EQ(quoted.cwd, hostDir);

    const Run forward = Report(slashed, "x");
    EXPECT_EQ(forward.cwd, hostDir);

    // A bare name has no directory part: the IDE starts in the editor's.
    const Run bare = Report(L"halvex-host.exe", "x");
    EXPECT_EQ(bare.argv, Expected(InQuotes("halvex-host.exe"), bare.mainView));
    EXPECT_EQ(bare.cwd, Narrow(WithoutFinalBackslash(cwd_.path())));

    // Separators after a "|" do not count for the working directory.
    const Run piped = Report(L"\"" + Host() + L"\"|C:\\elsewhere\\", "x");
    EXPECT_EQ(piped.argv, Expected(InQuotes(Narrow(Host())) + "|C:\\elsewhere\\", piped.mainView));
    EXPECT_EQ(piped.cwd, hostDir);
}

TEST_F(VariableReportTest, MissingEmptyOrFolderProgramShowsNothingAndStartsNoIde) {
    for (const std::wstring& exePath : {cwd_.path() + L"no-such-ide.exe", std::wstring(), files_.path()}) {
        const Run run = Report(exePath, "x = 1", L"export", 1500);
        EXPECT_EQ(run.hostRecords, (std::vector<Fields>{{"main-view", run.mainView}, {"result", "0"}}));
        EXPECT_EQ(run.argv, "");
    }
}

TEST_F(VariableReportTest, ClipboardHeldByAnotherProcessKeepsItsTextAndTheIdeStillStarts) {
    const HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    const wchar_t oldText[] = L"old clipboard text";
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof oldText);
    std::memcpy(GlobalLock(block), oldText, sizeof oldText);
    GlobalUnlock(block);
    SetClipboardData(CF_UNICODETEXT, block);

    WriteSettings("Exe Path = " + Narrow(Host()) + "\r\n");
    DeleteFileW(recordPath_.c_str());
    Run run;
    run.hostRecords = Records(RunHost(L"varreport " + Quote(WriteDocument("new text"))).out);
    CloseClipboard();  // the report has run; let the stand-in read what is there
    ReadRecord(run, 15000);
    DestroyWindow(owner);
    EXPECT_TRUE(run.hostRecords.empty()) << "varreport through the menu prints nothing";
    EXPECT_NE(run.argv, "");
    EXPECT_EQ(run.clipboard, "old clipboard text");
}

}  // namespace
}  // namespace halvex
