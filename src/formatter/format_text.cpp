#include "formatter/format_text.hpp"

#include <cstring>
#include <utility>

#include "text/text.hpp"

namespace halvex {
namespace {

// Finds line ends left to right. The next CR and the next LF are each
// searched for once and remembered, so that a text with one kind of break
// only (lone-CR files included) is still scanned in linear time.
class LineCutter {
   public:
    explicit LineCutter(std::string_view text) : text_(text) {}

    // The end of the line that starts at `from`, and where the next one starts.
    std::pair<std::size_t, std::size_t> Cut(std::size_t from) {
        nextCr_ = Refresh(nextCr_, '\r', from);
        nextLf_ = Refresh(nextLf_, '\n', from);
        if (nextCr_ < nextLf_) {
            const bool crLf = nextLf_ < text_.size() && nextCr_ + 1 == nextLf_;
            return {nextCr_, nextCr_ + (crLf ? 2 : 1)};
        }
        return {nextLf_, nextLf_ < text_.size() ? nextLf_ + 1 : nextLf_};
    }

   private:
    std::size_t Refresh(std::size_t known, char c, std::size_t from) const {
        if (known != kUnknown && known >= from) return known;
        const void* found = std::memchr(text_.data() + from, c, text_.size() - from);
        return found ? static_cast<std::size_t>(static_cast<const char*>(found) - text_.data()) : text_.size();
    }

    static constexpr std::size_t kUnknown = static_cast<std::size_t>(-1);
    std::string_view text_;
    std::size_t nextCr_ = kUnknown;
    std::size_t nextLf_ = kUnknown;
};

}  // namespace

FormattedText FormatText(std::string_view source, IndentEngine& engine) {
    FormattedText out;
    out.text.reserve(source.size() + source.size() / 8 + 16);
    std::uint64_t lineNumber = 0;
    LineCutter cutter(source);
    std::size_t at = 0;
    while (true) {
        const auto [end, next] = cutter.Cut(at);
        const std::string_view line = TrimSpaces(source.substr(at, end - at));
        ++lineNumber;
        const bool hadError = engine.state().formatErrorState == kErrorRecorded;
        out.text.append(static_cast<std::size_t>(engine.IndentLine(line)), ' ');
        out.text.append(line);
        if (!hadError && engine.state().formatErrorState == kErrorRecorded) out.errorLine = lineNumber;
        if (next != end) out.text.append("\r\n");
        at = next;
        if (at == source.size()) break;  // a final line break ends the text: no empty line after it
    }
    return out;
}

}  // namespace halvex
