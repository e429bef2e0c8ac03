#include "fake_scintilla.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

#include "editor/editor.hpp"
#include "text/byte_scan.hpp"

namespace halvex::testing {
namespace {

bool IsLineEnd(char c, char next) { return c == '\n' || (c == '\r' && next != '\n'); }

// The line ends in `bytes`, `next` being the byte after them.
std::intptr_t CountLineEnds(std::string_view bytes, char next) {
    auto count = static_cast<std::intptr_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    for (std::size_t at = bytes.find('\r'); at != std::string_view::npos; at = bytes.find('\r', at + 1)) {
        count += IsLineEnd('\r', at + 1 < bytes.size() ? bytes[at + 1] : next) ? 1 : 0;
    }
    return count;
}

// Moves the entries of lines after `after` by `by` lines.
template <class Container>
void ShiftEntries(Container& lines, std::intptr_t after, std::intptr_t by) {
    Container moved;
    for (auto it = lines.upper_bound(after); it != lines.end(); it = lines.erase(it)) {
        if constexpr (std::is_same_v<Container, std::set<std::intptr_t>>) {
            moved.insert(*it + by);
        } else {
            moved.emplace(it->first + by, it->second);
        }
    }
    lines.merge(moved);
}

}  // namespace

FakeScintilla::FakeScintilla(std::string document, LengthConvention convention)
    : text_(std::move(document)), convention_(convention) {}

const std::string& FakeScintilla::document() const {
    Flat();
    return text_;
}

std::intptr_t FakeScintilla::Length() const {
    return static_cast<std::intptr_t>(text_.size() + after_.size() - afterStart_);
}

std::intptr_t FakeScintilla::Clamp(std::intptr_t position) const { return std::clamp<std::intptr_t>(position, 0, Length()); }

std::string_view FakeScintilla::Flat() const {
    MoveGapTo(static_cast<std::size_t>(Length()));
    return text_;
}

// Puts the gap at `position`: text_ then holds the bytes before it.
void FakeScintilla::MoveGapTo(std::size_t position) const {
    if (position < text_.size()) {
        after_.erase(0, afterStart_);
        after_.insert(0, text_, position);
        afterStart_ = 0;
        text_.resize(position);
    } else if (position > text_.size()) {
        const std::size_t count = position - text_.size();
        text_.append(after_, afterStart_, count);
        afterStart_ += count;
    }
    if (afterStart_ == after_.size()) {
        after_.clear();
        afterStart_ = 0;
    }
}

char FakeScintilla::ByteAt(std::intptr_t position) const {
    if (position < 0 || position >= Length()) return '\0';
    const auto at = static_cast<std::size_t>(position);
    return at < text_.size() ? text_[at] : after_[afterStart_ + at - text_.size()];
}

std::intptr_t FakeScintilla::LineEndsIn(std::intptr_t from, std::intptr_t to) const {
    std::intptr_t count = 0;
    for (std::intptr_t at = std::max<std::intptr_t>(from, 0); at < std::min(to, Length()); ++at) {
        count += IsLineEnd(ByteAt(at), ByteAt(at + 1)) ? 1 : 0;
    }
    return count;
}

void FakeScintilla::SetSelection(std::intptr_t anchor, std::intptr_t caret) {
    anchor_ = Clamp(anchor);
    caret_ = Clamp(caret);
}

void FakeScintilla::AddMarkers(std::intptr_t line, std::uint32_t markers) {
    if (line >= 0 && line < LineCount() && markers != 0) markers_[line] |= markers;
}

void FakeScintilla::SetView(std::intptr_t firstVisibleLine, std::intptr_t xOffset) {
    const std::intptr_t maxTop = std::max<std::intptr_t>(LineCount() - kLinesOnScreen, 0);
    firstVisibleLine_ = std::clamp<std::intptr_t>(firstVisibleLine, 0, maxTop);
    xOffset_ = std::max<std::intptr_t>(xOffset, 0);
}

// Lines end at CR LF, LF or a lone CR, as Scintilla cuts them; a position
// between the CR and the LF of a CR LF is still on the line that they end.
// Lines are counted by scanning from the start (eight bytes at a time), which
// keeps the model free of an index to maintain.
std::intptr_t FakeScintilla::NextLineStart(std::intptr_t from) const {
    const std::string_view text = Flat();
    const std::size_t end = LineEnd(text, static_cast<std::size_t>(from));
    if (end == text.size()) return -1;
    return static_cast<std::intptr_t>(halvex::NextLineStart(text, end));
}

std::intptr_t FakeScintilla::LineFromPosition(std::intptr_t position) const {
    position = Clamp(position);
    std::intptr_t line = 0;
    for (std::intptr_t next = NextLineStart(0); next != -1 && next <= position; next = NextLineStart(next)) ++line;
    return line;
}

std::intptr_t FakeScintilla::LineCount() const { return LineFromPosition(Length()) + 1; }

std::intptr_t FakeScintilla::LineStart(std::intptr_t line) const {
    std::intptr_t start = 0;
    for (std::intptr_t seen = 0; seen < line; ++seen) {
        start = NextLineStart(start);
        if (start == -1) return Length();
    }
    return start;
}

std::intptr_t FakeScintilla::GetText(std::uintptr_t wParam, char* buffer) const {
    if (buffer == nullptr) return convention_ == LengthConvention::kCountsNul ? Length() + 1 : Length();
    std::intptr_t count;
    if (convention_ == LengthConvention::kCountsNul) {
        if (wParam == 0) return 0;
        count = std::min<std::intptr_t>(static_cast<std::intptr_t>(wParam) - 1, Length());
    } else {
        count = std::min<std::intptr_t>(static_cast<std::intptr_t>(wParam), Length());
    }
    std::memcpy(buffer, Flat().data(), static_cast<std::size_t>(count));
    buffer[count] = '\0';
    return count;
}

std::intptr_t FakeScintilla::GetSelText(char* buffer) const {
    const std::intptr_t start = std::min(anchor_, caret_);
    const std::intptr_t length = std::max(anchor_, caret_) - start;
    if (buffer == nullptr) return convention_ == LengthConvention::kCountsNul ? length + 1 : length;
    std::memcpy(buffer, Flat().data() + start, static_cast<std::size_t>(length));
    buffer[length] = '\0';
    return convention_ == LengthConvention::kCountsNul && length > 0 ? length + 1 : length;
}

// One edit, recorded for undo: alone as a step of its own, or in the open
// undo group.
void FakeScintilla::Replace(std::intptr_t position, std::intptr_t length, std::string_view text) {
    Edit inverse = Apply({position, length, std::string(text)});
    if (replaying_) return;
    redo_.clear();
    if (undoDepth_ > 0 && stepOpen_) {
        undo_.back().push_back(std::move(inverse));
        return;
    }
    undo_.push_back({std::move(inverse)});
    stepOpen_ = undoDepth_ > 0;
    ++writes_;
}

FakeScintilla::Edit FakeScintilla::Apply(const Edit& edit) {
    MoveGapTo(static_cast<std::size_t>(edit.position));
    Edit inverse{edit.position, static_cast<std::intptr_t>(edit.text.size()),
                 after_.substr(afterStart_, static_cast<std::size_t>(edit.length))};
    Delete(edit.position, edit.length);
    Insert(edit.position, edit.text);
    return inverse;
}

void FakeScintilla::Delete(std::intptr_t position, std::intptr_t length) {
    if (length == 0) return;
    const std::intptr_t end = position + length;
    // Only the byte before the deletion can change whether it ends a line
    // (a CR that meets an LF); the line ends inside it go.
    const bool endsLineAfter = position > 0 && IsLineEnd(ByteAt(position - 1), ByteAt(end));
    const std::intptr_t removed = LineEndsIn(position - 1, end) - (endsLineAfter ? 1 : 0);
    if (removed > 0 && (!markers_.empty() || !contracted_.empty())) {
        const std::intptr_t line = LineFromPosition(position);
        for (auto it = markers_.upper_bound(line); it != markers_.end() && it->first <= line + removed;) {
            markers_[line] |= it->second;
            it = markers_.erase(it);
        }
        contracted_.erase(contracted_.lower_bound(line), contracted_.upper_bound(line + removed));
        ShiftEntries(markers_, line + removed, -removed);
        ShiftEntries(contracted_, line + removed, -removed);
    }
    ScrollForLines(position, -removed);
    MoveGapTo(static_cast<std::size_t>(position));
    afterStart_ += static_cast<std::size_t>(length);
    for (std::intptr_t* at : {&anchor_, &caret_, &targetStart_, &targetEnd_}) {
        *at = *at > end ? *at - length : std::min(*at, position);
    }
    if (onModified_) onModified_(LineFromPosition(position), -removed);
}

void FakeScintilla::Insert(std::intptr_t position, std::string_view text) {
    if (text.empty()) return;
    const char before = ByteAt(position - 1), after = ByteAt(position);
    std::intptr_t added = (position > 0 && IsLineEnd(before, text.front()) ? 1 : 0) -
                          (position > 0 && IsLineEnd(before, after) ? 1 : 0);
    added += CountLineEnds(text, after);
    if (added > 0 && (!markers_.empty() || !contracted_.empty())) {
        const std::intptr_t line = LineFromPosition(position);
        const bool atLineStart = LineStart(line) == position;
        ShiftEntries(markers_, atLineStart ? line - 1 : line, added);
        ShiftEntries(contracted_, atLineStart ? line - 1 : line, added);
        if (!atLineStart) contracted_.erase(line);
    }
    ScrollForLines(position, added);
    MoveGapTo(static_cast<std::size_t>(position));
    text_.append(text);
    for (std::intptr_t* at : {&anchor_, &caret_, &targetStart_, &targetEnd_}) {
        if (*at > position) *at += static_cast<std::intptr_t>(text.size());
    }
    if (onModified_) onModified_(LineFromPosition(position), added);
}

// An edit above the top line keeps the same text in view, as far as the
// scroll range allows.
void FakeScintilla::ScrollForLines(std::intptr_t position, std::intptr_t linesAdded) {
    if (linesAdded == 0 || firstVisibleLine_ == 0 || position >= LineStart(firstVisibleLine_)) return;
    const std::intptr_t maxTop = std::max<std::intptr_t>(LineCount() + linesAdded - kLinesOnScreen, 0);
    firstVisibleLine_ = std::clamp<std::intptr_t>(firstVisibleLine_ + linesAdded, 0, maxTop);
}

void FakeScintilla::ScrollToLine(std::intptr_t line) {
    if (line < firstVisibleLine_) firstVisibleLine_ = line;
    if (line >= firstVisibleLine_ + kLinesOnScreen) firstVisibleLine_ = line - kLinesOnScreen + 1;
}

bool FakeScintilla::Undo() { return ApplyStep(undo_, redo_, true); }
bool FakeScintilla::Redo() { return ApplyStep(redo_, undo_, false); }

// Applies the last step of `from` (its edits in reverse order when undoing)
// and moves it, turned into its inverse, to `to`.
bool FakeScintilla::ApplyStep(std::vector<Step>& from, std::vector<Step>& to, bool reverse) {
    if (from.empty()) return false;
    Step step = std::move(from.back());
    from.pop_back();
    replaying_ = true;
    for (std::size_t i = 0; i < step.size(); ++i) {
        Edit& edit = step[reverse ? step.size() - 1 - i : i];
        edit = Apply(edit);
        anchor_ = caret_ = edit.position;
    }
    replaying_ = false;
    to.push_back(std::move(step));
    return true;
}

std::intptr_t FakeScintilla::Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (!timed_) return Answer(message, wParam, lParam);
    const auto start = std::chrono::steady_clock::now();
    const std::intptr_t result = Answer(message, wParam, lParam);
    timeSpent_ += std::chrono::steady_clock::now() - start;
    return result;
}

std::intptr_t FakeScintilla::Answer(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    messages_.push_back(message);
    char* buffer = reinterpret_cast<char*>(lParam);
    const auto position = static_cast<std::intptr_t>(wParam);
    switch (message) {
        case sci::kGetLength:
            return Length();
        case sci::kGetCurrentPos:
            return caret_;
        case sci::kGetAnchor:
            return anchor_;
        case sci::kGotoLine: {
            const std::intptr_t line = std::clamp<std::intptr_t>(position, 0, LineCount() - 1);
            anchor_ = caret_ = LineStart(line);
            ScrollToLine(line);
            xOffset_ = 0;  // the start of the line must be in view
            return 0;
        }
        case sci::kGotoPos:
            anchor_ = caret_ = Clamp(position);
            ScrollToLine(LineFromPosition(caret_));
            return 0;
        case sci::kGetLineEndPosition:
            return static_cast<std::intptr_t>(LineEnd(Flat(), static_cast<std::size_t>(LineStart(position))));
        case sci::kGetSelectionStart:
            return std::min(anchor_, caret_);
        case sci::kGetSelectionEnd:
            return std::max(anchor_, caret_);
        case sci::kSetSel: {
            const std::intptr_t caret = lParam < 0 ? Length() : lParam;
            SetSelection(position < 0 ? caret : position, caret);
            ScrollToLine(LineFromPosition(caret_));
            return 0;
        }
        case sci::kGetSelText:
            return GetSelText(buffer);
        case sci::kLineFromPosition:
            return position < 0 ? 0 : LineFromPosition(position);
        case sci::kPositionFromLine:
            if (position < 0) return LineStart(LineFromPosition(std::min(anchor_, caret_)));
            if (position > LineCount()) return -1;
            return LineStart(position);
        case sci::kReplaceSel: {
            const std::intptr_t start = std::min(anchor_, caret_);
            const std::size_t length = std::strlen(buffer);
            Replace(start, std::max(anchor_, caret_) - start, {buffer, length});
            anchor_ = caret_ = start + static_cast<std::intptr_t>(length);
            ScrollToLine(LineFromPosition(caret_));
            return 0;
        }
        case sci::kSetText:
            Replace(0, Length(), buffer);
            anchor_ = caret_ = 0;
            return 0;
        case sci::kGetText:
            return GetText(wParam, buffer);
        case sci::kGetCharacterPointer:  // wParam 0
        case sci::kGetRangePointer:      // wParam the range's start
            // The stand-in for an old editor answers only the copying
            // messages, so that both ways of reading stay covered.
            if (convention_ == LengthConvention::kCountsNul) return 0;
            return reinterpret_cast<std::intptr_t>(Flat().data() + Clamp(position));
        case sci::kSetTargetRange:
            targetStart_ = Clamp(position);
            targetEnd_ = std::max(targetStart_, Clamp(lParam));
            return 0;
        case sci::kReplaceTarget: {
            const std::size_t length = wParam == static_cast<std::uintptr_t>(-1) ? std::strlen(buffer) : wParam;
            Replace(targetStart_, targetEnd_ - targetStart_, {buffer, length});
            targetEnd_ = targetStart_ + static_cast<std::intptr_t>(length);
            return static_cast<std::intptr_t>(length);
        }
        case sci::kBeginUndoAction:
            if (undoDepth_++ == 0) stepOpen_ = false;
            return 0;
        case sci::kEndUndoAction:
            undoDepth_ = std::max(undoDepth_ - 1, 0);
            return 0;
        case sci::kUndo:
            Undo();
            return 0;
        case sci::kRedo:
            Redo();
            return 0;
        case sci::kMarkerGet: {
            const auto found = markers_.find(position);
            return found == markers_.end() ? 0 : static_cast<std::int32_t>(found->second);
        }
        case sci::kMarkerNext:
            for (auto it = markers_.lower_bound(position); it != markers_.end(); ++it) {
                if ((it->second & static_cast<std::uint32_t>(lParam)) != 0) return it->first;
            }
            return -1;
        case sci::kMarkerHandleFromLine: {  // one handle per marker of a line
            const auto found = markers_.find(position);
            return found != markers_.end() && lParam < std::popcount(found->second) ? lParam : -1;
        }
        case sci::kMarkerAddSet:
            AddMarkers(position, static_cast<std::uint32_t>(lParam));
            return 0;
        case sci::kMarkerDelete:
            if (lParam == -1) {
                markers_.erase(position);
            } else if (markers_.count(position) != 0 && (markers_[position] &= ~(1u << lParam)) == 0) {
                markers_.erase(position);
            }
            return 0;
        case sci::kContractedFoldNext: {
            const auto found = contracted_.lower_bound(position);
            return found == contracted_.end() ? -1 : *found;
        }
        case sci::kFoldLine:
            if (lParam == 0 || (lParam == 2 && contracted_.count(position) == 0)) {
                contracted_.insert(position);
            } else {
                contracted_.erase(position);
            }
            return 0;
        case sci::kGetFirstVisibleLine:
            return firstVisibleLine_;
        case sci::kSetFirstVisibleLine:
            SetView(position, xOffset_);
            return 0;
        case sci::kGetXOffset:
            return xOffset_;
        case sci::kSetXOffset:
            xOffset_ = std::max<std::intptr_t>(position, 0);
            return 0;
        case sci::kGetUseTabs:
            return useTabs_ ? 1 : 0;
        case sci::kGetIndent:
            return indent_;
        case sci::kGetTabWidth:
            return tabWidth_;
        case sci::kGetAllLinesVisible:
        case sci::kGetLineVisible:
            return 1;
        case sci::kVisibleFromDocLine:
        case sci::kDocLineFromVisible:
            return position;
        default:
            return 0;
    }
}

}  // namespace halvex::testing
