#include "formatter/typing.hpp"

#include <algorithm>
#include <optional>
#include <string>

#include "editor/write_back.hpp"
#include "formatter/format_command.hpp"
#include "formatter/format_text.hpp"

namespace halvex {
namespace {

// The bytes from `start` to `end`, read in place where the editor allows it.
// The view stays valid until the document changes.
class DocumentText {
   public:
    DocumentText(const Editor& editor, std::intptr_t start, std::intptr_t end) {
        if (const auto range = editor.RangeInPlace(start, end - start)) {
            text_ = *range;
        } else if (auto whole = editor.GetText(editor.Length())) {
            copy_ = std::move(*whole);
            text_ = std::string_view(copy_).substr(static_cast<std::size_t>(start),
                                                    static_cast<std::size_t>(end - start));
        }
    }
    std::string_view text() const { return text_; }

   private:
    std::string copy_;
    std::string_view text_;
};

// Replaces `now`, which stands at `start`, with `want`, leaving out the
// bytes that both share at their ends.
void ReplaceChanged(const Editor& editor, std::intptr_t start, std::string_view now, std::string_view want) {
    if (now == want) return;
    std::size_t head = 0;
    while (head < now.size() && head < want.size() && now[head] == want[head]) ++head;
    std::size_t tail = 0;
    while (tail < now.size() - head && tail < want.size() - head &&
           now[now.size() - 1 - tail] == want[want.size() - 1 - tail]) {
        ++tail;
    }
    const auto at = start + static_cast<std::intptr_t>(head);
    editor.ReplaceRange(at, at + static_cast<std::intptr_t>(now.size() - head - tail),
                        want.substr(head, want.size() - head - tail));
}

// Enter's two lines: the finished one, and the new one's indentation.
struct WantedLines {
    std::string finished;
    std::string newIndentation;
};

// The finished line as Format writes it, and the indentation that Format
// gives a statement on the new line, with the engine at the finished line.
WantedLines Wanted(IndentEngine& engine, const IndentStyle& indent, std::string_view finished) {
    const std::string_view trimmed = engine.TrimLine(finished);
    const auto spaces = static_cast<std::size_t>(engine.IndentLine(trimmed));
    WantedLines want{std::string(indent.Width(spaces, trimmed.empty()), indent.fill) + std::string(trimmed), {}};
    // A statement on the new line: ask the engine with one.
    want.newIndentation.assign(indent.Width(static_cast<std::size_t>(engine.IndentLine("x")), false), indent.fill);
    return want;
}

// Whether the undo step of `action` may go on after it.
bool StepGoesOn(const Editor& editor, std::intptr_t action) {
    return (editor.UndoActionType(action) & sci::kUndoStepGoesOn) != 0;
}

// Whether actions `from` to `to` are one undo step that only sets the new
// line's indentation, as the host's auto-indent does: insertions and
// deletions at the new line's start.
bool IsHostIndentation(const Editor& editor, std::intptr_t from, std::intptr_t to, std::intptr_t newStart) {
    if (to <= from || StepGoesOn(editor, from - 1)) return false;
    for (std::intptr_t action = from; action < to; ++action) {
        const std::intptr_t kind = editor.UndoActionType(action) & sci::kUndoKind;
        if ((kind != sci::kUndoInsert && kind != sci::kUndoRemove) || editor.UndoActionPosition(action) != newStart ||
            StepGoesOn(editor, action) != (action + 1 < to)) {
            return false;
        }
    }
    return true;
}

// Whether Halvex's edits can join the line break's undo step: nothing was
// recorded after the line break, and its step is still open.
bool LineBreakStepOpen(const Editor& editor, std::intptr_t lineBreakEnd) {
    return editor.UndoCurrent() == lineBreakEnd && editor.UndoActions() == lineBreakEnd &&
           StepGoesOn(editor, lineBreakEnd - 1);
}

// Takes back the line break's undo step and makes it again inside a new
// undo group, so that the edits in the group join that step (a group opened
// after it would end it). The round trip leaves the document as it was:
// the host is not told of it, since Notepad++ spends about a millisecond on
// each change it is told of. Undo and redo scroll to what they change; the
// view is put back.
void ReopenLineBreakStep(const Editor& editor) {
    const ViewPlace view = SaveView(editor);
    const std::intptr_t events = editor.ModEventMask();
    editor.SetModEventMask(0);
    editor.Undo();
    editor.BeginUndoAction();
    editor.Redo();
    editor.SetModEventMask(events);
    ScrollTo(editor, view);
}

// Writes both lines into the open undo group, puts the caret after the new
// line's indentation and closes the group.
void WriteLines(const Editor& editor, std::intptr_t newLine, const WantedLines& now, const WantedLines& want) {
    const std::intptr_t finishedStart = editor.PositionFromLine(newLine - 1);
    const std::intptr_t newStart = editor.PositionFromLine(newLine);
    ReplaceChanged(editor, newStart, now.newIndentation, want.newIndentation);  // first: the line above stays put
    ReplaceChanged(editor, finishedStart, now.finished, want.finished);
    const auto size = [](const std::string& text) { return static_cast<std::intptr_t>(text.size()); };
    editor.GotoPos(newStart + size(want.finished) - size(now.finished) + size(want.newIndentation));
    editor.EndUndoAction();
}

// The spaces and tabs that start the line.
std::string LeadingBlanks(const Editor& editor, std::intptr_t line) {
    std::string text = editor.LineText(line);
    text.resize(std::min(text.find_first_not_of(" \t"), text.size()));
    return text;
}

// Writes both lines where one Ctrl+Z then does what it does after the host's
// own auto-indent (see StartEnter), and puts the caret after the new line's
// indentation.
void WriteInUndoHistory(const Editor& editor, std::intptr_t newLine, WantedLines now, const WantedLines& want,
                        std::optional<std::intptr_t> lineBreakEnd) {
    const std::intptr_t newStart = editor.PositionFromLine(newLine);
    if (lineBreakEnd && LineBreakStepOpen(editor, *lineBreakEnd)) {
        if (now.finished == want.finished && now.newIndentation.empty()) {
            // Right after the line break, an insertion joins its step, and
            // what is typed next goes on in it, as without Halvex.
            editor.InsertText(newStart, want.newIndentation);
            editor.GotoPos(newStart + static_cast<std::intptr_t>(want.newIndentation.size()));
            return;
        }
        ReopenLineBreakStep(editor);
    } else {
        if (lineBreakEnd && IsHostIndentation(editor, *lineBreakEnd, editor.UndoCurrent(), newStart)) {
            editor.Undo();  // Halvex's edits take the place of the host's indentation step
            now.newIndentation = LeadingBlanks(editor, newLine);
        }
        editor.BeginUndoAction();
    }
    WriteLines(editor, newLine, now, want);
}

}  // namespace

void LevelCheckpoints::Modified(std::intptr_t line, std::intptr_t linesAdded) {
    if (points_.empty()) return;
    const std::size_t segment = SegmentOf(line);
    points_[segment].segmentChanged = true;
    auto after = points_.begin() + static_cast<std::ptrdiff_t>(segment) + 1;
    // The checkpoints of lines that went: their segments join the changed one.
    const auto gone = std::find_if(after, points_.end(), [&](const Checkpoint& point) {
        return point.line > line - std::min<std::intptr_t>(linesAdded, 0);
    });
    after = points_.erase(after, gone);
    for (; after != points_.end(); ++after) after->line += linesAdded;
}

std::size_t LevelCheckpoints::SegmentOf(std::intptr_t line) const {
    const auto next = std::upper_bound(points_.begin(), points_.end(), line,
                                       [](std::intptr_t l, const Checkpoint& point) { return l < point.line; });
    return static_cast<std::size_t>(next - points_.begin()) - 1;
}

void LevelCheckpoints::RunFrom(const Editor& editor, FormatterState& state, IndentEngine& engine, std::size_t from,
                               std::intptr_t line) const {
    state = points_[from].state;
    const DocumentText lines(editor, editor.PositionFromLine(points_[from].line), editor.PositionFromLine(line));
    FollowContext(lines.text(), engine);
}

void LevelCheckpoints::Reach(const Editor& editor, FormatterState& state, IndentEngine& engine, std::intptr_t line) {
    if (points_.empty() || trimsTabs_ != engine.trimsTabs()) {
        engine.StartRun();
        points_.assign(1, {0, state, false});
        trimsTabs_ = engine.trimsTabs();
    }
    const std::size_t last = SegmentOf(line);
    for (std::size_t i = 0; i < last; ++i) {
        if (!points_[i].segmentChanged) continue;
        RunFrom(editor, state, engine, i, points_[i + 1].line);
        points_[i].segmentChanged = false;
        // A new state at the end makes the next segment's end state stale too.
        if (state.indentLevel != points_[i + 1].state.indentLevel) points_[i + 1].segmentChanged = true;
        points_[i + 1].state = state;
    }
    std::size_t at = last;
    for (; line - points_[at].line > spacing_; ++at) {
        const std::intptr_t next = points_[at].line + spacing_;
        RunFrom(editor, state, engine, at, next);
        points_.insert(points_.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                       {next, state, points_[at].segmentChanged});
        points_[at].segmentChanged = false;
    }
    RunFrom(editor, state, engine, at, line);
}

void LevelCheckpoints::Settle(const Editor& editor, FormatterState& state, IndentEngine& engine, std::intptr_t line) {
    const std::size_t segment = SegmentOf(line);
    if (segment + 1 < points_.size() && points_[segment].segmentChanged) {
        Reach(editor, state, engine, points_[segment + 1].line);
    }
}

std::optional<std::intptr_t> StartEnter(const Editor& editor) {
    // The line break must be the last action recorded, and outside any group.
    const std::intptr_t current = editor.UndoCurrent();
    if (current > 0 && current == editor.UndoActions() && editor.UndoSequence() == 0 &&
        (editor.UndoActionType(current - 1) & sci::kUndoKind) == sci::kUndoInsert) {
        return current;
    }
    editor.BeginUndoAction();
    return std::nullopt;
}

bool IndentAfterEnter(const Editor& editor, const FormatSettings& settings, const LowerCaseFolds& folds,
                      LevelCheckpoints& checkpoints, std::optional<std::intptr_t> lineBreakEnd) {
    const std::intptr_t newLine = editor.LineFromPosition(editor.CurrentPos());
    if (newLine == 0) return false;
    const FormatSettings style = FollowEditorStyle(editor, settings);
    FormatterState state;
    IndentEngine engine(state, style, folds);
    checkpoints.Reach(editor, state, engine, newLine - 1);
    engine.SwapErrorState(kRecordingOff);
    const WantedLines now{editor.LineText(newLine - 1), LeadingBlanks(editor, newLine)};
    const WantedLines want = Wanted(engine, IndentStyle::Of(style), now.finished);
    const bool change = now.finished != want.finished || now.newIndentation != want.newIndentation;
    if (change) WriteInUndoHistory(editor, newLine, now, want, lineBreakEnd);
    checkpoints.Settle(editor, state, engine, newLine);
    return change;
}

}  // namespace halvex
