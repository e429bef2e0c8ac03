#pragma once
// Indentation while typing: after Enter in a BASIC document, the line just
// finished gets the indentation that Format gives it, and the new line the
// indentation that Format gives a statement there, in the configured style.
//
// The level runs through the whole text (routine headers do not reset it), so
// the level at a line depends on every line above it. LevelCheckpoints keeps
// the engine's state at lines every few thousand lines apart, and learns of
// every edit, so that Enter costs the engine's work over the lines since the
// nearest checkpoint, not over the whole document.

#include <cstdint>
#include <optional>
#include <vector>

#include "editor/editor.hpp"
#include "formatter/indent_engine.hpp"

namespace halvex {

class LevelCheckpoints {
   public:
    static constexpr std::intptr_t kDefaultSpacing = 2048;  // lines between checkpoints

    explicit LevelCheckpoints(std::intptr_t spacing = kDefaultSpacing) : spacing_(spacing) {}

    // The document changed at `line` (its text, and with `linesAdded` the
    // lines after it: positive when lines came in after it, negative when the
    // lines after it went). Checkpoints below it move with their lines; the
    // states from there on are checked again before they are used.
    void Modified(std::intptr_t line, std::intptr_t linesAdded);

    // Forgets every checkpoint: the document changed in a way not reported.
    void Clear() { points_.clear(); }

    // Sets `state`, which `engine` works on, to the state before `line` of
    // the document in `editor`, as a Format of the whole document would have
    // it there (no error recorded). Runs the engine over the lines since the
    // nearest checkpoint, after re-running the segments above it that changed
    // and, where a changed segment changed the state at its end, the
    // segments after it.
    void Reach(const Editor& editor, FormatterState& state, IndentEngine& engine, std::intptr_t line);

    // Checks the changed segment that holds `line` now, rather than leaving
    // it to the next Reach below it: an Enter then pays for its own edit, and
    // no Enter pays for many earlier ones.
    void Settle(const Editor& editor, FormatterState& state, IndentEngine& engine, std::intptr_t line);

    std::size_t size() const { return points_.size(); }

   private:
    struct Checkpoint {
        std::intptr_t line;
        FormatterState state;  // before `line`
        bool segmentChanged;   // the lines up to the next checkpoint changed since its state was found
    };

    std::size_t SegmentOf(std::intptr_t line) const;
    // Runs the engine from checkpoint `from` over lines up to `line`.
    void RunFrom(const Editor& editor, FormatterState& state, IndentEngine& engine, std::size_t from,
                 std::intptr_t line) const;

    std::intptr_t spacing_;
    bool trimsTabs_ = false;  // the rules the states were found with
    std::vector<Checkpoint> points_;  // by line; the first at line 0
};

// Undo after Enter, as after the host's own auto-indent. Where the host
// indents the new line, its indentation is an undo step of its own, and one
// Ctrl+Z takes it back and keeps the line break: Halvex's edits take that
// step's place. Where the host indents nothing, one Ctrl+Z takes back the
// line break with the text typed before it (the editor joins typing into one
// step): Halvex's edits join that step. Both need the editor to tell its undo
// history (SCI_GETUNDOCURRENT and the like, which older Scintillas lack).
// Where it does not, or where the line break came inside an undo group (Enter
// over a selection), an undo group is opened as the editor reports the line
// break, before the host's auto-indent, so that the host's auto-indent and
// Halvex's edits are one step.
//
// Called as the editor reports the last byte of an Enter's line break (in
// Notepad++, before its own handler). Returns the undo history's place after
// the line break; or nothing, having opened an undo group that the caller
// closes after IndentAfterEnter.
std::optional<std::intptr_t> StartEnter(const Editor& editor);

// The work of one Enter, done once the host's own auto-indent has run: the
// caret stands on the new line. Re-indents the line above the caret as
// Format would, and replaces the new line's leading spaces and tabs with the
// indentation of a statement there; puts the caret after it. Both edits go
// into the undo history as StartEnter says, given its `lineBreakEnd`; when
// neither line needs a change, nothing is sent that changes the document or
// its undo history. `settings` "Use tabs" = kFollowEditor takes the
// editor's style. Returns whether the document changed.
bool IndentAfterEnter(const Editor& editor, const FormatSettings& settings, const LowerCaseFolds& folds,
                      LevelCheckpoints& checkpoints, std::optional<std::intptr_t> lineBreakEnd = std::nullopt);

}  // namespace halvex
