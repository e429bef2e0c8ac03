#pragma once
// The Variable Report command: hands the main view's document to the IDE
// through the clipboard and starts the IDE with the main view's handle on its
// command line, without waiting for it.

#include <cstdint>

#include "editor/platform.hpp"
#include "text/text.hpp"

namespace halvex {

// The largest document that is handed over: its length plus the NUL must fit
// a signed 32-bit buffer size, as the IDE hand-over has always counted it.
inline constexpr std::intptr_t kMaxReportedDocument = INT32_MAX - 1;

// Runs one Variable Report: reads the whole document through
// platform.sendToEditor, decodes it as UTF-8 up to its first NUL byte, puts it
// on the clipboard (platform.copyTextToClipboard) and then starts `exePath`
// (platform.startProgram) with "/npp <mainViewHandle> /VariableReport" in the
// directory part of `exePath`. Neither result is looked at and nothing is
// shown. A document that is too large, or any failure before the clipboard is
// written (an allocation, an editor call that throws), ends the command
// without touching the clipboard or starting anything; no exception leaves it.
void VariableReportCommand(const Platform& platform, TextView exePath, std::int64_t mainViewHandle) noexcept;

}  // namespace halvex
