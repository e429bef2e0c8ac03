#include "bridge/date_text.hpp"

namespace halvex {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Division that rounds towards minus infinity, so that the seconds before
// 1970 fall on the day they belong to.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0); }

// Whether `text` at `at` holds `token` (lower-case ASCII letters), in any case.
bool TokenAt(TextView text, std::size_t at, std::u16string_view token) {
    if (text.size() - at < token.size()) return false;
    for (std::size_t i = 0; i < token.size(); ++i) {
        char16_t c = text[at + i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != token[i]) return false;
    }
    return true;
}

// The last `width` decimal digits of a non-negative value, with leading zeros.
void AppendDigits(Text& out, std::int64_t value, int width) {
    char16_t digits[4];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    }
    out.append(digits, static_cast<std::size_t>(width));
}

}  // namespace

CivilDate CivilFromDays(std::int64_t days) {
    // Counts in 400-year eras of 146097 days that begin on 0000-03-01, so
    // that the leap day is the last day of each year of the count.
    const std::int64_t z = days + 719468;
    const std::int64_t era = FloorDiv(z, 146097);
    const std::int64_t dayOfEra = z - era * 146097;  // 0 to 146096
    // 0 to 399: the leap days counted so far are taken out before dividing.
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);  // 0 to 365
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;                                  // 0 to 11
    const int day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    const int month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

Text FormatDateText(TextView mask, std::int32_t date) {
    const CivilDate civil = CivilFromDays(FloorDiv(date, kSecondsPerDay));
    Text out;
    out.reserve(mask.size() + 8);
    std::size_t at = 0;
    while (at < mask.size()) {
        if (mask[at] == u'%') {
            if (TokenAt(mask, at + 1, u"yyyy")) {
                AppendDigits(out, civil.year, 4);  // a 32-bit date lies in 1901 to 2038
                at += 5;
                continue;
            }
            if (TokenAt(mask, at + 1, u"mm")) {
                AppendDigits(out, civil.month, 2);
                at += 3;
                continue;
            }
            if (TokenAt(mask, at + 1, u"dd")) {
                AppendDigits(out, civil.day, 2);
                at += 3;
                continue;
            }
        }
        out.push_back(mask[at]);
        ++at;
    }
    return out;
}

}  // namespace halvex
