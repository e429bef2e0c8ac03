#pragma once
// The records that Notepad++ and its plug-ins exchange, in the host's 64-bit
// layout. They are written out here rather than taken from the host's headers;
// the static_asserts pin every size and offset that the host relies on.

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

using PluginCommand = void (*)();

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

static_assert(sizeof(NppData) == 24);
static_assert(offsetof(NppData, _scintillaMainHandle) == 8);
static_assert(offsetof(NppData, _scintillaSecondHandle) == 16);

static_assert(sizeof(ShortcutKey) == 4);
static_assert(offsetof(ShortcutKey, _isCtrl) == 0);
static_assert(offsetof(ShortcutKey, _isAlt) == 1);
static_assert(offsetof(ShortcutKey, _isShift) == 2);
static_assert(offsetof(ShortcutKey, _key) == 3);

static_assert(sizeof(wchar_t) == 2);
static_assert(sizeof(FuncItem) == 152);
static_assert(offsetof(FuncItem, _itemName) == 0);
static_assert(offsetof(FuncItem, _pFunc) == 128);
static_assert(offsetof(FuncItem, _cmdID) == 136);
static_assert(offsetof(FuncItem, _init2Check) == 140);
static_assert(offsetof(FuncItem, _pShKey) == 144);

}  // namespace halvex
