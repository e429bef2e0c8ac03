#include "real_scintilla.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>

#include "ScintillaTypes.h"
#include "ScintillaMessages.h"
#include "ScintillaStructures.h"
#include "ILoader.h"
#include "ILexer.h"
#include "Debugging.h"
#include "Geometry.h"
#include "Platform.h"
#include "CharacterCategoryMap.h"
#include "Position.h"
#include "UniqueString.h"
#include "SplitVector.h"
#include "Partitioning.h"
#include "RunStyles.h"
#include "ContractionState.h"
#include "CellBuffer.h"
#include "CallTip.h"
#include "KeyMap.h"
#include "Indicator.h"
#include "LineMarker.h"
#include "Style.h"
#include "ViewStyle.h"
#include "CharClassify.h"
#include "Decoration.h"
#include "CaseFolder.h"
#include "Document.h"
#include "Selection.h"
#include "PositionCache.h"
#include "EditModel.h"
#include "MarginView.h"
#include "EditView.h"
#include "Editor.h"
#include "AutoComplete.h"
#include "ScintillaBase.h"
#include "LexerModule.h"
#include "Scintilla.h"

extern const Lexilla::LexerModule lmFreeBasic;

// The platform layer: a view that is never painted needs no fonts, surfaces,
// windows, list boxes or menus. Without a window id the editor makes no
// surface, so it measures no text and its view never scrolls by itself.
namespace Scintilla::Internal {

std::shared_ptr<Font> Font::Allocate(const FontParameters&) { return std::make_shared<Font>(); }
std::unique_ptr<Surface> Surface::Allocate(Technology) { return nullptr; }
Window::~Window() noexcept = default;
void Window::Destroy() noexcept { wid = nullptr; }
PRectangle Window::GetPosition() const { return GetClientPosition(); }
void Window::SetPosition(PRectangle) {}
void Window::SetPositionRelative(PRectangle, const Window*) {}
PRectangle Window::GetClientPosition() const { return PRectangle(0, 0, 1000, 1000); }
void Window::Show(bool) {}
void Window::InvalidateAll() {}
void Window::InvalidateRectangle(PRectangle) {}
void Window::SetCursor(Cursor) {}
PRectangle Window::GetMonitorRect(Point) { return GetClientPosition(); }

ListBox::ListBox() noexcept = default;
ListBox::~ListBox() noexcept = default;
std::unique_ptr<ListBox> ListBox::Allocate() { return nullptr; }

Menu::Menu() noexcept : mid(nullptr) {}
void Menu::CreatePopUp() {}
void Menu::Destroy() noexcept {}
void Menu::Show(Point, const Window&) {}

ColourRGBA Platform::Chrome() { return ColourRGBA(0xe0, 0xe0, 0xe0); }
ColourRGBA Platform::ChromeHighlight() { return ColourRGBA(0xff, 0xff, 0xff); }
const char* Platform::DefaultFont() { return "Courier New"; }
int Platform::DefaultFontSize() { return 10; }
unsigned int Platform::DoubleClickTime() { return 500; }
void Platform::DebugDisplay(const char*) noexcept {}
void Platform::DebugPrintf(const char*, ...) noexcept {}
bool Platform::ShowAssertionPopUps(bool) noexcept { return false; }
void Platform::Assert(const char* c, const char* file, int line) noexcept {
    std::fprintf(stderr, "Scintilla assertion failed: %s at %s:%d\n", c, file, line);
    std::abort();
}

}  // namespace Scintilla::Internal

namespace halvex::testing {

using namespace Scintilla::Internal;
using Scintilla::Message;

// The editor with every window function doing nothing. It counts the undo
// steps that user actions start.
class RealScintilla::View : public ScintillaBase {
   public:
    View() = default;
    ~View() override { Finalise(); }
    Scintilla::sptr_t Send(unsigned message, Scintilla::uptr_t wParam = 0, Scintilla::sptr_t lParam = 0) {
        return WndProc(static_cast<Message>(message), wParam, lParam);
    }
    int writes = 0;
    std::function<void()> lineBreakTyped;  // SCN_CHARADDED of a line break's last byte

   private:
    void Initialise() override {}
    void CancelModes() override { Editor::CancelModes(); }  // no autocompletion list to close
    bool FineTickerRunning(TickReason) override { return false; }
    void FineTickerStart(TickReason, int, int) override {}
    void FineTickerCancel(TickReason) override {}
    void SetHorizontalScrollPos() override {}
    bool ModifyScrollBars(Sci::Line, Sci::Line) override { return false; }
    void Copy() override {}
    void Paste() override {}
    void ClaimSelection() override {}
    void NotifyChange() override {}
    void NotifyParent(Scintilla::NotificationData scn) override {
        using Scintilla::ModificationFlags;
        const bool userStep = FlagSet(scn.modificationType, ModificationFlags::StartAction) &&
                              FlagSet(scn.modificationType, ModificationFlags::User);
        if (scn.nmhdr.code == Scintilla::Notification::Modified && userStep) ++writes;
        if (scn.nmhdr.code == Scintilla::Notification::CharAdded && lineBreakTyped &&
            scn.ch == (Send(SCI_GETEOLMODE) == SC_EOL_CR ? '\r' : '\n')) {
            lineBreakTyped();
        }
    }
    void CopyToClipboard(const SelectionText&) override {}
    void SetMouseCapture(bool) override {}
    bool HaveMouseCapture() override { return false; }
    std::string UTF8FromEncoded(std::string_view encoded) const override { return std::string(encoded); }
    std::string EncodedFromUTF8(std::string_view utf8) const override { return std::string(utf8); }
    Scintilla::sptr_t DefWndProc(Message, Scintilla::uptr_t, Scintilla::sptr_t) override { return 0; }
    void CreateCallTipWindow(PRectangle) override {}
    void AddToPopUp(const char*, int, bool) override {}
};

RealScintilla::RealScintilla(const std::string& document) : view_(std::make_unique<View>()) {
    view_->Send(SCI_SETCODEPAGE, SC_CP_UTF8);
    view_->Send(SCI_SETILEXER, 0, reinterpret_cast<Scintilla::sptr_t>(lmFreeBasic.Create()));
    view_->Send(SCI_SETPROPERTY, reinterpret_cast<Scintilla::uptr_t>("fold"), reinterpret_cast<Scintilla::sptr_t>("1"));
    view_->Send(SCI_SETAUTOMATICFOLD, SC_AUTOMATICFOLD_SHOW | SC_AUTOMATICFOLD_CHANGE);
    view_->Send(SCI_APPENDTEXT, document.size(), reinterpret_cast<Scintilla::sptr_t>(document.data()));
    const std::size_t lineEnd = document.find_first_of("\r\n");  // Enter writes the document's first kind
    view_->Send(SCI_SETEOLMODE, lineEnd == document.npos || document[lineEnd] == '\n' ? SC_EOL_LF
                                : document.compare(lineEnd, 2, "\r\n") == 0 ? SC_EOL_CRLF : SC_EOL_CR);
    view_->Send(SCI_EMPTYUNDOBUFFER);
    view_->Send(SCI_SETSAVEPOINT);
    view_->Send(SCI_SETCHANGEHISTORY, SC_CHANGE_HISTORY_ENABLED | SC_CHANGE_HISTORY_MARKERS);
    view_->Send(SCI_COLOURISE, 0, -1);
    view_->writes = 0;
}

RealScintilla::RealScintilla(RealScintilla&&) noexcept = default;
RealScintilla& RealScintilla::operator=(RealScintilla&&) noexcept = default;
RealScintilla::~RealScintilla() = default;

std::intptr_t RealScintilla::Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    messages_.push_back(message);
    return view_->Send(message, wParam, lParam);
}

std::string RealScintilla::document() {
    std::string text(static_cast<std::size_t>(view_->Send(SCI_GETLENGTH)) + 1, '\0');
    view_->Send(SCI_GETTEXT, text.size(), reinterpret_cast<Scintilla::sptr_t>(text.data()));
    text.pop_back();
    return text;
}

std::intptr_t RealScintilla::anchor() { return view_->Send(SCI_GETANCHOR); }
std::intptr_t RealScintilla::caret() { return view_->Send(SCI_GETCURRENTPOS); }
std::intptr_t RealScintilla::firstVisibleLine() { return view_->Send(SCI_GETFIRSTVISIBLELINE); }
std::intptr_t RealScintilla::xOffset() { return view_->Send(SCI_GETXOFFSET); }
std::intptr_t RealScintilla::gapPosition() { return view_->Send(SCI_GETGAPPOSITION); }
int RealScintilla::writes() const { return view_->writes; }
bool RealScintilla::undoGroupOpen() { return view_->Send(SCI_GETUNDOSEQUENCE) > 0; }

std::map<std::intptr_t, std::uint32_t> RealScintilla::markers() {
    std::map<std::intptr_t, std::uint32_t> found;
    for (std::intptr_t line = 0; line < LineCount(); ++line) {
        for (int which = 0;; ++which) {
            const auto number = view_->Send(SCI_MARKERNUMBERFROMLINE, line, which);
            if (number < 0) break;
            found[line] |= 1u << number;
        }
    }
    return found;
}

std::set<std::intptr_t> RealScintilla::duplicateMarkers() {
    std::set<std::intptr_t> lines;
    for (std::intptr_t line = 0; line < LineCount(); ++line) {
        std::uint32_t numbers = 0;
        int handles = 0;
        for (std::intptr_t number; (number = view_->Send(SCI_MARKERNUMBERFROMLINE, line, handles)) >= 0; ++handles) {
            numbers |= 1u << number;
        }
        if (handles > std::popcount(numbers)) lines.insert(line);
    }
    return lines;
}

std::set<std::intptr_t> RealScintilla::historyLines() {
    std::set<std::intptr_t> lines;
    for (std::intptr_t line = 0; line < LineCount(); ++line) {
        if ((view_->Send(SCI_MARKERGET, line) & kChangeHistoryMarkers) != 0) lines.insert(line);
    }
    return lines;
}

std::set<std::intptr_t> RealScintilla::contractedFolds() {
    view_->Send(SCI_COLOURISE, 0, -1);
    std::set<std::intptr_t> lines;
    for (auto line = view_->Send(SCI_CONTRACTEDFOLDNEXT); line >= 0; line = view_->Send(SCI_CONTRACTEDFOLDNEXT, line + 1)) {
        lines.insert(line);
    }
    return lines;
}

std::set<std::intptr_t> RealScintilla::hiddenLines() {
    view_->Send(SCI_COLOURISE, 0, -1);
    std::set<std::intptr_t> lines;
    for (std::intptr_t line = 0; line < LineCount(); ++line) {
        if (view_->Send(SCI_GETLINEVISIBLE, line) == 0) lines.insert(line);
    }
    return lines;
}

std::vector<std::string> RealScintilla::markedTexts() {
    constexpr int kSearchMark = 31;
    const std::string text = document();
    std::vector<std::string> texts;
    for (std::intptr_t at = 0; at < static_cast<std::intptr_t>(text.size());) {
        const auto end = view_->Send(SCI_INDICATOREND, kSearchMark, at);
        if (view_->Send(SCI_INDICATORVALUEAT, kSearchMark, at) != 0) texts.push_back(text.substr(at, end - at));
        if (end <= at) break;
        at = end;
    }
    return texts;
}

void RealScintilla::SetSelection(std::intptr_t anchor, std::intptr_t caret) { view_->Send(SCI_SETSEL, anchor, caret); }
void RealScintilla::AddMarkers(std::intptr_t line, std::uint32_t markers) {
    view_->Send(SCI_MARKERADDSET, line, static_cast<std::int32_t>(markers));
}
void RealScintilla::ContractFold(std::intptr_t line) { view_->Send(SCI_FOLDLINE, line, SC_FOLDACTION_CONTRACT); }

// As Notepad++'s View › Hide Lines: markers 18 and 19 on the lines around.
void RealScintilla::HideLines(std::intptr_t first, std::intptr_t last) {
    view_->Send(SCI_MARKERADD, first - 1, 18);
    view_->Send(SCI_MARKERADD, last + 1, 19);
    view_->Send(SCI_HIDELINES, first, last);
}

void RealScintilla::Mark(std::intptr_t start, std::intptr_t length) {
    view_->Send(SCI_SETINDICATORCURRENT, 31);
    view_->Send(SCI_INDICATORFILLRANGE, start, length);
}

void RealScintilla::TypeAndSave(std::intptr_t position, const std::string& text) {
    // SCI_INSERTTEXT drops the selection; typing elsewhere would not.
    const auto shifted = [&](std::intptr_t at) { return at > position ? at + static_cast<std::intptr_t>(text.size()) : at; };
    const std::intptr_t anchor = shifted(this->anchor()), caret = shifted(this->caret());
    view_->Send(SCI_INSERTTEXT, position, reinterpret_cast<Scintilla::sptr_t>(text.c_str()));
    view_->Send(SCI_SETSEL, anchor, caret);
    view_->Send(SCI_SETSAVEPOINT);
    view_->writes = 0;
}

void RealScintilla::Type(const std::string& text) {
    view_->Send(SCI_ADDTEXT, text.size(), reinterpret_cast<Scintilla::sptr_t>(text.data()));
}

void RealScintilla::Enter(bool autoIndent, std::function<void()> plugin) {
    view_->lineBreakTyped = [this, autoIndent, plugin] {
        plugin();
        const auto line = LineFromPosition(caret());
        auto above = line - 1;
        while (above > 0 && view_->Send(SCI_GETLINEENDPOSITION, above) == LineStart(above)) --above;
        if (!autoIndent || view_->Send(SCI_GETLINEINDENTATION, above) == 0) return;
        view_->Send(SCI_SETLINEINDENTATION, line, view_->Send(SCI_GETLINEINDENTATION, above));
        view_->Send(SCI_GOTOPOS, view_->Send(SCI_GETLINEINDENTPOSITION, line));
    };
    view_->Send(SCI_NEWLINE);
    view_->lineBreakTyped = nullptr;
}

void RealScintilla::SetReadOnly() { view_->Send(SCI_SETREADONLY, 1); }

void RealScintilla::SetView(std::intptr_t firstVisibleLine, std::intptr_t xOffset) {
    view_->Send(SCI_SETFIRSTVISIBLELINE, firstVisibleLine);
    view_->Send(SCI_SETXOFFSET, xOffset);
}

bool RealScintilla::Undo() {
    if (view_->Send(SCI_CANUNDO) == 0) return false;
    view_->Send(SCI_UNDO);
    return true;
}

bool RealScintilla::Redo() {
    if (view_->Send(SCI_CANREDO) == 0) return false;
    view_->Send(SCI_REDO);
    return true;
}

std::intptr_t RealScintilla::LineStart(std::intptr_t line) { return view_->Send(SCI_POSITIONFROMLINE, line); }
std::intptr_t RealScintilla::LineFromPosition(std::intptr_t position) { return view_->Send(SCI_LINEFROMPOSITION, position); }
std::intptr_t RealScintilla::LineCount() { return view_->Send(SCI_GETLINECOUNT); }

}  // namespace halvex::testing
