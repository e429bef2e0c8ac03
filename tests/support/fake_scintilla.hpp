#pragma once
// A stand-in for the editor component: holds the document bytes, the anchor
// and the caret, and answers the messages that the plug-in sends as Scintilla
// does, in either of its two length conventions.

#include <cstdint>
#include <string>
#include <vector>

namespace halvex::testing {

enum class LengthConvention {
    // Before Scintilla 5.1.5: a null-buffer SCI_GETSELTEXT counts the NUL,
    // SCI_GETTEXT's wParam includes it.
    kCountsNul,
    // Scintilla 5.1.5 and later (Notepad++ 8.4+): neither counts the NUL.
    kExcludesNul,
};

class FakeScintilla {
   public:
    explicit FakeScintilla(std::string document = {}, LengthConvention convention = LengthConvention::kExcludesNul);

    std::intptr_t Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

    const std::string& document() const { return document_; }
    std::intptr_t anchor() const { return anchor_; }
    std::intptr_t caret() const { return caret_; }
    // Each SCI_SETTEXT or SCI_REPLACESEL is one undo step and marks the
    // document modified.
    int writes() const { return writes_; }
    const std::vector<unsigned>& messages() const { return messages_; }

    void SetSelection(std::intptr_t anchor, std::intptr_t caret);
    std::intptr_t LineStart(std::intptr_t line) const;
    std::intptr_t LineFromPosition(std::intptr_t position) const;
    std::intptr_t LineCount() const;

   private:
    std::intptr_t Length() const { return static_cast<std::intptr_t>(document_.size()); }
    std::intptr_t Clamp(std::intptr_t position) const;
    // Where the line after the one holding `from` starts; -1 after the last.
    std::intptr_t NextLineStart(std::intptr_t from) const;
    std::intptr_t GetText(std::uintptr_t wParam, char* buffer) const;
    std::intptr_t GetSelText(char* buffer) const;
    void ReplaceSelection(const char* text);

    std::string document_;
    LengthConvention convention_;
    std::intptr_t anchor_ = 0;
    std::intptr_t caret_ = 0;
    int writes_ = 0;
    std::vector<unsigned> messages_;
};

}  // namespace halvex::testing
