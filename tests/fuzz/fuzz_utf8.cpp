// Fuzz target: the UTF-8 codec against a plain reference written here in a
// different style. Decoding must match the reference (one U+FFFD for each
// maximal subpart of an ill-formed sequence); valid UTF-8 must come back
// byte for byte from EncodeUtf8; any UTF-16 text must encode as the
// reference encodes it, unpaired surrogates as U+FFFD.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.hpp"
#include "text/text.hpp"
#include "text/utf8.hpp"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp <= 0xFFFF) {
        out.push_back(static_cast<char16_t>(cp));
        return;
    }
    out.push_back(static_cast<char16_t>(0xD7C0 + (cp >> 10)));  // 0xD800 + ((cp - 0x10000) >> 10)
    out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
}

// A byte-at-a-time state machine over the bit patterns of the well-formed
// sequences (Unicode 15, table 3-7). A byte that does not continue the
// sequence under way ends it: the bytes taken so far, a maximal subpart,
// give one U+FFFD, and the byte is looked at again as a new start.
class ReferenceDecoder {
   public:
    void Byte(unsigned char b) {
        if (remaining_ > 0) {
            if (b >= low_ && b <= high_) {
                value_ = (value_ << 6) | (b & 0x3Fu);
                low_ = 0x80;
                high_ = 0xBF;
                if (--remaining_ == 0) AppendUtf16(out_, value_);
                return;
            }
            Bad();
            remaining_ = 0;
        }
        if ((b & 0x80) == 0x00) {
            AppendUtf16(out_, b);
        } else if ((b & 0xE0) == 0xC0) {
            if (b < 0xC2) {
                Bad();  // C0 and C1 could only start overlong forms
            } else {
                Start(1, b & 0x1Fu, 0x80, 0xBF);
            }
        } else if ((b & 0xF0) == 0xE0) {
            Start(2, b & 0x0Fu, b == 0xE0 ? 0xA0 : 0x80, b == 0xED ? 0x9F : 0xBF);
        } else if ((b & 0xF8) == 0xF0 && b <= 0xF4) {
            Start(3, b & 0x07u, b == 0xF0 ? 0x90 : 0x80, b == 0xF4 ? 0x8F : 0xBF);
        } else {
            Bad();  // a continuation byte with no lead, or F5 to FF
        }
    }

    std::u16string Finish() {
        if (remaining_ > 0) Bad();
        remaining_ = 0;
        return out_;
    }

    bool valid() const { return valid_; }

   private:
    void Start(int remaining, char32_t bits, unsigned char low, unsigned char high) {
        remaining_ = remaining;
        value_ = bits;
        low_ = low;
        high_ = high;
    }
    void Bad() {
        out_.push_back(static_cast<char16_t>(kReplacement));
        valid_ = false;
    }

    std::u16string out_;
    char32_t value_ = 0;
    int remaining_ = 0;
    unsigned char low_ = 0x80;
    unsigned char high_ = 0xBF;
    bool valid_ = true;
};

// UTF-8 by counting the bytes a code point needs, then filling them from the
// last one backwards.
std::string ReferenceEncode(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        const bool high = cp >= 0xD800 && cp < 0xDC00;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            cp = ((cp & 0x3FF) << 10 | (text[i + 1] & 0x3FF)) + 0x10000;
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = kReplacement;
        }
        const int count = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        char bytes[4];
        for (int k = count - 1; k > 0; --k) {
            bytes[k] = static_cast<char>(0x80 | (cp & 0x3F));
            cp >>= 6;
        }
        constexpr unsigned char kLeadMarks[] = {0x00, 0x00, 0xC0, 0xE0, 0xF0};
        bytes[0] = static_cast<char>(kLeadMarks[count] | cp);
        out.append(bytes, static_cast<std::size_t>(count));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    ReferenceDecoder reference;
    for (const char byte : input) reference.Byte(static_cast<unsigned char>(byte));
    const std::u16string want = reference.Finish();
    const std::u16string decoded = halvex::DecodeUtf8(input);
    HALVEX_FUZZ_CHECK(decoded == want);
    if (reference.valid()) HALVEX_FUZZ_CHECK(halvex::EncodeUtf8(decoded) == input);
    HALVEX_FUZZ_CHECK(halvex::FromUtf8(input) == halvex::DecodeUtf8(input.substr(0, input.find('\0'))));

    // The same bytes read as UTF-16 code units, little-endian.
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    const std::string encoded = halvex::EncodeUtf8(units);
    HALVEX_FUZZ_CHECK(encoded == ReferenceEncode(units));
    ReferenceDecoder check;
    for (const char byte : encoded) check.Byte(static_cast<unsigned char>(byte));
    check.Finish();
    HALVEX_FUZZ_CHECK(check.valid());
    return 0;
}
