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
//
// The Format command never holds the new text whole: the runs are found as
// the text is formatted (Finder), and each run's new text is made again from
// the document as the run is written (RunLines), in pieces of whole lines of
// at most kPieceBytes: a run longer than that is written as several
// replacements, one after another. The whole-text form is the plain
// statement of the same runs, kept to check the other against.

#include <cstddef>
#include <cstdint>
#include <string>
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

// The new text of runs of changed lines, made again as each run is written
// instead of held whole: the run's lines formatted anew from the old ones.
class RunLines {
   public:
    // Makes room, once, for pieces of about `pieceBytes`: Make then
    // allocates nothing.
    virtual void Reserve(std::size_t pieceBytes) = 0;
    // Starts over before `line`, the first line of a run.
    virtual void StartAt(std::intptr_t line) = 0;
    // Makes the new form of whole lines at the start of `oldLines`, in place
    // of what it made before, as many as a piece holds, and returns the old
    // bytes they took: at least one line when `last`, which says that
    // `oldLines` ends with the last line wanted; else a line whose end it
    // does not show is left for the next call.
    virtual std::size_t Make(std::string_view oldLines, bool last) = 0;
    virtual std::string_view Made() const = 0;
    // The new form of all of `oldLines`, whole lines, at once.
    virtual std::string MakeAll(std::string_view oldLines) = 0;

   protected:
    ~RunLines() = default;
};

// Changed lines firstLine..lastLine; the bytes that differ are
// [oldBegin, oldEnd) of the old text and [newBegin, newEnd) of the new.
struct ChangedRun {
    std::intptr_t firstLine;
    std::intptr_t lastLine;
    std::size_t oldBegin, oldEnd;
    std::size_t newBegin, newEnd;

    bool operator==(const ChangedRun&) const = default;
};

// A line as Format writes it: `indent` bytes of `fill`, its text, and a
// CR LF unless it ends the text.
struct FormattedLine {
    std::size_t indent;
    char fill;
    std::string_view text;
    bool crlf;

    std::size_t size() const { return indent + text.size() + (crlf ? 2 : 0); }
    char operator[](std::size_t at) const {
        if (at < indent) return fill;
        return at - indent < text.size() ? text[at - indent] : "\r\n"[at - indent - text.size()];
    }
};

// The cheapest way of writing runs found one after another, joining
// neighbours (see write_back.cpp).
class CheapestWriting {
   public:
    // Takes the next run; returns the first run of the replacement that ends
    // with it in the cheapest way of writing the runs so far.
    std::size_t Add(const ChangedRun& run);
    double cost() const { return cost_; }

   private:
    std::size_t count_ = 0;
    double cost_ = 0;
    // The best first run for a replacement of several, and what writing the
    // runs before it costs.
    std::size_t start_ = 0;
    ChangedRun startRun_{};
    double startBefore_ = 0, startKey_ = 0;
};

// The changes between a text that the document holds and its replacement.
// Everything that allocates happens when it is made, so that writing it
// cannot stop halfway; should the editor stop giving its text while runs
// are made anew (see RunLines), what was written is undone.
class ChangedLines {
   public:
    using Run = ChangedRun;
    // A replacement made anew as it is written holds about this many bytes at
    // most: a longer run is written in pieces of whole lines, so that the
    // memory that Format takes beyond the document stays small.
    static constexpr std::size_t kPieceBytes = 4 << 20;
    // What writing the runs costs, each apart, and joined the cheapest way.
    struct Costs {
        double apart, joined;
    };
    class Finder;

    // `oldText` is what the document holds from `position` on, `firstLine`
    // being the line there; `newText` must outlive this object. Reads what
    // the write will disturb.
    ChangedLines(const Editor& editor, std::intptr_t position, std::intptr_t firstLine, std::string_view oldText,
                 std::string_view newText);
    // The same from the runs that `found` found as the new text was made,
    // without it: `lines` makes each run's new text again as it is written,
    // from the document's text, which `oldText` is while it lies in place
    // (`oldInPlace`) and a copy of otherwise, in pieces of about `pieceBytes`.
    // `lines` must outlive this object.
    ChangedLines(const Editor& editor, std::intptr_t position, std::string_view oldText, Finder&& found,
                 RunLines& lines, bool oldInPlace, std::size_t pieceBytes = kPieceBytes);

    bool empty() const { return runs_.empty(); }
    const std::vector<Run>& runs() const { return runs_; }

    // Replaces each run of changed lines, all of them as one undo step, then
    // puts back what the replacements disturbed. Sends nothing when nothing
    // changed.
    void Write(const Editor& editor) const;

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
    // The runs as they are found, in order, and what writing them costs.
    struct Collector {
        std::vector<Run> runs;
        double apart = 0;
        CheapestWriting cheapest;

        void Add(const Run& run);
        Costs costs() const { return {apart, cheapest.cost()}; }
    };

   public:
    // Finds the runs as the lines of both versions come, in order, from the
    // old text and the new bytes of the changed lines only: the runs that
    // the walk over both whole texts finds.
    class Finder {
       public:
        Finder(std::string_view oldText, std::intptr_t firstLine) : old_(oldText), line_(firstLine) {}
        // The next line is the same in both versions, `length` bytes with
        // its line break.
        void Same(std::size_t length);
        // The next line changed: `oldLength` bytes of the old text, and
        // `newLine`, whose text must stay valid until the next call.
        void Changed(std::size_t oldLength, const FormattedLine& newLine);
        // Ends the last run; the runs found are then complete.
        void Finish() { Close(); }

        // Whether a run is open before the line that comes next.
        bool inRun() const { return open_; }
        const std::vector<Run>& runs() const { return found_.runs; }
        std::size_t newSize() const { return newAt_; }

       private:
        friend class ChangedLines;
        void Close();

        std::string_view old_;
        std::intptr_t line_;
        std::size_t oldAt_ = 0, newAt_ = 0;
        bool open_ = false;
        Run run_{};
        std::size_t lastOldAt_ = 0, lastOldLength_ = 0;  // the open run's last line
        FormattedLine lastNew_{};
        Collector found_;
    };

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

    void ReadDisturbed(const Editor& editor, std::string_view oldText, Costs costs);
    Costs FindRuns(std::string_view oldText, std::intptr_t firstLine);
    void ChooseReplacements(Costs costs);
    Run Trimmed(Run run, std::string_view oldText) const;
    void WriteMadeAnew(const Editor& editor) const;
    std::intptr_t WriteRunMadeAnew(const Editor& editor, const Run& run, std::intptr_t shift, bool& wrote) const;
    std::string_view OldBytes(const Editor& editor, std::intptr_t start, std::intptr_t length,
                              std::intptr_t shift) const;
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
    RunLines* lines_ = nullptr;  // when the new text is made as it is written
    std::string_view oldText_;   // valid while writing when it is a copy
    bool oldInPlace_ = false;
    std::size_t pieceBytes_ = kPieceBytes;
    std::vector<Run> runs_;
    std::uint32_t markerMask_ = ~0u;  // the real markers among SCI_MARKERGET's bits
    std::vector<MarkedLine> markers_;     // by line
    std::vector<std::intptr_t> folds_;  // contracted headers, by line
    std::vector<LineStretch> hidden_;  // hidden lines in reach, but for contracted folds' lines; by line
    std::intptr_t foldsEnd_ = -1;      // the last line of the contracted folds in or before reach
    std::vector<Highlight> highlights_;
};

}  // namespace halvex
