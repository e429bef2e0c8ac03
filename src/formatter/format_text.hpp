#pragma once
// The format pipeline: a whole text in, the re-indented text out.
//
// It cuts the text into lines where Scintilla does (CR LF, LF, or a lone CR),
// trims the spaces at both ends of each line, puts the indentation that the
// engine gives in front, and joins the lines with CR LF. A text that ends in a
// line break keeps one; a text without a final break gets none. Nothing but
// spaces at line ends and line breaks ever changes: the bytes are not decoded,
// so text in any encoding comes back as it was.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "formatter/indent_engine.hpp"

namespace halvex {

// How the pipeline writes the levels that the engine gives (two spaces each):
// "Indent width" spaces or one tab per level, and nothing on a blank line
// with "Blank lines". The default writes exactly the engine's spaces.
struct IndentStyle {
    char fill = ' ';
    std::size_t perLevel = 2;  // fill characters per level
    bool blankLinesEmpty = false;

    // "Indent width" outside 1 to 8 is taken as 2; "Use tabs" other than
    // kTabsPerLevel writes spaces (kFollowEditor is resolved before, where
    // there is an editor to follow).
    static IndentStyle Of(const FormatSettings& settings);

    // What goes in front of a line that the engine gave `engineSpaces`.
    std::size_t Width(std::size_t engineSpaces, bool blankLine) const {
        return blankLine && blankLinesEmpty ? 0 : engineSpaces / 2 * perLevel;
    }
};

struct FormattedText {
    std::string text;
    // The line (from 1) of the END that revealed the recorded error; 0 when
    // this run recorded none.
    std::uint64_t errorLine = 0;
};

// How the pipeline reads the text. Both ways give the same result for every
// text; the plain one is the simple statement of what the fast one does, kept
// to check it against.
enum class FormatPath {
    // Lines found many bytes at a time (ScanLine); the analysis text built
    // only for the lines that need it; lines copied in 16-byte blocks.
    kFast,
    // Lines found eight bytes at a time (ScanLinePortable); every line read
    // through its analysis text; lines copied with memcpy.
    kPlain,
};

// Formats `source` with an engine whose run has been started. `source` must
// hold no NUL byte: the editor can take no text that holds one.
FormattedText FormatText(std::string_view source, IndentEngine& engine, FormatPath path = FormatPath::kFast);

// Receives the formatted text piece by piece, in order.
using TextSink = std::function<void(std::string_view piece)>;

// The same, handing the text to `sink` in pieces of up to 256 KiB instead of
// holding all of it; returns the error line as FormattedText has it.
std::uint64_t FormatTextTo(std::string_view source, IndentEngine& engine, const TextSink& sink,
                           FormatPath path = FormatPath::kFast);

// Runs the engine over the lines of `textAbove`, the text above a selection
// of whole lines, as a whole-document run would before it reaches the
// selection, but writes nothing and records no format error. The selection
// then starts at the level of the code around it, and an END in it names the
// routine that it lies in. Costs what the engine costs for those lines.
void FollowContext(std::string_view textAbove, IndentEngine& engine);

// Where lines `first` to `last` (from 1, first <= last) lie in `text`, the
// line break of the last one included: the bytes that the Format command
// widens a selection of them to. Lines end where FormatText ends them, and a
// final line break starts no further line. Nothing when there is no line
// `last`.
struct ByteSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
};
std::optional<ByteSpan> LineSpan(std::string_view text, std::uint64_t first, std::uint64_t last);

}  // namespace halvex
