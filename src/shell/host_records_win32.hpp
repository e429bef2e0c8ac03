#pragma once
// The records that Notepad++ and its plug-ins exchange, in the layouts of the
// host's 64-bit and 32-bit builds. They are written out here rather than taken
// from the host's headers; the static_asserts pin every size and offset that
// the host relies on, for each architecture.

#include <windows.h>

#include <cstddef>

namespace halvex {

// Host to plug-in, at setInfo: the host's main window and its two editing views.
struct NppData {
    HWND _nppHandle;
    HWND _scintillaMainHandle;
    HWND _scintillaSecondHandle;
};

// Plug-in to host: a command's keyboard shortcut.
struct ShortcutKey {
    bool _isCtrl;
    bool _isAlt;
    bool _isShift;
    UCHAR _key;  // a Windows virtual-key code
};

// Notepad++ calls the menu commands, like the exports, as __cdecl (the only
// convention on x64; on x86 the one its headers leave as the default).
using PluginCommand = void(__cdecl*)();

inline constexpr int kMenuItemNameLength = 64;

// Plug-in to host: one menu command. The host writes the command id it
// assigns into _cmdID and keeps the record's address until unload.
struct FuncItem {
    wchar_t _itemName[kMenuItemNameLength];
    PluginCommand _pFunc;
    int _cmdID;
    bool _init2Check;
    ShortcutKey* _pShKey;
};

// Host to plug-in, at beNotified: Scintilla's notification record, of which
// the plug-in reads the fields up to linesAdded. Notepad++'s own
// notifications use the header only (idFrom: the buffer they are about).
struct ScintillaNotification {
    NMHDR nmhdr;
    INT_PTR position;
    int ch;
    int modifiers;
    int modificationType;
    const char* text;
    INT_PTR length;
    INT_PTR linesAdded;
};

static_assert(sizeof(ShortcutKey) == 4);
static_assert(offsetof(ShortcutKey, _isCtrl) == 0);
static_assert(offsetof(ShortcutKey, _isAlt) == 1);
static_assert(offsetof(ShortcutKey, _isShift) == 2);
static_assert(offsetof(ShortcutKey, _key) == 3);
static_assert(sizeof(wchar_t) == 2);
static_assert(offsetof(NppData, _nppHandle) == 0);
static_assert(offsetof(FuncItem, _itemName) == 0);

// Handles and pointers take 8 bytes in the x64 host and 4 in the x86 one.
#if defined(_WIN64)
static_assert(sizeof(NppData) == 24);
static_assert(offsetof(NppData, _scintillaMainHandle) == 8);
static_assert(offsetof(NppData, _scintillaSecondHandle) == 16);
static_assert(sizeof(FuncItem) == 152);
static_assert(offsetof(FuncItem, _pFunc) == 128);
static_assert(offsetof(FuncItem, _cmdID) == 136);
static_assert(offsetof(FuncItem, _init2Check) == 140);
static_assert(offsetof(FuncItem, _pShKey) == 144);
static_assert(offsetof(ScintillaNotification, position) == 24);
static_assert(offsetof(ScintillaNotification, ch) == 32);
static_assert(offsetof(ScintillaNotification, modificationType) == 40);
static_assert(offsetof(ScintillaNotification, length) == 56);
static_assert(offsetof(ScintillaNotification, linesAdded) == 64);
#elif defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(NppData) == 12);
static_assert(offsetof(NppData, _scintillaMainHandle) == 4);
static_assert(offsetof(NppData, _scintillaSecondHandle) == 8);
static_assert(sizeof(FuncItem) == 144);
static_assert(offsetof(FuncItem, _pFunc) == 128);
static_assert(offsetof(FuncItem, _cmdID) == 132);
static_assert(offsetof(FuncItem, _init2Check) == 136);
static_assert(offsetof(FuncItem, _pShKey) == 140);
static_assert(offsetof(ScintillaNotification, position) == 12);
static_assert(offsetof(ScintillaNotification, ch) == 16);
static_assert(offsetof(ScintillaNotification, modificationType) == 24);
static_assert(offsetof(ScintillaNotification, length) == 32);
static_assert(offsetof(ScintillaNotification, linesAdded) == 36);
#else
#error "Halvex.dll is built for x64 or x86 Windows only"
#endif

}  // namespace halvex
