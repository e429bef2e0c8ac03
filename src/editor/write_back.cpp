#include "editor/write_back.hpp"

#include <algorithm>

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

ChangedLines::ChangedLines(const Editor& editor, std::intptr_t position, std::intptr_t firstLine,
                           std::string_view oldText, std::string_view newText)
    : position_(position), newText_(newText) {
    FindRuns(oldText, firstLine);
    if (runs_.empty()) return;
    ForEachMarkedLine(editor, [&](std::intptr_t line) { markers_.push_back({line, editor.MarkerGet(line)}); });
    for (std::intptr_t line = editor.ContractedFoldNext(0); line >= 0; line = editor.ContractedFoldNext(line + 1)) {
        folds_.push_back(line);
    }
}

// Walks both texts line by line. Should their numbers of lines differ, the
// last run reaches to the end of both, so the result is right in any case.
void ChangedLines::FindRuns(std::string_view oldText, std::intptr_t firstLine) {
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
            inRun = false;
        }
        if (last) return;
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

// Visits, in order, the lines that hold a marker within a run or on the line
// after it (where Scintilla merges the markers of the lines a replacement
// deletes). SCI_MARKERNEXT skips unmarked lines, and every search starts
// after the last one, so the editor looks at each line once at most.
template <class Visit>
void ChangedLines::ForEachMarkedLine(const Editor& editor, Visit&& visit) const {
    std::size_t run = 0;
    std::intptr_t from = 0;
    while (run < runs_.size()) {
        const std::intptr_t line = editor.MarkerNext(std::max(from, runs_[run].firstLine));
        if (line < 0) return;
        while (run < runs_.size() && runs_[run].lastLine + 1 < line) ++run;
        if (run == runs_.size()) return;
        if (line >= runs_[run].firstLine) {
            visit(line);
            from = line + 1;
        }
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
    RestoreFolds(editor);
    RestoreMarkers(editor);
}

// Gives every line of the runs' reach exactly the markers it had: lines that
// lost them get them back, lines whose markers changed are set anew.
void ChangedLines::RestoreMarkers(const Editor& editor) const {
    if (markers_.empty()) return;  // no line there had one, so none can have gained one
    std::size_t next = 0;
    ForEachMarkedLine(editor, [&](std::intptr_t line) {
        for (; next < markers_.size() && markers_[next].line < line; ++next) {
            editor.MarkerAddSet(markers_[next].line, markers_[next].markers);
        }
        const std::uint32_t want = next < markers_.size() && markers_[next].line == line ? markers_[next++].markers : 0;
        if (editor.MarkerGet(line) == want) return;
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

}  // namespace halvex
