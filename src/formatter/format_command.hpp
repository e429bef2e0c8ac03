#pragma once
// The Format command: re-indents the main view's selection, widened to whole
// lines, or its whole document, and reports the first routine whose blocks do
// not balance.

#include <string>
#include <string_view>

#include "formatter/format_runs.hpp"
#include "formatter/indent_engine.hpp"
#include "editor/editor.hpp"
#include "editor/platform.hpp"
#include "editor/write_back.hpp"

namespace halvex {

inline constexpr std::u16string_view kFormatBoxTitle = u"OOPS!";
inline constexpr std::u16string_view kFormatErrorPrefix = u"Format error in:\n";
inline constexpr std::u16string_view kNulSkippedText =
    u"Format skipped: the text contains a NUL character.\nNothing was changed.";
inline constexpr std::u16string_view kReadOnlyText =
    u"Format skipped: the document is read-only.\nNothing was changed.";

// What Format read and what goes in its place: the document's text from
// `position` on (the widened selection, or all of it), which may point into
// the document (`oldInPlace`) and so is valid until the first edit, and the
// runs of its lines that formatting changes.
struct Rewrite {
    std::string_view oldText;
    bool oldInPlace;
    FormattedRuns& formatted;
    std::intptr_t position;
    std::intptr_t firstLine;
    bool selectionMode;
    ViewPlace view;          // as it was before the selection was widened
    std::intptr_t caretLine;
    const SetViewRedraw& setViewRedraw;
};

// Puts the formatted text into the editor and the caret at the start of its
// line. Nothing may be written before everything that can fail is done.
using WriteBack = void (*)(const Editor& editor, const Rewrite& rewrite);

// Replaces only the changed lines and keeps markers, folds and the view; the
// view does not redraw meanwhile.
void WriteChangedLines(const Editor& editor, const Rewrite& rewrite);

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
                   WriteBack writeBack = WriteChangedLines, FormatScope scope = FormatScope::kSelection) noexcept;

}  // namespace halvex
