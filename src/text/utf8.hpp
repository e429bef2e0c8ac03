#pragma once
// The portable UTF-8 codec behind ToUtf8 and FromUtf8.
//
// The Windows build binds ToUtf8 and FromUtf8 to the platform's converter;
// every other build uses these functions, which follow the same rules:
// a malformed sequence is replaced by one U+FFFD for each maximal subpart
// (the longest prefix of a well-formed sequence, or a single byte), so that a
// good character after a bad one is never swallowed.

#include <string>
#include <string_view>

namespace halvex {

std::u16string DecodeUtf8(std::string_view bytes);
std::string EncodeUtf8(std::u16string_view text);

}  // namespace halvex
