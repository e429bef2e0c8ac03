#pragma once
// A stand-in for the editor component: holds the document bytes, the anchor
// and the caret, the target, the undo history, markers per line, contracted
// fold headers and the top of the view, and answers the messages that the
// plug-in sends as Scintilla does, in either of its two length conventions.
//
// Edits are modelled as Scintilla makes them, a deletion and then an
// insertion: a deleted line end merges the markers of the line after it into
// the line before, and opens a contracted header among those lines; line ends
// inserted at the start of a line push its markers down with its text, line
// ends inserted inside a line leave them there (and open the line's fold).
// An edit before the top line scrolls the view by the lines it adds or
// removes. Every line is shown: display lines are document lines.
//
// SCI_GETCHARACTERPOINTER and SCI_GETRANGEPOINTER are answered in the current
// convention only: the stand-in for an old editor makes the plug-in take its
// copying way. Each marker of a line has one handle.
//
// Edits from the start towards the end of the document cost only the bytes
// they touch (the text has a gap at the last edit, as Scintilla's buffer has),
// so a write-back of many small runs stays linear.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
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
    static constexpr std::intptr_t kLinesOnScreen = 10;

    explicit FakeScintilla(std::string document = {}, LengthConvention convention = LengthConvention::kExcludesNul);

    std::intptr_t Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

    // From now on, adds up the time spent answering messages, so that a
    // benchmark can tell the stand-in's own work from the plug-in's.
    void MeasureTime() { timed_ = true; }
    std::chrono::nanoseconds timeSpent() const { return timeSpent_; }

    const std::string& document() const;
    std::intptr_t anchor() const { return anchor_; }
    std::intptr_t caret() const { return caret_; }
    // The undo steps recorded: each SCI_SETTEXT, SCI_REPLACESEL or
    // SCI_REPLACETARGET outside an undo group, and each group with edits.
    int writes() const { return writes_; }
    bool undoGroupOpen() const { return undoDepth_ > 0; }
    const std::vector<unsigned>& messages() const { return messages_; }
    // Markers by line, one bit per marker number; lines without are absent.
    const std::map<std::intptr_t, std::uint32_t>& markers() const { return markers_; }
    const std::set<std::intptr_t>& contractedFolds() const { return contracted_; }
    std::intptr_t firstVisibleLine() const { return firstVisibleLine_; }
    std::intptr_t xOffset() const { return xOffset_; }

    void SetSelection(std::intptr_t anchor, std::intptr_t caret);
    void AddMarkers(std::intptr_t line, std::uint32_t markers);
    void ContractFold(std::intptr_t line) { contracted_.insert(line); }
    void SetView(std::intptr_t firstVisibleLine, std::intptr_t xOffset);
    // The document's indentation settings, as SCI_GETUSETABS, SCI_GETINDENT
    // and SCI_GETTABWIDTH answer them (Scintilla's defaults at first).
    void SetIndentation(bool useTabs, std::intptr_t indent, std::intptr_t tabWidth) {
        std::tie(useTabs_, indent_, tabWidth_) = std::tie(useTabs, indent, tabWidth);
    }
    // Told every deletion and insertion (undone, redone too) as SCN_MODIFIED
    // tells a plug-in: the line, and the lines added (negative: removed).
    void OnModified(std::function<void(std::intptr_t line, std::intptr_t linesAdded)> listener) {
        onModified_ = std::move(listener);
    }
    // Undoes or redoes one step; false when there is none.
    bool Undo();
    bool Redo();
    std::intptr_t LineStart(std::intptr_t line) const;
    std::intptr_t LineFromPosition(std::intptr_t position) const;
    std::intptr_t LineCount() const;

   private:
    // One edit, kept so that applying it again gives it back: the bytes at
    // `position` that `length` long are replaced by `text`.
    struct Edit {
        std::intptr_t position;
        std::intptr_t length;
        std::string text;
    };
    using Step = std::vector<Edit>;

    std::intptr_t Answer(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    std::intptr_t Length() const;
    std::intptr_t Clamp(std::intptr_t position) const;
    std::string_view Flat() const;
    void MoveGapTo(std::size_t position) const;
    char ByteAt(std::intptr_t position) const;
    std::intptr_t LineEndsIn(std::intptr_t from, std::intptr_t to) const;
    // Where the line after the one holding `from` starts; -1 after the last.
    std::intptr_t NextLineStart(std::intptr_t from) const;
    std::intptr_t GetText(std::uintptr_t wParam, char* buffer) const;
    std::intptr_t GetSelText(char* buffer) const;

    void Replace(std::intptr_t position, std::intptr_t length, std::string_view text);
    Edit Apply(const Edit& edit);
    void Delete(std::intptr_t position, std::intptr_t length);
    void Insert(std::intptr_t position, std::string_view text);
    void ShiftLines(std::intptr_t after, std::intptr_t by);
    void ScrollForLines(std::intptr_t position, std::intptr_t linesAdded);
    void ScrollToLine(std::intptr_t line);
    bool ApplyStep(std::vector<Step>& from, std::vector<Step>& to, bool reverse);

    // The document is text_ followed by after_ from afterStart_ on.
    mutable std::string text_;
    mutable std::string after_;
    mutable std::size_t afterStart_ = 0;
    LengthConvention convention_;
    std::intptr_t anchor_ = 0;
    std::intptr_t caret_ = 0;
    std::intptr_t targetStart_ = 0;
    std::intptr_t targetEnd_ = 0;
    int undoDepth_ = 0;
    bool stepOpen_ = false;  // the current undo group has recorded an edit
    bool replaying_ = false;
    std::vector<Step> undo_;
    std::vector<Step> redo_;
    std::map<std::intptr_t, std::uint32_t> markers_;
    std::set<std::intptr_t> contracted_;
    std::intptr_t firstVisibleLine_ = 0;
    std::intptr_t xOffset_ = 0;
    bool useTabs_ = true;
    std::intptr_t indent_ = 0;
    std::intptr_t tabWidth_ = 8;
    int writes_ = 0;
    std::function<void(std::intptr_t, std::intptr_t)> onModified_;
    bool timed_ = false;
    std::chrono::nanoseconds timeSpent_{0};
    std::vector<unsigned> messages_;
};

}  // namespace halvex::testing
