// The plug-in under faults: allocations that fail at every point of a
// command, a 100 MB document, and settings files that are binary, huge or
// cannot be read. Whatever happens, the host process goes on, no exception
// reaches it, and a document is either formatted or left exactly as it was.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>

#include "editor/editor.hpp"
#include "fake_scintilla_window_win32.hpp"
#include "formatter/format_text.hpp"
#include "process_win32.hpp"
#include "program_generator.hpp"

namespace halvex {
namespace {

using testing::FakeScintilla;
using testing::ModuleDirectory;
using testing::TempFolder;

// A test build of the plug-in: by default the one with its allocation-failure
// hook.
class FaultyPlugin {
   public:
    explicit FaultyPlugin(const std::wstring& cwd, const wchar_t* dll = L"HalvexFaults.dll") {
        module_ = testing::LoadLibraryIn(ModuleDirectory() + dll, cwd);
        Bind("setInfo", setInfo);
        Bind("getFuncsArray", getFuncsArray);
        Bind("doFormat", doFormat);
        Bind("doVarRP", doVarRP);
        Bind("halvexFailAllocationAfter", failAfter);
        Bind("halvexAllocationsLeft", allocationsLeft);
    }
    ~FaultyPlugin() {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    bool loaded() const { return module_ != nullptr && failAfter != nullptr; }

    // The first record's ShortcutKey (Ctrl, Alt, Shift, key code).
    const std::uint8_t* FirstShortcut() const {
        int count = 0;
        const auto* table = static_cast<const std::uint8_t*>(getFuncsArray(&count));
        const std::uint8_t* key = nullptr;
        std::memcpy(&key, table + 144, 8);
        return key;
    }

    void (*setInfo)(testing::NppHandles) = nullptr;
    void* (*getFuncsArray)(int*) = nullptr;
    int (*doFormat)() = nullptr;
    int (*doVarRP)() = nullptr;
    void (*failAfter)(long long) = nullptr;
    long long (*allocationsLeft)() = nullptr;

   private:
    template <class F>
    void Bind(const char* name, F& f) {
        if (module_ != nullptr) f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    HMODULE module_ = nullptr;
};

std::string Formatted(std::string_view source) {
    const LowerCaseFolds folds;
    const FormatSettings settings;
    FormatterState state;
    IndentEngine engine(state, settings, folds);
    engine.StartRun();
    return FormatText(source, engine).text;
}

// Runs `command` with the n-th allocation failing, for n = 0, 1, 2, ... until
// the command gets through without using up the count; `check` looks at the
// outcome after each run. Returns how many failure points there were.
template <class Command, class Check>
int FailEveryAllocation(FaultyPlugin& plugin, Command command, Check check) {
    for (int n = 0; n < 100000; ++n) {
        plugin.failAfter(n);
        bool escaped = false;
        int result = -1;
        try {
            result = command();
        } catch (...) {
            escaped = true;
        }
        const bool failed = plugin.allocationsLeft() == -1;
        plugin.failAfter(-1);
        EXPECT_FALSE(escaped) << "an exception reached the host at allocation " << n;
        EXPECT_EQ(result, 0);
        check(n);
        if (!failed) return n;
    }
    ADD_FAILURE() << "the command never got through";
    return -1;
}

TEST(Faults, FormatSurvivesAFailedAllocationAnywhere) {
    TempFolder cwd;
    FaultyPlugin plugin(cwd.path());
    ASSERT_TRUE(plugin.loaded());
    const std::string source = "SUB A\nFOR i = 1 TO 3\nPRINT \"x\" : NEXT\nEND SUB\nDO\nx\n";
    const std::string formatted = Formatted(source);
    FakeScintilla model;
    const HWND view = testing::CreateFakeScintillaWindow(model);
    plugin.setInfo({nullptr, view, nullptr});
    int changedRuns = 0;
    const int points = FailEveryAllocation(
        plugin,
        [&] {
            model = FakeScintilla(source);
            model.SetSelection(3, 3);
            model.AddMarkers(1, 1u << 20);
            model.AddMarkers(4, 1);
            model.ContractFold(1);
            return plugin.doFormat();
        },
        [&](int n) {
            const bool untouched = model.document() == source && model.writes() == 0;
            EXPECT_TRUE(untouched || model.document() == formatted) << "allocation " << n;
            const std::map<std::intptr_t, std::uint32_t> markers{{1, 1u << 20}, {4, 1}};
            EXPECT_EQ(model.markers(), markers) << "allocation " << n;
            EXPECT_EQ(model.contractedFolds(), std::set<std::intptr_t>{1}) << "allocation " << n;
            changedRuns += untouched ? 0 : 1;
        });
    DestroyWindow(view);
    EXPECT_GT(points, 3) << "the hook never reached the command's allocations";
    RecordProperty("failure_points", points);
    EXPECT_GE(changedRuns, 1);
}

// The latency benchmark compares the two write-backs through these builds.
TEST(Faults, TestBuildsWriteBackChangedLinesOrTheWholeText) {
    TempFolder cwd;
    for (const auto& [dll, message] : {std::pair{L"HalvexFaults.dll", sci::kReplaceTarget},
                                       std::pair{L"HalvexWholeText.dll", sci::kSetText}}) {
        FaultyPlugin plugin(cwd.path(), dll);
        ASSERT_NE(plugin.doFormat, nullptr);
        FakeScintilla model("x\r\n  y\r\n");
        const HWND view = testing::CreateFakeScintillaWindow(model);
        plugin.setInfo({nullptr, view, nullptr});
        plugin.doFormat();
        DestroyWindow(view);
        EXPECT_EQ(model.document(), "  x\r\n  y\r\n");
        const auto& sent = model.messages();
        EXPECT_NE(std::find(sent.begin(), sent.end(), message), sent.end());
    }
}

TEST(Faults, VariableReportSurvivesAFailedAllocationAnywhere) {
    TempFolder cwd;
    FaultyPlugin plugin(cwd.path());
    ASSERT_TRUE(plugin.loaded());
    FakeScintilla model("PRINT \"report me\"\r\n");
    const HWND view = testing::CreateFakeScintillaWindow(model);
    plugin.setInfo({nullptr, view, nullptr});
    const int points = FailEveryAllocation(plugin, [&] { return plugin.doVarRP(); }, [](int) {});
    DestroyWindow(view);
    EXPECT_GT(points, 2);
    RecordProperty("failure_points", points);
}

TEST(Faults, HundredMegabyteDocumentIsFormattedThroughTheExport) {
    TempFolder cwd;
    FaultyPlugin plugin(cwd.path());
    ASSERT_TRUE(plugin.loaded());
    const std::string source = bench::GenerateProgram({.lines = 0, .bytes = 100'000'000, .seed = 5, .crlf = false});
    const std::string formatted = Formatted(source);
    FakeScintilla model(source);
    const HWND view = testing::CreateFakeScintillaWindow(model);
    plugin.setInfo({nullptr, view, nullptr});
    EXPECT_EQ(plugin.doFormat(), 0);
    DestroyWindow(view);
    EXPECT_GE(model.document().size(), 100'000'000u);
    EXPECT_TRUE(model.document() == formatted) << "the 100 MB result differs from the pipeline's";
}

// Loads the plug-in with `contents` as plugins\Halvex\Halvex.inf and reads
// the shortcut fields of its table.
std::string ShortcutsWithSettings(const std::string& contents) {
    TempFolder cwd;
    CreateDirectoryW((cwd.path() + L"plugins").c_str(), nullptr);
    CreateDirectoryW((cwd.path() + L"plugins\\Halvex").c_str(), nullptr);
    testing::WriteBytes(cwd.path() + L"plugins\\Halvex\\Halvex.inf", contents);
    FaultyPlugin plugin(cwd.path());
    if (!plugin.loaded()) return "not loaded";
    int count = 0;
    plugin.getFuncsArray(&count);
    const std::uint8_t* key = plugin.FirstShortcut();
    return std::to_string(count) + ":" + std::to_string(key[1]) + "," + std::to_string(key[3]);
}

TEST(Faults, SettingsFilesOfAnyContentLoad) {
    std::mt19937 random(3);
    std::string binary(64 * 1024, '\0');
    for (char& c : binary) c = static_cast<char>(random());
    EXPECT_EQ(ShortcutsWithSettings(binary).substr(0, 2), "3:");

    std::string huge;
    while (huge.size() < 10'000'000) huge += "; a comment line to fill the file\r\nKey" + std::to_string(huge.size()) + "=x\r\n";
    EXPECT_EQ(ShortcutsWithSettings("VR Shortcut = ctrl 65\r\n" + huge), "3:0,65");
    EXPECT_EQ(ShortcutsWithSettings(huge + "VR Shortcut = ctrl 65\r\n"), "3:0,65");
    EXPECT_EQ(ShortcutsWithSettings(huge + "[Later]\r\nVR Shortcut = ctrl 65\r\n"), "3:1,121");
}

TEST(Faults, UnreadableFirstSettingsFileFallsBackToTheSecond) {
    TempFolder cwd;
    CreateDirectoryW((cwd.path() + L"plugins").c_str(), nullptr);
    CreateDirectoryW((cwd.path() + L"plugins\\Halvex").c_str(), nullptr);
    const std::wstring first = cwd.path() + L"plugins\\Halvex\\Halvex.inf";
    testing::WriteBytes(first, "VR Shortcut = alt 66\r\n");
    testing::WriteBytes(cwd.path() + L"Halvex.inf", "VR Shortcut = alt 67\r\n");
    // Held open with no sharing, the first file cannot be opened for reading.
    const HANDLE lock = CreateFileW(first.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    FaultyPlugin plugin(cwd.path());
    CloseHandle(lock);
    ASSERT_TRUE(plugin.loaded());
    EXPECT_EQ(plugin.FirstShortcut()[3], 67);
}

}  // namespace
}  // namespace halvex
