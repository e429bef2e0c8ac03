#pragma once
// The line indentation engine for the BASIC dialect.
//
// The engine sees the lines of one Format run in order and tells, for each,
// how many spaces go in front of it: two per block level, none for routine
// headers, routine ENDs and labels. It works on the editor's UTF-8 bytes and
// looks only at ASCII keywords and punctuation, so any other byte, valid UTF-8
// or not, passes through untouched.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "text/lower_case.hpp"
#include "text/text.hpp"

namespace halvex {

// The values of the settings file that a Format run depends on.
struct FormatSettings {
    std::int32_t baseIndentLevel = 1;      // "Indent"
    std::int32_t suppressFormatError = 0;  // "Suppress format error"
    bool trimTabs = false;                 // "Trim tabs": a tab counts as a space
    bool selectionContext = false;         // "Selection context": see FollowContext
    // How a level is written (see IndentStyle); the rules never see these.
    std::int32_t indentWidth = 2;          // "Indent width": spaces per level
    std::int32_t useTabs = 0;              // "Use tabs": kTabsPerLevel, kFollowEditor, or spaces
    bool blankLinesEmpty = false;          // "Blank lines": a blank line gets no indentation
};

// The values of "Use tabs" that mean something; any other writes spaces.
inline constexpr std::int32_t kTabsPerLevel = 1;
inline constexpr std::int32_t kFollowEditor = -1;

// Whether the lines are indented with tabs. Tabs that Format writes must be
// read back as indentation, so this turns "Trim tabs" on as well.
inline bool WritesTabs(const FormatSettings& settings) { return settings.useTabs == kTabsPerLevel; }

// formatErrorState: 0 records the next error, 2 means one has been recorded,
// anything else switches recording off for the run.
inline constexpr std::int32_t kErrorRecorded = 2;
inline constexpr std::int32_t kRecordingOff = 1;

inline constexpr std::string_view kMainCode = "Main code";
inline constexpr std::string_view kMainProgram = "Main program";

// The engine's state between lines. Levels are 64-bit so that no "Indent"
// value and no text, however deep its blocks, can overflow them.
struct FormatterState {
    std::int64_t indentLevel = 0;
    std::int64_t pendingIndent = 0;
    std::int32_t formatErrorState = 0;
    std::string errorLocation;   // the routine header named by a recorded error
    std::string currentRoutine;  // the header line of the routine being formatted
};

// What a scan of a line found that can spare the engine its analysis text.
// Up to the first quote, apostrophe or byte of a non-ASCII character, nothing
// can hide a word or a colon, so the rules can read the line itself there:
// they cut it into statements at its colons, as they cut the analysis text.
struct LineFacts {
    std::size_t plainLength = 0;  // bytes at the start of the line before any such byte
    bool colon = true;            // whether a colon comes anywhere in the line
};

// Facts that are right for every line: the rules read the analysis text.
inline constexpr LineFacts kAnalyzeLine{};

// The facts of a line (without its line break), found byte by byte.
LineFacts FactsOfLine(std::string_view line);

// A word that the rules act on. Those that only start a line come first, up
// to kEnd.
enum class Keyword : unsigned char {
    kNone, kSub, kFunction, kCsub, kCfunction, kDefinefont, kEnd, kIf, kEndif, kLoop, kWend, kElse, kElseif,
    kCase, kFor, kWhile, kNext, kDo, kSelect, kThen,
};

// A word of a rule text (see the engine) and the keyword it is.
struct Word {
    std::string_view text;
    Keyword keyword;
};

class IndentEngine {
   public:
    // "Trim tabs" (and "Use tabs", which implies it) is read here, once; the
    // other settings as each run starts.
    IndentEngine(FormatterState& state, const FormatSettings& settings, const LowerCaseFolds& folds);

    // Sets the state for a new run. Every run starts in the main program, so
    // an error is never blamed on a routine of an earlier run.
    void StartRun();

    // The number of spaces that go in front of the line, which has no line
    // break and has been through TrimLine; moves the state on to the next line.
    std::int64_t IndentLine(std::string_view trimmedLine) { return IndentLine(trimmedLine, FactsOfLine(trimmedLine)); }
    // The same for a line whose facts the caller has found.
    std::int64_t IndentLine(std::string_view trimmedLine, LineFacts facts);

    // The line trimmed by TrimLine, with its new indentation in front.
    std::string FormatLine(std::string_view line);

    // The line without the blanks at its ends that Format removes: spaces,
    // and tabs as well with "Trim tabs".
    std::string_view TrimLine(std::string_view line) const {
        return trimTabs_ ? TrimSpacesAndTabs(line) : TrimSpaces(line);
    }

    bool trimsTabs() const { return trimTabs_; }
    const FormatSettings& settings() const { return settings_; }

    // Sets formatErrorState for the rest of the run; returns the state it had.
    std::int32_t SwapErrorState(std::int32_t errorState) {
        return std::exchange(state_.formatErrorState, errorState);
    }

    const FormatterState& state() const { return state_; }

    // Makes room for lines up to `bytes` long, so that the lines that follow
    // allocate nothing (the state's routine included).
    void Reserve(std::size_t bytes);

   private:
    std::string_view BuildAnalysisText(std::string_view line, std::size_t plain);
    // The indentation of a line from its rule text and the text's first word.
    std::int64_t IndentRuleText(std::string_view line, std::string_view text, Word first, bool colon);
    // A line whose first word, "end", ends at `firstEnd`.
    std::int64_t IndentEndLine(std::string_view text, std::size_t firstEnd);
    // Kept out of IndentRuleText, which then needs no stack frame for the
    // lines that end in it (labels, routine headers and ends).
    [[gnu::noinline]] std::int64_t IndentOrdinaryLine(std::string_view text, Keyword first, bool colon);
    void ApplyStatements(std::string_view text);
    void ApplyKeyword(Keyword keyword, std::string_view statement);
    // IF, DO and NEXT, which read their statement: out of line, so that only
    // their statements pay for its stack frame.
    [[gnu::noinline]] void ApplyStatementKeyword(Keyword keyword, std::string_view statement);
    void LowerLevel(std::int64_t steps);

    FormatterState& state_;
    const FormatSettings& settings_;
    const LowerCaseFolds& folds_;
    bool trimTabs_;                          // a tab counts as a space
    const std::array<bool, 256>* wordEnds_;  // the bytes that end a word
    std::string analysis_;                   // working buffer, reused from line to line
    bool analysisColon_ = false;             // whether the analysis text holds a colon
};

}  // namespace halvex
