// The portable UTF-8 decoder and the platform's converter, which the DLL
// uses, agree on the inputs that documents hold in practice.
#include <gtest/gtest.h>

#include "text/text.hpp"
#include "text/utf8.hpp"

namespace halvex {
namespace {

TEST(Utf8Win32, PortableDecoderAgreesWithThePlatform) {
    for (const std::string_view bytes : {
             std::string_view("plain ASCII"), std::string_view("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"),
             std::string_view("caf\xE9 Gr\xFC\xDF" "e"),        // a single-byte code page
             std::string_view("\xC3" "A \xE2\x82" "B \xF0\x9F\x98"),  // cut-short sequences
             std::string_view("\x80\xBF\xFF\xFE"),                // bytes that start nothing
         }) {
        EXPECT_EQ(FromUtf8(bytes), DecodeUtf8(bytes)) << bytes;
    }
    EXPECT_EQ(ToUtf8(u"a\u00E9\U0001F600"), EncodeUtf8(u"a\u00E9\U0001F600"));
    EXPECT_EQ(ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
}

}  // namespace
}  // namespace halvex
