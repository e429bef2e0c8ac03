#include "formatter/format_text.hpp"

#include <algorithm>
#include <cstring>
#include <memory>



#include "text/byte_scan.hpp"
#include "text/text.hpp"

namespace halvex {
namespace {

// Runs the engine over every line of `source` and hands each formatted line
// to `emit(spaces, line, hasBreak)`; returns the line of the END that
// revealed the recorded error, or 0.
template <class Emit>
std::uint64_t FormatLines(std::string_view source, IndentEngine& engine, Emit&& emit) {
    std::uint64_t errorLine = 0;
    std::uint64_t lineNumber = 0;
    std::size_t at = 0;
    while (true) {
        const std::size_t end = LineEnd(source, at);
        const std::size_t next = NextLineStart(source, end);
        const std::string_view line = TrimSpaces(source.substr(at, end - at));
        ++lineNumber;
        const bool hadError = engine.state().formatErrorState == kErrorRecorded;
        emit(static_cast<std::size_t>(engine.IndentLine(line)), line, next != end);
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
    // A small text gets a small buffer: twice its size covers the spaces and
    // line breaks of most texts, and longer pieces are simply handed on.
    PieceWriter(const TextSink& sink, std::size_t sourceSize)
        : sink_(sink), size_(std::min(kMaxSize, 2 * sourceSize + 64)), buffer_(new char[size_]) {}
    ~PieceWriter() { Flush(); }

    void Line(std::size_t spaces, std::string_view line, bool hasBreak) {
        const std::size_t length = spaces + line.size() + (hasBreak ? 2 : 0);
        if (used_ + length > size_) Flush();
        if (length > size_) {  // a line longer than the buffer goes on its own
            sink_(std::string(spaces, ' '));
            sink_(line);
            if (hasBreak) sink_("\r\n");
            return;
        }
        char* out = buffer_.get() + used_;
        std::memset(out, ' ', spaces);
        std::memcpy(out + spaces, line.data(), line.size());
        if (hasBreak) std::memcpy(out + spaces + line.size(), "\r\n", 2);
        used_ += length;
    }

    void Flush() {
        if (used_ != 0) sink_(std::string_view(buffer_.get(), used_));
        used_ = 0;
    }

   private:
    static constexpr std::size_t kMaxSize = 256 * 1024;
    const TextSink& sink_;
    std::size_t size_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

}  // namespace

FormattedText FormatText(std::string_view source, IndentEngine& engine) {
    FormattedText out;
    out.text.reserve(source.size() + source.size() / 8 + 16);
    out.errorLine = FormatTextTo(source, engine, [&out](std::string_view piece) { out.text.append(piece); });
    return out;
}

std::uint64_t FormatTextTo(std::string_view source, IndentEngine& engine, const TextSink& sink) {
    PieceWriter writer(sink, source.size());
    const std::uint64_t errorLine =
        FormatLines(source, engine, [&writer](std::size_t spaces, std::string_view line, bool hasBreak) {
            writer.Line(spaces, line, hasBreak);
        });
    writer.Flush();
    return errorLine;
}

}  // namespace halvex
