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
    // The source holds a NUL byte: formatting stopped at the line before it,
    // and `text` is no result.
    bool holdsNul = false;
};

// How the pipeline reads the text. Both ways give the same result for every
// text; the plain one is the simple statement of what the fast one does, kept
// to check it against.
enum class FormatPath {
    // Lines found many bytes at a time (ScanLine, or ScanLineAvx2 where the
    // processor has AVX2); the analysis text built
    // only for the lines that need it; lines copied in 16-byte blocks.
    kFast,
    // Lines found eight bytes at a time (ScanLinePortable); every line read
    // through its analysis text; lines copied with memcpy.
    kPlain,
};

// Formats `source` with an engine whose run has been started. A NUL byte in
// `source` stops it (see holdsNul): the editor can take no text that holds one.
FormattedText FormatText(std::string_view source, IndentEngine& engine, FormatPath path = FormatPath::kFast);

// Receives the formatted text piece by piece, in order.
using TextSink = std::function<void(std::string_view piece)>;

// The same, handing the text to `sink` in pieces of about 256 KiB instead of
// holding all of it; returns the error line as FormattedText has it. `source`
// must hold no NUL byte.
std::uint64_t FormatTextTo(std::string_view source, IndentEngine& engine, const TextSink& sink,
                           FormatPath path = FormatPath::kFast);

// Memory that the pipeline writes formatted lines into directly: room at
// `Room`, taken by `Wrote`. A line's copy may write up to kSpare bytes past
// the line (overwritten by the next one), so room always has them.
class FormatOutput {
   public:
    static constexpr std::size_t kSpare = 96;

    char* Room(std::size_t bytes) {
        if (static_cast<std::size_t>(limit_ - cursor_) < bytes + kSpare) MakeRoom(bytes + kSpare);
        return cursor_;
    }
    void Wrote(std::size_t bytes) { cursor_ += bytes; }

   protected:
    ~FormatOutput() = default;
    // Moves on, or hands on what was written, so that `bytes` fit from
    // `cursor_` on.
    virtual void MakeRoom(std::size_t bytes) = 0;

    char* cursor_ = nullptr;
    char* limit_ = nullptr;
};

// Writes a formatted line into `out`: `indent` bytes of `fill`, `line`, and
// a CR LF with `hasBreak`. Copies in whole 16-byte blocks, reading `line` up
// to 32 bytes past its end where `sourceEnd`, the end of the text that holds
// it, allows.
void WriteLineInBlocks(FormatOutput& out, char fill, const char* sourceEnd, std::size_t indent, std::string_view line,
                       bool hasBreak);

// The pipeline over a text that arrives in parts, in one pass: each line is
// scanned, checked for a NUL byte and formatted into `out` while it is in
// the cache. Nothing of the input need be kept once it is taken.
class LineFormatter {
   public:
    LineFormatter(IndentEngine& engine, FormatOutput& out, FormatPath path = FormatPath::kFast);

    // Formats the lines that `text` holds whole and returns the bytes they
    // took; the rest (a line whose break has not come, or a CR whose LF may
    // follow) must start the text of the next call. Takes nothing more once
    // a NUL is found.
    std::size_t Take(std::string_view text);
    // Formats the rest of the input: `text` ends its last line.
    void Finish(std::string_view text);

    bool foundNul() const { return lines_.nul; }
    std::uint64_t errorLine() const { return lines_.errorLine; }

    // What the lines so far have counted.
    struct Count {
        std::uint64_t lines = 0;
        std::uint64_t errorLine = 0;
        bool nul = false;
    };

   private:
    std::size_t Run(std::string_view text, bool last);

    IndentEngine& engine_;
    FormatOutput& out_;
    FormatPath path_;
    Count lines_;
};

// Where a line lies in a text: its bytes [begin, end), its line break
// [end, next).
struct SourceLine {
    std::size_t begin, end, next;
    bool hasBreak() const { return next != end; }
};

// Takes the lines of a text as the pipeline formats them, in order.
class LineVisitor {
   public:
    // `line` (trimmed, in the text) gets `width` bytes of indentation.
    // Returns whether it took the line; if not, the lines stop before it.
    virtual bool Visit(SourceLine old, std::size_t width, std::string_view line) = 0;

   protected:
    ~LineVisitor() = default;
};

// Formats `source` as LineFormatter does (Finish with `last`, else Take),
// with an engine whose run has been started, but hands each line to
// `visitor` instead of writing it. Stops at a NUL byte, as FormatText does,
// and counts it in `count`. Returns where it stopped.
std::size_t VisitFormattedLines(std::string_view source, bool last, IndentEngine& engine, LineVisitor& visitor,
                                LineFormatter::Count& count);

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
