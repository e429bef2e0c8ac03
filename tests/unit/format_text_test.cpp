#include <gtest/gtest.h>

#include <string>

#include "formatter/format_text.hpp"
#include "formatter/line_scan.hpp"

namespace halvex {
namespace {

FormattedText Format(std::string_view source, FormatSettings settings = {}) {
    const LowerCaseFolds folds;
    FormatterState state;
    IndentEngine engine(state, settings, folds);
    engine.StartRun();
    return FormatText(source, engine);
}

// Line breaks, and how a level is written in each indentation style.
TEST(FormatText, LineBreaks) {
    struct Case { const char* name; std::string_view source, want; FormatSettings settings = {}; };
    for (const Case& c : {
             Case{"CR LF, final break kept", "a\r\nb\r\n", "  a\r\n  b\r\n"},
             Case{"no final break", "a\r\nb", "  a\r\n  b"},
             Case{"LF becomes CR LF, final break kept", "a\nb\n", "  a\r\n  b\r\n"},
             Case{"lone CR is a line break", "a\rb\r", "  a\r\n  b\r\n"},
             Case{"mixed breaks", "a\rb\nc\r\nd", "  a\r\n  b\r\n  c\r\n  d"},
             Case{"CR CR LF is two breaks", "a\r\r\nb", "  a\r\n  \r\n  b"},
             Case{"empty text is one empty line", "", "  "},
             Case{"a lone break", "\n", "  \r\n"},
             Case{"blank lines get the indentation", "FOR i = 1 TO 2\n\n NEXT", "  FOR i = 1 TO 2\r\n    \r\n  NEXT"},
             Case{"spaces trimmed, tabs kept", "  \tx = 1\t  \r\n", "  \tx = 1\t\r\n"},
             Case{"a width beyond 8 is 2", "x", "  x", {.indentWidth = 9}},
             Case{"a tab a level, old tabs read as indentation", "\tFOR\ti = 1 TO 2\n \t\t\tx\t\nNEXT",
                  "\tFOR\ti = 1 TO 2\r\n\t\tx\r\n\tNEXT", {.useTabs = 1}},
             Case{"no editor to follow: spaces", "x", "  x", {.useTabs = -1}},
             Case{"an empty text stays empty", "", "", {.blankLinesEmpty = true}},
         }) {
        EXPECT_EQ(Format(c.source, c.settings).text, c.want) << c.name;
    }
}

// Both line scanners (ScanLine is the SSE2 one on x86-64) on lines that end
// inside, at the edge of and past their 8- and 16-byte blocks, and in the
// byte-by-byte tail of the text.
TEST(FormatText, LineScannersFindEndsAndPlainStarts) {
    struct Case { const char* name; std::string_view text; std::size_t from, end, special; bool colon; };
    const std::string spaced = std::string(20, ' ') + "PRINT \"a:b\"\n";
    for (const Case& c : {
             Case{"short tail, nothing special", "abc", 0, 3, 3, false},
             Case{"colon in the first block", "x = 1 : y\r\n", 0, 9, 9, true},
             Case{"break at 15", "0123456789abcde\n", 0, 15, 15, false},
             Case{"break at 16", "0123456789abcdef\nxxxxxxxxxxxxxxxx", 0, 16, 16, false},
             Case{"quote and colon in the second block", spaced, 0, 31, 26, true},
             Case{"colon after the break does not count", "abc\r:xxxxxxxxxxxxxxxxxxxxx", 0, 3, 3, false},
             Case{"non-ASCII byte", "caf\xC3\xA9 x = 1\nxxxxxxxxxxxxxxxxxx", 0, 11, 3, false},
             Case{"apostrophe late in a long line", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa' c\r\n", 0, 36, 33, false},
             Case{"from the middle", "a\nb:cxxxxxxxxxx\"xxxxxxxxxxx\n", 2, 27, 15, true},
             Case{"a NUL ends it as a break does", std::string_view("ab:\0\"xxxxxxxxxxxxxxxxxxxxxxxxxxx\n", 33), 0, 3, 3, true},
             Case{"a NUL in the second block", std::string_view("0123456789abcdef01\0xxxxxxxxxxxxxxxxxxx", 38), 0, 18, 18, false},
         }) {
        for (const LineScan scan : {ScanLine(c.text, c.from), ScanLinePortable(c.text, c.from)}) {
            EXPECT_EQ(scan.end, c.end) << c.name;
            EXPECT_EQ(scan.special, c.special) << c.name;
            EXPECT_EQ(scan.colon, c.colon) << c.name;
        }
    }
}

TEST(FormatText, BytesThatAreNotUtf8ComeBackUnchanged) {
    const std::string source = "PRINT \"Gr\xFC\xDF" "e\" ' caf\xE9\r\n\x80\xFF\r\n";
    EXPECT_EQ(Format(source).text, "  PRINT \"Gr\xFC\xDF" "e\" ' caf\xE9\r\n  \x80\xFF\r\n");
}

TEST(FormatText, TellsTheLineOfTheEndThatRevealedTheError) {
    EXPECT_EQ(Format("SUB A\nFOR i = 1 TO 2\nEND SUB\nSUB B\nDO\nEND SUB\n").errorLine, 3u);
    EXPECT_EQ(Format("SUB A\nEND SUB\n").errorLine, 0u);
    EXPECT_EQ(Format("SUB A\nEND SUB\n", {1, 2}).errorLine, 0u);  // recorded before the first line
}

TEST(FormatText, LongLoneCrTextIsCutIntoAllItsLines) {
    std::string source;
    for (int i = 0; i < 20000; ++i) source += "x\r";
    const std::string text = Format(source).text;
    std::size_t breaks = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++breaks;
    EXPECT_EQ(breaks, 20000u);
}

}  // namespace
}  // namespace halvex
