#pragma once
// Scintilla's own editor core, compiled without a window, set up as Notepad++
// sets up a view of a .bas file: UTF-8, the document's own kind of line
// end for new ones, the FreeBASIC lexer with folding, automatic fold show and
// change, change history with its margin markers.
// Messages go straight to the editor's message handler. It answers the same
// questions as the stand-in editor (FakeScintilla), so that a test can run
// against either; where the two disagree, this one is right.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace halvex::testing {

class RealScintilla {
   public:
    static constexpr std::uint32_t kChangeHistoryMarkers = 0xFu << 21;  // markers 21-24

    explicit RealScintilla(const std::string& document = {});
    RealScintilla(RealScintilla&&) noexcept;
    RealScintilla& operator=(RealScintilla&&) noexcept;
    ~RealScintilla();

    std::intptr_t Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    const std::vector<unsigned>& messages() const { return messages_; }

    std::string document();
    std::intptr_t anchor();
    std::intptr_t caret();
    std::intptr_t firstVisibleLine();
    std::intptr_t xOffset();
    std::intptr_t gapPosition();
    // The undo steps recorded since the document was loaded.
    int writes() const;
    bool undoGroupOpen();

    // The markers added to each line (not the change-history bits that
    // SCI_MARKERGET adds), one bit per marker number; lines without are absent.
    std::map<std::intptr_t, std::uint32_t> markers();
    // Lines that hold more than one handle of one marker number.
    std::set<std::intptr_t> duplicateMarkers();
    // The lines whose change-history markers are on.
    std::set<std::intptr_t> historyLines();
    // Contracted headers and hidden lines, as shown once the whole document
    // has been styled (as painting it would).
    std::set<std::intptr_t> contractedFolds();
    std::set<std::intptr_t> hiddenLines();
    // The text under each stretch of Search › Mark's indicator 31.
    std::vector<std::string> markedTexts();

    void SetSelection(std::intptr_t anchor, std::intptr_t caret);
    void AddMarkers(std::intptr_t line, std::uint32_t markers);
    void ContractFold(std::intptr_t line);
    // View › Hide Lines: hides the lines and marks the lines around them.
    void HideLines(std::intptr_t first, std::intptr_t last);
    void Mark(std::intptr_t start, std::intptr_t length);
    // Inserts the text as typing does and marks the document saved.
    void TypeAndSave(std::intptr_t position, const std::string& text);
    // Typing at the caret, which Scintilla joins into one undo step.
    void Type(const std::string& text);
    // Enter as Notepad++ handles it: the line break, whose last byte is
    // reported to `plugin` first (SCN_CHARADDED) and then to the auto-indent
    // (with `autoIndent`), which gives the new line the indentation of the
    // nearest line above that is not empty and puts the caret after it.
    void Enter(bool autoIndent, std::function<void()> plugin);
    void SetReadOnly();
    void SetView(std::intptr_t firstVisibleLine, std::intptr_t xOffset);
    bool Undo();
    bool Redo();
    std::intptr_t LineStart(std::intptr_t line);
    std::intptr_t LineFromPosition(std::intptr_t position);
    std::intptr_t LineCount();

   private:
    class View;
    std::unique_ptr<View> view_;
    std::vector<unsigned> messages_;
};

}  // namespace halvex::testing
