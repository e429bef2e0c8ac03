#include <gtest/gtest.h>

#include <climits>

#include "text/lower_case.hpp"
#include "text/text.hpp"
#include "text/utf8.hpp"

namespace halvex {
namespace {

using namespace std::string_view_literals;

TEST(TextPrimitives, TrimSpacesRemovesOnlySpaceCharacters) {
    EXPECT_EQ(TrimSpaces(u"  a b  "sv), u"a b"sv);
    EXPECT_EQ(TrimSpaces(u"\ta\t "sv), u"\ta\t"sv);
    EXPECT_EQ(TrimSpaces(u"    "sv), u""sv);
    EXPECT_EQ(TrimSpaces(u""sv), u""sv);
}

TEST(TextPrimitives, LeftAndRightTextClampTheCount) {
    struct Case { std::int64_t n; std::u16string_view left, right; };
    for (const Case& c : {Case{-1, u"", u""}, Case{0, u"", u""}, Case{2, u"ab", u"de"}, Case{5, u"abcde", u"abcde"},
                          Case{99, u"abcde", u"abcde"}, Case{INT64_MAX, u"abcde", u"abcde"}}) {
        EXPECT_EQ(LeftText(u"abcde"sv, c.n), c.left) << c.n;
        EXPECT_EQ(RightText(u"abcde"sv, c.n), c.right) << c.n;
    }
}

TEST(TextPrimitives, FieldAtCountsEmptyPiecesFromOne) {
    struct Case { std::u16string_view text; std::int64_t index; std::u16string_view delimiter, want; };
    for (const Case& c : {
             Case{u"a b c", 2, u" ", u"b"},
             Case{u"a  b", 2, u" ", u""},
             Case{u"a  b", 3, u" ", u"b"},
             Case{u" a", 1, u" ", u""},
             Case{u"abc", 1, u" ", u"abc"},
             Case{u"abc", 2, u" ", u""},
             Case{u"a b", 0, u" ", u""},
             Case{u"a b", -3, u" ", u""},
             Case{u"a b", 3, u" ", u""},
             Case{u"a\r\nb\r\n", 2, u"\r\n", u"b"},
             Case{u"a\r\nb\r\n", 3, u"\r\n", u""},
             Case{u"aaa", 2, u"aa", u"a"},
         }) {
        EXPECT_EQ(FieldAt(c.text, c.index, c.delimiter), c.want) << std::string(c.text.begin(), c.text.end()) << " #" << c.index;
    }
}

TEST(TextPrimitives, CountOccurrencesAndRemoveAllGoOnAfterEachMatch) {
    struct Case { std::u16string_view text, needle; std::size_t count; std::u16string_view removed; };
    for (const Case& c : {Case{u"aaaa", u"aa", 2, u""}, Case{u"aaa", u"aa", 1, u"a"}, Case{u"a,b,,c", u",", 3, u"abc"},
                          Case{u"", u",", 0, u""}, Case{u"abc", u"", 0, u"abc"}, Case{u"x\r\ny\r", u"\r", 2, u"x\ny"}}) {
        EXPECT_EQ(CountOccurrences(c.text, c.needle), c.count);
        EXPECT_EQ(RemoveAll(c.text, c.needle), c.removed);
    }
}

TEST(TextPrimitives, IntegerToTextCoversTheWholeRange) {
    EXPECT_EQ(IntegerToText(0), u"0");
    EXPECT_EQ(IntegerToText(40), u"40");
    EXPECT_EQ(IntegerToText(-7), u"-7");
    EXPECT_EQ(IntegerToText(INT64_MAX), u"9223372036854775807");
    EXPECT_EQ(IntegerToText(INT64_MIN), u"-9223372036854775808");
}

// Malformed input becomes one U+FFFD per maximal subpart; what follows a bad
// sequence is never swallowed.
TEST(Utf8, DecodingReplacesMalformedSequences) {
    struct Case { const char* name; std::string_view bytes; std::u16string_view want; };
    for (const Case& c : {
             Case{"ascii", "abc", u"abc"},
             Case{"two bytes", "caf\xC3\xA9", u"caf\u00E9"},
             Case{"three bytes", "\xE2\x82\xAC", u"\u20AC"},
             Case{"four bytes", "\xF0\x9F\x98\x80", u"\U0001F600"},
             Case{"latin-1 byte", "caf\xE9", u"caf\uFFFD"},
             Case{"truncated at end", "a\xE2\x82", u"a\uFFFD"},
             Case{"truncated before ascii", "\xC3" "A", u"\uFFFDA"},
             Case{"lone continuations", "\x80\xBF" "A", u"\uFFFD\uFFFDA"},
             Case{"overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
             Case{"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
             Case{"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
             Case{"invalid lead", "\xFF" "A", u"\uFFFDA"},
         }) {
        EXPECT_EQ(DecodeUtf8(c.bytes), c.want) << c.name;
    }
}

TEST(Utf8, EncodingRoundTripsAndReplacesLoneSurrogates) {
    const std::u16string text = u"a\u00E9\u20AC\U0001F600";
    EXPECT_EQ(DecodeUtf8(EncodeUtf8(text)), text);
    EXPECT_EQ(EncodeUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(EncodeUtf8(u"x\xDC00"), "x\xEF\xBF\xBD");
}

TEST(Utf8, FromUtf8StopsAtTheFirstNul) {
    EXPECT_EQ(FromUtf8(std::string_view("ab\0cd", 5)), u"ab");
    EXPECT_EQ(ToUtf8(u"\u00E9"), "\xC3\xA9");
}

TEST(LowerCase, FoldsOnlyTheCharactersThatLowerToAscii) {
    const LowerCaseFolds folds;
    EXPECT_EQ(folds.Match("\xC4\xB0" "F"), std::make_pair('i', std::size_t{2}));
    EXPECT_EQ(folds.Match("\xE2\x84\xAA"), std::make_pair('k', std::size_t{3}));
    EXPECT_EQ(folds.Match("\xC3\x89"), std::make_pair('\0', std::size_t{0}));  // E acute stays non-ASCII
    EXPECT_EQ(folds.Match("\xC4"), std::make_pair('\0', std::size_t{0}));      // cut short

    const LowerCaseFolds mapped = LowerCaseFolds::FromMapping([](char32_t c) { return c == 0x0130 ? U'i' : c; });
    ASSERT_EQ(mapped.folds().size(), 1u);
    EXPECT_EQ(mapped.folds()[0].codePoint, 0x0130u);
}

}  // namespace
}  // namespace halvex
