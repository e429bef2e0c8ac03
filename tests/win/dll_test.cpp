// Halvex.dll loaded in-process, called through its exports exactly as the
// host calls them, and its raw command table read byte by byte.
#include <gtest/gtest.h>
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <psapi.h>
// clang-format on

#include <cstring>
#include <thread>

#include "fake_scintilla_window_win32.hpp"
#include "process_win32.hpp"

namespace halvex {
namespace {

using testing::FakeScintilla;
using testing::ModuleDirectory;

// The plug-in's exports as the host declares them.
struct Plugin {
    HMODULE module = nullptr;
    void (*setInfo)(testing::NppHandles) = nullptr;
    const wchar_t* (*getName)() = nullptr;
    void* (*getFuncsArray)(int*) = nullptr;
    void (*beNotified)(void*) = nullptr;
    LRESULT (*messageProc)(UINT, WPARAM, LPARAM) = nullptr;
    BOOL (*isUnicode)() = nullptr;
    int (*doFormat)() = nullptr;
    int (*doVarRP)() = nullptr;
};

template <class F>
void Bind(HMODULE module, const char* name, F& f) {
    f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    ASSERT_NE(f, nullptr) << name;
}

// Loads the DLL from the build folder, where no settings file lies beside it.
Plugin Load() {
    Plugin p;
    p.module = LoadLibraryW((ModuleDirectory() + L"Halvex.dll").c_str());
    EXPECT_NE(p.module, nullptr);
    if (p.module == nullptr) return p;
    Bind(p.module, "setInfo", p.setInfo);
    Bind(p.module, "getName", p.getName);
    Bind(p.module, "getFuncsArray", p.getFuncsArray);
    Bind(p.module, "beNotified", p.beNotified);
    Bind(p.module, "messageProc", p.messageProc);
    Bind(p.module, "isUnicode", p.isUnicode);
    Bind(p.module, "doFormat", p.doFormat);
    Bind(p.module, "doVarRP", p.doVarRP);
    return p;
}

#if defined(_WIN64)
constexpr const char* kManifestArchitecture = "amd64";
#else
constexpr const char* kManifestArchitecture = "x86";
#endif

// One record of the table, read at its offsets.
struct RawItem {
    std::wstring name;
    void* command;
    std::int32_t commandId;
    std::uint8_t check;
    std::uint8_t padding[3];
    const std::uint8_t* shortcut;
};

RawItem ReadItem(const void* table, int index) {
    const auto* record = static_cast<const std::uint8_t*>(table) + testing::kFuncItem.size * index;
    RawItem item;
    item.name.assign(reinterpret_cast<const wchar_t*>(record));
    std::memcpy(&item.command, record + testing::kFuncItem.command, sizeof(void*));
    std::memcpy(&item.commandId, record + testing::kFuncItem.commandId, 4);
    item.check = record[testing::kFuncItem.check];
    std::memcpy(item.padding, record + testing::kFuncItem.check + 1, 3);
    std::memcpy(&item.shortcut, record + testing::kFuncItem.shortcut, sizeof(void*));
    return item;
}

class DllTest : public ::testing::Test {
   protected:
    void TearDown() override {
        if (plugin_.module) FreeLibrary(plugin_.module);
    }
    Plugin plugin_ = Load();
};

TEST_F(DllTest, CommandTableAsTheHostReadsIt) {
    struct {
        std::int32_t count = -1;
        std::int32_t guard = 0x5A5A5A5A;
    } slot;
    const void* table = plugin_.getFuncsArray(&slot.count);
    EXPECT_EQ(slot.count, 3);
    EXPECT_EQ(slot.guard, 0x5A5A5A5A) << "stores 32 bits and nothing beyond";
    EXPECT_EQ(plugin_.getFuncsArray(&slot.count), table);

    const wchar_t* names[] = {L"Variable Report", L"Format", L"About"};
    const std::uint8_t shortcuts[][4] = {{0, 1, 0, 121}, {0, 1, 0, 122}};
    for (int i = 0; i < 3; ++i) {
        const RawItem item = ReadItem(table, i);
        EXPECT_EQ(item.name, names[i]);
        EXPECT_NE(item.command, nullptr);
        EXPECT_EQ(item.commandId, 0);
        EXPECT_EQ(item.check, 0);
        EXPECT_EQ(item.padding[0] | item.padding[1] | item.padding[2], 0);
        if (i < 2) {
            ASSERT_NE(item.shortcut, nullptr);
            EXPECT_EQ(std::memcmp(item.shortcut, shortcuts[i], 4), 0) << i;
        } else {
            EXPECT_EQ(item.shortcut, nullptr);
        }
    }
    // The item name field is zero-padded to its end.
    const auto* first = static_cast<const wchar_t*>(table);
    for (int i = 15; i < 64; ++i) EXPECT_EQ(first[i], 0) << i;
}

TEST_F(DllTest, ThreadsStartingAndEndingChangeNothing) {
    int count = 0;
    const void* table = plugin_.getFuncsArray(&count);
    std::vector<std::uint8_t> before(static_cast<const std::uint8_t*>(table),
                                     static_cast<const std::uint8_t*>(table) + 3 * testing::kFuncItem.size);
    std::thread([] {}).join();  // thread attach and thread detach reach the DLL
    EXPECT_EQ(std::memcmp(before.data(), plugin_.getFuncsArray(&count), before.size()), 0);
}

// Loading runs no start-up work under the loader lock: COM is left to the
// caller's thread until the first export call, so a thread that loads the DLL
// can still choose its own apartment.
TEST(DllLifetime, LoadingLeavesComToTheLoadingThread) {
    std::thread([] {
        Plugin plugin = Load();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        int count = 0;
        plugin.getFuncsArray(&count);
        EXPECT_EQ(count, 3);
        FreeLibrary(plugin.module);
        CoUninitialize();
    }).join();
}

std::wstring VersionString(const std::vector<char>& info, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), path.c_str(), &value, &length) || length == 0) return L"";
    return static_cast<const wchar_t*>(value);
}

TEST(DllResources, VersionAndManifest) {
    const std::wstring dll = ModuleDirectory() + L"Halvex.dll";
    std::vector<char> info(GetFileVersionInfoSizeW(dll.c_str(), nullptr));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(dll.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(40, 0));
    EXPECT_EQ(VersionString(info, L"ProductName"), L"Brenvo Plus");
    EXPECT_EQ(VersionString(info, L"OriginalFilename"), L"Halvex.dll");
    EXPECT_EQ(VersionString(info, L"FileVersion"), L"1.0.0.40");

    const HMODULE image = LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    const HRSRC manifest = FindResourceExW(image, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), 1033);
    ASSERT_NE(manifest, nullptr);
    const std::string text(static_cast<const char*>(LockResource(LoadResource(image, manifest))),
                           SizeofResource(image, manifest));
    EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(text.find(std::string("processorArchitecture=\"") + kManifestArchitecture + "\""),
              std::string::npos);
    FreeLibrary(image);
}

TEST_F(DllTest, HostCallsAnswerAsTheHostExpects) {
    EXPECT_STREQ(plugin_.getName(), L"Brenvo Plus");
    EXPECT_EQ(plugin_.isUnicode(), TRUE);
    for (const UINT message : {UINT{0}, UINT{WM_USER}, UINT{0xFFFFFFFF}}) {
        EXPECT_EQ(plugin_.messageProc(message, 7, -1), 1);
    }
    char notification[64] = {};
    plugin_.beNotified(notification);
    plugin_.beNotified(nullptr);
}

TEST_F(DllTest, SecondSetInfoRetargetsTheCommands) {
    FakeScintilla first("FOR i\nNEXT\n");
    FakeScintilla second("DO\nLOOP\n");
    const HWND firstView = testing::CreateFakeScintillaWindow(first);
    const HWND secondView = testing::CreateFakeScintillaWindow(second);
    plugin_.setInfo({nullptr, firstView, nullptr});
    EXPECT_EQ(plugin_.doFormat(), 0);
    EXPECT_EQ(first.document(), "  FOR i\r\n  NEXT\r\n");
    plugin_.setInfo({nullptr, secondView, firstView});
    EXPECT_EQ(plugin_.doFormat(), 0);
    EXPECT_EQ(second.document(), "  DO\r\n  LOOP\r\n");
    EXPECT_EQ(first.writes(), 1) << "the old main view is left alone";
    EXPECT_EQ(plugin_.doVarRP(), 0);  // no "Exe Path": starts nothing, shows nothing
    DestroyWindow(firstView);
    DestroyWindow(secondView);
}

std::size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters.PrivateUsage;
}

TEST(DllLifetime, LoadsAndUnloadsManyTimesWithoutGrowing) {
    FakeScintilla model("SUB A\nFOR i\nNEXT\nEND SUB\n");
    const HWND view = testing::CreateFakeScintillaWindow(model);
    auto cycle = [&] {
        Plugin plugin = Load();
        int count = 0;
        plugin.getFuncsArray(&count);
        plugin.setInfo({nullptr, view, nullptr});
        plugin.doFormat();
        FreeLibrary(plugin.module);
    };
    for (int i = 0; i < 10; ++i) cycle();  // warm up the loader's own caches
    const std::size_t before = PrivateBytes();
    for (int i = 0; i < 100; ++i) cycle();
    const std::size_t after = PrivateBytes();
    DestroyWindow(view);
    EXPECT_EQ(model.document(), "SUB A\r\n  FOR i\r\n  NEXT\r\nEND SUB\r\n");
    EXPECT_LT(after, before + 4 * 1024 * 1024) << "grew by " << (after - before) << " bytes";
}

}  // namespace
}  // namespace halvex
