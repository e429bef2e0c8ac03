#pragma once
// The plug-in's module-wide state and the functions behind its exports, for
// the library entry routine and for tests that reach into the DLL.

#include <windows.h>

#include "formatter/indent_engine.hpp"
#include "shell/host_records_win32.hpp"
#include "shell/settings.hpp"

namespace halvex::plugin {

inline constexpr int kCommandCount = 3;
inline constexpr wchar_t kPluginName[] = L"Brenvo Plus";

// Start-up reads the settings file found from the plug-in's own module
// handle and fills the command table; it runs once, from EnsureStarted, which
// every export calls first. Shutdown runs from the library entry routine.
void pluginInit(HMODULE plugin) noexcept;
void pluginCleanup() noexcept;
void RememberModule(HMODULE plugin) noexcept;
void EnsureStarted() noexcept;

// What the plug-in does on its own when Notepad++ notifies it (beNotified).
void Notify(const ScintillaNotification& notification) noexcept;

// The command functions of the menu items.
void VariableReportCommand() noexcept;
void FormatCommand() noexcept;
void AboutCommand() noexcept;

}  // namespace halvex::plugin

// The exports, as Notepad++ declares and calls them: unmangled and __cdecl
// on both architectures. Declared here so that a definition with another
// calling convention does not compile; Halvex.def exports these names
// undecorated.
extern "C" {
void __cdecl setInfo(halvex::NppData data);
const wchar_t* __cdecl getName();
halvex::FuncItem* __cdecl getFuncsArray(int* count);
void __cdecl beNotified(void* notification);
LRESULT __cdecl messageProc(UINT message, WPARAM wParam, LPARAM lParam);
BOOL __cdecl isUnicode();
int __cdecl doFormat();
int __cdecl doVarRP();
}
