#pragma once
// Where the plug-in finds its settings file on Windows.

#include <windows.h>

#include "shell/settings.hpp"

namespace halvex {

// LoadSettings over these places, in this order, all absolute: "Halvex.inf"
// in the plug-in's own folder, then "plugins\Halvex\Halvex.inf" and
// "Halvex.inf" in the folder of the host program. Never the current
// directory: that is often the folder of a document, and a file planted there
// could name a program for Variable Report to start. A place whose module
// name cannot be had is left out; all defaults when not even the list can be
// made. Safe under the loader lock: module names and one small file only.
SettingsValues LoadPluginSettings(HMODULE plugin) noexcept;

}  // namespace halvex
