#include "formatter/format_text.hpp"

#include <algorithm>
#include <cstring>
#include <memory>

#include "formatter/line_scan.hpp"
#include "text/text.hpp"

namespace halvex {
namespace {

// The line from `begin` to `end` without the blanks that Format removes.
template <FormatPath kPath>
std::string_view TrimmedLine(std::string_view source, std::size_t begin, std::size_t end, const IndentEngine& engine) {
#if defined(__SSE2__)
    if constexpr (kPath == FormatPath::kFast) return TrimBlanksSse2(source, begin, end, engine.trimsTabs());
#endif
    return engine.TrimLine(source.substr(begin, end - begin));
}

// Runs the engine over every line of `source` and hands each formatted line
// to `emit(indentation width, line, hasBreak)`; returns the line of the END that
// revealed the recorded error, or 0.
template <FormatPath kPath, class Emit>
std::uint64_t FormatLines(std::string_view source, IndentEngine& engine, Emit&& emit) {
    const IndentStyle style = IndentStyle::Of(engine.settings());
    std::uint64_t errorLine = 0;
    std::uint64_t lineNumber = 0;
    std::size_t at = 0;
    while (true) {
        const LineScan scan = kPath == FormatPath::kFast ? ScanLine(source, at) : ScanLinePortable(source, at);
        const std::size_t next = NextLineStart(source, scan.end);
        const std::string_view line = TrimmedLine<kPath>(source, at, scan.end, engine);
        const LineFacts facts =
            kPath == FormatPath::kFast ? scan.FactsFrom(static_cast<std::size_t>(line.data() - source.data())) : kAnalyzeLine;
        ++lineNumber;
        const bool hadError = engine.state().formatErrorState == kErrorRecorded;
        emit(style.Width(static_cast<std::size_t>(engine.IndentLine(line, facts)), line.empty()), line, next != scan.end);
        if (!hadError && engine.state().formatErrorState == kErrorRecorded) errorLine = lineNumber;
        at = next;
        if (at == source.size()) break;  // a final line break ends the text: no empty line after it
    }
    return errorLine;
}

// Collects formatted lines in a buffer of its own and hands them on in
// pieces, so that each line costs a few plain copies and no allocation.
class PieceWriter {
   public:
    // A small text gets a small buffer: twice its size covers the indentation and
    // line breaks of most texts, and longer pieces are simply handed on.
    PieceWriter(const TextSink& sink, std::string_view source, char fill)
        : sink_(sink),
          fill_(fill),
          sourceEnd_(source.data() + source.size()),
          size_(std::min(kMaxSize, 2 * source.size() + 64)),
          buffer_(new char[size_ + kSpare]) {}
    ~PieceWriter() { Flush(); }

    // Copies with memset and memcpy.
    void Line(std::size_t indent, std::string_view line, bool hasBreak) {
        char* const out = Reserve(indent, line, hasBreak);
        if (out == nullptr) return;
        std::memset(out, fill_, indent);
        std::memcpy(out + indent, line.data(), line.size());
        if (hasBreak) std::memcpy(out + indent + line.size(), "\r\n", 2);
    }

    // The same in whole 16-byte blocks, which the compiler turns into single
    // vector moves: the blocks may run past the line (into the buffer's spare
    // bytes, and into the source where it goes on that far), and what runs
    // past is overwritten by the next line or never handed on.
    // The first 64 bytes of indentation and 32 of the line go in fixed blocks, so
    // that no branch depends on their lengths, which vary from line to line.
    void LineInBlocks(std::size_t indent, std::string_view line, bool hasBreak) {
        if (line.data() + line.size() + 2 * kBlock > sourceEnd_) return Line(indent, line, hasBreak);
        char* const out = Reserve(indent, line, hasBreak);
        if (out == nullptr) return;
        static constexpr char kSpaces[kBlock + 1] = "                ";
        static constexpr char kTabs[kBlock + 1] = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
        const char* const fill = fill_ == '\t' ? kTabs : kSpaces;
        for (std::size_t i = 0; i < 4 * kBlock; i += kBlock) std::memcpy(out + i, fill, kBlock);
        for (std::size_t i = 4 * kBlock; i < indent; i += kBlock) std::memcpy(out + i, fill, kBlock);
        char* const text = out + indent;
        std::memcpy(text, line.data(), kBlock);
        std::memcpy(text + kBlock, line.data() + kBlock, kBlock);
        for (std::size_t i = 2 * kBlock; i < line.size(); i += kBlock) std::memcpy(text + i, line.data() + i, kBlock);
        if (hasBreak) std::memcpy(text + line.size(), "\r\n", 2);
    }

    void Flush() {
        if (used_ != 0) sink_(std::string_view(buffer_.get(), used_));
        used_ = 0;
    }

   private:
    static constexpr std::size_t kMaxSize = 256 * 1024;
    static constexpr std::size_t kBlock = 16;
    static constexpr std::size_t kSpare = 5 * kBlock;  // what the blocks may write past a line

    // Where the formatted line goes, with spare bytes after it; nullptr
    // when the line was too long for the buffer and has been handed on alone.
    char* Reserve(std::size_t indent, std::string_view line, bool hasBreak) {
        const std::size_t length = indent + line.size() + (hasBreak ? 2 : 0);
        if (used_ + length > size_) Flush();
        if (length > size_) {
            sink_(std::string(indent, fill_));
            sink_(line);
            if (hasBreak) sink_("\r\n");
            return nullptr;
        }
        char* const out = buffer_.get() + used_;
        used_ += length;
        return out;
    }

    const TextSink& sink_;
    char fill_;
    const char* sourceEnd_;
    std::size_t size_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

template <FormatPath kPath>
std::uint64_t FormatTextTo(std::string_view source, IndentEngine& engine, const TextSink& sink) {
    PieceWriter writer(sink, source, IndentStyle::Of(engine.settings()).fill);
    const std::uint64_t errorLine =
        FormatLines<kPath>(source, engine, [&writer](std::size_t indent, std::string_view line, bool hasBreak) {
            if constexpr (kPath == FormatPath::kFast) {
                writer.LineInBlocks(indent, line, hasBreak);
            } else {
                writer.Line(indent, line, hasBreak);
            }
        });
    writer.Flush();
    return errorLine;
}

}  // namespace

IndentStyle IndentStyle::Of(const FormatSettings& settings) {
    const bool tabs = WritesTabs(settings);
    const bool widthKnown = settings.indentWidth >= 1 && settings.indentWidth <= 8;
    return {tabs ? '\t' : ' ', tabs ? 1 : widthKnown ? static_cast<std::size_t>(settings.indentWidth) : 2,
            settings.blankLinesEmpty};
}

FormattedText FormatText(std::string_view source, IndentEngine& engine, FormatPath path) {
    FormattedText out;
    out.text.reserve(source.size() + source.size() / 8 + 16);
    out.errorLine = FormatTextTo(
        source, engine, [&out](std::string_view piece) { out.text.append(piece); }, path);
    return out;
}

std::uint64_t FormatTextTo(std::string_view source, IndentEngine& engine, const TextSink& sink, FormatPath path) {
    return path == FormatPath::kFast ? FormatTextTo<FormatPath::kFast>(source, engine, sink)
                                     : FormatTextTo<FormatPath::kPlain>(source, engine, sink);
}

void FollowContext(std::string_view textAbove, IndentEngine& engine) {
    if (textAbove.empty()) return;  // no line above: not even an empty one
    const std::int32_t errorState = engine.SwapErrorState(kRecordingOff);
    FormatLines<FormatPath::kFast>(textAbove, engine, [](std::size_t, std::string_view, bool) {});
    engine.SwapErrorState(errorState);
}

std::optional<ByteSpan> LineSpan(std::string_view text, std::uint64_t first, std::uint64_t last) {
    ByteSpan span;
    std::size_t at = 0;
    for (std::uint64_t line = 1;; ++line) {
        if (line == first) span.begin = at;
        const std::size_t next = NextLineStart(text, LineEnd(text, at));
        if (line == last) {
            span.end = next;
            return span;
        }
        if (next == text.size()) return std::nullopt;  // a final line break starts no further line
        at = next;
    }
}

}  // namespace halvex
