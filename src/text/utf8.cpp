#include "text/utf8.hpp"

#include <cstdint>

namespace halvex {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Length of the well-formed sequence that the lead byte announces, and the
// range its second byte must lie in (Unicode 15, table 3-7); 0 for a byte
// that cannot start a sequence.
struct LeadInfo {
    int length;
    unsigned char secondLow;
    unsigned char secondHigh;
};

LeadInfo ClassifyLead(unsigned char lead) {
    if (lead < 0x80) return {1, 0, 0};
    if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
    if (lead == 0xE0) return {3, 0xA0, 0xBF};
    if (lead == 0xED) return {3, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
    if (lead == 0xF0) return {4, 0x90, 0xBF};
    if (lead == 0xF4) return {4, 0x80, 0x8F};
    if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
    return {0, 0, 0};
}

void AppendCodePoint(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

}  // namespace

std::u16string DecodeUtf8(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char lead = p[i];
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        const LeadInfo info = ClassifyLead(lead);
        if (info.length == 0) {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        char32_t cp = lead & (0x7F >> info.length);
        std::size_t used = 1;
        bool complete = true;
        for (; used < static_cast<std::size_t>(info.length); ++used) {
            if (i + used >= n) {
                complete = false;
                break;
            }
            const unsigned char next = p[i + used];
            const bool ok = used == 1 ? (next >= info.secondLow && next <= info.secondHigh)
                                      : (next >= 0x80 && next <= 0xBF);
            if (!ok) {
                complete = false;
                break;
            }
            cp = (cp << 6) | (next & 0x3F);
        }
        if (complete) {
            AppendCodePoint(out, cp);
        } else {
            out.push_back(kReplacement);
        }
        i += used;
    }
    return out;
}

std::string EncodeUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace halvex
