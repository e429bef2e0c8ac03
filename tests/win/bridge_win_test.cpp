// The IDE bridge on Windows: the real clipboard, real child processes, and
// the About box. The test binary doubles as the IDE: started with the
// environment variable HALVEX_TEST_RECORD set, it records its command line,
// current directory and the clipboard's text into that file and exits; and
// as another program that holds the clipboard open.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <thread>

#include "box_watcher_win32.hpp"
#include "bridge/about_command.hpp"
#include "bridge/clipboard_win32.hpp"
#include "bridge/date_text.hpp"
#include "bridge/start_program_win32.hpp"
#include "bridge/variable_report_command.hpp"
#include "fake_scintilla.hpp"
#include "fake_scintilla_window_win32.hpp"
#include "shell/message_box_win32.hpp"

namespace halvex {
namespace {

constexpr wchar_t kRecordVariable[] = L"HALVEX_TEST_RECORD";
constexpr wchar_t kHoldClipboard[] = L"--hold-clipboard";
constexpr DWORD kPatience = 60000;  // ms; only a guard against hanging

std::u16string_view U16(const std::wstring& text) {
    return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

std::optional<std::wstring> ClipboardText() {
    if (!OpenClipboard(nullptr)) return std::nullopt;
    std::optional<std::wstring> text;
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT); data != nullptr) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data)); chars != nullptr) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

std::wstring CurrentDirectory() {
    wchar_t buffer[MAX_PATH];
    return std::wstring(buffer, GetCurrentDirectoryW(MAX_PATH, buffer));
}

// Opens the clipboard as a program does, with a window of its own (Wine lets
// any number of null-window openers in at once, Windows does not), signals
// `held`, and closes it once `release` is signalled.
void HoldClipboardUntil(HANDLE held, HANDLE release) {
    const HWND window = CreateWindowExW(0, L"STATIC", L"holder", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    const bool opened = OpenClipboard(window) != FALSE;
    SetEvent(held);
    WaitForSingleObject(release, kPatience);
    if (opened) CloseClipboard();
    DestroyWindow(window);
}

// ---- Child modes -------------------------------------------------------

// The IDE stand-in: command line, directory and clipboard text, separated by
// NULs, written under a temporary name and renamed so that the parent never
// reads half a record.
int RecordAndExit(const std::wstring& path) {
    std::optional<std::wstring> clipboard;
    for (int attempt = 0; attempt < 500 && !clipboard; ++attempt) {  // the parent may still hold it
        clipboard = ClipboardText();
        if (!clipboard) Sleep(20);
    }
    const std::wstring record =
        std::wstring(GetCommandLineW()) + L'\0' + CurrentDirectory() + L'\0' + clipboard.value_or(L"<no text>");
    const std::wstring temporary = path + L".part";
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    return MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}

// Holds the clipboard open until told to let go: --hold-clipboard HELD RELEASE
// (the names of two events).
int HoldClipboard(const wchar_t* held, const wchar_t* release) {
    const HANDLE heldEvent = OpenEventW(EVENT_MODIFY_STATE, FALSE, held);
    const HANDLE releaseEvent = OpenEventW(SYNCHRONIZE, FALSE, release);
    if (heldEvent == nullptr || releaseEvent == nullptr) return 5;
    HoldClipboardUntil(heldEvent, releaseEvent);
    return 0;
}

// Runs before main, so the child modes work in any test binary this file is
// linked into: a child records or holds, then exits without running a test.
const bool kChildModeChecked = [] {
    wchar_t record[MAX_PATH];
    if (GetEnvironmentVariableW(kRecordVariable, record, MAX_PATH) != 0) ExitProcess(RecordAndExit(record));
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args != nullptr && count == 4 && std::wstring_view(args[1]) == kHoldClipboard) {
        ExitProcess(HoldClipboard(args[2], args[3]));
    }
    LocalFree(args);
    return true;
}();

// ---- Helpers for the parent ------------------------------------------------

struct Record {
    std::wstring commandLine, directory, clipboard;
};

std::wstring ModulePath() {
    wchar_t buffer[MAX_PATH];
    return std::wstring(buffer, GetModuleFileNameW(nullptr, buffer, MAX_PATH));
}

// Equal as directories: either separator, any case, a final separator or not.
bool SamePath(std::wstring a, std::wstring b) {
    for (std::wstring* path : {&a, &b}) std::replace(path->begin(), path->end(), L'/', L'\\');
    while (a.size() > 3 && a.back() == L'\\') a.pop_back();
    while (b.size() > 3 && b.back() == L'\\') b.pop_back();
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

void PutOnClipboard(const std::wstring& text) {
    ASSERT_NE(CopyTextToClipboard(U16(text)), 0);
    ASSERT_EQ(ClipboardText(), text);
}

// Another process that holds the clipboard open while it lives.
class ClipboardHolder {
   public:
    ClipboardHolder() {
        const std::wstring tag = std::to_wstring(GetCurrentProcessId());
        const std::wstring heldName = L"HalvexClipboardHeld" + tag, releaseName = L"HalvexClipboardRelease" + tag;
        held_ = CreateEventW(nullptr, TRUE, FALSE, heldName.c_str());
        release_ = CreateEventW(nullptr, TRUE, FALSE, releaseName.c_str());
        std::wstring commandLine =
            L"\"" + ModulePath() + L"\" " + kHoldClipboard + L" " + heldName + L" " + releaseName;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process)) {
            CloseHandle(process.hThread);
            process_ = process.hProcess;
            holding_ = WaitForSingleObject(held_, kPatience) == WAIT_OBJECT_0;
        }
    }
    ~ClipboardHolder() {
        Release();
        CloseHandle(held_);
        CloseHandle(release_);
    }
    void Release() {
        if (process_ == nullptr) return;
        SetEvent(release_);
        WaitForSingleObject(process_, kPatience);
        CloseHandle(process_);
        process_ = nullptr;
    }
    bool holding() const { return holding_; }

   private:
    HANDLE held_, release_, process_ = nullptr;
    bool holding_ = false;
};

class BridgeWin32 : public ::testing::Test {
   protected:
    // A folder with a space in its name, the test binary copied into it under
    // a name with a space, and a folder to start from.
    static void SetUpTestSuite() {
        // As in the host: the plug-in runs on an apartment-threaded UI thread.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        // Wine reuses process ids from run to run: the time makes the name new.
        folder_ = std::wstring(temp) + L"halvex bridge " + std::to_wstring(GetCurrentProcessId()) + L"-" +
                  std::to_wstring(GetTickCount64()) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
        ide_ = folder_ + L"brenvo ide.exe";
        CopyFileW(ModulePath().c_str(), ide_.c_str(), FALSE);
        elsewhere_ = folder_ + L"elsewhere\\";
        CreateDirectoryW(elsewhere_.c_str(), nullptr);
    }
    static void TearDownTestSuite() {
        SHFILEOPSTRUCTW remove{};
        const std::wstring from = folder_.substr(0, folder_.size() - 1) + L'\0';  // double NUL
        remove.wFunc = FO_DELETE;
        remove.pFrom = from.c_str();
        remove.fFlags = FOF_NO_UI;
        SHFileOperationW(&remove);
        CoUninitialize();
    }
    void SetUp() override { savedDirectory_ = CurrentDirectory(); }
    void TearDown() override { SetCurrentDirectoryW(savedDirectory_.c_str()); }

    // Runs `start` with the IDE stand-in armed; the record once the child has
    // written it, or nothing when `start` reported failure.
    template <class Start>
    std::optional<Record> StartAndRecord(Start start) {
        const std::wstring path = folder_ + L"record " + std::to_wstring(++records_) + L".bin";
        SetEnvironmentVariableW(kRecordVariable, path.c_str());
        const bool started = start();
        SetEnvironmentVariableW(kRecordVariable, nullptr);
        if (!started) return std::nullopt;
        HANDLE file = INVALID_HANDLE_VALUE;
        for (DWORD waited = 0; file == INVALID_HANDLE_VALUE; waited += 20) {
            if (waited > kPatience) return Record{L"<no record>", {}, {}};
            Sleep(20);
            file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               0, nullptr);
        }
        std::wstring data(GetFileSize(file, nullptr) / sizeof(wchar_t), L'\0');
        DWORD read = 0;
        ReadFile(file, data.data(), static_cast<DWORD>(data.size() * sizeof(wchar_t)), &read, nullptr);
        CloseHandle(file);
        DeleteFileW(path.c_str());
        const std::size_t first = data.find(L'\0'), second = data.find(L'\0', first + 1);
        return Record{data.substr(0, first), data.substr(first + 1, second - first - 1), data.substr(second + 1)};
    }

    std::optional<Record> Start(const std::wstring& program, const std::wstring& parameters,
                                const std::wstring& directory) {
        return StartAndRecord([&] { return StartProgram(U16(program), U16(parameters), U16(directory)) == 1; });
    }

    static inline std::wstring folder_, ide_, elsewhere_;
    static inline int records_ = 0;
    std::wstring savedDirectory_;
};

// ---- CopyTextToClipboard -----------------------------------------------

TEST_F(BridgeWin32, ClipboardRoundTrip) {
    for (const std::wstring& text :
         {std::wstring(L""), std::wstring(L"x"), std::wstring(L"SUB A\r\n  caf\u00E9 \U0001F600\r\nEND SUB\n"),
          std::wstring(200000, L'\u00E9')}) {
        EXPECT_NE(CopyTextToClipboard(U16(text)), 0);
        EXPECT_EQ(ClipboardText(), text) << text.size() << " units";
    }
}

TEST_F(BridgeWin32, ClipboardHeldOnAnotherThreadKeepsItsText) {
    PutOnClipboard(L"old text");
    const HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr),
                 release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] { HoldClipboardUntil(held, release); });
    WaitForSingleObject(held, kPatience);
    const int result = CopyTextToClipboard(u"new text");
    SetEvent(release);
    holder.join();
    CloseHandle(held);
    CloseHandle(release);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ClipboardText(), L"old text");
}

TEST_F(BridgeWin32, ClipboardHeldByAnotherProcessKeepsItsText) {
    PutOnClipboard(L"old text");
    ClipboardHolder holder;
    ASSERT_TRUE(holder.holding());
    EXPECT_EQ(CopyTextToClipboard(u"new text"), 0);
    holder.Release();
    EXPECT_EQ(ClipboardText(), L"old text");
}

// ---- StartProgram ------------------------------------------------------

TEST_F(BridgeWin32, StartsTheProgramQuotedInTheGivenDirectory) {
    const auto record = Start(ide_, L"/npp 131844 /VariableReport", elsewhere_);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->commandLine, L"\"" + ide_ + L"\" /npp 131844 /VariableReport");
    EXPECT_TRUE(SamePath(record->directory, elsewhere_)) << record->directory;
}

TEST_F(BridgeWin32, EmptyDirectoryMeansTheCallersDirectory) {
    SetCurrentDirectoryW(elsewhere_.c_str());
    const auto record = Start(ide_, L"", L"");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->commandLine, L"\"" + ide_ + L"\"");
    EXPECT_TRUE(SamePath(record->directory, elsewhere_)) << record->directory;
}

TEST_F(BridgeWin32, QuotedProgramStandsAsWritten) {
    const std::wstring program = L"\"" + ide_ + L"\" --own-switch";
    const auto record = Start(program, L"/npp 1 /VariableReport", folder_);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->commandLine, program + L" /npp 1 /VariableReport");
}

TEST_F(BridgeWin32, NothingToStartReturnsZeroAndShowsNothing) {
    testing::BoxWatcher watcher;
    for (const std::wstring& program :
         {folder_ + L"no such ide.exe", std::wstring(), std::wstring(L"C:\\no\\such\\folder\\ide.exe")}) {
        EXPECT_EQ(StartProgram(U16(program), u"/npp 1 /VariableReport", u""), 0) << program;
    }
    EXPECT_TRUE(watcher.boxes().empty());
}

// A file that CreateProcessW cannot run, opened by the shell through an
// association whose command runs the IDE stand-in. It is registered for the
// user (what Windows reads without administrator rights) and in the classes
// root (what Wine's shell reads).
TEST_F(BridgeWin32, DocumentIsOpenedThroughTheShellWithTheSameParameters) {
    const std::wstring command = L"\"" + ide_ + L"\" --opened \"%1\" %*";
    const auto set = [](HKEY root, const std::wstring& key, const std::wstring& value) {
        return RegSetKeyValueW(root, key.c_str(), nullptr, REG_SZ, value.c_str(),
                               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    };
    bool registered = false;
    for (const auto& [root, prefix] : {std::pair<HKEY, std::wstring>{HKEY_CURRENT_USER, L"Software\\Classes\\"},
                                       {HKEY_CLASSES_ROOT, L""}}) {
        if (set(root, prefix + L".halvexide", L"HalvexTestIde") &&
            set(root, prefix + L"HalvexTestIde\\shell\\open\\command", command)) {
            registered = true;
        }
    }
    const std::wstring document = folder_ + L"report.halvexide";
    const HANDLE file = CreateFileW(document.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);

    std::optional<Record> inItsFolder, inTheGivenOne;
    if (registered) {
        inItsFolder = Start(document, L"/npp 77 /VariableReport", L"");
        inTheGivenOne = Start(document, L"/npp 77 /VariableReport", elsewhere_);
    }
    for (const wchar_t* key : {L"Software\\Classes\\HalvexTestIde", L"Software\\Classes\\.halvexide"}) {
        RegDeleteTreeW(HKEY_CURRENT_USER, key);
    }
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"HalvexTestIde");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".halvexide");
    ASSERT_TRUE(registered);
    ASSERT_TRUE(inItsFolder);
    EXPECT_EQ(inItsFolder->commandLine, L"\"" + ide_ + L"\" --opened \"" + document + L"\" /npp 77 /VariableReport");
    EXPECT_TRUE(SamePath(inItsFolder->directory, folder_)) << inItsFolder->directory;
    ASSERT_TRUE(inTheGivenOne);
    EXPECT_TRUE(SamePath(inTheGivenOne->directory, elsewhere_)) << inTheGivenOne->directory;
}

// ---- The two commands with the Win32 bindings ------------------------------

Platform Win32Platform(HWND view) {
    Platform platform;
    platform.sendToEditor = [view](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
        return static_cast<std::intptr_t>(SendMessageW(view, message, wParam, lParam));
    };
    platform.showMessageBox = ShowMessageBox;
    platform.copyTextToClipboard = CopyTextToClipboard;
    platform.startProgram = StartProgram;
    return platform;
}

TEST_F(BridgeWin32, VariableReportHandsTheDocumentToTheIde) {
    const struct {
        const char* name;
        std::string document;
        std::wstring clipboard;
    } cases[] = {
        {"text", "SUB A\r\n  x = 1\r\nEND SUB\r\n", L"SUB A\r\n  x = 1\r\nEND SUB\r\n"},
        {"empty", "", L""},
        {"NUL byte", std::string("abc\0def", 7), L"abc"},
        {"single-byte code page", "caf\xE9 Gr\xFC\xDF\x65", L"caf\uFFFD Gr\uFFFD\uFFFDe"},
    };
    testing::BoxWatcher watcher;
    for (const auto& c : cases) {
        PutOnClipboard(L"old text");
        testing::FakeScintilla model(c.document);
        const HWND view = testing::CreateFakeScintillaWindow(model);
        const auto handle = std::to_wstring(reinterpret_cast<std::intptr_t>(view));
        const auto record = StartAndRecord([&] {
            VariableReportCommand(Win32Platform(view), U16(ide_), reinterpret_cast<std::intptr_t>(view));
            return true;
        });
        DestroyWindow(view);
        EXPECT_EQ(record->commandLine, L"\"" + ide_ + L"\" /npp " + handle + L" /VariableReport") << c.name;
        EXPECT_TRUE(SamePath(record->directory, folder_)) << c.name << ": " << record->directory;
        EXPECT_EQ(record->clipboard, c.clipboard) << c.name;
    }
    EXPECT_TRUE(watcher.boxes().empty());
}

TEST_F(BridgeWin32, VariableReportStartsTheIdeInItsDirectory) {
    std::wstring slashed = ide_;
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
    const struct {
        std::wstring exePath, commandLine, directory;
    } cases[] = {
        {ide_, L"\"" + ide_ + L"\" /npp 9 /VariableReport", folder_},
        {L"\"" + ide_ + L"\"", L"\"" + ide_ + L"\" /npp 9 /VariableReport", folder_},
        {slashed, L"\"" + slashed + L"\" /npp 9 /VariableReport", folder_},
        // No directory part: found on the PATH, started in the caller's directory.
        {L"brenvo ide.exe", L"\"brenvo ide.exe\" /npp 9 /VariableReport", elsewhere_},
    };
    wchar_t path[32767];
    const DWORD pathLength = GetEnvironmentVariableW(L"PATH", path, 32767);
    SetEnvironmentVariableW(L"PATH", (folder_ + L";" + std::wstring(path, pathLength)).c_str());
    SetCurrentDirectoryW(elsewhere_.c_str());
    testing::FakeScintilla model("x");
    const HWND view = testing::CreateFakeScintillaWindow(model);
    for (const auto& c : cases) {
        const auto record = StartAndRecord([&] {
            VariableReportCommand(Win32Platform(view), U16(c.exePath), 9);
            return true;
        });
        EXPECT_EQ(record->commandLine, c.commandLine);
        EXPECT_TRUE(SamePath(record->directory, c.directory)) << record->directory;
    }
    DestroyWindow(view);
    SetEnvironmentVariableW(L"PATH", std::wstring(path, pathLength).c_str());
}

TEST_F(BridgeWin32, VariableReportStartsTheIdeWhenTheClipboardIsHeld) {
    PutOnClipboard(L"old text");
    testing::FakeScintilla model("new text");
    const HWND view = testing::CreateFakeScintillaWindow(model);
    ClipboardHolder holder;
    ASSERT_TRUE(holder.holding());
    const auto record = StartAndRecord([&] {
        VariableReportCommand(Win32Platform(view), U16(ide_), 5);
        holder.Release();  // the IDE waits for the clipboard to read it
        return true;
    });
    DestroyWindow(view);
    EXPECT_EQ(record->commandLine, L"\"" + ide_ + L"\" /npp 5 /VariableReport");
    EXPECT_EQ(record->clipboard, L"old text");
}

TEST_F(BridgeWin32, VariableReportWithoutAnIdeShowsNothing) {
    testing::FakeScintilla model("x = 1");
    const HWND view = testing::CreateFakeScintillaWindow(model);
    testing::BoxWatcher watcher;
    for (const std::wstring& exePath : {std::wstring(), folder_ + L"missing.exe"}) {
        PutOnClipboard(L"old text");
        VariableReportCommand(Win32Platform(view), U16(exePath), 1);
        EXPECT_EQ(ClipboardText(), L"x = 1") << "the text stays on the clipboard";
    }
    DestroyWindow(view);
    EXPECT_TRUE(watcher.boxes().empty());
}

TEST_F(BridgeWin32, AboutBox) {
    testing::BoxWatcher watcher;
    AboutCommand(Win32Platform(nullptr), u"C:\\Tools\\ide.exe");
    ASSERT_EQ(watcher.boxes().size(), 1u);
    const testing::SeenBox& box = watcher.boxes()[0];
    EXPECT_EQ(box.title, L"Brenvo Plus");
    EXPECT_TRUE(box.hasOk);
    EXPECT_FALSE(box.hasCancel);
    EXPECT_FALSE(box.hasIcon);
    if (buildNumber != 40 || buildDate != 1549652624) GTEST_SKIP() << "built with other build values";
    EXPECT_EQ(box.text, L"Build 40\n2019/02/08\nBrenvoPlus path:\nC:\\Tools\\ide.exe");
}

TEST_F(BridgeWin32, BuildDateIsNotTheLocalDate) {
    _wputenv_s(L"TZ", L"IST-5:30");  // UTC+5:30: the build moment is already 9 February there
    _tzset();
    const std::time_t when = 1549652624;
    const int localDay = std::localtime(&when)->tm_mday;
    const Text text = FormatDateText(u"%yyyy/%mm/%dd", 1549652624);
    _wputenv_s(L"TZ", L"");
    _tzset();
    EXPECT_EQ(localDay, 9) << "the zone did not take effect";
    EXPECT_EQ(text, u"2019/02/08");
}

}  // namespace
}  // namespace halvex
