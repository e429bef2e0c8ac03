#pragma once
// Finding one of a few byte values eight bytes at a time.
//
// The format pipeline looks at every byte of a document but acts on very few
// (line breaks; colons, quotes and apostrophes inside a line). Testing a whole
// 64-bit word for them at once keeps that scan near memory speed without any
// platform-specific instructions.

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace halvex {

// A mask with the high bit set in every byte of `word` that equals `value`,
// exact for the lowest such byte (the classic zero-byte test of word ^ value).
inline std::uint64_t BytesEqual(std::uint64_t word, unsigned char value) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const std::uint64_t x = word ^ (kOnes * value);
    return (x - kOnes) & ~x & kHighs;
}

// The position of the first byte at or after `from` that is one of the
// values, or text.size() when there is none.
template <unsigned char... Values>
std::size_t FindFirstOf(std::string_view text, std::size_t from) {
    static_assert(std::endian::native == std::endian::little);
    const char* const base = text.data();
    std::size_t at = from;
    while (text.size() - at >= 8) {
        std::uint64_t word;
        std::memcpy(&word, base + at, 8);
        if (const std::uint64_t mask = (BytesEqual(word, Values) | ...)) {
            return at + static_cast<std::size_t>(std::countr_zero(mask)) / 8;
        }
        at += 8;
    }
    while (at < text.size() && ((static_cast<unsigned char>(base[at]) != Values) && ...)) ++at;
    return at;
}

// The end of the line that starts at `from`: its first CR or LF, or the end
// of the text.
inline std::size_t LineEnd(std::string_view text, std::size_t from) { return FindFirstOf<'\r', '\n'>(text, from); }

// Where the line after a line ending at `end` starts: after its CR LF, LF or
// lone CR, as Scintilla cuts lines; `end` itself at the end of the text.
inline std::size_t NextLineStart(std::string_view text, std::size_t end) {
    if (end + 1 >= text.size()) return text.size();
    // CR LF and LF alternate unpredictably in some texts: no branch on which.
    const int crLf = static_cast<int>(text[end] == '\r') & static_cast<int>(text[end + 1] == '\n');
    return end + 1 + static_cast<std::size_t>(crLf);
}

}  // namespace halvex
