#pragma once
// Plain statements of what the format pipeline and the settings reader must
// do, written independently of the code under test. The property tests and
// the fuzz targets check the real code against them.

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace halvex::reference {

// The lines of `text`, each without its line break; CR LF, LF and a lone CR
// each end a line, and the text after the last break is a line too.
inline std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(lineStart, i - lineStart));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        lineStart = i + 1;
    }
    lines.push_back(text.substr(lineStart));
    return lines;
}

// The line without spaces (32 only; with `tabsToo` also tabs) at either end.
inline std::string_view StripSpaces(std::string_view line, bool tabsToo = false) {
    const char* blanks = tabsToo ? " \t" : " ";
    const std::size_t first = line.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

// What formatting must keep: the lines, their spaces (with "Trim tabs", their
// blanks) at both ends set aside.
inline std::vector<std::string_view> StrippedLines(std::string_view text, bool tabsToo = false) {
    std::vector<std::string_view> lines = SplitLines(text);
    for (std::string_view& line : lines) line = StripSpaces(line, tabsToo);
    return lines;
}

// Scintilla's line count: one more than the number of line breaks.
inline std::size_t ScintillaLineCount(std::string_view text) {
    std::size_t breaks = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) ++breaks;
    }
    return breaks + 1;
}

// Where the first CR without an LF after it, or LF without a CR before it,
// stands; npos when every line break is CR LF.
inline std::size_t FirstBareBreak(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return i;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return i;
    }
    return std::string_view::npos;
}

// A text formatted in the default style (two spaces a level, CR LF breaks)
// as it must come out in another: each line's leading run of 2*k spaces
// becomes k levels of `perLevel` copies of `fill`, and with `blankLinesEmpty`
// a line that holds nothing else becomes empty.
inline std::string Restyle(std::string_view formatted, char fill, std::size_t perLevel, bool blankLinesEmpty) {
    std::string out;
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(formatted.find("\r\n", start), formatted.size());
        const std::string_view line = formatted.substr(start, end - start);
        const std::size_t spaces = std::min(line.find_first_not_of(' '), line.size());
        if (spaces < line.size() || !blankLinesEmpty) out.append(spaces / 2 * perLevel, fill);
        out.append(line.substr(spaces));
        if (end == formatted.size()) return out;
        out += "\r\n";
        start = end + 2;
    }
}

inline bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// The number that a settings value starts with: an optional sign and decimal
// digits, held to the signed 32-bit range. It compares digit strings instead
// of doing arithmetic, so it shares no overflow logic with the reader.
inline std::int32_t LeadingNumber(std::u16string_view value) {
    std::size_t at = 0;
    const bool negative = !value.empty() && value[0] == u'-';
    if (!value.empty() && (value[0] == u'-' || value[0] == u'+')) at = 1;
    std::string digits;  // without leading zeros
    for (; at < value.size() && value[at] >= u'0' && value[at] <= u'9'; ++at) {
        if (!digits.empty() || value[at] != u'0') digits.push_back(static_cast<char>(value[at]));
    }
    const std::string_view limit = negative ? "2147483648" : "2147483647";
    if (digits.size() > limit.size() || (digits.size() == limit.size() && digits > limit)) {
        return negative ? INT32_MIN : INT32_MAX;
    }
    std::int64_t magnitude = 0;
    for (const char digit : digits) magnitude = magnitude * 10 + (digit - '0');
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

// One character per byte (ISO 8859-1).
inline std::u16string Latin1(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (const char byte : bytes) text.push_back(static_cast<unsigned char>(byte));
    return text;
}

}  // namespace halvex::reference
