#pragma once
// The settings file "Halvex.inf" and the shortcut texts it holds.
//
// The file is read once, when the plug-in is loaded, and never written. It is
// a list of lines: comments (";"), group headers ("[name]") and settings
// ("key = value"). Only the settings above the first group header are seen;
// keys match whatever the case of their ASCII letters, and the first match
// wins. A leading UTF-8 byte-order mark makes the rest UTF-8; without one
// every byte is one character (ISO 8859-1).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formatter/indent_engine.hpp"
#include "text/text.hpp"

namespace halvex {

inline constexpr std::u16string_view kExePathKey = u"Exe Path";
inline constexpr std::u16string_view kVrShortcutKey = u"VR Shortcut";
inline constexpr std::u16string_view kFormatShortcutKey = u"Format Shortcut";
inline constexpr std::u16string_view kIndentKey = u"Indent";
inline constexpr std::u16string_view kSuppressFormatErrorKey = u"Suppress format error";
inline constexpr std::u16string_view kTrimTabsKey = u"Trim tabs";
inline constexpr std::u16string_view kSelectionContextKey = u"Selection context";
inline constexpr std::u16string_view kIndentWidthKey = u"Indent width";
inline constexpr std::u16string_view kUseTabsKey = u"Use tabs";
inline constexpr std::u16string_view kBlankLinesKey = u"Blank lines";
inline constexpr std::u16string_view kIndentWhileTypingKey = u"Indent while typing";
inline constexpr std::u16string_view kFormatOnSaveKey = u"Format on save";

inline constexpr std::u16string_view kDefaultVrShortcut = u"alt 121";      // Alt+F10
inline constexpr std::u16string_view kDefaultFormatShortcut = u"alt 122";  // Alt+F11

// The reader: the whole file decoded into one text, and its lines parsed into
// entries that point into that text.
class SettingsFile {
   public:
    // Reads, decodes and parses the file. False when it cannot be opened or
    // read (a directory counts as that); the entry list is then empty and
    // every lookup gives its default. An empty file opens fine. The path is
    // wide on Windows, so that a folder of any name can be opened.
    bool open(const std::filesystem::path& path);

    // Decodes and parses bytes that are already in memory, as open does.
    void parse(std::string_view bytes);

    // The key's value without spaces and tabs at either end; the default only
    // when the key is not found (a key with an empty value gives "").
    Text readString(TextView key, TextView defaultValue) const;

    // The key's value read as an optionally signed decimal number up to its
    // first non-digit (no digits give 0), held to the signed 32-bit range.
    std::int32_t readInteger(TextView key, std::int32_t defaultValue) const;

    // Releases the text and the entries.
    void close();

   private:
    enum class EntryKind : std::uint8_t { kComment, kGroup, kSetting };
    // Offsets into text_. A group keeps its name as the key; a comment keeps
    // nothing.
    struct Entry {
        EntryKind kind;
        std::size_t keyStart;
        std::size_t keyLength;
        std::size_t valueStart;
        std::size_t valueLength;
    };

    void ParseLine(std::size_t start, std::size_t end);
    // The value of the first setting above the first group header whose key
    // matches; nothing when there is none.
    std::optional<TextView> Find(TextView key) const;

    Text text_;
    std::vector<Entry> entries_;
};

// The four fields of the host's ShortcutKey record.
struct ShortcutFields {
    std::uint8_t ctrl = 0;   // 0 or 1
    std::uint8_t alt = 0;    // 0 or 1
    std::uint8_t shift = 0;  // 0 or 1
    std::uint8_t keyCode = 0;  // a Windows virtual-key code

    friend bool operator==(const ShortcutFields&, const ShortcutFields&) = default;
};

// Reads a shortcut text such as "alt 121" or "ctrl+shft $46": the modifier
// words "ctrl", "alt" and "shft" (lower case) anywhere in it, and the key code
// as the second piece of the text cut at single spaces, in decimal, "$"
// hexadecimal or "%" binary, of which the low 8 bits count.
ShortcutFields parseShortcut(TextView text);

// What the plug-in keeps from the settings file. Until the file has been read
// the values are the defaults.
struct SettingsValues {
    Text exePath;
    std::int32_t baseIndentLevel = 1;
    std::int32_t suppressFormatError = 0;
    std::int32_t trimTabs = 0;          // any value but 0 turns it on
    std::int32_t selectionContext = 0;  // any value but 0 turns it on
    std::int32_t indentWidth = 2;       // 1 to 8; any other value counts as 2
    std::int32_t useTabs = 0;           // 1 tabs, -1 the editor's own setting, anything else spaces
    std::int32_t blankLines = 0;        // any value but 0: blank lines stay empty
    std::int32_t indentWhileTyping = 0; // any value but 0 turns it on
    std::int32_t formatOnSave = 0;      // any value but 0 turns it on
    ShortcutFields vrShortcutKey{0, 1, 0, 121};
    ShortcutFields formatShortcutKey{0, 1, 0, 122};
};

// The start-up reading sequence: reads the first of the candidate paths that
// opens (a later one only when every earlier one cannot be opened; none
// leaves all defaults) and takes the settings from it. Writes nothing
// and never throws: when memory runs out on the way, every value takes its
// default.
SettingsValues LoadSettings(const std::vector<std::filesystem::path>& candidates) noexcept;

// The values that a Format run depends on.
FormatSettings FormatSettingsFrom(const SettingsValues& values);

}  // namespace halvex
