#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// The line scanners (ScanLine is the SSE2 one on x86-64; the AVX2 one runs
// where the processor has it) on lines that end inside, at the edge of and
// past their 8-, 16- and 32-byte blocks, and in the byte-by-byte tail of the
// text; and where each line is without its blanks (the vector scanners take
// them from their masks when the line ends in its first 32 bytes, and count
// them otherwise).
TEST(FormatText, LineScannersFindEndsAndPlainStarts) {
    struct Case {
        const char* name;
        std::string_view text;
        std::size_t from, end, special;
        bool colon;
        std::size_t trimBegin, trimEnd;
        bool tabs = false;
    };
    const std::string spaced = std::string(20, ' ') + "PRINT \"a:b\"\n";
    const std::string padding(32, 'x');
    const std::string blankEnds = "   x = 1   \r\n" + padding, blanksOnly = "    \t  \n" + padding, tabbed = "\tx\t\r\n" + padding;
    const std::string longBlanks = std::string(40, ' ') + "x" + std::string(20, ' ') + "\n" + padding;
    const std::string endsAt31 = "  " + std::string(27, 'a') + "  \n" + padding;
    const std::string endsAt32 = "  " + std::string(28, 'a') + "  \n" + padding;
    for (const Case& c : {
             Case{"short tail, nothing special", "abc", 0, 3, 3, false, 0, 3},
             Case{"colon in the first block", "x = 1 : y\r\n", 0, 9, 9, true, 0, 9},
             Case{"break at 15", "0123456789abcde\n", 0, 15, 15, false, 0, 15},
             Case{"break at 16", "0123456789abcdef\nxxxxxxxxxxxxxxxx", 0, 16, 16, false, 0, 16},
             Case{"quote and colon in the second block", spaced, 0, 31, 26, true, 20, 31},
             Case{"colon after the break does not count", "abc\r:xxxxxxxxxxxxxxxxxxxxx", 0, 3, 3, false, 0, 3},
             Case{"non-ASCII byte", "caf\xC3\xA9 x = 1\nxxxxxxxxxxxxxxxxxx", 0, 11, 3, false, 0, 11},
             Case{"apostrophe late in a long line", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa' c\r\n", 0, 36, 33, false, 0, 36},
             Case{"from the middle", "a\nb:cxxxxxxxxxx\"xxxxxxxxxxx\n", 2, 27, 15, true, 2, 27},
             Case{"a NUL ends it as a break does", std::string_view("ab:\0\"xxxxxxxxxxxxxxxxxxxxxxxxxxx\n", 33), 0, 3, 3, true, 0, 3},
             Case{"a NUL in the second block", std::string_view("0123456789abcdef01\0xxxxxxxxxxxxxxxxxxx", 38), 0, 18, 18, false, 0, 18},
             Case{"blanks at both ends in the first 32 bytes", blankEnds, 0, 11, 11, false, 3, 8},
             Case{"blanks only, tabs among them", blanksOnly, 0, 7, 7, false, 7, 7, true},
             Case{"a tab is no blank without Trim tabs", blanksOnly, 0, 7, 7, false, 4, 5},
             Case{"tabs at both ends", tabbed, 0, 3, 3, false, 1, 2, true},
             Case{"blanks of a line past 32 bytes", longBlanks, 0, 61, 61, false, 40, 41},
             Case{"break at 31, the last byte of the first 32", endsAt31, 0, 31, 31, false, 2, 29},
             Case{"break at 32, the first byte after them", endsAt32, 0, 32, 32, false, 2, 30},
             Case{"blanks only in the tail", "x\n   ", 2, 5, 5, false, 5, 5},
         }) {
        std::vector<LineScan> scans = {ScanLine(c.text, c.from, c.tabs), ScanLinePortable(c.text, c.from, c.tabs)};
#if defined(HALVEX_SCAN_AVX2)
        if (HasAvx2()) scans.push_back(ScanLineAvx2(c.text, c.from, c.tabs));
#endif
        for (const LineScan& scan : scans) {
            EXPECT_EQ(scan.end, c.end) << c.name;
            EXPECT_EQ(scan.special, c.special) << c.name;
            EXPECT_EQ(scan.colon, c.colon) << c.name;
            EXPECT_EQ(scan.trimBegin, c.trimBegin) << c.name;
            EXPECT_EQ(scan.trimEnd, c.trimEnd) << c.name;
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
