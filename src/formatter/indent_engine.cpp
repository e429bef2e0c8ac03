#include "formatter/indent_engine.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "text/text.hpp"

namespace halvex {
namespace {

using namespace std::string_view_literals;

// How the analysis text treats each byte of a line.
enum CharClass : unsigned char {
    kKeep,        // copied as it is
    kUpper,       // an ASCII capital: copied in lower case
    kQuote,       // starts a string literal
    kApostrophe,  // starts a comment
    kOperator,    // one of = + - * / \ ( < > , : copied with a space on both sides
    kColon,       // separates statements: copied with a space after it
    kHigh,        // part of a non-ASCII character: may lower-case to ASCII
};

// ASCII capitals lowered; every other byte as it is.
constexpr std::array<char, 256> kLowerAscii = [] {
    std::array<char, 256> lower{};
    for (int c = 0; c < 256; ++c) lower[c] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower;
}();

constexpr std::array<unsigned char, 256> kCharClasses = [] {
    std::array<unsigned char, 256> classes{};
    for (int c = 'A'; c <= 'Z'; ++c) classes[c] = kUpper;
    for (const char c : std::string_view("=+-*/\\(<>,")) classes[static_cast<unsigned char>(c)] = kOperator;
    classes['"'] = kQuote;
    classes['\''] = kApostrophe;
    classes[':'] = kColon;
    for (int c = 0x80; c < 0x100; ++c) classes[c] = kHigh;
    return classes;
}();

// The first and second words of a text cut at single spaces (empty when
// there is no such word).
//
// Words and statements are short, so a plain loop finds their ends sooner
// than a call to memchr would.
std::size_t FindShort(std::string_view text, char c) {
    std::size_t at = 0;
    while (at < text.size() && text[at] != c) ++at;
    return at;
}

std::string_view FirstWord(std::string_view text) { return text.substr(0, FindShort(text, ' ')); }

std::string_view SecondWord(std::string_view text) {
    const std::size_t space = FindShort(text, ' ');
    return space == text.size() ? std::string_view() : FirstWord(text.substr(space + 1));
}

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

std::int64_t SpacesFor(std::int64_t level) { return level > 0 ? 2 * level : 0; }

}  // namespace

void IndentEngine::StartRun() {
    state_.indentLevel = settings_.baseIndentLevel;
    state_.pendingIndent = 0;
    state_.formatErrorState = settings_.suppressFormatError;
    state_.errorLocation = kMainCode;
    state_.currentRoutine = kMainProgram;
}

// The analysis text: the line lower-cased, with string literals and the
// comment dropped (a complete literal leaves its closing quote), a space on
// both sides of every operator character and one after every colon, so that
// keyword tests are never misled by what a literal or a comment holds.
//
// This runs over every byte of a document, so it writes through a pointer
// into a buffer that only ever grows (a line grows at most threefold).
void IndentEngine::BuildAnalysisText(std::string_view line) {
    if (analysis_.size() < 3 * line.size()) analysis_.resize(std::max(3 * line.size(), 2 * analysis_.size()));
    char* out = analysis_.data();
    const char* p = line.data();
    const char* const end = p + line.size();
    while (p < end) {
        // Runs of letters, digits and spaces are the bulk of every line.
        while (p < end && kCharClasses[static_cast<unsigned char>(*p)] <= kUpper) {
            *out++ = kLowerAscii[static_cast<unsigned char>(*p)];
            ++p;
        }
        if (p == end) break;
        const char c = *p;
        switch (kCharClasses[static_cast<unsigned char>(c)]) {
            case kKeep:
            case kUpper:
                break;  // taken by the loop above
            case kQuote: {
                const void* closing = std::memchr(p + 1, '"', static_cast<std::size_t>(end - p - 1));
                if (closing == nullptr) {
                    p = end;  // an unterminated literal runs to the end of the line
                } else {
                    *out++ = '"';
                    p = static_cast<const char*>(closing) + 1;
                }
                break;
            }
            case kApostrophe:
                p = end;
                break;
            case kOperator:
                out[0] = ' ';
                out[1] = c;
                out[2] = ' ';
                out += 3;
                ++p;
                break;
            case kColon:
                out[0] = ':';
                out[1] = ' ';
                out += 2;
                ++p;
                break;
            case kHigh: {
                const auto [lower, length] = folds_.Match(std::string_view(p, static_cast<std::size_t>(end - p)));
                *out++ = length != 0 ? lower : c;
                p += length != 0 ? length : 1;
                break;
            }
        }
    }
    analysisLength_ = static_cast<std::size_t>(out - analysis_.data());
}

std::int64_t IndentEngine::IndentLine(std::string_view line) {
    BuildAnalysisText(line);
    if (settings_.trimTabs) {  // tabs separate words as spaces do
        std::replace(analysis_.begin(), analysis_.begin() + static_cast<std::ptrdiff_t>(analysisLength_), '\t', ' ');
    }
    const std::string_view first = FirstWord(Analysis());
    if (first == "sub"sv || first == "function"sv) {
        state_.currentRoutine.assign(line);
        return 0;
    }
    if (first == "csub"sv || first == "cfunction"sv || first == "definefont"sv) return 0;
    if (first == "end"sv) return IndentEndLine();
    if (!first.empty() && first.back() == ':') return 0;  // a label
    return IndentOrdinaryLine();
}

std::string IndentEngine::FormatLine(std::string_view line) {
    const std::string_view trimmed = TrimLine(line);
    const std::int64_t spaces = IndentLine(trimmed);
    std::string result(static_cast<std::size_t>(spaces), ' ');
    result.append(trimmed);
    return result;
}

std::int64_t IndentEngine::IndentEndLine() {
    const std::string_view second = SecondWord(Analysis());
    if (second == "if"sv) {
        LowerLevel(1);
        return SpacesFor(state_.indentLevel);
    }
    if (second == "select"sv) {
        LowerLevel(2);
        return SpacesFor(state_.indentLevel);
    }
    if (TrimSpaces(Analysis()) == "end"sv) return 0;  // a bare END statement
    // The end of a routine: the level must be back at the base.
    if (state_.indentLevel != settings_.baseIndentLevel && state_.formatErrorState == 0) {
        state_.formatErrorState = kErrorRecorded;
        state_.errorLocation = state_.currentRoutine;
    }
    state_.currentRoutine = kMainProgram;
    return 0;
}

// An ordinary line: each statement may close blocks before it and open blocks
// after it; a rise takes effect before the next statement of the same line.
std::int64_t IndentEngine::IndentOrdinaryLine() {
    state_.pendingIndent = 0;
    std::string_view rest = Analysis();
    while (true) {
        const std::size_t colon = FindShort(rest, ':');
        const std::string_view statement = TrimSpaces(rest.substr(0, colon));
        if (statement.empty()) break;
        state_.indentLevel += state_.pendingIndent;
        state_.pendingIndent = 0;
        ApplyKeyword(statement);
        if (colon == rest.size()) break;
        rest.remove_prefix(colon + 1);
    }
    const std::int64_t spaces = SpacesFor(state_.indentLevel);
    state_.indentLevel += state_.pendingIndent;
    return spaces;
}

void IndentEngine::ApplyKeyword(std::string_view statement) {
    const std::string_view keyword = FirstWord(statement);
    if (keyword == "if"sv) {
        state_.pendingIndent = EndsWith(statement, " then"sv) ? 1 : 0;
    } else if (keyword == "endif"sv || keyword == "loop"sv || keyword == "wend"sv) {
        LowerLevel(1);
    } else if (keyword == "else"sv || keyword == "elseif"sv || keyword == "case"sv) {
        LowerLevel(1);
        state_.pendingIndent = 1;
    } else if (keyword == "for"sv || keyword == "while"sv) {
        state_.pendingIndent = 1;
    } else if (keyword == "next"sv) {
        LowerLevel(1 + static_cast<std::int64_t>(CountOccurrences(statement, ","sv)));
    } else if (keyword == "do"sv) {
        state_.pendingIndent = statement.find(" loop"sv) == std::string_view::npos ? 1 : 0;
    } else if (keyword == "select"sv) {
        state_.pendingIndent = 2;
    }
}

// Lowers the level by `steps`, one at a time and never below 0: for one step
// or more that is max(level - steps, 0), whatever the level was.
void IndentEngine::LowerLevel(std::int64_t steps) {
    if (steps > 0) state_.indentLevel = std::max<std::int64_t>(state_.indentLevel - steps, 0);
}

}  // namespace halvex
