#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <string_view>
#include <vector>

#include "formatter/indent_engine.hpp"

namespace halvex {
namespace {

using Lines = std::vector<std::string>;

struct EngineRun {
    Lines output;
    FormatterState state;
};

EngineRun FormatLines(const Lines& lines, FormatSettings settings = {}) {
    const LowerCaseFolds folds;
    EngineRun run;
    IndentEngine engine(run.state, settings, folds);
    engine.StartRun();
    for (const std::string& line : lines) run.output.push_back(engine.FormatLine(line));
    return run;
}

// The same with every line read through its analysis text, as the plain
// format path reads it; FormatLine reads plain lines as they are.
Lines IndentsByAnalysis(const Lines& lines) {
    const LowerCaseFolds folds;
    const FormatSettings settings;
    FormatterState state;
    IndentEngine engine(state, settings, folds);
    engine.StartRun();
    Lines output;
    for (const std::string& line : lines) {
        const std::string_view trimmed = engine.TrimLine(line);
        output.push_back(std::string(static_cast<std::size_t>(engine.IndentLine(trimmed, kAnalyzeLine)), ' ') +
                         std::string(trimmed));
    }
    return output;
}

// Each line of `want` is the expected output; the input is `want` with its
// indentation removed. Every case also runs on its own output, which must
// come back unchanged, and through the analysis text of every line.
struct Case {
    const char* name;
    Lines want;
    std::int64_t levelAfter = 1;
};

Lines StripIndent(const Lines& lines) {
    Lines stripped;
    for (const std::string& line : lines) stripped.push_back(line.substr(line.find_first_not_of(' ') == std::string::npos ? line.size() : line.find_first_not_of(' ')));
    return stripped;
}

void CheckCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        const EngineRun fromStripped = FormatLines(StripIndent(c.want));
        EXPECT_EQ(fromStripped.output, c.want) << c.name;
        EXPECT_EQ(fromStripped.state.indentLevel, c.levelAfter) << c.name;
        EXPECT_EQ(FormatLines(c.want).output, c.want) << c.name << " (formatted again)";
        EXPECT_EQ(IndentsByAnalysis(StripIndent(c.want)), c.want) << c.name << " (by the analysis text)";
    }
}

TEST(IndentEngine, WorkedExample) {
    const Lines lines = {"' demo", "DIM a(10)", "FOR i = 1 TO 10", "a(i) = i * 2", "IF a(i) > 5 THEN", "PRINT a(i)",
                         "ELSE", "PRINT i", "END IF", "NEXT i", "SELECT CASE x", "CASE 1", "PRINT x", "CASE ELSE",
                         "PRINT 0", "END SELECT", "start:", "SUB Show(n)", "DO WHILE n > 0", "n = n - 1", "LOOP",
                         "END SUB"};
    const std::vector<int> spaces = {2, 2, 2, 4, 4, 6, 4, 6, 4, 2, 2, 4, 6, 4, 6, 2, 0, 0, 2, 4, 2, 0};
    const std::vector<int> levels = {1, 1, 2, 2, 3, 3, 3, 3, 2, 1, 3, 3, 3, 3, 3, 1, 1, 1, 2, 2, 1, 1};
    const LowerCaseFolds folds;
    FormatterState state;
    const FormatSettings settings;
    IndentEngine engine(state, settings, folds);
    engine.StartRun();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(engine.FormatLine(lines[i]), std::string(spaces[i], ' ') + lines[i]) << lines[i];
        EXPECT_EQ(state.indentLevel, levels[i]) << lines[i];
    }
    EXPECT_EQ(state.formatErrorState, 0);
    EXPECT_EQ(state.errorLocation, "Main code");
}

TEST(IndentEngine, WorkedExampleSecondRunRecordsTheUnclosedFor) {
    const EngineRun run = FormatLines({"FUNCTION Twice(v)", "FOR i = 1 TO 2", "Twice = v * 2", "END FUNCTION", "PRINT Twice(3)"});
    EXPECT_EQ(run.output, (Lines{"FUNCTION Twice(v)", "  FOR i = 1 TO 2", "    Twice = v * 2", "END FUNCTION",
                                 "    PRINT Twice(3)"}));
    EXPECT_EQ(run.state.formatErrorState, kErrorRecorded);
    EXPECT_EQ(run.state.errorLocation, "FUNCTION Twice(v)");
    EXPECT_EQ(run.state.currentRoutine, "Main program");
}

TEST(IndentEngine, BlocksAndLineClasses) {
    CheckCases({
        {"blank lines take the current indentation", {"  ", "  FOR i = 1 TO 2", "    ", "  NEXT"}},
        {"comment line", {"  ' FOR i = 1 TO 9", "  x = 1"}},
        {"keywords in string literals", {"  PRINT \"NEXT : FOR\"", "  x = 1"}},
        {"colon in a literal does not split", {"  IF a THEN PRINT \"x: FOR\"", "  y = 1"}},
        {"apostrophe in a literal is no comment", {"  PRINT \"it's\" : FOR i = 1 TO 2", "    x = i", "  NEXT"}},
        {"unterminated literal hides the rest", {"  PRINT \"abc : FOR i = 1 TO 3", "  x = 1"}},
        {"any letter case", {"  For i = 1 TO 2", "    if a Then", "      x = 1", "    End If", "  next"}},
        {"one-line IF opens no block", {"  IF a THEN PRINT a", "  x = 1"}},
        {"IF ... THEN with a comment opens a block", {"  IF a THEN ' note", "    x = 1", "  ENDIF"}},
        {"IF ... THEN : statement opens a block on its own line", {"  x = 0", "    IF a THEN : PRINT a", "    y = 1", "  END IF"}},
        {"ELSEIF", {"  IF a THEN", "    x = 1", "  ELSEIF b THEN", "    x = 2", "  ELSE", "    x = 3", "  ENDIF"}},
        {"CASE with a statement on its line", {"  SELECT CASE x", "    CASE 0", "      y = 0", "      CASE 1 : y = 1",
                                               "      z = 2", "  END SELECT"}},
        {"IF directly closed", {"  IF a THEN", "  END IF", "  x = 1"}},
        {"ENDIF directly closed", {"  IF a THEN", "  ENDIF", "  x = 1"}},
        {"CASE directly closed", {"  SELECT CASE x", "    CASE 1", "  END SELECT", "  y = 1"}},
        {"NEXT with two variables closes two levels", {"  FOR i = 1 TO 2", "    FOR j = 1 TO 2", "      x = i * j",
                                                       "  NEXT j, i", "  y = 1"}},
        {"a closer at level 0 stays at 0", {"NEXT", "LOOP", "WEND", "END IF"}, 0},
        {"DO ... LOOP on one line", {"  DO : x = x + 1 : LOOP UNTIL x > 9", "  y = 1"}},
        {"DO WHILE with a word starting loop", {"  DO WHILE loopcount < 5", "  x = 1"}},
        {"WHILE ... WEND", {"  WHILE x < 3", "    x = x + 1", "  WEND"}},
        {"FOR with a statement raises its own line", {"  x = 0", "    FOR i = 1 TO 3 : PRINT i", "    y = i", "  NEXT"}},
        {"FOR ... NEXT on one line", {"  FOR i = 1 TO 3 : PRINT i : NEXT", "  y = 1"}},
        {"labels stand at the margin", {"start:", "CLS:PRINT", "  FOR i = 1 TO 2", "loop1:", "  NEXT"}},
        {"a tab hides the keyword", {"  \tFOR i = 1 TO 2", "  x = 1"}},
        {"bare END", {"  FOR i = 1 TO 2", "END", "    x = 1", "  NEXT"}},
        {"END followed by a comment is bare", {"END ' stop here", "  x = 1"}},
        {"an empty statement stops the analysis", {"  FOR i = 1 TO 3 : : NEXT", "    x = 1"}, 2},
        {"a line starting with an operator", {"  -1", "  x = 1"}},
        {"CSUB bodies are ordinary lines", {"CSUB Fast", "  00000000", "END CSUB", "  x = 1"}},
        {"DEFINEFONT", {"DEFINEFONT #8", "  00020000", "END DEFINEFONT"}},
        // Plain lines, read without their analysis text:
        {"LOOP right after an operator", {"  DO WHILE x<loop", "  y = 1"}},
        {"THEN right after an operator", {"  IF x>THEN", "    y = 1", "  END IF"}},
        {"a colon ends the first word", {"  FOR i = 1 TO 2", "END:x = 1", "    y = 1", "  NEXT"}},
        {"statements cut at colons", {"  x = 1:FOR i = 1 TO 2", "    y = 1", "  NEXT"}},
        {"commas of a mixed-case NEXT", {"  FOR i = 1 TO 2", "    FOR j = 1 TO 2", "  Next j,i"}},
    });
}

TEST(IndentEngine, ReturnedLineKeepsItsOwnCharacters) {
    const EngineRun run = FormatLines({"   Print  \"A  b\"   ' Note  ", "\tx = 1\t"});
    EXPECT_EQ(run.output, (Lines{"  Print  \"A  b\"   ' Note", "  \tx = 1\t"}));
    // "Trim tabs" removes tabs at the ends only: in code, literals and comments they stay.
    const EngineRun trimmed = FormatLines({" \t Print\t\"A\tb\" \t' N\tote\t \t"}, {1, 0, true});
    EXPECT_EQ(trimmed.output, (Lines{"  Print\t\"A\tb\" \t' N\tote"}));
}

// With "Trim tabs" a program indented with tabs, with tabs and spaces mixed,
// or with tabs after its keywords formats as the same program written with
// spaces; without it, a tab still hides every keyword behind it.
TEST(IndentEngine, TrimTabsFormatsTabIndentedCodeAsSpaceIndentedCode) {
    struct Line { std::size_t spaces; std::string code; };  // the code with tabs after its keywords
    const std::vector<Line> program = {
        {0, "SUB Show(n)"}, {2, "FOR\ti = 1 TO n"}, {4, "IF\tx > 1\tTHEN\t' note"}, {6, "SELECT\tCASE n"},
        {8, "CASE\t1"}, {10, "PRINT \"a\"\t:\ty = 1"}, {6, "END\tSELECT"}, {4, "ELSE"},
        {6, "DO WHILE\tx < 5"}, {8, "x = x - 1"}, {6, "LOOP"}, {4, "END\tIF"}, {2, "NEXT\ti"},
        {0, "END\tSUB"}, {2, "x = 1"},
    };
    Lines want, tabsOnly, mixed, tabsAfterKeywords, wantTabsAfterKeywords, wantOptionOff;
    for (const Line& line : program) {
        std::string code = line.code;
        std::replace(code.begin(), code.end(), '\t', ' ');
        const std::string indent(line.spaces, ' ');
        const std::string tabs(line.spaces / 2, '\t');
        want.push_back(indent + code);
        tabsOnly.push_back(tabs + code + "\t");
        mixed.push_back(" \t" + tabs + " " + code + " \t ");
        tabsAfterKeywords.push_back(tabs + line.code);
        wantTabsAfterKeywords.push_back(indent + line.code);
        wantOptionOff.push_back((line.spaces == 0 ? "" : "  ") + tabs + code + "\t");
    }
    const FormatSettings trimTabs{1, 0, true};
    EXPECT_EQ(FormatLines(tabsOnly, trimTabs).output, want);
    EXPECT_EQ(FormatLines(mixed, trimTabs).output, want);
    EXPECT_EQ(FormatLines(tabsAfterKeywords, trimTabs).output, wantTabsAfterKeywords);
    EXPECT_EQ(FormatLines(tabsOnly).output, wantOptionOff);
}

TEST(IndentEngine, RoutineEndsCheckTheLevel) {
    struct Case {
        const char* name;
        Lines lines;
        FormatSettings settings;
        std::int32_t errorState;
        std::string location;
    };
    const std::vector<Case> cases = {
        {"balanced routine", {"SUB A", "  x = 1", "END SUB"}, {}, 0, "Main code"},
        {"unclosed IF", {"SUB A ' first", "IF a THEN", "END SUB"}, {}, 2, "SUB A ' first"},
        {"only the first error counts", {"SUB A", "FOR i = 1 TO 2", "END SUB", "SUB B", "DO", "END SUB"}, {}, 2, "SUB A"},
        {"error before any routine names the main program", {"FOR i = 1 TO 2", "END SUB"}, {}, 2, "Main program"},
        {"END  IF with two spaces ends a routine", {"SUB A", "IF a THEN", "END  IF"}, {}, 2, "SUB A"},
        {"END IF: ends a routine", {"SUB A", "IF a THEN", "END IF:"}, {}, 2, "SUB A"},
        {"END=IF ends a routine: an operator parts no words", {"SUB A", "IF a THEN", "END=IF"}, {}, 2, "SUB A"},
        {"a header after a tab names the routine", {"\tSUB A\t", "\tDO", "\tEND\tSUB"}, {1, 0, true}, 2, "SUB A"},
        {"recording switched off", {"SUB A", "IF a THEN", "END SUB"}, {1, 1}, 1, "Main code"},
        {"state 2 from the start", {"SUB A", "END SUB"}, {1, 2}, 2, "Main code"},
        {"base level 0", {"SUB A", "FOR i = 1 TO 2", "NEXT", "END SUB"}, {0, 0}, 0, "Main code"},
        {"base level 3, off by one", {"SUB A", "NEXT", "END SUB"}, {3, 0}, 2, "SUB A"},
    };
    for (const Case& c : cases) {
        const EngineRun run = FormatLines(c.lines, c.settings);
        EXPECT_EQ(run.state.formatErrorState, c.errorState) << c.name;
        EXPECT_EQ(run.state.errorLocation, c.location) << c.name;
    }
}

TEST(IndentEngine, ErrorLeavesTheLevelAsItWas) {
    const EngineRun run = FormatLines({"SUB A", "FOR i = 1 TO 2", "END SUB", "x = 1", "SUB B", "FOR j = 1 TO 2", "END SUB"});
    EXPECT_EQ(run.output[3], "    x = 1");
    EXPECT_EQ(run.state.errorLocation, "SUB A");
    EXPECT_EQ(run.state.indentLevel, 3);
}

TEST(IndentEngine, EveryRunStartsInTheMainProgram) {
    const LowerCaseFolds folds;
    FormatterState state;
    const FormatSettings settings;
    IndentEngine engine(state, settings, folds);
    engine.StartRun();
    engine.FormatLine("SUB Left(x)");  // the run ends inside the routine
    engine.StartRun();
    engine.FormatLine("FOR i = 1 TO 2");
    engine.FormatLine("END SUB");
    EXPECT_EQ(state.errorLocation, "Main program");
}

TEST(IndentEngine, LevelsCannotOverflowWhateverTheBase) {
    const LowerCaseFolds folds;
    FormatterState state;
    FormatSettings settings{INT32_MAX, 0};
    IndentEngine engine(state, settings, folds);
    engine.StartRun();
    EXPECT_EQ(engine.IndentLine("FOR i = 1 TO 2"), 2 * std::int64_t{INT32_MAX});
    EXPECT_EQ(engine.IndentLine("FOR j = 1 TO 2 : SELECT CASE j"), 2 * (std::int64_t{INT32_MAX} + 2));
    EXPECT_EQ(state.indentLevel, std::int64_t{INT32_MAX} + 4);

    settings = {INT32_MIN, 0};
    engine.StartRun();
    EXPECT_EQ(engine.IndentLine("x = 1"), 0);  // a negative level gives no spaces
    EXPECT_EQ(engine.IndentLine("NEXT " + std::string(1000, ',')), 0);
    EXPECT_EQ(state.indentLevel, 0);  // a closer lifts it to 0
}

TEST(IndentEngine, NonAsciiBytesPassThroughAndFoldLikeWindows) {
    CheckCases({
        {"invalid UTF-8 is kept", {"  PRINT \"caf\xE9\" ' \xFF", "  x\xE9 = 1"}},
        {"dotted capital I lowers to i", {"  \xC4\xB0" "F a THEN", "    x = 1", "  END \xC4\xB0" "F"}},
        {"a letter with accent is no keyword", {"  F\xC3\x93R i = 1 TO 2", "  x = 1"}},
    });
}

}  // namespace
}  // namespace halvex

