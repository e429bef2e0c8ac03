#pragma once
// The Format command: re-indents the main view's selection, widened to whole
// lines, or its whole document, and reports the first routine whose blocks do
// not balance.

#include "formatter/indent_engine.hpp"
#include "editor/editor.hpp"
#include "editor/platform.hpp"

namespace halvex {

inline constexpr std::u16string_view kFormatBoxTitle = u"OOPS!";
inline constexpr std::u16string_view kFormatErrorPrefix = u"Format error in:\n";
inline constexpr std::u16string_view kNulSkippedText =
    u"Format skipped: the text contains a NUL character.\nNothing was changed.";

// How the result goes back into the editor. kChangedLines replaces only the
// changed lines and keeps markers, folds and the view; kWholeText is the first
// release's SCI_SETTEXT / SCI_REPLACESEL, kept for comparison.
enum class WriteBackMode { kChangedLines, kWholeText };

// What the command formats: the selection's lines (the whole document when
// nothing is selected), or the whole document whatever is selected.
enum class FormatScope { kSelection, kDocument };

// The settings with "Use tabs" = kFollowEditor replaced by the editor's own
// indentation: one tab per level when it indents with tabs, else its indent
// size (the tab width when that is 0) in spaces. Other settings come back as
// they are.
FormatSettings FollowEditorStyle(const Editor& editor, FormatSettings settings);

// Runs one Format command. The document is either formatted or left exactly
// as it was; no exception leaves this function.
void FormatCommand(const Platform& platform, const FormatSettings& settings, FormatterState& state,
                   WriteBackMode mode = WriteBackMode::kChangedLines, FormatScope scope = FormatScope::kSelection) noexcept;

}  // namespace halvex
