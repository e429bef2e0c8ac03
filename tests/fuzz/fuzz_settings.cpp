// Fuzz target: the settings reader and the shortcut parser over any bytes.
// Every lookup must give either the default or a value without line breaks
// and without blanks at its ends, the number read must be the one that value
// starts with, and shortcut fields must be 0 or 1 and match their words.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.hpp"
#include "reference.hpp"
#include "shell/settings.hpp"
#include "text/utf8.hpp"

namespace {

using namespace halvex;

// A default that no found value can equal: values never hold a line break.
constexpr std::u16string_view kNotFound = u"\n";

void CheckLookup(const SettingsFile& file, std::u16string_view key) {
    const Text value = file.readString(key, kNotFound);
    const std::int32_t number = file.readInteger(key, 12345);
    if (value == kNotFound) {
        HALVEX_FUZZ_CHECK(number == 12345);
        return;
    }
    HALVEX_FUZZ_CHECK(value.find_first_of(u"\r\n") == Text::npos);
    HALVEX_FUZZ_CHECK(value.empty() || (!reference::IsBlank(value.front()) && !reference::IsBlank(value.back())));
    HALVEX_FUZZ_CHECK(number == reference::LeadingNumber(value));
}

bool Contains(std::u16string_view text, std::u16string_view word) { return text.find(word) != Text::npos; }

void CheckShortcut(std::u16string_view text) {
    const ShortcutFields fields = parseShortcut(text);
    HALVEX_FUZZ_CHECK(fields.ctrl == (Contains(text, u"ctrl") ? 1 : 0));
    HALVEX_FUZZ_CHECK(fields.alt == (Contains(text, u"alt") ? 1 : 0));
    HALVEX_FUZZ_CHECK(fields.shift == (Contains(text, u"shft") ? 1 : 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    SettingsFile file;
    file.parse(input);
    for (const std::u16string_view key :
         {kExePathKey, kVrShortcutKey, kFormatShortcutKey, kIndentKey, kSuppressFormatErrorKey}) {
        CheckLookup(file, key);
    }
    // A key taken from the input itself: the text up to its first "=", so
    // that the input's own settings are found too.
    const Text latin = reference::Latin1(input);
    const std::size_t equals = latin.find(u'=');
    CheckLookup(file, std::u16string_view(latin).substr(0, equals == Text::npos ? latin.size() % 24 : equals));
    CheckShortcut(latin);
    CheckShortcut(DecodeUtf8(input));
    file.close();
    CheckLookup(file, kIndentKey);
    HALVEX_FUZZ_CHECK(file.readInteger(kIndentKey, 7) == 7);
    return 0;
}
