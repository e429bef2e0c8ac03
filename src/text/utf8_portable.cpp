// ToUtf8 and FromUtf8 for builds without the Windows converter.
#include "text/text.hpp"
#include "text/utf8.hpp"

namespace halvex {

std::string ToUtf8(TextView text) { return EncodeUtf8(text); }

Text FromUtf8(std::string_view bytes) { return DecodeUtf8(bytes.substr(0, bytes.find('\0'))); }

}  // namespace halvex
