#include "formatter/format_text.hpp"



#include "text/byte_scan.hpp"
#include "text/text.hpp"

namespace halvex {
namespace {

// The end of the line that starts at `from`: the first CR or LF.
std::size_t LineEnd(std::string_view text, std::size_t from) { return FindFirstOf<'\r', '\n'>(text, from); }

// Where the line after a line ending at `end` starts: after its CR LF, LF or
// lone CR.
std::size_t NextLineStart(std::string_view text, std::size_t end) {
    if (end == text.size()) return end;
    if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') return end + 2;
    return end + 1;
}

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

void AppendLine(std::string& out, std::size_t spaces, std::string_view line, bool hasBreak) {
    out.append(spaces, ' ');
    out.append(line);
    if (hasBreak) out.append("\r\n");
}

}  // namespace

FormattedText FormatText(std::string_view source, IndentEngine& engine) {
    FormattedText out;
    out.text.reserve(source.size() + source.size() / 8 + 16);
    out.errorLine = FormatLines(source, engine, [&out](std::size_t spaces, std::string_view line, bool hasBreak) {
        AppendLine(out.text, spaces, line, hasBreak);
    });
    return out;
}

std::uint64_t FormatTextTo(std::string_view source, IndentEngine& engine, const TextSink& sink) {
    constexpr std::size_t kPiece = 64 * 1024;
    std::string piece;
    piece.reserve(2 * kPiece);
    const std::uint64_t errorLine =
        FormatLines(source, engine, [&](std::size_t spaces, std::string_view line, bool hasBreak) {
            AppendLine(piece, spaces, line, hasBreak);
            if (piece.size() >= kPiece) {
                sink(piece);
                piece.clear();
            }
        });
    if (!piece.empty()) sink(piece);
    return errorLine;
}

}  // namespace halvex
