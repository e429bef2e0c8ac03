#include "shell/settings.hpp"

#include <algorithm>
#include <climits>
#include <fstream>

#include "text/utf8.hpp"

namespace halvex {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsLineEnd(char16_t c) { return c == u'\r' || c == u'\n'; }
bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

TextView TrimBlanks(TextView text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Equal when they differ at most in the case of ASCII letters; any other
// character must be the same code unit.
bool KeysMatch(TextView a, TextView b) {
    const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) {
               return fold(x) == fold(y);
           });
}

// Reads the file in one piece. A path that opens but cannot be read, as a
// directory does on some systems, counts as not opened.
bool ReadFileBytes(const std::filesystem::path& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return false;
    char chunk[1 << 16];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    return !in.bad();
}

// UTF-8 after a byte-order mark, otherwise one character per byte. Every
// byte sequence decodes; NULs are characters like any other.
Text Decode(std::string_view bytes) {
    if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        return DecodeUtf8(bytes.substr(kByteOrderMark.size()));
    }
    Text text(bytes.size(), u'\0');
    std::transform(bytes.begin(), bytes.end(), text.begin(),
                   [](char byte) { return static_cast<char16_t>(static_cast<unsigned char>(byte)); });
    return text;
}

// An optional sign and decimal digits; the magnitude stops growing just past
// the 32-bit range, so that any number of digits saturates instead of
// overflowing.
std::int32_t ReadDecimal(TextView text) {
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) negative = text[at++] == u'-';
    constexpr std::int64_t kCap = std::int64_t{INT32_MAX} + 1;
    std::int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) {
        magnitude = std::min(magnitude * 10 + (text[at] - u'0'), kCap);
    }
    if (negative) return static_cast<std::int32_t>(-magnitude);
    return static_cast<std::int32_t>(std::min<std::int64_t>(magnitude, INT32_MAX));
}

// The digit's value in the base, or -1 when it is no digit of that base.
int DigitValue(char16_t c, int base) {
    int value = -1;
    if (c >= u'0' && c <= u'9') value = c - u'0';
    if (c >= u'a' && c <= u'f') value = c - u'a' + 10;
    if (c >= u'A' && c <= u'F') value = c - u'A' + 10;
    return value < base ? value : -1;
}

// The key-code number: blanks, an optional sign, then "$" hexadecimal, "%"
// binary or decimal digits. Only the low bits are wanted, so the arithmetic
// wraps modulo 2^64, which leaves them exact for any number of digits.
std::uint64_t ReadKeyCodeNumber(TextView text) {
    std::size_t at = 0;
    while (at < text.size() && IsBlank(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) negative = text[at++] == u'-';
    int base = 10;
    if (at < text.size() && text[at] == u'$') {
        base = 16;
        ++at;
    } else if (at < text.size() && text[at] == u'%') {
        base = 2;
        ++at;
    }
    std::uint64_t value = 0;
    for (int digit = 0; at < text.size() && (digit = DigitValue(text[at], base)) >= 0; ++at) {
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    return negative ? 0 - value : value;
}

}  // namespace

bool SettingsFile::open(const std::filesystem::path& path) {
    close();
    std::string bytes;
    if (!ReadFileBytes(path, bytes)) return false;
    parse(bytes);
    return true;
}

void SettingsFile::parse(std::string_view bytes) {
    close();
    text_ = Decode(bytes);
    const std::size_t size = text_.size();
    std::size_t at = 0;
    while (at < size) {
        while (at < size && IsLineEnd(text_[at])) ++at;  // any run of CR and LF is one line end
        std::size_t end = at;
        while (end < size && !IsLineEnd(text_[end])) ++end;
        if (end > at) ParseLine(at, end);
        at = end;
    }
}

void SettingsFile::ParseLine(std::size_t start, std::size_t end) {
    while (start < end && IsBlank(text_[start])) ++start;
    if (start == end) return;  // blank
    if (text_[start] == u';') {
        entries_.push_back({EntryKind::kComment, 0, 0, 0, 0});
        return;
    }
    if (text_[start] == u'[') {
        std::size_t nameEnd = start + 1;
        while (nameEnd < end && text_[nameEnd] != u']') ++nameEnd;
        entries_.push_back({EntryKind::kGroup, start + 1, nameEnd - start - 1, 0, 0});
        return;
    }
    // A line without "=" is a key with an empty value; it never reaches into
    // the next line.
    std::size_t equals = start;
    while (equals < end && text_[equals] != u'=') ++equals;
    std::size_t keyEnd = equals;
    while (keyEnd > start && IsBlank(text_[keyEnd - 1])) --keyEnd;
    std::size_t valueStart = equals < end ? equals + 1 : end;
    while (valueStart < end && IsBlank(text_[valueStart])) ++valueStart;
    entries_.push_back({EntryKind::kSetting, start, keyEnd - start, valueStart, end - valueStart});
}

std::optional<TextView> SettingsFile::Find(TextView key) const {
    const TextView text(text_);
    for (const Entry& entry : entries_) {
        if (entry.kind == EntryKind::kGroup) return std::nullopt;  // no group is read
        if (entry.kind == EntryKind::kSetting && KeysMatch(text.substr(entry.keyStart, entry.keyLength), key)) {
            return text.substr(entry.valueStart, entry.valueLength);
        }
    }
    return std::nullopt;
}

Text SettingsFile::readString(TextView key, TextView defaultValue) const {
    const std::optional<TextView> value = Find(key);
    return Text(value ? TrimBlanks(*value) : defaultValue);
}

std::int32_t SettingsFile::readInteger(TextView key, std::int32_t defaultValue) const {
    const std::optional<TextView> value = Find(key);
    return value ? ReadDecimal(*value) : defaultValue;
}

void SettingsFile::close() {
    Text().swap(text_);
    std::vector<Entry>().swap(entries_);
}

ShortcutFields parseShortcut(TextView text) {
    ShortcutFields fields;
    fields.ctrl = text.find(u"ctrl"sv) != TextView::npos;
    fields.alt = text.find(u"alt"sv) != TextView::npos;
    fields.shift = text.find(u"shft"sv) != TextView::npos;
    fields.keyCode = static_cast<std::uint8_t>(ReadKeyCodeNumber(FieldAt(text, 2, u" "sv)) & 0xFF);
    return fields;
}

SettingsValues LoadSettings(const std::vector<std::filesystem::path>& candidates) noexcept {
    try {
        SettingsFile file;
        for (const std::filesystem::path& candidate : candidates) {
            if (file.open(candidate)) break;
        }
        SettingsValues values;
        values.exePath = file.readString(kExePathKey, u"");
        const Text vrShortcut = file.readString(kVrShortcutKey, kDefaultVrShortcut);
        const Text formatShortcut = file.readString(kFormatShortcutKey, kDefaultFormatShortcut);
        values.baseIndentLevel = file.readInteger(kIndentKey, values.baseIndentLevel);
        values.suppressFormatError = file.readInteger(kSuppressFormatErrorKey, values.suppressFormatError);
        values.trimTabs = file.readInteger(kTrimTabsKey, values.trimTabs);
        values.selectionContext = file.readInteger(kSelectionContextKey, values.selectionContext);
        values.indentWidth = file.readInteger(kIndentWidthKey, values.indentWidth);
        values.useTabs = file.readInteger(kUseTabsKey, values.useTabs);
        values.blankLines = file.readInteger(kBlankLinesKey, values.blankLines);
        values.indentWhileTyping = file.readInteger(kIndentWhileTypingKey, values.indentWhileTyping);
        values.formatOnSave = file.readInteger(kFormatOnSaveKey, values.formatOnSave);
        values.vrShortcutKey = parseShortcut(vrShortcut);
        values.formatShortcutKey = parseShortcut(formatShortcut);
        file.close();
        return values;
    } catch (...) {
        // Out of memory while reading: the plug-in still loads, with the
        // values it would have without a settings file.
        return SettingsValues{};
    }
}

FormatSettings FormatSettingsFrom(const SettingsValues& values) {
    return {values.baseIndentLevel, values.suppressFormatError, values.trimTabs != 0, values.selectionContext != 0,
            values.indentWidth,     values.useTabs,             values.blankLines != 0};
}

}  // namespace halvex
