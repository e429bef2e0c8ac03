#include "fake_scintilla.hpp"

#include <algorithm>
#include <cstring>

#include "editor/editor.hpp"
#include "text/byte_scan.hpp"

namespace halvex::testing {

FakeScintilla::FakeScintilla(std::string document, LengthConvention convention)
    : document_(std::move(document)), convention_(convention) {}

std::intptr_t FakeScintilla::Clamp(std::intptr_t position) const { return std::clamp<std::intptr_t>(position, 0, Length()); }

void FakeScintilla::SetSelection(std::intptr_t anchor, std::intptr_t caret) {
    anchor_ = Clamp(anchor);
    caret_ = Clamp(caret);
}

// Lines end at CR LF, LF or a lone CR, as Scintilla cuts them; a position
// between the CR and the LF of a CR LF is still on the line that they end.
// Lines are counted by scanning from the start (eight bytes at a time), which
// keeps the model free of an index to maintain.
std::intptr_t FakeScintilla::NextLineStart(std::intptr_t from) const {
    const std::string_view text(document_);
    std::size_t at = FindFirstOf<'\r', '\n'>(text, static_cast<std::size_t>(from));
    if (at == text.size()) return -1;
    at += text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
    return static_cast<std::intptr_t>(at);
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
    std::memcpy(buffer, document_.data(), static_cast<std::size_t>(count));
    buffer[count] = '\0';
    return count;
}

std::intptr_t FakeScintilla::GetSelText(char* buffer) const {
    const std::intptr_t start = std::min(anchor_, caret_);
    const std::intptr_t length = std::max(anchor_, caret_) - start;
    if (buffer == nullptr) return convention_ == LengthConvention::kCountsNul ? length + 1 : length;
    std::memcpy(buffer, document_.data() + start, static_cast<std::size_t>(length));
    buffer[length] = '\0';
    return convention_ == LengthConvention::kCountsNul && length > 0 ? length + 1 : length;
}

void FakeScintilla::ReplaceSelection(const char* text) {
    const std::intptr_t start = std::min(anchor_, caret_);
    const std::size_t inserted = std::strlen(text);
    document_.replace(static_cast<std::size_t>(start), static_cast<std::size_t>(std::max(anchor_, caret_) - start), text,
                      inserted);
    anchor_ = caret_ = start + static_cast<std::intptr_t>(inserted);
    ++writes_;
}

std::intptr_t FakeScintilla::Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    messages_.push_back(message);
    char* buffer = reinterpret_cast<char*>(lParam);
    const auto position = static_cast<std::intptr_t>(wParam);
    switch (message) {
        case sci::kGetLength:
            return Length();
        case sci::kGetCurrentPos:
            return caret_;
        case sci::kGotoLine:
            anchor_ = caret_ = LineStart(std::clamp<std::intptr_t>(position, 0, LineCount() - 1));
            return 0;
        case sci::kGetSelectionStart:
            return std::min(anchor_, caret_);
        case sci::kGetSelectionEnd:
            return std::max(anchor_, caret_);
        case sci::kSetSel: {
            const std::intptr_t caret = lParam < 0 ? Length() : lParam;
            SetSelection(position < 0 ? caret : position, caret);
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
        case sci::kReplaceSel:
            ReplaceSelection(buffer);
            return 0;
        case sci::kSetText:
            document_.assign(buffer);
            anchor_ = caret_ = 0;
            ++writes_;
            return 0;
        case sci::kGetText:
            return GetText(wParam, buffer);
        default:
            return 0;
    }
}

}  // namespace halvex::testing
