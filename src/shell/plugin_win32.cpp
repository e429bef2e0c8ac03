// Halvex.dll: the library entry routine, the exports that Notepad++ calls,
// and the command table of the "Brenvo Plus" menu.
#include "shell/plugin_win32.hpp"

#include <commctrl.h>
#include <objbase.h>
#include <windows.h>

#include <cwchar>

#include "bridge/about_command.hpp"
#include "bridge/variable_report_command.hpp"
#include "formatter/format_command.hpp"
#include "shell/editing_win32.hpp"
#include "shell/platform_win32.hpp"
#include "shell/settings_win32.hpp"
#ifdef HALVEX_WHOLE_TEXT_WRITEBACK
#include "whole_text_write_back.hpp"
#endif

namespace halvex::plugin {
namespace {

// Module-wide state, made at load and kept until unload. The host holds the
// addresses of the table and of its shortcut records all that time, so they
// live in static storage: nothing to allocate at load, nothing that can fail.
NppData nppData{};
SettingsValues settings;
FormatterState formatterState;
FuncItem funcItems[kCommandCount]{};
ShortcutKey vrShortcutKey{};
ShortcutKey formatShortcutKey{};

#ifdef HALVEX_WHOLE_TEXT_WRITEBACK
// A test build for the latency benchmark: the first release's write-back,
// which only that build links.
constexpr WriteBack kWriteBack = bench::WriteWholeText;
#else
constexpr WriteBack kWriteBack = WriteChangedLines;
#endif

void FillShortcut(ShortcutKey& key, const ShortcutFields& fields) {
    key = ShortcutKey{};
    key._isCtrl = fields.ctrl != 0;
    key._isAlt = fields.alt != 0;
    key._isShift = fields.shift != 0;
    key._key = fields.keyCode;
}

void FillItem(FuncItem& item, const wchar_t* name, PluginCommand command, ShortcutKey* shortcut) {
    item = FuncItem{};
    std::wcsncpy(item._itemName, name, kMenuItemNameLength - 1);
    item._pFunc = command;
    item._pShKey = shortcut;
}

// Runs the start-up work once, on the first call of any export rather than
// in DllMain: DllMain runs under the loader lock, where COM must not be
// initialised and files are better not read. Notepad++ calls the exports on
// its user-interface thread, so COM is initialised for that thread; the host
// sees the same table and settings as if they had been made at load.
HMODULE pluginModule = nullptr;
INIT_ONCE started = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK StartUp(PINIT_ONCE, PVOID, PVOID*) {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), 0x0B48};
    InitCommonControlsEx(&controls);
    CoInitialize(nullptr);
    pluginInit(pluginModule);
    return TRUE;
}

}  // namespace

void EnsureStarted() noexcept { InitOnceExecuteOnce(&started, StartUp, nullptr, nullptr); }

void RememberModule(HMODULE plugin) noexcept { pluginModule = plugin; }

void pluginInit(HMODULE plugin) noexcept {
    settings = LoadPluginSettings(plugin);
    FillShortcut(vrShortcutKey, settings.vrShortcutKey);
    FillShortcut(formatShortcutKey, settings.formatShortcutKey);
    FillItem(funcItems[0], L"Variable Report", VariableReportCommand, &vrShortcutKey);
    FillItem(funcItems[1], L"Format", FormatCommand, &formatShortcutKey);
    FillItem(funcItems[2], L"About", AboutCommand, nullptr);
}

void pluginCleanup() noexcept {
    for (FuncItem& item : funcItems) item._pShKey = nullptr;
    settings = SettingsValues{};
    formatterState = FormatterState{};
}

void VariableReportCommand() noexcept {
    try {
        halvex::VariableReportCommand(Win32Platform(nppData._scintillaMainHandle), settings.exePath,
                                      reinterpret_cast<std::intptr_t>(nppData._scintillaMainHandle));
    } catch (...) {
    }
}

void FormatCommand() noexcept {
    try {
        halvex::FormatCommand(Win32Platform(nppData._scintillaMainHandle), FormatSettingsFrom(settings),
                              formatterState, kWriteBack);
    } catch (...) {
    }
}

void Notify(const ScintillaNotification& notification) noexcept {
    OnNotification(notification, nppData, settings, formatterState, pluginModule);
}

void AboutCommand() noexcept {
    try {
        halvex::AboutCommand(Win32Platform(nppData._scintillaMainHandle), settings.exePath);
    } catch (...) {
    }
}

}  // namespace halvex::plugin

// The exports, unmangled; Halvex.def lists exactly these.
extern "C" {

void setInfo(halvex::NppData data) {
    halvex::plugin::EnsureStarted();
    halvex::plugin::nppData = data;
}

const wchar_t* getName() {
    halvex::plugin::EnsureStarted();
    return halvex::plugin::kPluginName;
}

halvex::FuncItem* getFuncsArray(int* count) {
    halvex::plugin::EnsureStarted();
    if (count != nullptr) *count = halvex::plugin::kCommandCount;
    return halvex::plugin::funcItems;
}

void beNotified(void* notification) {
    halvex::plugin::EnsureStarted();
    if (notification != nullptr) halvex::plugin::Notify(*static_cast<const halvex::ScintillaNotification*>(notification));
}

LRESULT messageProc(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/) {
    halvex::plugin::EnsureStarted();
    return TRUE;
}

BOOL isUnicode() {
    halvex::plugin::EnsureStarted();
    return TRUE;
}

int doFormat() {
    halvex::plugin::EnsureStarted();
    halvex::plugin::FormatCommand();
    return 0;
}

int doVarRP() {
    halvex::plugin::EnsureStarted();
    halvex::plugin::VariableReportCommand();
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
    // Only the module handle is kept here; the start-up work waits for the
    // first export call (EnsureStarted), outside the loader lock.
    if (reason == DLL_PROCESS_ATTACH) {
        halvex::plugin::RememberModule(module);
    } else if (reason == DLL_PROCESS_DETACH) {
        halvex::plugin::pluginCleanup();
    }
    return TRUE;
}

}  // extern "C"
