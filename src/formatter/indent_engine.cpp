#include "formatter/indent_engine.hpp"

#include <algorithm>

#include "text/text.hpp"

namespace halvex {
namespace {

using namespace std::string_view_literals;

bool IsOperator(char c) {
    switch (c) {
        case '=': case '+': case '-': case '*': case '/':
        case '\\': case '(': case '<': case '>': case ',':
            return true;
        default:
            return false;
    }
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Word(std::string_view text, int index) { return FieldAt(text, index, " "sv); }

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
void IndentEngine::BuildAnalysisText(std::string_view line) {
    analysis_.clear();
    bool inString = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            inString = !inString;
            if (!inString) analysis_.push_back('"');
        } else if (inString) {
            continue;
        } else if (c == '\'') {
            break;
        } else if (IsOperator(c)) {
            analysis_.push_back(' ');
            analysis_.push_back(c);
            analysis_.push_back(' ');
        } else if (c == ':') {
            analysis_.append(": ");
        } else if (static_cast<unsigned char>(c) < 0x80) {
            analysis_.push_back(AsciiLower(c));
        } else if (const auto [lower, length] = folds_.Match(line.substr(i)); length != 0) {
            analysis_.push_back(lower);
            i += length - 1;
        } else {
            analysis_.push_back(c);
        }
    }
}

std::int64_t IndentEngine::IndentLine(std::string_view line) {
    BuildAnalysisText(line);
    const std::string_view first = Word(analysis_, 1);
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
    const std::string_view trimmed = TrimSpaces(line);
    const std::int64_t spaces = IndentLine(trimmed);
    std::string result(static_cast<std::size_t>(spaces), ' ');
    result.append(trimmed);
    return result;
}

std::int64_t IndentEngine::IndentEndLine() {
    const std::string_view second = Word(analysis_, 2);
    if (second == "if"sv) {
        LowerLevel(1);
        return SpacesFor(state_.indentLevel);
    }
    if (second == "select"sv) {
        LowerLevel(2);
        return SpacesFor(state_.indentLevel);
    }
    if (TrimSpaces(std::string_view(analysis_)) == "end"sv) return 0;  // a bare END statement
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
    std::string_view rest = analysis_;
    while (true) {
        const std::size_t colon = rest.find(':');
        const std::string_view statement = TrimSpaces(rest.substr(0, colon));
        if (statement.empty()) break;
        state_.indentLevel += state_.pendingIndent;
        state_.pendingIndent = 0;
        ApplyKeyword(statement);
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    const std::int64_t spaces = SpacesFor(state_.indentLevel);
    state_.indentLevel += state_.pendingIndent;
    return spaces;
}

void IndentEngine::ApplyKeyword(std::string_view statement) {
    const std::string_view keyword = Word(statement, 1);
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
