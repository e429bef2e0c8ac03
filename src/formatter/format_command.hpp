#pragma once
// The Format command: re-indents the main view's selection, widened to whole
// lines, or its whole document, and reports the first routine whose blocks do
// not balance.

#include "formatter/indent_engine.hpp"
#include "editor/platform.hpp"

namespace halvex {

inline constexpr std::u16string_view kFormatBoxTitle = u"OOPS!";
inline constexpr std::u16string_view kFormatErrorPrefix = u"Format error in:\n";
inline constexpr std::u16string_view kNulSkippedText =
    u"Format skipped: the text contains a NUL character.\nNothing was changed.";
inline constexpr std::u16string_view kReadOnlyText =
    u"Format skipped: the document is read-only.\nNothing was changed.";

// How the result goes back into the editor. kChangedLines replaces only the
// changed lines and keeps markers, folds and the view; kWholeText is the first
// release's SCI_SETTEXT / SCI_REPLACESEL, kept for comparison.
enum class WriteBackMode { kChangedLines, kWholeText };

// Runs one Format command. The document is either formatted or left exactly
// as it was; no exception leaves this function.
void FormatCommand(const Platform& platform, const FormatSettings& settings, FormatterState& state,
                   WriteBackMode mode = WriteBackMode::kChangedLines) noexcept;

}  // namespace halvex
