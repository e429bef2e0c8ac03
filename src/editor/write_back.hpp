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
// Messages are sent per changed run, marker, fold, stretch of hidden lines
// and highlight, never per line of the document, also where runs are joined
// into one replacement of many lines; only where wrapped lines or
// annotations hide how many lines are hidden, each line in reach that no
// contracted fold hides is asked whether it is.
//
// While writing the runs apart costs little more than the cheapest way (see
// the costs below), each run is its own replacement and change history marks
// exactly the changed lines. Beyond that, neighbouring runs are written as one
// replacement, spanning the unchanged lines between them, where rewriting
// those lines costs less than the edits it saves, and change history marks
// those lines too. The view does not redraw meanwhile (ViewRedrawOff).

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "editor/editor.hpp"
#include "editor/platform.hpp"

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

// What an edit costs in Notepad++ 8.9.7 under Wine, in milliseconds, with the
// view's redrawing off as the write-back has it: medians of 7 and of 9 runs of
// bench/npp-format-latency ("What an edit costs the editor alone") on 1 and
// 10 MB documents opened as .bas (lexer, folding and change history on),
// 2026-12-08, on the shared 2-core development machine, rounded. A
// replacement is a deletion and an insertion, and Scintilla reports each to
// Notepad++ (SCN_MODIFIED), whose handling is nearly all of a change's cost
// (0.48 to 0.68 ms). A change that removes or adds lines also makes Scintilla
// resize its scroll bars: with redrawing off that adds nothing measurable
// (-0.2 to 0.1 ms), with it on Wine redraws them at once (6.4 to 9.6 ms).
// Bytes cost 1.3 to 2.3 ns each. None of these grows with the document. The
// whole text replaced at once costs 13 ns a byte: Scintilla then inserts
// every line anew, where a replacement that leaves one line does not. The
// first edit after the document was saved or opened costs 25 to 30 ms more,
// whichever the write-back: Notepad++ shows it modified.
namespace edit_cost {
inline constexpr double kChangeMs = 0.6;  // each deletion or insertion
inline constexpr double kLinesMs = 0.1;   // more when it removes or adds lines
inline constexpr double kByteMs = 2e-6;   // each byte deleted or inserted
// At most this many replacements, whatever the costs say: under load a
// change measured up to three times as costly, and a plug-in that handles
// SCN_MODIFIED adds to it, while rewriting bytes stays cheap. 500 edits stay
// under two seconds even then.
inline constexpr std::size_t kMaxEdits = 500;
// Runs are written apart, each line marked exactly in change history, while
// that costs at most this more than the cheapest way of writing them. The
// whole-text write-back's deletion and insertion both
// remove or add lines with redrawing on, 6.4 ms more each at the least
// measured: it costs some 13 ms more than the same replacement with
// redrawing off, and the cheapest way costs no more than that. Under this
// budget, keeping change history exact never costs more than the whole text
// did.
inline constexpr double kApartBudgetMs = 12.0;
}  // namespace edit_cost

// Keeps the view from redrawing while it lives: each edit that adds or
// removes lines makes Scintilla resize its scroll bars, which the window
// system would redraw at once, and a write-back makes many. Redrawing comes
// back on, and the view is repainted, however the scope is left; nothing
// thrown while doing so leaves the destructor.
class ViewRedrawOff {
   public:
    explicit ViewRedrawOff(const SetViewRedraw& setRedraw) : setRedraw_(setRedraw) {
        if (setRedraw_) setRedraw_(false);
    }
    ~ViewRedrawOff() {
        try {
            if (setRedraw_) setRedraw_(true);
        } catch (...) {
        }
    }
    ViewRedrawOff(const ViewRedrawOff&) = delete;
    ViewRedrawOff& operator=(const ViewRedrawOff&) = delete;

   private:
    const SetViewRedraw& setRedraw_;
};

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

    // Changed lines firstLine..lastLine; the bytes that differ are
    // [oldBegin, oldEnd) of the old text and [newBegin, newEnd) of the new.
    struct Run {
        std::intptr_t firstLine;
        std::intptr_t lastLine;
        std::size_t oldBegin, oldEnd;
        std::size_t newBegin, newEnd;
    };

    // Joins neighbouring runs, in order and apart, into the replacements that
    // cost least by the costs above, never more than kMaxEdits of them. A
    // joined run spans the unchanged lines between its parts, which are the
    // same bytes in both texts, so writing it gives the same result.
    static void JoinByCost(std::vector<Run>& runs);
    // Called as each run is found: joins the last run with the ones before it
    // where the cheapest way of writing all the runs joins them whatever
    // follows, so that a dense pattern of changes keeps few runs in memory.
    static void JoinNewest(std::vector<Run>& runs);

   private:
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
    struct LineStretch {
        std::intptr_t first, last;
    };
    struct LineWalk;

    // What writing the runs costs, each apart, and joined the cheapest way.
    struct Costs {
        double apart, joined;
    };
    Costs FindRuns(std::string_view oldText, std::intptr_t firstLine);
    void ChooseReplacements(Costs costs);
    void AddRun(Run run, std::string_view oldText);
    template <class Visit>
    void ForEachMarkedLine(const Editor& editor, Visit&& visit) const;
    void ReadHiddenLines(const Editor& editor);
    struct DisplayedLine {
        std::intptr_t line, display;  // a document line and its first display line
    };
    void FindHiddenLines(const Editor& editor, std::intptr_t first, std::intptr_t end, bool counted);
    void CountHiddenLines(const Editor& editor, DisplayedLine first, DisplayedLine end);
    void AskEachLine(const Editor& editor, std::intptr_t first, std::intptr_t end);
    void AddHidden(std::intptr_t first, std::intptr_t last);
    void ReadHighlights(const Editor& editor, std::string_view oldText);
    void ReadHighlights(const Editor& editor, const Run& run, std::string_view oldText);
    void AddHighlight(const Editor& editor, std::intptr_t start, std::intptr_t end, std::string_view oldText,
                      LineWalk& newLines);
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
    std::vector<LineStretch> hidden_;  // hidden lines in reach, but for contracted folds' lines; by line
    std::intptr_t foldsEnd_ = -1;      // the last line of the contracted folds in or before reach
    std::vector<Highlight> highlights_;
};

}  // namespace halvex
