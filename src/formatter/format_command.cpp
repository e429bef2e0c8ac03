#include "formatter/format_command.hpp"

#include <algorithm>
#include <optional>
#include <string>

#include "formatter/format_text.hpp"
#include "editor/editor.hpp"
#include "editor/write_back.hpp"
#include "text/text.hpp"

namespace halvex {
namespace {

// The text that the command works on, and how to put its replacement back.
struct Target {
    // The text, read in place when the editor allows it, else copied.
    std::optional<std::string_view> inPlace;
    std::string copy;
    std::intptr_t position = 0;  // where the text starts in the document
    std::intptr_t firstLine = 0;
    ViewPlace view;              // as it was before the selection was widened
    bool selectionMode = false;
    // The user's selection before it was widened, to restore it when the
    // command gives up.
    std::intptr_t anchor = 0;
    std::intptr_t caret = 0;

    std::string_view text() const { return inPlace ? *inPlace : std::string_view(copy); }
};

// Gives the user back the selection and the view when the command gives up.
void Restore(const Editor& editor, const Target& target) {
    if (!target.selectionMode) return;
    editor.SetSel(target.anchor, target.caret);
    ScrollTo(editor, target.view);
}

// Widens a non-empty selection to whole lines (taking in the line break of
// its last line) and fetches it; with nothing selected fetches the document.
std::optional<Target> FetchTarget(const Editor& editor, std::intptr_t caretPos, FormatScope scope) {
    Target target;
    target.view = SaveView(editor);
    const std::intptr_t start = editor.SelectionStart();
    const std::intptr_t end = editor.SelectionEnd();
    if (end <= start || scope == FormatScope::kDocument) {
        const std::intptr_t length = editor.Length();
        target.inPlace = editor.DocumentInPlace(length);
        if (target.inPlace) return target;
        auto text = editor.GetText(length);
        if (!text) return std::nullopt;
        target.copy = std::move(*text);
        return target;
    }
    target.selectionMode = true;
    target.caret = caretPos;
    target.anchor = caretPos == start ? end : start;
    target.firstLine = editor.LineFromPosition(start);
    target.position = editor.PositionFromLine(target.firstLine);
    const std::intptr_t newCaret = editor.PositionFromLine(editor.LineFromPosition(end) + 1);
    editor.SetSel(target.position, newCaret);
    target.inPlace = editor.RangeInPlace(target.position, newCaret - target.position);
    if (target.inPlace) return target;
    auto text = editor.GetSelText(newCaret - target.position);
    if (!text) {
        Restore(editor, target);
        return std::nullopt;
    }
    target.copy = std::move(*text);
    return target;
}

// With "Selection context", brings the engine to the level of the code above
// the widened selection: the document's first SelectionStart() bytes.
void FollowTextAbove(const Editor& editor, IndentEngine& engine) {
    const std::intptr_t length = editor.SelectionStart();
    if (const std::optional<std::string_view> above = editor.RangeInPlace(0, length)) {
        FollowContext(*above, engine);
    } else if (const std::optional<std::string> copy = editor.GetText(length)) {
        FollowContext(*copy, engine);
    }
}

void RunFormat(const Platform& platform, const FormatSettings& settings, FormatterState& state, WriteBack writeBack,
               FormatScope scope, std::optional<Target>& target) {
    const Editor editor(platform.sendToEditor);
    const FormatSettings style = FollowEditorStyle(editor, settings);
    IndentEngine engine(state, style, platform.lowerCaseFolds);
    engine.StartRun();
    if (editor.ReadOnly()) {
        platform.showMessageBox(kFormatBoxTitle, kReadOnlyText, 0);
        return;
    }
    const std::intptr_t caretPos = editor.CurrentPos();
    const std::intptr_t caretLine = editor.LineFromPosition(caretPos);
    target = FetchTarget(editor, caretPos, scope);
    if (!target) return;
    if (target->selectionMode && settings.selectionContext) FollowTextAbove(editor, engine);
    // The pass that formats the text finds a NUL in it too.
    FormattedRuns formatted(target->text(), target->firstLine, engine, platform.lowerCaseFolds);
    if (formatted.holdsNul()) {
        engine.StartRun();  // the run never was
        Restore(editor, *target);
        platform.showMessageBox(kFormatBoxTitle, kNulSkippedText, 0);
        return;
    }
    writeBack(editor, {target->text(), target->inPlace.has_value(), formatted, target->position, target->firstLine,
                       target->selectionMode, target->view, caretLine, platform.setViewRedraw});
    target.reset();  // written: nothing to restore from here on
    if (state.formatErrorState == kErrorRecorded) {
        platform.showMessageBox(kFormatBoxTitle, Text(kFormatErrorPrefix) + FromUtf8(state.errorLocation), 0);
    }
}

}  // namespace

FormatSettings FollowEditorStyle(const Editor& editor, FormatSettings settings) {
    if (settings.useTabs != kFollowEditor) return settings;
    settings.useTabs = editor.UseTabs() ? kTabsPerLevel : 0;
    const std::intptr_t indent = editor.Indent();
    const std::intptr_t width = indent != 0 ? indent : editor.TabWidth();
    settings.indentWidth = static_cast<std::int32_t>(std::clamp<std::intptr_t>(width, 0, 9));  // 0 and 9: out of range
    return settings;
}

void WriteChangedLines(const Editor& editor, const Rewrite& rewrite) {
    if (rewrite.formatted.unchanged()) return ScrollToAndGotoLine(editor, rewrite.view, rewrite.caretLine);
    const std::size_t newSize = rewrite.formatted.newSize();
    const ChangedLines changes(editor, rewrite.position, rewrite.oldText, std::move(rewrite.formatted.finder()),
                               rewrite.formatted, rewrite.oldInPlace);
    // When an insertion does not fit in the room left in Scintilla's buffer,
    // the buffer grows to the document and the insertion together and is
    // filled with zeros all through (twice: text and styles); room for what
    // Format adds, made at once, costs what the added bytes cost. Below 64 KB
    // that fill costs too little to be worth two messages.
    if (newSize > rewrite.oldText.size() && rewrite.oldText.size() >= 64 * 1024) {
        editor.Allocate(editor.Length() + static_cast<std::intptr_t>(newSize - rewrite.oldText.size()));
    }
    const ViewRedrawOff redrawOff(rewrite.setViewRedraw);  // until the view is back in place
    changes.Write(editor);
    ScrollToAndGotoLine(editor, rewrite.view, rewrite.caretLine);
}

void FormatCommand(const Platform& platform, const FormatSettings& settings, FormatterState& state,
                   WriteBack writeBack, FormatScope scope) noexcept {
    std::optional<Target> target;
    try {
        RunFormat(platform, settings, state, writeBack, scope, target);
    } catch (...) {
        // Out of memory, most likely: the document has not been written, so
        // it stands as it was; give the user back the selection too.
        try {
            if (target) Restore(Editor(platform.sendToEditor), *target);
        } catch (...) {
        }
    }
}

}  // namespace halvex
