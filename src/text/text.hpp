#pragma once
// Text primitives shared by every part of the plug-in.
//
// They work on any character type: the plug-in's own texts are UTF-16
// (std::u16string), while the format pipeline works on the editor's UTF-8
// bytes directly. Positions count from 1, as the settings and the formatter
// rules describe them. Functions that return a piece of their argument return
// a view into it; the argument itself is never changed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace halvex {

using Text = std::u16string;
using TextView = std::u16string_view;

template <class Char>
std::size_t TextLength(std::basic_string_view<Char> text) {
    return text.size();
}

// Removes space characters (32) at both ends; tabs and everything else stay.
template <class Char>
std::basic_string_view<Char> TrimSpaces(std::basic_string_view<Char> text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && text[first] == Char(' ')) ++first;
    while (last > first && text[last - 1] == Char(' ')) --last;
    return text.substr(first, last - first);
}

// Removes spaces and tabs at both ends.
template <class Char>
std::basic_string_view<Char> TrimSpacesAndTabs(std::basic_string_view<Char> text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && (text[first] == Char(' ') || text[first] == Char('\t'))) ++first;
    while (last > first && (text[last - 1] == Char(' ') || text[last - 1] == Char('\t'))) --last;
    return text.substr(first, last - first);
}

// The first n characters; n <= 0 gives an empty text, n beyond the length all.
template <class Char>
std::basic_string_view<Char> LeftText(std::basic_string_view<Char> text, std::int64_t n) {
    if (n <= 0) return {};
    return text.substr(0, static_cast<std::size_t>(n) < text.size() ? static_cast<std::size_t>(n) : text.size());
}

// The last n characters; n <= 0 gives an empty text, n beyond the length all.
template <class Char>
std::basic_string_view<Char> RightText(std::basic_string_view<Char> text, std::int64_t n) {
    if (n <= 0) return {};
    if (static_cast<std::uint64_t>(n) >= text.size()) return text;
    return text.substr(text.size() - static_cast<std::size_t>(n));
}

// The index-th piece (from 1) of the text cut at every occurrence of the
// delimiter, found left to right without overlap. Empty pieces count; an index
// below 1 or beyond the last piece, or an empty delimiter, gives an empty text.
template <class Char>
std::basic_string_view<Char> FieldAt(std::basic_string_view<Char> text, std::int64_t index,
                                     std::basic_string_view<Char> delimiter) {
    if (index < 1 || delimiter.empty()) return {};
    std::size_t start = 0;
    for (std::int64_t piece = 1; piece < index; ++piece) {
        const std::size_t found = text.find(delimiter, start);
        if (found == std::basic_string_view<Char>::npos) return {};
        start = found + delimiter.size();
    }
    const std::size_t end = text.find(delimiter, start);
    return text.substr(start, end == std::basic_string_view<Char>::npos ? text.size() - start : end - start);
}

// How often the needle occurs, left to right without overlap; 0 when either
// text is empty.
template <class Char>
std::size_t CountOccurrences(std::basic_string_view<Char> text, std::basic_string_view<Char> needle) {
    if (text.empty() || needle.empty()) return 0;
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::basic_string_view<Char>::npos;
         at = text.find(needle, at + needle.size())) {
        ++count;
    }
    return count;
}

// The text with every occurrence of the needle removed (left to right, without
// overlap).
template <class Char>
std::basic_string<Char> RemoveAll(std::basic_string_view<Char> text, std::basic_string_view<Char> needle) {
    if (needle.empty()) return std::basic_string<Char>(text);
    std::basic_string<Char> result;
    result.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t at = text.find(needle); at != std::basic_string_view<Char>::npos;
         at = text.find(needle, start)) {
        result.append(text.substr(start, at - start));
        start = at + needle.size();
    }
    result.append(text.substr(start));
    return result;
}

// Decimal digits of a signed 64-bit integer, "-" before a negative value.
Text IntegerToText(std::int64_t n);

// UTF-8 form of a UTF-16 text. Unpaired surrogates become U+FFFD, as the
// platform's converter (code page 65001) makes them. The result's c_str() is
// the NUL-terminated block that the editor and the clipboard take.
std::string ToUtf8(TextView text);

// The bytes up to the first NUL, decoded as UTF-8. Malformed sequences do not
// stop the conversion: each becomes U+FFFD, as the platform's converter does.
Text FromUtf8(std::string_view bytes);

}  // namespace halvex
