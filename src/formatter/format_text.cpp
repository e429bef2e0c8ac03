#include "formatter/format_text.hpp"

#include <algorithm>
#include <cstring>
#include <memory>

#include "formatter/line_scan.hpp"
#include "text/text.hpp"

namespace halvex {
namespace {

// The scanner of a path: the portable one for the plain path; for the fast
// one the vector one, or with kAvx2 the AVX2 one (which only a function
// compiled for AVX2 may inline: FormatLinesAvx2).
template <FormatPath kPath, bool kNulEnds, bool kAvx2>
[[gnu::always_inline]] inline LineScan ScanFor(std::string_view source, std::size_t at, bool tabs) {
    if constexpr (kPath == FormatPath::kPlain) {
        return ScanLinePortable<kNulEnds>(source, at, tabs);
#if defined(HALVEX_SCAN_AVX2)
    } else if constexpr (kAvx2) {
        return ScanLineAvx2<kNulEnds>(source, at, tabs);
#endif
    } else {
        return ScanLine<kNulEnds>(source, at, tabs);
    }
}

// Runs the engine over the lines of `source` and hands each formatted line to
// `emit(indentation width, line, where it lies in source)`, which returns
// whether it took the line: if not, stops before it (the engine has seen it).
// Unless `last`, stops before a line whose end `source` does not show yet (no
// break, or a CR at its very end, which an LF may follow). With kNulEnds,
// stops at a NUL byte and counts it. Returns where it stopped.
template <FormatPath kPath, bool kNulEnds, bool kAvx2 = false, class Emit>
std::size_t FormatLines(std::string_view source, bool last, IndentEngine& engine, LineFormatter::Count& count,
                        Emit&& emit) {
    if (source.empty() && last && count.lines != 0) return 0;  // the input ended in a line break: no line after it
    const IndentStyle style = IndentStyle::Of(engine.settings());
    const bool tabs = engine.trimsTabs();
    std::size_t at = 0;
    while (true) {
        const LineScan scan = ScanFor<kPath, kNulEnds, kAvx2>(source, at, tabs);
        if (!last && scan.end + 1 >= source.size()) return at;
        if (kNulEnds && scan.end != source.size() && source[scan.end] == '\0') {
            count.nul = true;
            return at;
        }
        const std::size_t next = NextLineStart(source, scan.end);
        // The plain path trims the line itself.
        const std::string_view line = kPath == FormatPath::kFast
                                          ? source.substr(scan.trimBegin, scan.trimEnd - scan.trimBegin)
                                          : engine.TrimLine(source.substr(at, scan.end - at));
        const LineFacts facts =
            kPath == FormatPath::kFast ? scan.FactsFrom(static_cast<std::size_t>(line.data() - source.data())) : kAnalyzeLine;
        ++count.lines;
        const bool hadError = engine.state().formatErrorState == kErrorRecorded;
        if (!emit(style.Width(static_cast<std::size_t>(engine.IndentLine(line, facts)), line.empty()), line,
                  SourceLine{at, scan.end, next})) {
            return at;
        }
        if (!hadError && engine.state().formatErrorState == kErrorRecorded) count.errorLine = count.lines;
        at = next;
        if (at == source.size()) return at;  // a final line break ends the text: no empty line after it
    }
}

// The fast path with all that it calls in this file inlined into it (the
// scanner, the emit function and the copies); FormatLinesAvx2 the same
// compiled for AVX2.
template <bool kNulEnds, class Emit>
[[gnu::flatten]] std::size_t FormatLinesFast(std::string_view source, bool last, IndentEngine& engine,
                                             LineFormatter::Count& count, Emit&& emit) {
    return FormatLines<FormatPath::kFast, kNulEnds>(source, last, engine, count, emit);
}

#if defined(HALVEX_SCAN_AVX2)
template <bool kNulEnds, class Emit>
[[gnu::target("avx2"), gnu::flatten]] std::size_t FormatLinesAvx2(std::string_view source, bool last,
                                                                   IndentEngine& engine, LineFormatter::Count& count,
                                                                   Emit&& emit) {
    return FormatLines<FormatPath::kFast, kNulEnds, true>(source, last, engine, count, emit);
}
#endif

constexpr std::size_t kBlock = 16;

// Copies a formatted line into `out` with memset and memcpy.
void WriteLine(FormatOutput& out, char fill, std::size_t indent, std::string_view line, bool hasBreak) {
    const std::size_t length = indent + line.size() + (hasBreak ? 2 : 0);
    char* const to = out.Room(length);
    std::memset(to, fill, indent);
    std::memcpy(to + indent, line.data(), line.size());
    if (hasBreak) std::memcpy(to + indent + line.size(), "\r\n", 2);
    out.Wrote(length);
}

// The same in whole 16-byte blocks, which the compiler turns into single
// vector moves: the blocks may run past the line (into the output's spare
// bytes, and into the source where it goes on that far), and what runs past
// is overwritten by the next line or never taken. The first 64 bytes of
// indentation and 32 of the line go in fixed blocks, so that no branch
// depends on their lengths, which vary from line to line.
}  // namespace

void WriteLineInBlocks(FormatOutput& out, char fill, const char* sourceEnd, std::size_t indent, std::string_view line,
                       bool hasBreak) {
    static_assert(FormatOutput::kSpare >= 5 * kBlock);
    if (line.data() + line.size() + 2 * kBlock > sourceEnd) return WriteLine(out, fill, indent, line, hasBreak);
    const std::size_t length = indent + line.size() + (hasBreak ? 2 : 0);
    char* const to = out.Room(length);
    static constexpr char kSpaces[kBlock + 1] = "                ";
    static constexpr char kTabs[kBlock + 1] = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
    const char* const fills = fill == '\t' ? kTabs : kSpaces;
    for (std::size_t i = 0; i < 4 * kBlock; i += kBlock) std::memcpy(to + i, fills, kBlock);
    for (std::size_t i = 4 * kBlock; i < indent; i += kBlock) std::memcpy(to + i, fills, kBlock);
    char* const text = to + indent;
    std::memcpy(text, line.data(), kBlock);
    std::memcpy(text + kBlock, line.data() + kBlock, kBlock);
    for (std::size_t i = 2 * kBlock; i < line.size(); i += kBlock) std::memcpy(text + i, line.data() + i, kBlock);
    if (hasBreak) std::memcpy(text + line.size(), "\r\n", 2);
    out.Wrote(length);
}

namespace {

// Collects formatted lines in a buffer of its own and hands them on in
// pieces, so that each line costs a few plain copies and no allocation.
class PieceOutput final : public FormatOutput {
   public:
    // A small text gets a small buffer: twice its size covers the indentation
    // and line breaks of most texts; a longer line makes it grow.
    PieceOutput(const TextSink& sink, std::size_t sourceSize)
        : sink_(sink), size_(std::min(kMaxSize, 2 * sourceSize + 64) + kSpare), buffer_(new char[size_]) {
        cursor_ = buffer_.get();
        limit_ = cursor_ + size_;
    }

    void Flush() {
        if (cursor_ != buffer_.get()) sink_(std::string_view(buffer_.get(), static_cast<std::size_t>(cursor_ - buffer_.get())));
        cursor_ = buffer_.get();
    }

   private:
    static constexpr std::size_t kMaxSize = 256 * 1024;

    void MakeRoom(std::size_t bytes) override {
        Flush();
        if (bytes > size_) {
            buffer_.reset(new char[bytes]);
            size_ = bytes;
            cursor_ = buffer_.get();
        }
        limit_ = buffer_.get() + size_;
    }

    const TextSink& sink_;
    std::size_t size_;
    std::unique_ptr<char[]> buffer_;
};

LineFormatter::Count FormatToSink(std::string_view source, IndentEngine& engine, const TextSink& sink, FormatPath path) {
    PieceOutput out(sink, source.size());
    LineFormatter formatter(engine, out, path);
    formatter.Finish(source);
    out.Flush();
    return {0, formatter.errorLine(), formatter.foundNul()};
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
    const LineFormatter::Count count =
        FormatToSink(source, engine, [&out](std::string_view piece) { out.text.append(piece); }, path);
    out.errorLine = count.errorLine;
    out.holdsNul = count.nul;
    return out;
}

std::uint64_t FormatTextTo(std::string_view source, IndentEngine& engine, const TextSink& sink, FormatPath path) {
    return FormatToSink(source, engine, sink, path).errorLine;
}

LineFormatter::LineFormatter(IndentEngine& engine, FormatOutput& out, FormatPath path)
    : engine_(engine), out_(out), path_(path) {}

std::size_t LineFormatter::Take(std::string_view text) { return lines_.nul ? 0 : Run(text, false); }

void LineFormatter::Finish(std::string_view text) {
    if (!lines_.nul) Run(text, true);
}

std::size_t LineFormatter::Run(std::string_view text, bool last) {
    const char fill = IndentStyle::Of(engine_.settings()).fill;
    if (path_ == FormatPath::kPlain) {
        return FormatLines<FormatPath::kPlain, true>(
            text, last, engine_, lines_,
            [&](std::size_t indent, std::string_view line, SourceLine old) {
                WriteLine(out_, fill, indent, line, old.hasBreak());
                return true;
            });
    }
    const char* const end = text.data() + text.size();
    const auto emit = [&](std::size_t indent, std::string_view line, SourceLine old) {
        WriteLineInBlocks(out_, fill, end, indent, line, old.hasBreak());
        return true;
    };
#if defined(HALVEX_SCAN_AVX2)
    if (HasAvx2()) return FormatLinesAvx2<true>(text, last, engine_, lines_, emit);
#endif
    return FormatLinesFast<true>(text, last, engine_, lines_, emit);
}

std::size_t VisitFormattedLines(std::string_view source, bool last, IndentEngine& engine, LineVisitor& visitor,
                                LineFormatter::Count& count) {
    const auto emit = [&](std::size_t indent, std::string_view line, SourceLine old) {
        return visitor.Visit(old, indent, line);
    };
#if defined(HALVEX_SCAN_AVX2)
    if (HasAvx2()) return FormatLinesAvx2<true>(source, last, engine, count, emit);
#endif
    return FormatLinesFast<true>(source, last, engine, count, emit);
}

void FollowContext(std::string_view textAbove, IndentEngine& engine) {
    if (textAbove.empty()) return;  // no line above: not even an empty one
    const std::int32_t errorState = engine.SwapErrorState(kRecordingOff);
    LineFormatter::Count count;  // a NUL above is text like any other byte there
    FormatLines<FormatPath::kFast, false>(textAbove, true, engine, count, [](std::size_t, std::string_view, SourceLine) { return true; });
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
