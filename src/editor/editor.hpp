#pragma once
// Typed access to the editor component (Scintilla) through its messages.
//
// Positions and sizes are pointer-sized, as in a 64-bit Scintilla, so
// documents over 2 GiB are measured correctly. Text is fetched with buffers
// sized to fit both length conventions: before Scintilla 5.1.5 a null-buffer
// query counted the terminating NUL and SCI_GETTEXT's wParam included it;
// since then neither does.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "editor/platform.hpp"

namespace halvex {

namespace sci {
inline constexpr unsigned kInsertText = 2003;
inline constexpr unsigned kGetLength = 2006;
inline constexpr unsigned kGetReadOnly = 2140;
inline constexpr unsigned kGetCurrentPos = 2008;
inline constexpr unsigned kGetAnchor = 2009;
inline constexpr unsigned kRedo = 2011;
inline constexpr unsigned kGotoLine = 2024;
inline constexpr unsigned kGotoPos = 2025;
inline constexpr unsigned kStartStyling = 2032;
inline constexpr unsigned kMarkerDelete = 2044;
inline constexpr unsigned kMarkerGet = 2046;
inline constexpr unsigned kMarkerNext = 2047;
inline constexpr unsigned kBeginUndoAction = 2078;
inline constexpr unsigned kEndUndoAction = 2079;
inline constexpr unsigned kGetTabWidth = 2121;
inline constexpr unsigned kGetIndent = 2123;
inline constexpr unsigned kGetUseTabs = 2125;
inline constexpr unsigned kGetLineEndPosition = 2136;
inline constexpr unsigned kGetSelectionStart = 2143;
inline constexpr unsigned kGetSelectionEnd = 2145;
inline constexpr unsigned kGetFirstVisibleLine = 2152;
inline constexpr unsigned kSetSel = 2160;
inline constexpr unsigned kGetSelText = 2161;
inline constexpr unsigned kLineFromPosition = 2166;
inline constexpr unsigned kPositionFromLine = 2167;
inline constexpr unsigned kReplaceSel = 2170;
inline constexpr unsigned kUndo = 2176;
inline constexpr unsigned kSetText = 2181;
inline constexpr unsigned kGetText = 2182;
inline constexpr unsigned kGetDirectFunction = 2184;
inline constexpr unsigned kGetDirectPointer = 2185;
inline constexpr unsigned kReplaceTarget = 2194;
inline constexpr unsigned kVisibleFromDocLine = 2220;
inline constexpr unsigned kDocLineFromVisible = 2221;
inline constexpr unsigned kGetLastChild = 2224;
inline constexpr unsigned kHideLines = 2227;
inline constexpr unsigned kGetLineVisible = 2228;
inline constexpr unsigned kGetAllLinesVisible = 2236;
inline constexpr unsigned kFoldLine = 2237;
inline constexpr unsigned kGetWrapMode = 2269;
inline constexpr unsigned kSetModEventMask = 2359;
inline constexpr unsigned kGetModEventMask = 2378;
inline constexpr unsigned kSetXOffset = 2397;
inline constexpr unsigned kGetXOffset = 2398;
inline constexpr unsigned kAllocate = 2446;
inline constexpr unsigned kMarkerAddSet = 2466;
inline constexpr unsigned kSetIndicatorCurrent = 2500;
inline constexpr unsigned kGetIndicatorCurrent = 2501;
inline constexpr unsigned kIndicatorFillRange = 2504;
inline constexpr unsigned kIndicatorClearRange = 2505;
inline constexpr unsigned kIndicatorValueAt = 2507;
inline constexpr unsigned kIndicatorEnd = 2509;
inline constexpr unsigned kGetCharacterPointer = 2520;
inline constexpr unsigned kAnnotationGetVisible = 2549;
inline constexpr unsigned kSetFirstVisibleLine = 2613;
inline constexpr unsigned kContractedFoldNext = 2618;
inline constexpr unsigned kGetRangePointer = 2643;
inline constexpr unsigned kSetTargetRange = 2686;
inline constexpr unsigned kMarkerHandleFromLine = 2732;
inline constexpr unsigned kGetChangeHistory = 2781;
inline constexpr unsigned kGetUndoActions = 2790;
inline constexpr unsigned kGetUndoCurrent = 2798;
inline constexpr unsigned kGetUndoSequence = 2799;
inline constexpr unsigned kGetUndoActionType = 2802;
inline constexpr unsigned kGetUndoActionPosition = 2803;
inline constexpr unsigned kColourise = 4003;

inline constexpr std::intptr_t kAllMarkers = -1;   // a marker mask, and "every marker" for SCI_MARKERDELETE
inline constexpr std::intptr_t kFoldContract = 0;  // SC_FOLDACTION_CONTRACT
// With change-history markers on (SC_CHANGE_HISTORY_MARKERS), SCI_MARKERGET
// adds the history of the line as markers 21-24; they are not real markers.
inline constexpr std::intptr_t kChangeHistoryMarkersOn = 2;
inline constexpr std::uint32_t kChangeHistoryMarkers = 0xFu << 21;
inline constexpr int kSearchMark = 31;  // Notepad++'s Search › Mark indicator
// SCI_GETUNDOACTIONTYPE: the kind of action in the low byte, and a bit set
// while the action's undo step may go on after it.
inline constexpr std::intptr_t kUndoInsert = 0;
inline constexpr std::intptr_t kUndoRemove = 1;
inline constexpr std::intptr_t kUndoKind = 0xFF;
inline constexpr std::intptr_t kUndoStepGoesOn = 0x100;
}  // namespace sci

class Editor {
   public:
    explicit Editor(const SendToEditor& send) : send_(send) {}

    std::intptr_t CurrentPos() const { return Send(sci::kGetCurrentPos); }
    std::intptr_t Anchor() const { return Send(sci::kGetAnchor); }
    std::intptr_t LineFromPosition(std::intptr_t position) const {
        return Send(sci::kLineFromPosition, static_cast<std::uintptr_t>(position));
    }
    std::intptr_t PositionFromLine(std::intptr_t line) const {
        return Send(sci::kPositionFromLine, static_cast<std::uintptr_t>(line));
    }
    std::intptr_t SelectionStart() const { return Send(sci::kGetSelectionStart); }
    std::intptr_t SelectionEnd() const { return Send(sci::kGetSelectionEnd); }
    std::intptr_t Length() const { return Send(sci::kGetLength); }
    bool ReadOnly() const { return Send(sci::kGetReadOnly) != 0; }
    void SetSel(std::intptr_t anchor, std::intptr_t caret) const {
        Send(sci::kSetSel, static_cast<std::uintptr_t>(anchor), caret);
    }
    void GotoLine(std::intptr_t line) const { Send(sci::kGotoLine, static_cast<std::uintptr_t>(line)); }
    // Puts the caret at `position`, nothing selected, and scrolls it into view.
    void GotoPos(std::intptr_t position) const { Send(sci::kGotoPos, static_cast<std::uintptr_t>(position)); }
    // Where the line ends, before its line break.
    std::intptr_t LineEndPosition(std::intptr_t line) const {
        return Send(sci::kGetLineEndPosition, static_cast<std::uintptr_t>(line));
    }
    void SetText(const std::string& text) const { Send(sci::kSetText, 0, Address(text)); }
    // Inserts `text` (without NUL bytes) at `position`, outside any undo
    // group: Scintilla joins it to the undo step before it when it follows
    // that step's last insertion.
    void InsertText(std::intptr_t position, const std::string& text) const {
        Send(sci::kInsertText, static_cast<std::uintptr_t>(position), Address(text));
    }
    void ReplaceSel(const std::string& text) const { Send(sci::kReplaceSel, 0, Address(text)); }

    // Replaces the bytes from `start` to `end` with `text` (NUL bytes
    // included); the caret stays where it was.
    void ReplaceRange(std::intptr_t start, std::intptr_t end, std::string_view text) const {
        Send(sci::kSetTargetRange, static_cast<std::uintptr_t>(start), end);
        Send(sci::kReplaceTarget, text.size(), reinterpret_cast<std::intptr_t>(text.data()));
    }
    // Makes the document's buffer hold at least `bytes` bytes.
    void Allocate(std::intptr_t bytes) const { Send(sci::kAllocate, static_cast<std::uintptr_t>(bytes)); }
    void BeginUndoAction() const { Send(sci::kBeginUndoAction); }
    void EndUndoAction() const { Send(sci::kEndUndoAction); }
    void Undo() const { Send(sci::kUndo); }
    void Redo() const { Send(sci::kRedo); }

    // The undo history, as far as the editor tells it (0 from one that
    // does not): the undo groups open, the actions recorded, how many of
    // them are done (the rest can be redone), and each action's kind and
    // position.
    std::intptr_t UndoSequence() const { return Send(sci::kGetUndoSequence); }
    std::intptr_t UndoActions() const { return Send(sci::kGetUndoActions); }
    std::intptr_t UndoCurrent() const { return Send(sci::kGetUndoCurrent); }
    std::intptr_t UndoActionType(std::intptr_t action) const {
        return Send(sci::kGetUndoActionType, static_cast<std::uintptr_t>(action));
    }
    std::intptr_t UndoActionPosition(std::intptr_t action) const {
        return Send(sci::kGetUndoActionPosition, static_cast<std::uintptr_t>(action));
    }

    // The kinds of SCN_MODIFIED that the editor sends its parent.
    std::intptr_t ModEventMask() const { return Send(sci::kGetModEventMask); }
    void SetModEventMask(std::intptr_t mask) const { Send(sci::kSetModEventMask, static_cast<std::uintptr_t>(mask)); }

    // The markers of a line, one bit per marker number.
    std::uint32_t MarkerGet(std::intptr_t line) const {
        return static_cast<std::uint32_t>(Send(sci::kMarkerGet, static_cast<std::uintptr_t>(line)));
    }
    // The first line from `line` on that holds one of the markers of `mask`;
    // -1 when none does.
    std::intptr_t MarkerNext(std::intptr_t line, std::uint32_t mask) const {
        return Send(sci::kMarkerNext, static_cast<std::uintptr_t>(line), static_cast<std::int32_t>(mask));
    }
    // Whether the line holds more than `count` marker handles.
    bool HasMoreMarkerHandles(std::intptr_t line, std::uint32_t count) const {
        return Send(sci::kMarkerHandleFromLine, static_cast<std::uintptr_t>(line), count) >= 0;
    }
    bool ChangeHistoryInMarkers() const {
        return (Send(sci::kGetChangeHistory) & sci::kChangeHistoryMarkersOn) != 0;
    }
    void MarkerAddSet(std::intptr_t line, std::uint32_t markers) const {
        Send(sci::kMarkerAddSet, static_cast<std::uintptr_t>(line), static_cast<std::int32_t>(markers));
    }
    void MarkerDeleteAll(std::intptr_t line) const {
        Send(sci::kMarkerDelete, static_cast<std::uintptr_t>(line), sci::kAllMarkers);
    }

    // The first contracted fold header from `line` on; -1 when there is none.
    std::intptr_t ContractedFoldNext(std::intptr_t line) const {
        return Send(sci::kContractedFoldNext, static_cast<std::uintptr_t>(line));
    }
    void ContractFold(std::intptr_t line) const {
        Send(sci::kFoldLine, static_cast<std::uintptr_t>(line), sci::kFoldContract);
    }
    // The last line of the fold that `header` starts.
    std::intptr_t LastChild(std::intptr_t header) const {
        return Send(sci::kGetLastChild, static_cast<std::uintptr_t>(header), -1);
    }
    // Styles the bytes from `start` to `end` again, and so sets their lines'
    // fold levels anew.
    void Colourise(std::intptr_t start, std::intptr_t end) const {
        Send(sci::kColourise, static_cast<std::uintptr_t>(start), end);
    }
    // Marks the text from `position` on as not styled yet.
    void UnstyleFrom(std::intptr_t position) const { Send(sci::kStartStyling, static_cast<std::uintptr_t>(position)); }

    // Lines hidden by folds or by SCI_HIDELINES.
    bool AllLinesVisible() const { return Send(sci::kGetAllLinesVisible) != 0; }
    bool LineVisible(std::intptr_t line) const { return Send(sci::kGetLineVisible, static_cast<std::uintptr_t>(line)) != 0; }
    void HideLines(std::intptr_t first, std::intptr_t last) const {
        Send(sci::kHideLines, static_cast<std::uintptr_t>(first), last);
    }
    // Whether each shown line takes one display line: no wrapping, no
    // annotations below lines.
    bool OneDisplayLinePerLine() const { return Send(sci::kGetWrapMode) == 0 && Send(sci::kAnnotationGetVisible) == 0; }

    // Indicators: the value at a position, where its stretch of that value
    // ends, and filling or clearing a range with the current indicator.
    int IndicatorValueAt(int indicator, std::intptr_t position) const {
        return static_cast<int>(Send(sci::kIndicatorValueAt, static_cast<std::uintptr_t>(indicator), position));
    }
    std::intptr_t IndicatorEnd(int indicator, std::intptr_t position) const {
        return Send(sci::kIndicatorEnd, static_cast<std::uintptr_t>(indicator), position);
    }
    int IndicatorCurrent() const { return static_cast<int>(Send(sci::kGetIndicatorCurrent)); }
    void SetIndicatorCurrent(int indicator) const { Send(sci::kSetIndicatorCurrent, static_cast<std::uintptr_t>(indicator)); }
    void IndicatorFillRange(std::intptr_t start, std::intptr_t length) const {
        Send(sci::kIndicatorFillRange, static_cast<std::uintptr_t>(start), length);
    }
    void IndicatorClearRange(std::intptr_t start, std::intptr_t length) const {
        Send(sci::kIndicatorClearRange, static_cast<std::uintptr_t>(start), length);
    }

    // The view: its top line counts display lines (folded lines hide, wrapped
    // lines take several).
    std::intptr_t FirstVisibleLine() const { return Send(sci::kGetFirstVisibleLine); }
    void SetFirstVisibleLine(std::intptr_t displayLine) const {
        Send(sci::kSetFirstVisibleLine, static_cast<std::uintptr_t>(displayLine));
    }
    std::intptr_t VisibleFromDocLine(std::intptr_t line) const {
        return Send(sci::kVisibleFromDocLine, static_cast<std::uintptr_t>(line));
    }
    std::intptr_t DocLineFromVisible(std::intptr_t displayLine) const {
        return Send(sci::kDocLineFromVisible, static_cast<std::uintptr_t>(displayLine));
    }
    std::intptr_t XOffset() const { return Send(sci::kGetXOffset); }
    void SetXOffset(std::intptr_t offset) const { Send(sci::kSetXOffset, static_cast<std::uintptr_t>(offset)); }

    // The document's indentation settings: tabs or spaces, and the spaces a
    // level takes (0 for the tab width).
    bool UseTabs() const { return Send(sci::kGetUseTabs) != 0; }
    std::intptr_t Indent() const { return Send(sci::kGetIndent); }
    std::intptr_t TabWidth() const { return Send(sci::kGetTabWidth); }

    // The whole document, `length` bytes long, read in place through
    // SCI_GETCHARACTERPOINTER (which moves the editor's gap to the end): valid
    // until the document next changes. Nothing when the editor does not
    // answer it.
    std::optional<std::string_view> DocumentInPlace(std::intptr_t length) const;
    // The `length` bytes from `start` on, read in place through
    // SCI_GETRANGEPOINTER, which moves the gap only when it lies inside them.
    std::optional<std::string_view> RangeInPlace(std::intptr_t start, std::intptr_t length) const;
    // The bytes of the line, without its line break; empty when they cannot be had.
    std::string LineText(std::intptr_t line) const;
    // The whole document, `length` bytes long (NUL bytes included).
    std::optional<std::string> GetText(std::intptr_t length) const;
    // The selected text, which the caller knows to be `length` bytes long.
    std::optional<std::string> GetSelText(std::intptr_t length) const;

   private:
    std::intptr_t Send(unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0) const {
        return send_(message, wParam, lParam);
    }
    static std::intptr_t Address(const std::string& text) { return reinterpret_cast<std::intptr_t>(text.c_str()); }
    static std::intptr_t Address(std::string& buffer) { return reinterpret_cast<std::intptr_t>(buffer.data()); }

    const SendToEditor& send_;
};

}  // namespace halvex
