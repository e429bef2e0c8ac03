#pragma once
// Writing a formatted text back into the editor so that the user keeps their
// place.
//
// Format never changes the number of lines, so every line of the result pairs
// with the line it came from. Only the runs of changed lines are replaced,
// each through the target and without the bytes that both versions share at
// its ends: unchanged lines keep their change-history state, and the caret
// stays. What a replacement disturbs around it is read before and put back
// after, over the reach of each run (its lines and one line on either side):
// - markers: Scintilla merges the markers of deleted lines into the line
//   above, keeping every handle, and after a lone CR that line is the one
//   above the run. Lines come back with exactly one handle per marker; the
//   change-history bits that SCI_MARKERGET adds are no markers to put back.
// - folds: deleting lines moves their fold-header flags to the line above and
//   opens the folds around; the replaced lines are styled again from the line
//   above each run, so that their fold levels are right, before the folds
//   that were contracted are contracted again.
// - lines hidden with SCI_HIDELINES are hidden again;
// - Search › Mark highlights (indicator 31) on the rewritten text are put
//   back on the same text.
// Messages are sent per changed run, marker, fold, hidden line and highlight,
// never per line of the document.

#include <cstdint>
#include <string_view>
#include <vector>

#include "editor/editor.hpp"

namespace halvex {

// The top of the view and the horizontal scroll. The top is held as a
// document line, so that wrapping that changes meanwhile does not move it.
struct ViewPlace {
    std::intptr_t docLine = 0;
    std::intptr_t wrapOffset = 0;  // display lines of docLine above the top
    std::intptr_t xOffset = 0;
};

ViewPlace SaveView(const Editor& editor);
void ScrollTo(const Editor& editor, const ViewPlace& place);
// Scrolls back to `place` and sends the caret to the start of `caretLine`,
// nothing selected. The view moves only when that line had to be scrolled
// into view.
void ScrollToAndGotoLine(const Editor& editor, const ViewPlace& place, std::intptr_t caretLine);

// The changes between a text that the document holds and its replacement.
// Everything that allocates happens when it is made, so that writing it
// cannot stop halfway.
class ChangedLines {
   public:
    // `oldText` is what the document holds from `position` on, `firstLine`
    // being the line there; `newText` must outlive this object. Reads what
    // the write will disturb.
    ChangedLines(const Editor& editor, std::intptr_t position, std::intptr_t firstLine, std::string_view oldText,
                 std::string_view newText);

    bool empty() const { return runs_.empty(); }

    // Replaces each run of changed lines, all of them as one undo step, then
    // puts back what the replacements disturbed. Sends nothing when nothing
    // changed.
    void Write(const Editor& editor) const;

   private:
    // Changed lines firstLine..lastLine; the bytes that differ are
    // [oldBegin, oldEnd) of the old text and [newBegin, newEnd) of the new.
    struct Run {
        std::intptr_t firstLine;
        std::intptr_t lastLine;
        std::size_t oldBegin, oldEnd;
        std::size_t newBegin, newEnd;
    };
    struct MarkedLine {
        std::intptr_t line;
        std::uint32_t markers;
    };
    // A stretch of the new text to fill with the Search › Mark indicator, or
    // to clear of it.
    struct Highlight {
        std::size_t begin, end;
        bool fill;
    };

    void FindRuns(std::string_view oldText, std::intptr_t firstLine);
    void AddRun(Run run, std::string_view oldText);
    template <class Visit>
    void ForEachMarkedLine(const Editor& editor, Visit&& visit) const;
    template <class Visit>
    void ForEachLineInReach(Visit&& visit) const;
    void ReadHighlights(const Editor& editor, std::string_view oldText);
    void ReadHighlights(const Editor& editor, const Run& run, std::string_view oldText);
    void RestyleRuns(const Editor& editor) const;
    void RestoreMarkers(const Editor& editor) const;
    void RestoreFolds(const Editor& editor) const;
    void RestoreHiddenLines(const Editor& editor) const;
    void RestoreHighlights(const Editor& editor) const;

    std::intptr_t position_;
    std::string_view newText_;
    std::vector<Run> runs_;
    std::uint32_t markerMask_ = ~0u;  // the real markers among SCI_MARKERGET's bits
    std::vector<MarkedLine> markers_;     // by line
    std::vector<std::intptr_t> folds_;  // contracted headers, by line
    std::vector<std::intptr_t> hidden_;  // hidden lines in reach, by line
    std::vector<Highlight> highlights_;
};

}  // namespace halvex
