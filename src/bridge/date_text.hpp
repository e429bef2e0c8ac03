#pragma once
// Calendar dates from counts of seconds since 1970-01-01 00:00:00 UTC,
// broken down in UTC: the same text on every machine, whatever its time zone.

#include <cstdint>

#include "text/text.hpp"

namespace halvex {

struct CivilDate {
    std::int64_t year;
    int month;  // 1 to 12
    int day;    // 1 to 31
};

// The proleptic Gregorian date of a day counted from 1970-01-01 (day 0);
// negative days lie before it.
CivilDate CivilFromDays(std::int64_t days);

// The mask with "%yyyy" replaced by the year in four digits, "%mm" by the
// month and "%dd" by the day, both in two digits; the tokens match in any
// case, "yyyy" is tried first, and all other text is copied as it stands.
Text FormatDateText(TextView mask, std::int32_t date);

}  // namespace halvex
