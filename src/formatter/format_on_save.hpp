#pragma once
// Format on save: the Format command over the whole document being saved,
// whatever is selected, with the caret and the anchor kept where they stood
// in the text of their lines. Boxes that Format would show go to the
// platform's showMessageBox, which the plug-in binds to the status bar
// during a save: a box would interrupt Save All and closing.

#include "formatter/format_command.hpp"

namespace halvex {

void FormatOnSave(const Platform& platform, const FormatSettings& settings, FormatterState& state) noexcept;

}  // namespace halvex
