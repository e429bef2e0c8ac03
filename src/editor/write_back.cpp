#include "editor/write_back.hpp"

#include <algorithm>
#include <bit>
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
// all. A replacement of runs i..j (i < j) costs some fixed amount plus the
// bytes from run i's start to run j's end, so of all the runs that may start
// the replacement ending with run j, the best is the one that minimises the
// cost of the runs before it less the bytes before it: one pass finds it.
std::vector<bool> CheapestJoins(const std::vector<Run>& runs) {
    const std::size_t count = runs.size();
    std::vector<double> cheapest(count + 1, 0.0);  // of writing the first k runs
    std::vector<std::size_t> first(count);         // of the replacement that ends with run j
    const auto startKey = [&](std::size_t i) {
        return cheapest[i] - edit_cost::kByteMs * static_cast<double>(runs[i].oldBegin + runs[i].newBegin);
    };
    std::size_t start = 0;  // the best first run for a replacement of several
    for (std::size_t j = 0; j < count; ++j) {
        cheapest[j + 1] = cheapest[j] + ReplacementCost(runs[j], runs[j]);
        first[j] = j;
        const double joined = cheapest[start] + ReplacementCost(runs[start], runs[j]);
        if (start < j && joined < cheapest[j + 1]) {
            cheapest[j + 1] = joined;
            first[j] = start;
        }
        if (startKey(j) < startKey(start)) start = j;
    }
    std::vector<bool> joinsPrevious(count, false);
    for (std::size_t end = count; end > 0; end = first[end - 1]) {
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
    const double apart = FindRuns(oldText, firstLine);
    if (runs_.empty()) return;
    if (apart > edit_cost::kApartMs) JoinByCost(runs_);
    if (editor.ChangeHistoryInMarkers()) markerMask_ = ~sci::kChangeHistoryMarkers;
    ForEachMarkedLine(editor, [&](std::intptr_t line) {
        markers_.push_back({line, editor.MarkerGet(line) & markerMask_});
    });
    for (std::intptr_t line = editor.ContractedFoldNext(0); line >= 0; line = editor.ContractedFoldNext(line + 1)) {
        folds_.push_back(line);
    }
    if (!editor.AllLinesVisible()) {
        ForEachLineInReach([&](std::intptr_t line) {
            if (!editor.LineVisible(line)) hidden_.push_back(line);
        });
    }
    ReadHighlights(editor, oldText);
}

// Walks both texts line by line. Should their numbers of lines differ, the
// last run reaches to the end of both, so the result is right in any case.
// Returns what writing every run apart costs; once that is over the budget
// for it, joins runs as they are found where any cheapest way does.
double ChangedLines::FindRuns(std::string_view oldText, std::intptr_t firstLine) {
    double apart = 0;
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
            AddRun(run, oldText);
            apart += ReplacementCost(runs_.back(), runs_.back());
            if (apart > edit_cost::kApartMs) JoinNewest(runs_);
            inRun = false;
        }
        if (last) return apart;
        oldAt = oldNext;
        newAt = newNext;
    }
}

// Keeps the run without the bytes that both versions share at its ends.
void ChangedLines::AddRun(Run run, std::string_view oldText) {
    while (run.oldBegin < run.oldEnd && run.newBegin < run.newEnd && oldText[run.oldBegin] == newText_[run.newBegin]) {
        ++run.oldBegin;
        ++run.newBegin;
    }
    while (run.oldBegin < run.oldEnd && run.newBegin < run.newEnd &&
           oldText[run.oldEnd - 1] == newText_[run.newEnd - 1]) {
        --run.oldEnd;
        --run.newEnd;
    }
    runs_.push_back(run);
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

// Visits, in order and once each, the lines in reach of the runs.
template <class Visit>
void ChangedLines::ForEachLineInReach(Visit&& visit) const {
    std::intptr_t next = 0;
    for (const Run& run : runs_) {
        for (std::intptr_t line = std::max(next, ReachStart(run.firstLine)); line <= run.lastLine + 1; ++line) visit(line);
        next = run.lastLine + 2;
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

void ChangedLines::ReadHighlights(const Editor& editor, const Run& run, std::string_view oldText) {
    // Both versions of each line of the run: the new text breaks lines with
    // CR LF only, so its line starts after an LF.
    std::size_t oldAt = static_cast<std::size_t>(editor.PositionFromLine(run.firstLine) - position_);
    const std::size_t newLf = run.newBegin == 0 ? std::string_view::npos : newText_.rfind('\n', run.newBegin - 1);
    std::size_t newAt = newLf == std::string_view::npos ? 0 : newLf + 1;
    const std::size_t newStart = newAt, runStart = highlights_.size();
    for (std::intptr_t line = run.firstLine; line <= run.lastLine; ++line) {
        const std::size_t oldEnd = LineEnd(oldText, oldAt), newEnd = LineEnd(newText_, newAt);
        const std::string_view oldLine = oldText.substr(oldAt, oldEnd - oldAt);
        const std::string_view newLine = newText_.substr(newAt, newEnd - newAt);
        const std::intptr_t lineStart = position_ + static_cast<std::intptr_t>(oldAt);
        const std::intptr_t lineEnd = lineStart + static_cast<std::intptr_t>(oldLine.size());
        for (std::intptr_t at = lineStart; at < lineEnd;) {
            const std::intptr_t end = std::min(editor.IndicatorEnd(sci::kSearchMark, at), lineEnd);
            if (end <= at) break;
            if (editor.IndicatorValueAt(sci::kSearchMark, at) != 0) {
                const auto from = static_cast<std::size_t>(at - lineStart), to = static_cast<std::size_t>(end - lineStart);
                highlights_.push_back({newAt + LandingOffset(oldLine, newLine, from),
                                       newAt + LandingOffset(oldLine, newLine, to), true});
            }
            at = end;
        }
        oldAt = NextLineStart(oldText, oldEnd);
        newAt = NextLineStart(newText_, newEnd);
    }
    // The replacement may have spread a highlight over inserted bytes: the
    // run's lines are cleared before the highlights go back.
    if (highlights_.size() > runStart) {
        highlights_.insert(highlights_.begin() + static_cast<std::ptrdiff_t>(runStart), {newStart, newAt, false});
    }
}

void ChangedLines::Write(const Editor& editor) const {
    if (runs_.empty()) return;
    editor.BeginUndoAction();
    std::intptr_t shift = 0;  // how much longer the document has grown so far
    for (const Run& run : runs_) {
        const std::intptr_t start = position_ + static_cast<std::intptr_t>(run.oldBegin) + shift;
        editor.ReplaceRange(start, start + static_cast<std::intptr_t>(run.oldEnd - run.oldBegin),
                            newText_.substr(run.newBegin, run.newEnd - run.newBegin));
        shift += static_cast<std::intptr_t>(run.newEnd - run.newBegin) -
                 static_cast<std::intptr_t>(run.oldEnd - run.oldBegin);
    }
    editor.EndUndoAction();
    if (!folds_.empty() || !hidden_.empty()) RestyleRuns(editor);
    RestoreFolds(editor);
    RestoreHiddenLines(editor);
    RestoreMarkers(editor);
    RestoreHighlights(editor);
}

// Styles each run's lines again, from the line above it (whose fold level
// the replacement left alone) to the start of the line after the one after
// it (whose level follows from the run's last line).
void ChangedLines::RestyleRuns(const Editor& editor) const {
    for (const Run& run : runs_) {
        const std::intptr_t end = editor.PositionFromLine(run.lastLine + 2);
        editor.Colourise(editor.PositionFromLine(ReachStart(run.firstLine)), end < 0 ? editor.Length() : end);
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
    for (const std::intptr_t line : hidden_) {
        if (editor.LineVisible(line)) editor.HideLine(line);
    }
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
