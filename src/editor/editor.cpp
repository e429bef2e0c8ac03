#include "editor/editor.hpp"

#include <algorithm>

namespace halvex {
namespace {

// A zero-filled buffer of `length` bytes plus room for the NUL that either
// convention may write after them; the string's own terminator is one more.
std::string ZeroFilledBuffer(std::intptr_t length) { return std::string(static_cast<std::size_t>(length) + 1, '\0'); }

}  // namespace

std::optional<std::string_view> Editor::DocumentInPlace(std::intptr_t length) const {
    const auto* characters = reinterpret_cast<const char*>(Send(sci::kGetCharacterPointer));
    if (characters == nullptr || length < 0) return std::nullopt;
    return std::string_view(characters, static_cast<std::size_t>(length));
}

std::optional<std::string_view> Editor::RangeInPlace(std::intptr_t start, std::intptr_t length) const {
    if (start < 0 || length < 0) return std::nullopt;
    const auto* characters =
        reinterpret_cast<const char*>(Send(sci::kGetRangePointer, static_cast<std::uintptr_t>(start), length));
    if (characters == nullptr) return std::nullopt;
    return std::string_view(characters, static_cast<std::size_t>(length));
}

std::string Editor::LineText(std::intptr_t line) const {
    const std::intptr_t start = PositionFromLine(line);
    const std::intptr_t end = LineEndPosition(line);
    if (const auto text = RangeInPlace(start, end - start)) return std::string(*text);
    if (const auto whole = GetText(Length())) {
        return whole->substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
    }
    return {};
}

std::optional<std::string> Editor::GetText(std::intptr_t length) const {
    if (length < 0) return std::nullopt;
    std::string buffer = ZeroFilledBuffer(length);
    // Old convention: copies wParam - 1 bytes and a NUL. New convention:
    // copies min(wParam, length) bytes and a NUL. Either way `length` bytes.
    Send(sci::kGetText, static_cast<std::uintptr_t>(length) + 1, Address(buffer));
    buffer.resize(static_cast<std::size_t>(length));
    return buffer;
}

std::optional<std::string> Editor::GetSelText(std::intptr_t length) const {
    if (length < 0) return std::nullopt;
    // The null-buffer query tells what the editor will copy, in its own
    // convention; the buffer takes that or `length`, whichever is larger.
    const std::intptr_t reported = Send(sci::kGetSelText, 0, 0);
    std::string buffer = ZeroFilledBuffer(std::max(length, reported));
    Send(sci::kGetSelText, 0, Address(buffer));
    buffer.resize(static_cast<std::size_t>(length));
    return buffer;
}

}  // namespace halvex
