#pragma once
// The text fields of the records that the test host and the test driver
// write, one record a line and its fields separated by tabs: backslash, line
// feed, carriage return, tab and NUL are written \\ \n \r \t \0.

#include <string>
#include <string_view>

namespace halvex::testing {

inline std::string EscapeField(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace halvex::testing
