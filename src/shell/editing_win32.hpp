#pragma once
// What the plug-in does on its own while the user edits, driven by
// Notepad++'s notifications: indentation while typing ("Indent while
// typing") and Format on save ("Format on save").

#include <windows.h>

#include "formatter/indent_engine.hpp"
#include "shell/host_records_win32.hpp"
#include "shell/settings.hpp"

namespace halvex::plugin {

// Handles one notification that beNotified received. Does nothing unless
// one of the two settings is on. The records given must live as long as the
// plug-in: a posted message uses them later. No exception leaves it.
void OnNotification(const ScintillaNotification& notification, const NppData& npp, const SettingsValues& settings,
                    FormatterState& formatterState, HMODULE plugin) noexcept;

}  // namespace halvex::plugin
