#include "formatter/format_command.hpp"

#include <cstring>
#include <optional>
#include <string>

#include "formatter/format_text.hpp"
#include "editor/editor.hpp"
#include "text/text.hpp"

namespace halvex {
namespace {

// The text that the command works on, and how to put its replacement back.
struct Target {
    std::string text;
    bool selectionMode = false;
    // The user's selection before it was widened, to restore it when the
    // command gives up.
    std::intptr_t anchor = 0;
    std::intptr_t caret = 0;
};

// Widens a non-empty selection to whole lines (taking in the line break of
// its last line) and fetches it; with nothing selected fetches the document.
std::optional<Target> FetchTarget(const Editor& editor, std::intptr_t caretPos) {
    Target target;
    const std::intptr_t start = editor.SelectionStart();
    const std::intptr_t end = editor.SelectionEnd();
    if (end <= start) {
        auto text = editor.GetText(editor.Length());
        if (!text) return std::nullopt;
        target.text = std::move(*text);
        return target;
    }
    target.selectionMode = true;
    target.caret = caretPos;
    target.anchor = caretPos == start ? end : start;
    const std::intptr_t newAnchor = editor.PositionFromLine(editor.LineFromPosition(start));
    const std::intptr_t newCaret = editor.PositionFromLine(editor.LineFromPosition(end) + 1);
    editor.SetSel(newAnchor, newCaret);
    auto text = editor.GetSelText(newCaret - newAnchor);
    if (!text) {
        editor.SetSel(target.anchor, target.caret);
        return std::nullopt;
    }
    target.text = std::move(*text);
    return target;
}

// With "Selection context", brings the engine to the level of the code above
// the widened selection: the document's first SelectionStart() bytes.
void FollowTextAbove(const Editor& editor, IndentEngine& engine) {
    const std::optional<std::string> above = editor.GetText(editor.SelectionStart());
    if (above) FollowContext(*above, engine);
}

void Restore(const Editor& editor, const Target& target) {
    if (target.selectionMode) editor.SetSel(target.anchor, target.caret);
}

void WriteBack(const Editor& editor, const Target& target, const std::string& formatted) {
    if (formatted == target.text) return;  // no undo step, no "modified" mark
    if (target.selectionMode) {
        editor.ReplaceSel(formatted);
    } else {
        editor.SetText(formatted);
    }
}

void RunFormat(const Platform& platform, const FormatSettings& settings, FormatterState& state,
               std::optional<Target>& target) {
    const Editor editor(platform.sendToEditor);
    IndentEngine engine(state, settings, platform.lowerCaseFolds);
    engine.StartRun();
    const std::intptr_t caretPos = editor.CurrentPos();
    const std::intptr_t caretLine = editor.LineFromPosition(caretPos);
    target = FetchTarget(editor, caretPos);
    if (!target) return;
    if (std::memchr(target->text.data(), '\0', target->text.size()) != nullptr) {
        Restore(editor, *target);
        platform.showMessageBox(kFormatBoxTitle, kNulSkippedText, 0);
        return;
    }
    if (target->selectionMode && settings.selectionContext) FollowTextAbove(editor, engine);
    const FormattedText formatted = FormatText(target->text, engine);
    WriteBack(editor, *target, formatted.text);
    target.reset();  // written: nothing to restore from here on
    editor.GotoLine(caretLine);
    if (state.formatErrorState == kErrorRecorded) {
        platform.showMessageBox(kFormatBoxTitle, Text(kFormatErrorPrefix) + FromUtf8(state.errorLocation), 0);
    }
}

}  // namespace

void FormatCommand(const Platform& platform, const FormatSettings& settings, FormatterState& state) noexcept {
    std::optional<Target> target;
    try {
        RunFormat(platform, settings, state, target);
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
