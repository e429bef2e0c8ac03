#include "text/text.hpp"

namespace halvex {

Text IntegerToText(std::int64_t n) {
    // Work on the magnitude as unsigned so that INT64_MIN has no overflow.
    std::uint64_t magnitude = n < 0 ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    char16_t digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    Text result;
    if (n < 0) result.push_back(u'-');
    while (count > 0) result.push_back(digits[--count]);
    return result;
}

}  // namespace halvex
