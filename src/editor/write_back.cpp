#include "editor/write_back.hpp"

#include <algorithm>
#include <bit>
#include <optional>
#include <stdexcept>
#include <vector>

#include "text/byte_scan.hpp"

namespace halvex {

ViewPlace SaveView(const Editor& editor) {
    const std::intptr_t top = editor.FirstVisibleLine();
    const std::intptr_t docLine = editor.DocLineFromVisible(top);
    return {docLine, std::max<std::intptr_t>(top - editor.VisibleFromDocLine(docLine), 0), editor.XOffset()};
}

void ScrollTo(const Editor& editor, const ViewPlace& place) {
    editor.SetFirstVisibleLine(editor.VisibleFromDocLine(place.docLine) + place.wrapOffset);
    editor.SetXOffset(place.xOffset);
}

void ScrollToAndGotoLine(const Editor& editor, const ViewPlace& place, std::intptr_t caretLine) {
    ScrollTo(editor, place);
    const std::intptr_t top = editor.FirstVisibleLine();
    editor.GotoLine(caretLine);
    // The caret at the start of its line may be left of the view: the view
    // still stays put as long as the line itself was in it.
    if (editor.FirstVisibleLine() == top) editor.SetXOffset(place.xOffset);
}

namespace {

using Run = ChangedLines::Run;

// What writing runs first..last as one replacement costs: its deletion and
// its insertion, each when it has bytes and more when it spans lines, and
// every byte of both.
double ReplacementCost(const Run& first, const Run& last) {
    const std::size_t deleted = last.oldEnd - first.oldBegin, inserted = last.newEnd - first.newBegin;
    const double change = edit_cost::kChangeMs + (last.lastLine > first.firstLine ? edit_cost::kLinesMs : 0.0);
    return (deleted > 0 ? change : 0.0) + (inserted > 0 ? change : 0.0) +
           edit_cost::kByteMs * static_cast<double>(deleted + inserted);
}

// The unchanged bytes between run j - 1 and run j, in both texts.
std::size_t GapBefore(const std::vector<Run>& runs, std::size_t j) {
    return runs[j].oldBegin - runs[j - 1].oldEnd + (runs[j].newBegin - runs[j - 1].newEnd);
}

// Whether rewriting the gap before run j costs less than any one change.
bool SmallGapBefore(const std::vector<Run>& runs, std::size_t j) {
    return edit_cost::kByteMs * static_cast<double>(GapBefore(runs, j)) < edit_cost::kChangeMs;
}

// Whether the run, written alone, costs what a replacement of several does:
// a deletion and an insertion, both across lines.
bool CostsAsJoined(const Run& run) {
    return run.lastLine > run.firstLine && run.oldEnd > run.oldBegin && run.newEnd > run.newBegin;
}

// Makes the runs from `first` on one, spanning the unchanged lines between them.
void JoinFrom(std::vector<Run>& runs, std::size_t first) {
    runs[first] = {runs[first].firstLine, runs.back().lastLine, runs[first].oldBegin, runs.back().oldEnd,
                   runs[first].newBegin, runs.back().newEnd};
    runs.resize(first + 1);
}

// Joins the last run with the ones before it across small gaps as long as
// either side costs as a joined replacement: merged with that side, the other
// side's changes are saved for less than one change of bytes.
void JoinAcrossSmallGaps(std::vector<Run>& runs) {
    while (runs.size() > 1 && SmallGapBefore(runs, runs.size() - 1) &&
           (CostsAsJoined(runs.back()) || CostsAsJoined(runs[runs.size() - 2]))) {
        JoinFrom(runs, runs.size() - 2);
    }
}

// Joins the stretch of runs within single lines, apart by small gaps, that
// the last run ends, once one replacement of it costs no more than writing
// them apart.
bool JoinStretchOfSingleLines(std::vector<Run>& runs) {
    if (runs.back().lastLine > runs.back().firstLine) return false;
    std::size_t first = runs.size() - 1;
    double apart = ReplacementCost(runs[first], runs[first]);
    while (first > 0 && SmallGapBefore(runs, first) && runs[first - 1].lastLine == runs[first - 1].firstLine) {
        --first;
        apart += ReplacementCost(runs[first], runs[first]);
    }
    if (first + 1 == runs.size() || ReplacementCost(runs[first], runs.back()) > apart) return false;
    JoinFrom(runs, first);
    return true;
}

// Whether each run joins the one before it in the cheapest way to write them
// all.
std::vector<bool> CheapestJoins(const std::vector<Run>& runs) {
    CheapestWriting cheapest;
    std::vector<std::size_t> first(runs.size());  // of the replacement that ends with run j
    for (std::size_t j = 0; j < runs.size(); ++j) first[j] = cheapest.Add(runs[j]);
    std::vector<bool> joinsPrevious(runs.size(), false);
    for (std::size_t end = runs.size(); end > 0; end = first[end - 1]) {
        for (std::size_t j = first[end - 1] + 1; j < end; ++j) joinsPrevious[j] = true;
    }
    return joinsPrevious;
}

// Leaves at most `keep` runs starting a replacement of their own after the
// first: those after the widest gaps; the others join the run before them.
void KeepWidestBreaks(const std::vector<Run>& runs, std::vector<bool>& joinsPrevious, std::size_t keep) {
    std::vector<std::size_t> breaks;
    for (std::size_t j = 1; j < runs.size(); ++j) {
        if (!joinsPrevious[j]) breaks.push_back(j);
    }
    if (breaks.size() <= keep) return;
    std::nth_element(breaks.begin(), breaks.begin() + static_cast<std::ptrdiff_t>(keep), breaks.end(),
                     [&](std::size_t a, std::size_t b) { return GapBefore(runs, a) > GapBefore(runs, b); });
    for (auto j = breaks.begin() + static_cast<std::ptrdiff_t>(keep); j != breaks.end(); ++j) joinsPrevious[*j] = true;
}

}  // namespace

// A replacement of runs i..j (i < j) costs some fixed amount plus the bytes
// from run i's start to run j's end, so of all the runs that may start the
// replacement ending with run j, the best is the one that minimises the cost
// of the runs before it less the bytes before it: one pass finds it.
std::size_t CheapestWriting::Add(const ChangedRun& run) {
    const double before = cost_;
    std::size_t first = count_;
    cost_ += ReplacementCost(run, run);
    if (start_ < count_) {
        const double joined = startBefore_ + ReplacementCost(startRun_, run);
        if (joined < cost_) {
            cost_ = joined;
            first = start_;
        }
    }
    const double key = before - edit_cost::kByteMs * static_cast<double>(run.oldBegin + run.newBegin);
    if (count_ == 0 || key < startKey_) {
        start_ = count_;
        startRun_ = run;
        startBefore_ = before;
        startKey_ = key;
    }
    ++count_;
    return first;
}

void ChangedLines::JoinNewest(std::vector<Run>& runs) {
    JoinAcrossSmallGaps(runs);
    if (JoinStretchOfSingleLines(runs)) JoinAcrossSmallGaps(runs);
}

void ChangedLines::JoinByCost(std::vector<Run>& runs) {
    if (runs.empty()) return;
    std::vector<bool> joinsPrevious = CheapestJoins(runs);
    KeepWidestBreaks(runs, joinsPrevious, edit_cost::kMaxEdits - 1);
    std::size_t kept = 0;
    for (std::size_t j = 0; j < runs.size(); ++j) {
        if (j == 0 || !joinsPrevious[j]) {
            runs[kept++] = runs[j];
            continue;
        }
        Run& joined = runs[kept - 1];
        joined.lastLine = runs[j].lastLine;
        joined.oldEnd = runs[j].oldEnd;
        joined.newEnd = runs[j].newEnd;
    }
    runs.resize(kept);
}

ChangedLines::ChangedLines(const Editor& editor, std::intptr_t position, std::intptr_t firstLine,
                           std::string_view oldText, std::string_view newText)
    : position_(position), newText_(newText) {
    ReadDisturbed(editor, oldText, FindRuns(oldText, firstLine));
}

ChangedLines::ChangedLines(const Editor& editor, std::intptr_t position, std::string_view oldText, Finder&& found,
                           RunLines& lines, bool oldInPlace, std::size_t pieceBytes)
    : position_(position), lines_(&lines), oldText_(oldText), oldInPlace_(oldInPlace), pieceBytes_(pieceBytes) {
    found.Finish();
    runs_ = std::move(found.found_.runs);
    lines.Reserve(pieceBytes);
    ReadDisturbed(editor, oldText, found.found_.costs());
}

// Chooses the replacements and reads what writing them will disturb.
void ChangedLines::ReadDisturbed(const Editor& editor, std::string_view oldText, Costs costs) {
    if (runs_.empty()) return;
    ChooseReplacements(costs);
    if (editor.ChangeHistoryInMarkers()) markerMask_ = ~sci::kChangeHistoryMarkers;
    ForEachMarkedLine(editor, [&](std::intptr_t line) {
        markers_.push_back({line, editor.MarkerGet(line) & markerMask_});
    });
    for (std::intptr_t line = editor.ContractedFoldNext(0); line >= 0; line = editor.ContractedFoldNext(line + 1)) {
        folds_.push_back(line);
    }
    ReadHiddenLines(editor);
    ReadHighlights(editor, oldText);
}

// Once apart costs more than the budget over joined, which stays so as runs
// are added (joined grows by at most the newest run's cost), joins runs as
// they are found where any cheapest way does.
void ChangedLines::Collector::Add(const Run& run) {
    runs.push_back(run);
    apart += ReplacementCost(run, run);
    cheapest.Add(run);
    if (apart > cheapest.cost() + edit_cost::kApartBudgetMs) JoinNewest(runs);
}

// Walks both texts line by line. Should their numbers of lines differ, the
// last run reaches to the end of both, so the result is right in any case.
// Returns what writing the runs costs, apart and joined the cheapest way.
ChangedLines::Costs ChangedLines::FindRuns(std::string_view oldText, std::intptr_t firstLine) {
    Collector found;
    Run run{};
    bool inRun = false;
    std::size_t oldAt = 0, newAt = 0;
    for (std::intptr_t line = firstLine;; ++line) {
        const std::size_t oldBreak = LineEnd(oldText, oldAt), newBreak = LineEnd(newText_, newAt);
        const bool oldLast = oldBreak == oldText.size(), newLast = newBreak == newText_.size();
        const bool last = oldLast || newLast;
        const std::size_t oldNext = oldLast != newLast ? oldText.size() : NextLineStart(oldText, oldBreak);
        const std::size_t newNext = oldLast != newLast ? newText_.size() : NextLineStart(newText_, newBreak);
        const bool same = oldLast == newLast &&
                          oldText.substr(oldAt, oldNext - oldAt) == newText_.substr(newAt, newNext - newAt);
        if (!same) {
            if (!inRun) run = {line, line, oldAt, oldAt, newAt, newAt};
            inRun = true;
            run.lastLine = line;
            run.oldEnd = oldNext;
            run.newEnd = newNext;
        }
        if (inRun && (same || last)) {
            found.Add(Trimmed(run, oldText));
            inRun = false;
        }
        if (last) {
            runs_ = std::move(found.runs);
            return found.costs();
        }
        oldAt = oldNext;
        newAt = newNext;
    }
}

// Keeps the runs apart, each line marked exactly in change history, while that
// costs at most the budget more than the cheapest way of writing them; else
// writes them the cheapest way, neighbouring runs joined. Never the whole
// document as one replacement: Scintilla then inserts every line anew, which
// costs five to ten times as much a byte as a replacement that leaves a line.
void ChangedLines::ChooseReplacements(Costs costs) {
    if (costs.apart <= costs.joined + edit_cost::kApartBudgetMs && runs_.size() <= edit_cost::kMaxEdits) return;
    JoinByCost(runs_);
}

// The run without the bytes that both versions share at its ends.
ChangedLines::Run ChangedLines::Trimmed(Run run, std::string_view oldText) const {
    while (run.oldBegin < run.oldEnd && run.newBegin < run.newEnd && oldText[run.oldBegin] == newText_[run.newBegin]) {
        ++run.oldBegin;
        ++run.newBegin;
    }
    while (run.oldBegin < run.oldEnd && run.newBegin < run.newEnd &&
           oldText[run.oldEnd - 1] == newText_[run.newEnd - 1]) {
        --run.oldEnd;
        --run.newEnd;
    }
    return run;
}

void ChangedLines::Finder::Same(std::size_t length) {
    Close();
    oldAt_ += length;
    newAt_ += length;
    ++line_;
}

// The bytes that both versions share at a run's start end within its first
// line: a new line ends in CR LF, so the old one cannot hold all of it and
// be another line, and the old text goes on after a CR of its own with no LF.
void ChangedLines::Finder::Changed(std::size_t oldLength, const FormattedLine& newLine) {
    const std::string_view oldLine = old_.substr(oldAt_, oldLength);
    if (!open_) {
        const std::size_t most = std::min(oldLine.size(), newLine.size());
        std::size_t shared = 0;
        while (shared < most && oldLine[shared] == newLine[shared]) ++shared;
        run_ = {line_, line_, oldAt_ + shared, 0, newAt_ + shared, 0};
        open_ = true;
    }
    run_.lastLine = line_;
    lastOldAt_ = oldAt_;
    lastOldLength_ = oldLength;
    lastNew_ = newLine;
    oldAt_ += oldLength;
    newAt_ += newLine.size();
    ++line_;
    run_.oldEnd = oldAt_;
    run_.newEnd = newAt_;
}

// The bytes shared at a run's end lie within its last line: before a new line
// comes an LF, which the bytes of an old line have only at its end, and
// before an old line a line break, which a new line has only at its end.
void ChangedLines::Finder::Close() {
    if (!open_) return;
    open_ = false;
    const std::string_view oldLine = old_.substr(lastOldAt_, lastOldLength_);
    const std::size_t newSize = lastNew_.size();
    const std::size_t most = std::min({run_.oldEnd - run_.oldBegin, run_.newEnd - run_.newBegin, oldLine.size(), newSize});
    std::size_t shared = 0;
    while (shared < most && oldLine[oldLine.size() - 1 - shared] == lastNew_[newSize - 1 - shared]) ++shared;
    run_.oldEnd -= shared;
    run_.newEnd -= shared;
    found_.Add(run_);
}

// The reach of a run: its lines and one on either side. Scintilla merges the
// markers of deleted lines into the line above the deletion, which after a
// lone CR is the line above the run, and moves them down with the line after.
namespace {
std::intptr_t ReachStart(std::intptr_t firstLine) { return std::max<std::intptr_t>(firstLine - 1, 0); }
}  // namespace

// Visits, in order, the lines in reach of a run that hold a marker.
// SCI_MARKERNEXT skips unmarked lines, and every search starts after the last
// one, so the editor looks at each line once at most.
template <class Visit>
void ChangedLines::ForEachMarkedLine(const Editor& editor, Visit&& visit) const {
    std::size_t run = 0;
    std::intptr_t from = 0;
    while (run < runs_.size()) {
        const std::intptr_t line = editor.MarkerNext(std::max(from, ReachStart(runs_[run].firstLine)), markerMask_);
        if (line < 0) return;
        while (run < runs_.size() && runs_[run].lastLine + 1 < line) ++run;
        if (run == runs_.size()) return;
        if (line >= ReachStart(runs_[run].firstLine)) {
            visit(line);
            from = line + 1;
        }
    }
}

// The lines in reach of the runs that are hidden, as stretches, but for those
// of contracted folds, which RestoreFolds hides again; and the last line of
// those folds. One message per contracted header in reach and one for the
// last before each reach, whose fold may reach into it.
void ChangedLines::ReadHiddenLines(const Editor& editor) {
    if (editor.AllLinesVisible()) return;
    const bool counted = editor.OneDisplayLinePerLine();
    const std::intptr_t lines = editor.LineFromPosition(editor.Length()) + 1;
    const auto foldEnd = [&](std::intptr_t header) {
        const std::intptr_t last = editor.LastChild(header);
        foldsEnd_ = std::max(foldsEnd_, last);
        return last;
    };
    std::intptr_t next = 0;      // the lines before it have been looked at or skipped
    auto fold = folds_.begin();  // the first contracted header not looked at
    for (const Run& run : runs_) {
        std::intptr_t line = std::max(next, ReachStart(run.firstLine));
        const std::intptr_t end = std::min(run.lastLine + 2, lines);
        const auto passed = fold;
        fold = std::lower_bound(fold, folds_.end(), line);
        if (fold != passed) line = std::max(line, foldEnd(*std::prev(fold)) + 1);
        while (line < end) {
            fold = std::lower_bound(fold, folds_.end(), line);
            const bool header = fold != folds_.end() && *fold < end;
            const std::intptr_t stop = header ? *fold + 1 : end;  // a contracted header is looked at, its fold not
            FindHiddenLines(editor, line, stop, counted);
            line = header ? std::max(stop, foldEnd(*fold++) + 1) : end;
        }
        next = line;
    }
}

// Adds the hidden lines among first..end - 1.
void ChangedLines::FindHiddenLines(const Editor& editor, std::intptr_t first, std::intptr_t end, bool counted) {
    if (first >= end) return;
    if (!counted) return AskEachLine(editor, first, end);
    CountHiddenLines(editor, {first, editor.VisibleFromDocLine(first)}, {end, editor.VisibleFromDocLine(end)});
}

// Where each shown line is one display line, the display lines between two
// lines tell how many lines between them are hidden: only stretches with some
// hidden and some shown are halved, down to a few lines asked one by one.
void ChangedLines::CountHiddenLines(const Editor& editor, DisplayedLine first, DisplayedLine end) {
    const std::intptr_t shown = end.display - first.display;
    if (shown == end.line - first.line) return;
    if (shown == 0) return AddHidden(first.line, end.line - 1);
    if (end.line - first.line <= 8) return AskEachLine(editor, first.line, end.line);
    const std::intptr_t middle = first.line + (end.line - first.line) / 2;
    const DisplayedLine halfway{middle, editor.VisibleFromDocLine(middle)};
    CountHiddenLines(editor, first, halfway);
    CountHiddenLines(editor, halfway, end);
}

void ChangedLines::AskEachLine(const Editor& editor, std::intptr_t first, std::intptr_t end) {
    for (std::intptr_t line = first; line < end; ++line) {
        if (!editor.LineVisible(line)) AddHidden(line, line);
    }
}

void ChangedLines::AddHidden(std::intptr_t first, std::intptr_t last) {
    if (!hidden_.empty() && hidden_.back().last + 1 == first) {
        hidden_.back().last = last;
    } else {
        hidden_.push_back({first, last});
    }
}

namespace {

// Where the byte at `offset` of an old line lands in its new line (both
// without their line breaks): the text between the blanks at both ends is
// the same in both, and a byte among the blanks goes to that text's nearer
// end.
std::size_t LandingOffset(std::string_view oldLine, std::string_view newLine, std::size_t offset) {
    constexpr std::string_view kBlanks = " \t";
    const std::size_t oldLead = std::min(oldLine.find_first_not_of(kBlanks), oldLine.size());
    const std::size_t newLead = std::min(newLine.find_first_not_of(kBlanks), newLine.size());
    const std::size_t length = oldLead == oldLine.size() ? 0 : oldLine.find_last_not_of(kBlanks) + 1 - oldLead;
    return newLead + std::clamp(offset, oldLead, oldLead + length) - oldLead;
}

}  // namespace

// Search › Mark highlights in the runs' lines, to be put back on the same text
// of the new lines. Nothing is read when the document has none.
void ChangedLines::ReadHighlights(const Editor& editor, std::string_view oldText) {
    const std::intptr_t firstEnd = editor.IndicatorEnd(sci::kSearchMark, 0);  // 0: the indicator was never used
    const bool none = editor.IndicatorValueAt(sci::kSearchMark, 0) == 0 && (firstEnd == 0 || firstEnd >= editor.Length());
    if (none) return;
    for (const Run& run : runs_) ReadHighlights(editor, run, oldText);
}

// The starts of a new text's lines, found walking forward from a known one:
// `text` holds the new text from `base` on.
struct ChangedLines::LineWalk {
    std::string_view text;
    std::size_t base;
    std::intptr_t line;
    std::size_t at;  // where `line` starts in `text`

    std::size_t StartOf(std::intptr_t target) {
        for (; line < target; ++line) at = NextLineStart(text, LineEnd(text, at));
        return at;
    }
    std::string_view LineAt(std::size_t start) const { return text.substr(start, LineEnd(text, start) - start); }
};

// Each stretch with or without highlights is one SCI_INDICATOREND away, so
// the messages follow the highlights, not the lines.
void ChangedLines::ReadHighlights(const Editor& editor, const Run& run, std::string_view oldText) {
    const std::intptr_t textEnd = position_ + static_cast<std::intptr_t>(oldText.size());
    const std::intptr_t after = editor.PositionFromLine(run.lastLine + 1);
    const std::intptr_t end = after < 0 ? textEnd : std::min(after, textEnd);
    const std::intptr_t runStart = editor.PositionFromLine(run.firstLine);
    const std::size_t firstHighlight = highlights_.size();
    std::optional<LineWalk> newLines;
    std::string made;  // the run's new lines, where they are made anew
    for (std::intptr_t at = runStart; at < end;) {
        const std::intptr_t stretchEnd = std::min(editor.IndicatorEnd(sci::kSearchMark, at), end);
        if (stretchEnd <= at) break;
        if (editor.IndicatorValueAt(sci::kSearchMark, at) != 0) {
            if (!newLines) {
                // Both versions share as many bytes before the run as in its first line.
                const auto oldLineStart = static_cast<std::size_t>(runStart - position_);
                const std::size_t newLineStart = run.newBegin - (run.oldBegin - oldLineStart);
                std::string_view text = newText_.substr(std::min(newLineStart, newText_.size()));
                if (lines_ != nullptr) {
                    lines_->StartAt(run.firstLine);
                    made = lines_->MakeAll(oldText.substr(oldLineStart, static_cast<std::size_t>(end - runStart)));
                    text = made;
                }
                newLines = LineWalk{text, newLineStart, run.firstLine, 0};
            }
            AddHighlight(editor, at, stretchEnd, oldText, *newLines);
        }
        at = stretchEnd;
    }
    // The replacement may have spread a highlight over the bytes it inserts:
    // they are cleared before the highlights go back.
    if (highlights_.size() > firstHighlight) {
        const auto at = highlights_.begin() + static_cast<std::ptrdiff_t>(firstHighlight);
        highlights_.insert(at, {run.newBegin, run.newEnd, false});
    }
}

// The highlight on start..end - 1 of the document, line by line (line breaks
// aside), where its bytes land in the new lines.
void ChangedLines::AddHighlight(const Editor& editor, std::intptr_t start, std::intptr_t end, std::string_view oldText,
                                LineWalk& newLines) {
    std::intptr_t line = editor.LineFromPosition(start);
    auto oldAt = static_cast<std::size_t>(editor.PositionFromLine(line) - position_);
    const auto from = static_cast<std::size_t>(start - position_), to = static_cast<std::size_t>(end - position_);
    for (; oldAt < to; ++line) {
        const std::size_t oldEnd = LineEnd(oldText, oldAt), newAt = newLines.StartOf(line);
        const std::string_view oldLine = oldText.substr(oldAt, oldEnd - oldAt);
        const std::string_view newLine = newLines.LineAt(newAt);
        const std::size_t begin = std::max(from, oldAt) - oldAt, finish = std::min(to, oldEnd) - oldAt;
        if (begin < finish) {
            const std::size_t newStart = newLines.base + newAt;
            highlights_.push_back({newStart + LandingOffset(oldLine, newLine, begin),
                                   newStart + LandingOffset(oldLine, newLine, finish), true});
        }
        oldAt = NextLineStart(oldText, oldEnd);
    }
}

void ChangedLines::Write(const Editor& editor) const {
    if (runs_.empty()) return;
    editor.BeginUndoAction();
    if (lines_ != nullptr) {
        WriteMadeAnew(editor);
    } else {
        std::intptr_t shift = 0;  // how much longer the document has grown so far
        for (const Run& run : runs_) {
            const std::intptr_t start = position_ + static_cast<std::intptr_t>(run.oldBegin) + shift;
            editor.ReplaceRange(start, start + static_cast<std::intptr_t>(run.oldEnd - run.oldBegin),
                                newText_.substr(run.newBegin, run.newEnd - run.newBegin));
            shift += static_cast<std::intptr_t>(run.newEnd - run.newBegin) -
                     static_cast<std::intptr_t>(run.oldEnd - run.oldBegin);
        }
    }
    editor.EndUndoAction();
    RestyleRuns(editor);
    RestoreFolds(editor);
    RestoreHiddenLines(editor);
    RestoreMarkers(editor);
    RestoreHighlights(editor);
}

// Should a piece not be made (the editor stops giving its text in place),
// what was written is undone, and the document stands as it was.
void ChangedLines::WriteMadeAnew(const Editor& editor) const {
    std::intptr_t shift = 0;  // how much longer the document has grown so far
    bool wrote = false;
    try {
        for (const Run& run : runs_) shift = WriteRunMadeAnew(editor, run, shift, wrote);
    } catch (...) {
        editor.EndUndoAction();
        if (wrote) editor.Undo();  // else Undo would take back the user's last edit
        throw;
    }
}

// Writes the run in pieces of whole lines, each made anew from the document's
// text as it stands when the piece is made (the pieces and runs before it
// have moved it by `shift`). Each piece replaces only what of it lies among
// the run's changed bytes: the bytes before and after them are the same in
// both versions, and pieces start at line starts in both. Returns the shift
// after the run.
std::intptr_t ChangedLines::WriteRunMadeAnew(const Editor& editor, const Run& run, std::intptr_t shift,
                                             bool& wrote) const {
    lines_->StartAt(run.firstLine);
    const std::intptr_t textEnd = position_ + static_cast<std::intptr_t>(oldText_.size()) + shift;
    const std::intptr_t after = editor.PositionFromLine(run.lastLine + 1);
    std::intptr_t end = after < 0 ? textEnd : std::min(after, textEnd);  // of the run's lines
    std::intptr_t at = editor.PositionFromLine(run.firstLine);
    do {
        const std::intptr_t rest = end - at;
        std::string_view old = OldBytes(editor, at, std::min(rest, static_cast<std::intptr_t>(pieceBytes_)), shift);
        std::size_t taken = lines_->Make(old, old.size() == static_cast<std::size_t>(rest));
        if (taken == 0 && old.size() < static_cast<std::size_t>(rest)) {  // a line longer than a piece
            old = OldBytes(editor, at, rest, shift);
            taken = lines_->Make(old, true);
        }
        const std::string_view made = lines_->Made();
        const auto oldAt = static_cast<std::size_t>(at - position_ - shift), newAt = static_cast<std::size_t>(at - position_);
        const std::size_t oldFrom = std::max(oldAt, run.oldBegin), newFrom = std::max(newAt, run.newBegin);
        const std::size_t oldTo = std::max(oldFrom, std::min(oldAt + taken, run.oldEnd));
        const std::size_t newTo = std::max(newFrom, std::min(newAt + made.size(), run.newEnd));
        if (oldFrom < oldTo || newFrom < newTo) {
            const std::intptr_t start = position_ + static_cast<std::intptr_t>(oldFrom) + shift;
            editor.ReplaceRange(start, start + static_cast<std::intptr_t>(oldTo - oldFrom),
                                made.substr(newFrom - newAt, newTo - newFrom));
            wrote = true;
        }
        const auto grown = static_cast<std::intptr_t>(made.size()) - static_cast<std::intptr_t>(taken);
        shift += grown;
        end += grown;
        at += static_cast<std::intptr_t>(made.size());
    } while (at < end);
    return shift;
}

// `length` bytes of the document from `start` on, which lie where the old
// text had them before the document grew by `shift`.
std::string_view ChangedLines::OldBytes(const Editor& editor, std::intptr_t start, std::intptr_t length,
                                        std::intptr_t shift) const {
    if (!oldInPlace_) return oldText_.substr(static_cast<std::size_t>(start - position_ - shift), static_cast<std::size_t>(length));
    if (const std::optional<std::string_view> bytes = editor.RangeInPlace(start, length)) return *bytes;
    throw std::runtime_error("the editor gave no text");
}

// Styles the runs' lines again, from the line above each run (whose fold
// level the replacement left alone), so that their fold levels are right
// before folds are contracted and lines hidden again: styled later, a level
// that changes opens the folds and shows the lines around it. Only the runs
// up to the last contracted fold or hidden line in reach need it, and only
// that far, and the line after: there the lines' levels are placeholders
// that the replacement left, which the lexer would take as right were it to
// start among them (as SCI_FOLDLINE makes it, line by line, when it looks
// for a fold's end). Styling stops at the start of a line, and Scintilla goes
// on from there when it needs, trusting that line's level: inside a run it
// goes on from the line before, which has its level now.
void ChangedLines::RestyleRuns(const Editor& editor) const {
    const std::intptr_t last = std::max(foldsEnd_, hidden_.empty() ? -1 : hidden_.back().last);
    for (const Run& run : runs_) {
        if (ReachStart(run.firstLine) > last) return;
        const std::intptr_t endLine = std::min(run.lastLine, last) + 2;
        const std::intptr_t end = editor.PositionFromLine(endLine);
        editor.Colourise(editor.PositionFromLine(ReachStart(run.firstLine)), end < 0 ? editor.Length() : end);
        if (endLine <= run.lastLine) editor.UnstyleFrom(editor.PositionFromLine(endLine - 1));
    }
}

// Gives every line of the runs' reach exactly the markers it had, one handle
// each: lines that lost them get them back, lines whose markers changed or
// were merged are set anew.
void ChangedLines::RestoreMarkers(const Editor& editor) const {
    if (markers_.empty()) return;  // no line there had one, so none can have gained one
    std::size_t next = 0;
    ForEachMarkedLine(editor, [&](std::intptr_t line) {
        for (; next < markers_.size() && markers_[next].line < line; ++next) {
            editor.MarkerAddSet(markers_[next].line, markers_[next].markers);
        }
        const std::uint32_t want = next < markers_.size() && markers_[next].line == line ? markers_[next++].markers : 0;
        const bool same = (editor.MarkerGet(line) & markerMask_) == want &&
                          !editor.HasMoreMarkerHandles(line, static_cast<std::uint32_t>(std::popcount(want)));
        if (same) return;
        editor.MarkerDeleteAll(line);
        if (want != 0) editor.MarkerAddSet(line, want);
    });
    for (; next < markers_.size(); ++next) editor.MarkerAddSet(markers_[next].line, markers_[next].markers);
}

void ChangedLines::RestoreFolds(const Editor& editor) const {
    std::intptr_t contracted = folds_.empty() ? -1 : editor.ContractedFoldNext(folds_.front());
    for (const std::intptr_t header : folds_) {
        while (contracted >= 0 && contracted < header) contracted = editor.ContractedFoldNext(contracted + 1);
        if (contracted != header) editor.ContractFold(header);
    }
}

void ChangedLines::RestoreHiddenLines(const Editor& editor) const {
    for (const LineStretch& stretch : hidden_) editor.HideLines(stretch.first, stretch.last);
}

void ChangedLines::RestoreHighlights(const Editor& editor) const {
    if (highlights_.empty()) return;
    const int current = editor.IndicatorCurrent();
    editor.SetIndicatorCurrent(sci::kSearchMark);
    for (const Highlight& highlight : highlights_) {
        const std::intptr_t start = position_ + static_cast<std::intptr_t>(highlight.begin);
        const auto length = static_cast<std::intptr_t>(highlight.end - highlight.begin);
        if (highlight.fill) {
            editor.IndicatorFillRange(start, length);
        } else {
            editor.IndicatorClearRange(start, length);
        }
    }
    editor.SetIndicatorCurrent(current);
}

}  // namespace halvex
