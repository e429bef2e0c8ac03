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

#include "editor/platform.hpp"

namespace halvex {

namespace sci {
inline constexpr unsigned kGetLength = 2006;
inline constexpr unsigned kGetCurrentPos = 2008;
inline constexpr unsigned kGotoLine = 2024;
inline constexpr unsigned kGetSelectionStart = 2143;
inline constexpr unsigned kGetSelectionEnd = 2145;
inline constexpr unsigned kSetSel = 2160;
inline constexpr unsigned kGetSelText = 2161;
inline constexpr unsigned kLineFromPosition = 2166;
inline constexpr unsigned kPositionFromLine = 2167;
inline constexpr unsigned kReplaceSel = 2170;
inline constexpr unsigned kSetText = 2181;
inline constexpr unsigned kGetText = 2182;
}  // namespace sci

class Editor {
   public:
    explicit Editor(const SendToEditor& send) : send_(send) {}

    std::intptr_t CurrentPos() const { return Send(sci::kGetCurrentPos); }
    std::intptr_t LineFromPosition(std::intptr_t position) const {
        return Send(sci::kLineFromPosition, static_cast<std::uintptr_t>(position));
    }
    std::intptr_t PositionFromLine(std::intptr_t line) const {
        return Send(sci::kPositionFromLine, static_cast<std::uintptr_t>(line));
    }
    std::intptr_t SelectionStart() const { return Send(sci::kGetSelectionStart); }
    std::intptr_t SelectionEnd() const { return Send(sci::kGetSelectionEnd); }
    std::intptr_t Length() const { return Send(sci::kGetLength); }
    void SetSel(std::intptr_t anchor, std::intptr_t caret) const {
        Send(sci::kSetSel, static_cast<std::uintptr_t>(anchor), caret);
    }
    void GotoLine(std::intptr_t line) const { Send(sci::kGotoLine, static_cast<std::uintptr_t>(line)); }
    void SetText(const std::string& text) const { Send(sci::kSetText, 0, Address(text)); }
    void ReplaceSel(const std::string& text) const { Send(sci::kReplaceSel, 0, Address(text)); }

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
