// Properties that hold for every input, checked over many generated programs
// and random byte mutations of them:
//   1. formatting changes nothing but the spaces at both ends of each line and
//      the line breaks;
//   2. the number of lines, as Scintilla counts them, is unchanged;
//   3. formatting a formatted text changes nothing;
//   4. every line break of the result is CR LF;
//   5. the settings reader and the shortcut parser give sound values for any
//      bytes;
//   6. an indentation style changes only how each level is written.
// The statements of the properties (line splitting, number reading) come from
// reference.hpp, written independently of the code under test.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "cli.hpp"
#include "fake_scintilla.hpp"
#if HALVEX_REAL_SCINTILLA
#include "real_scintilla.hpp"
#endif
#include "formatter/format_command.hpp"
#include "formatter/format_runs.hpp"
#include "formatter/format_text.hpp"
#include "program_generator.hpp"
#include "reference.hpp"
#include "shell/settings.hpp"
#include "text/utf8.hpp"
#include "whole_text_write_back.hpp"

namespace halvex {
namespace {

using namespace std::string_view_literals;
using testing::FakeScintilla;
using testing::LengthConvention;
using Random = std::mt19937_64;
using reference::FirstBareBreak;
using reference::IsBlank;
using reference::Latin1;
using reference::LeadingNumber;
using reference::Restyle;
using reference::ScintillaLineCount;
using reference::SplitLines;
using reference::StrippedLines;

// ---------------------------------------------------------------------------
// The samples: generated programs and mutations of them

struct Sample {
    std::string name;
    std::string text;
    FormatSettings settings;
};

std::size_t Pick(Random& random, std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); }

// One random change at a random place of the text.
struct Mutation {
    const char* name;
    std::function<void(std::string&, std::size_t at, Random&)> apply;
};

void InsertAt(std::string& text, std::size_t at, std::string_view bytes) { text.insert(at, bytes); }

const std::vector<Mutation>& Mutations() {
    static const std::vector<Mutation> kMutations = {
        {"lone CR", [](std::string& t, std::size_t at, Random&) { InsertAt(t, at, "\r"); }},
        {"LF", [](std::string& t, std::size_t at, Random&) { InsertAt(t, at, "\n"); }},
        {"CR CR LF", [](std::string& t, std::size_t at, Random&) { InsertAt(t, at, "\r\r\n"); }},
        {"LF CR", [](std::string& t, std::size_t at, Random&) { InsertAt(t, at, "\n\r"); }},
        {"invalid UTF-8",
         [](std::string& t, std::size_t at, Random& r) {
             constexpr std::string_view kBad[] = {"\x80", "\xC0\xAF", "\xC3", "\xFF", "\xED\xA0\x80", "\xE2\x82",
                                                  "\xF4\x90\x80\x80", "\xF0\x9F\x98", "\xFE\xFE"};
             InsertAt(t, at, kBad[Pick(r, std::size(kBad))]);
         }},
        {"folding characters", [](std::string& t, std::size_t at, Random& r) {
             InsertAt(t, at, Pick(r, 2) ? "\xC4\xB0" "F x THEN" : "N\xE2\x84\xAA" "XT");  // U+0130, U+212A
         }},
        {"tab", [](std::string& t, std::size_t at, Random&) { InsertAt(t, at, "\t"); }},
        {"quote", [](std::string& t, std::size_t at, Random&) { InsertAt(t, at, "\""); }},
        {"colon", [](std::string& t, std::size_t at, Random&) { InsertAt(t, at, ":"); }},
        {"apostrophe", [](std::string& t, std::size_t at, Random&) { InsertAt(t, at, "'"); }},
        {"spaces",
         [](std::string& t, std::size_t at, Random& r) { InsertAt(t, at, std::string(1 + Pick(r, 40), ' ')); }},
        {"long line", [](std::string& t, std::size_t at, Random& r) {
             std::string line;
             for (std::size_t i = 0, n = 200 + Pick(r, 400); i < n; ++i) {
                 line += Pick(r, 2) ? "FOR i = 1 TO 2 : " : "x ";
             }
             InsertAt(t, at, line);
         }},
        {"block keyword line", [](std::string& t, std::size_t at, Random& r) {
             constexpr std::string_view kLines[] = {
                 "\r\nEND SUB\r\n", "\nNEXT a, b, c\n", "\nSELECT CASE x\n", "\nEND SELECT\n", "\r\nDO\r\n",
                 "\rLOOP\r", "\nEND IF\n", "\nlabel:\n", "\nSUB X\n", "\nEND\n", "\n  ELSE  \n", "\nCASE 3\n",
                 "\nIF a THEN\n", "\nWHILE 1\n", "\nWEND\n", "\nEND FUNCTION\n", "\nFUNCTION F(x)\n"};
             InsertAt(t, at, kLines[Pick(r, std::size(kLines))]);
         }},
        {"delete bytes", [](std::string& t, std::size_t at, Random& r) { t.erase(at, 1 + Pick(r, 12)); }},
        {"random byte", [](std::string& t, std::size_t at, Random& r) {
             InsertAt(t, at, std::string(1, static_cast<char>(1 + Pick(r, 255))));  // never NUL
         }},
    };
    return kMutations;
}

std::string Mutate(std::string text, Random& random, std::string& names) {
    for (std::size_t count = 1 + Pick(random, 8); count > 0; --count) {
        const Mutation& mutation = Mutations()[Pick(random, Mutations().size())];
        mutation.apply(text, Pick(random, text.size() + 1), random);
        names += std::string(" +") + mutation.name;
    }
    return text;
}

FormattedText Format(std::string_view source, const FormatSettings& settings, FormatterState* stateOut = nullptr,
                     FormatPath path = FormatPath::kFast) {
    const LowerCaseFolds folds;
    FormatterState state;
    IndentEngine engine(state, settings, folds);
    engine.StartRun();
    FormattedText result = FormatText(source, engine, path);
    if (stateOut != nullptr) *stateOut = state;
    return result;
}

// A formatted program of some 170 KB with a few lines put out of place, some
// with an LF end, and in most a block of lines or a stretch of some 400 lines
// every other line: the write-back writes the few runs apart and, where a
// stretch makes that too costly, joins them across the lines between.
std::string SparselyChanged(std::uint64_t seed) {
    Random random(seed);
    const std::string tidy = Format(bench::GenerateProgram({.lines = 7000, .seed = seed, .messUp = false}), {}).text;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at < tidy.size(); at = end + 2) {
        end = tidy.find("\r\n", at);
        lines.push_back(tidy.substr(at, end - at));
    }
    const auto indent = [&](std::size_t first, std::size_t count, std::size_t step) {
        for (std::size_t line = first; line < std::min(first + count, lines.size()); line += step) {
            lines[line].insert(0, 1 + Pick(random, 3), ' ');
        }
    };
    for (std::size_t n = 3 + Pick(random, 8); n > 0; --n) indent(Pick(random, lines.size()), 1, 1);
    if (seed % 3 != 0) indent(Pick(random, lines.size() - 800), seed % 3 == 1 ? 120 : 700 + Pick(random, 100), seed % 3);
    std::string text;
    for (const std::string& line : lines) text += line + (Pick(random, 500) ? "\r\n" : "\n");
    return text;
}

const std::vector<Sample>& Samples() {
    static const std::vector<Sample> kSamples = [] {
        std::vector<Sample> samples;
        for (const std::string_view edge : {""sv, "\r"sv, "\n"sv, "\r\n"sv, "\n\r"sv, "\r\r"sv, " "sv, "  \r  \n  "sv,
                                            "x"sv, "\t"sv, "\xEF\xBB\xBF"sv, "SUB A\rFOR i=1 TO 2\rEND SUB"sv}) {
            samples.push_back({"edge case", std::string(edge), {}});
        }
        for (std::uint64_t seed = 1; seed <= 300; ++seed) {
            bench::GeneratorOptions options;
            options.seed = seed;
            options.lines = 8 + seed * 37 % 150;
            options.crlf = seed % 2 == 0;
            options.messUp = seed % 3 != 0;
            const FormatSettings settings{static_cast<std::int32_t>(seed % 5) - 1, static_cast<std::int32_t>(seed % 3)};
            const std::string program = bench::GenerateProgram(options);
            const std::string name = "seed " + std::to_string(seed);
            samples.push_back({name, program, settings});
            Random random(seed);
            for (int variant = 0; variant < 3; ++variant) {
                std::string names;
                std::string text = Mutate(program, random, names);
                samples.push_back({name + names, std::move(text), settings});
            }
        }
        for (std::uint64_t seed = 1; seed <= 6; ++seed) {
            samples.push_back({"sparse changes, seed " + std::to_string(seed), SparselyChanged(seed), {}});
        }
        return samples;
    }();
    return kSamples;
}

TEST(FormatProperties, SamplesHoldNoNulAndExerciseEveryKindOfBreak) {
    // The properties below are only as good as the samples: they must reach
    // lone CRs, bare LFs and CR LFs, and the pipeline must accept them.
    bool loneCr = false, bareLf = false, crLf = false;
    for (const Sample& sample : Samples()) {
        ASSERT_EQ(sample.text.find('\0'), std::string::npos) << sample.name;
        for (std::size_t i = 0; i < sample.text.size(); ++i) {
            const bool cr = sample.text[i] == '\r', nextLf = i + 1 < sample.text.size() && sample.text[i + 1] == '\n';
            loneCr |= cr && !nextLf;
            crLf |= cr && nextLf;
            bareLf |= sample.text[i] == '\n' && (i == 0 || sample.text[i - 1] != '\r');
        }
    }
    EXPECT_TRUE(loneCr);
    EXPECT_TRUE(bareLf);
    EXPECT_TRUE(crLf);
    EXPECT_GT(Samples().size(), 1000u);
}

TEST(FormatProperties, OnlySpacesAtLineEndsAndLineBreaksChange) {
    for (const Sample& sample : Samples()) {
        const std::string out = Format(sample.text, sample.settings).text;
        EXPECT_EQ(StrippedLines(out), StrippedLines(sample.text)) << sample.name;
        if (HasFailure()) break;
    }
}

TEST(FormatProperties, LineCountIsUnchanged) {
    for (const Sample& sample : Samples()) {
        const std::string out = Format(sample.text, sample.settings).text;
        EXPECT_EQ(ScintillaLineCount(out), ScintillaLineCount(sample.text)) << sample.name;
        if (HasFailure()) break;
    }
}

TEST(FormatProperties, FormattingTwiceChangesNothing) {
    for (const Sample& sample : Samples()) {
        FormatterState firstState, secondState;
        const FormattedText once = Format(sample.text, sample.settings, &firstState);
        const FormattedText twice = Format(once.text, sample.settings, &secondState);
        EXPECT_EQ(twice.text, once.text) << sample.name;
        // The same lines give the same verdict.
        EXPECT_EQ(twice.errorLine, once.errorLine) << sample.name;
        EXPECT_EQ(secondState.errorLocation, firstState.errorLocation) << sample.name;
        if (HasFailure()) break;
    }
}

TEST(FormatProperties, EveryLineBreakIsCrLf) {
    for (const Sample& sample : Samples()) {
        const std::string out = Format(sample.text, sample.settings).text;
        EXPECT_EQ(FirstBareBreak(out), std::string::npos) << sample.name;
        if (HasFailure()) break;
    }
}

// The fast path reads most lines without their analysis text; the plain one
// analyses every line. Both must leave the same text and the same state,
// with "Trim tabs" and without, and stop at the same line for a NUL put at
// the first byte, the last, inside a 16-byte block of a line, and at either
// side of the edges of its first two blocks.
TEST(FormatProperties, FastPathFormatsAsThePlainOne) {
    for (const Sample& sample : Samples()) {
        const std::size_t line = sample.text.find('\n', sample.text.size() / 2) + 1;  // 0 when none
        for (const std::size_t nulAt : {std::string::npos, std::size_t{0}, sample.text.size() - 1, line + 5, line + 15,
                                        line + 16, line + 31, line + 32}) {
            std::string text = sample.text;
            if (nulAt < text.size()) text[nulAt] = '\0';
            const std::string name = sample.name + (nulAt < text.size() ? ", NUL at " + std::to_string(nulAt) : "");
            for (const bool trimTabs : {false, true}) {
                FormatSettings settings = sample.settings;
                settings.trimTabs = trimTabs;
                FormatterState fastState, plainState;
                const FormattedText fast = Format(text, settings, &fastState, FormatPath::kFast);
                const FormattedText plain = Format(text, settings, &plainState, FormatPath::kPlain);
                EXPECT_EQ(fast.text, plain.text) << name << (trimTabs ? " (trim tabs)" : "");
                EXPECT_EQ(fast.errorLine, plain.errorLine) << name;
                EXPECT_EQ(fast.holdsNul, nulAt < text.size()) << name;
                EXPECT_EQ(plain.holdsNul, fast.holdsNul) << name;
                EXPECT_EQ(fastState.indentLevel, plainState.indentLevel) << name;
                EXPECT_EQ(fastState.errorLocation, plainState.errorLocation) << name;
            }
        }
        if (HasFailure()) break;
    }
}

TEST(FormatProperties, IndentationIsSpacesOnlyAndEven) {
    // What the format puts in front of a line is two spaces per level, and
    // no line it keeps starts with a space: every line starts with an even
    // number of spaces.
    for (const Sample& sample : Samples()) {
        const std::string out = Format(sample.text, sample.settings).text;
        for (const std::string_view line : SplitLines(out)) {
            const std::size_t spaces = std::min(line.find_first_not_of(' '), line.size());
            EXPECT_EQ(spaces % 2, 0u) << sample.name << ": " << line;
        }
        if (HasFailure()) break;
    }
}

// Each style writes the default output's levels its own way, nothing else,
// and is stable; so a well-indented tab-indented program formats to itself.
TEST(FormatProperties, StyleRewritesOnlyTheLevelsAndIsStable) {
    struct Style { const char* name; std::int32_t width, tabs; bool blank; char fill; std::size_t perLevel; };
    for (const Style& style : {Style{"four spaces", 4, 0, false, ' ', 4}, Style{"tabs", 2, 1, false, '\t', 1},
                               Style{"one space, blank lines empty", 1, 0, true, ' ', 1},
                               Style{"tabs, blank lines empty", 8, 1, true, '\t', 1}}) {
        for (const Sample& sample : Samples()) {
            FormatSettings settings = sample.settings;
            settings.trimTabs = style.tabs == 1;  // as tabs are read back: the plain output to compare with
            const std::string plain = Format(sample.text, settings).text;
            std::tie(settings.indentWidth, settings.useTabs, settings.blankLinesEmpty) =
                std::tie(style.width, style.tabs, style.blank);
            const std::string styled = Format(sample.text, settings).text;
            EXPECT_EQ(styled, Restyle(plain, style.fill, style.perLevel, settings.blankLinesEmpty))
                << style.name << ": " << sample.name;
            EXPECT_EQ(Format(styled, settings).text, styled) << style.name << ": " << sample.name;
            if (HasFailure()) return;
        }
    }
}

// ---------------------------------------------------------------------------
// The Format command over the stand-in editor

struct EditorRun {
    std::string document;
    std::vector<std::u16string> boxes;
};

template <class Editor>
EditorRun RunFormatCommand(Editor& editor, const FormatSettings& settings,
                           WriteBack writeBack = WriteChangedLines) {
    EditorRun run;
    Platform platform;
    platform.sendToEditor = [&editor](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
        return editor.Handle(message, wParam, lParam);
    };
    platform.showMessageBox = [&run](std::u16string_view, std::u16string_view text, unsigned) {
        run.boxes.emplace_back(text);
        return 1;
    };
    FormatterState state;
    FormatCommand(platform, settings, state, writeBack);
    run.document = editor.document();
    return run;
}

EditorRun RunFormatCommand(std::string document, LengthConvention convention, std::intptr_t anchor,
                           std::intptr_t caret, const FormatSettings& settings) {
    FakeScintilla editor(std::move(document), convention);
    editor.SetSelection(anchor, caret);
    return RunFormatCommand(editor, settings);
}

TEST(FormatProperties, FormatCommandWritesWhatHalvexFormatWrites) {
    for (const LengthConvention convention : {LengthConvention::kCountsNul, LengthConvention::kExcludesNul}) {
        for (std::size_t i = 0; i < Samples().size(); i += 13) {
            const Sample& sample = Samples()[i];
            // The editor never holds a byte-order mark; halvex-format sets one aside.
            if (sample.text.rfind("\xEF\xBB\xBF", 0) == 0) continue;
            const std::intptr_t caret = static_cast<std::intptr_t>(sample.text.size() / 3);
            const EditorRun run = RunFormatCommand(sample.text, convention, caret, caret, sample.settings);
            const cli::FormatFileResult want = cli::FormatSource(
                sample.text, sample.settings.baseIndentLevel, sample.settings.suppressFormatError);
            EXPECT_EQ(run.document, want.text) << sample.name;
            std::vector<std::u16string> wantBoxes;
            if (want.formatError) wantBoxes.push_back(Text(kFormatErrorPrefix) + FromUtf8(want.errorLocation));
            EXPECT_EQ(run.boxes, wantBoxes) << sample.name;
        }
    }
}

// A selection formats exactly its whole lines, as a document of their own,
// and leaves every byte before and after them as it was.
TEST(FormatProperties, SelectionFormatsItsWholeLinesAndNothingElse) {
    Random random(7);
    for (const LengthConvention convention : {LengthConvention::kCountsNul, LengthConvention::kExcludesNul}) {
        for (std::size_t i = 3; i < Samples().size(); i += 5) {
            const Sample& sample = Samples()[i];
            const std::string& text = sample.text;
            const auto a = static_cast<std::intptr_t>(Pick(random, text.size() + 1));
            const auto b = static_cast<std::intptr_t>(Pick(random, text.size() + 1));
            if (a == b) continue;
            const FakeScintilla probe(text);
            const std::intptr_t from = probe.LineStart(probe.LineFromPosition(std::min(a, b)));
            const std::intptr_t to = probe.LineStart(probe.LineFromPosition(std::max(a, b)) + 1);
            const EditorRun run = RunFormatCommand(text, convention, a, b, sample.settings);
            const std::string want = text.substr(0, from) +
                                     Format(text.substr(from, to - from), sample.settings).text + text.substr(to);
            EXPECT_EQ(run.document, want) << sample.name << " selection " << a << ".." << b;
            EXPECT_EQ(ScintillaLineCount(run.document), ScintillaLineCount(text)) << sample.name;
        }
    }
}

// The changed-lines write-back, over random markers, contracted folds and
// selections (or none), on the stand-in editor and on Scintilla's own core:
// the bytes of the whole-text write-back, every marker and fold still on its
// line, and one undo step that gives the original back. On the real core,
// with change history on, also every line hidden as before, no marker twice
// on a line that did not hold it twice, and the history marking every line whose text changed and none
// above the first change.
template <class Editor>
class WriteBackProperties : public ::testing::Test {};
using WriteBackEditors = ::testing::Types<FakeScintilla
#if HALVEX_REAL_SCINTILLA
                                          , testing::RealScintilla
#endif
                                          >;
struct EditorName {
    template <class Editor>
    static std::string GetName(int) {
        return std::is_same_v<Editor, FakeScintilla> ? "StandIn" : "RealCore";
    }
};
TYPED_TEST_SUITE(WriteBackProperties, WriteBackEditors, EditorName);

template <class Editor>
Editor LoadEditor(const std::string& text, std::size_t sample) {
    if constexpr (std::is_same_v<Editor, FakeScintilla>) {
        return FakeScintilla(text, sample % 2 ? LengthConvention::kCountsNul : LengthConvention::kExcludesNul);
    } else {
        return Editor(text);
    }
}

// The lines whose text, line break aside, differs between the two versions.
std::set<std::intptr_t> ChangedTextLines(std::string_view before, std::string_view after) {
    const auto old = SplitLines(before), now = SplitLines(after);
    std::set<std::intptr_t> lines;
    for (std::size_t line = 0; line < std::min(old.size(), now.size()); ++line) {
        if (old[line] != now[line]) lines.insert(static_cast<std::intptr_t>(line));
    }
    return lines;
}

// The line of the byte before the first that differs.
std::intptr_t FirstChangedLine(std::string_view before, std::string_view after) {
    const auto at = static_cast<std::size_t>(std::mismatch(before.begin(), before.end(), after.begin(), after.end()).first -
                                             before.begin());
    return static_cast<std::intptr_t>(ScintillaLineCount(before.substr(0, at > 0 ? at - 1 : 0))) - 1;
}

TYPED_TEST(WriteBackProperties, ChangedLinesWriteBackKeepsMarkersAndIsOneUndoStep) {
    Random random(13);
    for (std::size_t i = 1; i < Samples().size(); ++i) {
        const Sample& sample = Samples()[i];
        if (i % 3 != 1 && !sample.name.starts_with("sparse")) continue;
        const auto a = static_cast<std::intptr_t>(Pick(random, sample.text.size() + 1));
        const auto b = Pick(random, 2) ? a : static_cast<std::intptr_t>(Pick(random, sample.text.size() + 1));
        FakeScintilla whole(sample.text);
        whole.SetSelection(a, b);
        const std::string want = RunFormatCommand(whole, sample.settings, bench::WriteWholeText).document;

        TypeParam editor = LoadEditor<TypeParam>(sample.text, i);
        editor.SetSelection(a, b);
        const auto lines = static_cast<std::size_t>(editor.LineCount());
        for (std::size_t n = Pick(random, 8); n > 0; --n) {
            const std::size_t number = Pick(random, 28);  // any but the change-history markers 21-24
            editor.AddMarkers(static_cast<std::intptr_t>(Pick(random, lines)), 1u << (number < 21 ? number : number + 4));
        }
        for (std::size_t n = Pick(random, 3); n > 0; --n) {
            editor.ContractFold(static_cast<std::intptr_t>(Pick(random, lines)));
        }
        const auto markers = editor.markers();
        const auto folds = editor.contractedFolds();
        const std::string label = sample.name + " selection " + std::to_string(a) + ".." + std::to_string(b);
        std::set<std::intptr_t> hidden, duplicates;
        if constexpr (!std::is_same_v<TypeParam, FakeScintilla>) {
            hidden = editor.hiddenLines();
            duplicates = editor.duplicateMarkers();  // a marker added twice to a line
        }

        EXPECT_EQ(RunFormatCommand(editor, sample.settings).document, want) << label;
        EXPECT_EQ(editor.markers(), markers) << label;
        EXPECT_EQ(editor.contractedFolds(), folds) << label;
        EXPECT_EQ(editor.writes(), want == sample.text ? 0 : 1) << label;
        if constexpr (!std::is_same_v<TypeParam, FakeScintilla>) {
            EXPECT_EQ(editor.hiddenLines(), hidden) << label;
            const std::set<std::intptr_t> duplicatesAfter = editor.duplicateMarkers();
            EXPECT_TRUE(std::includes(duplicates.begin(), duplicates.end(), duplicatesAfter.begin(), duplicatesAfter.end()))
                << label;
            const std::set<std::intptr_t> changed = ChangedTextLines(sample.text, want), history = editor.historyLines();
            EXPECT_TRUE(std::includes(history.begin(), history.end(), changed.begin(), changed.end())) << label;
            EXPECT_TRUE(history.empty() || *history.begin() >= FirstChangedLine(sample.text, want)) << label;
        }
        editor.Undo();
        EXPECT_EQ(editor.document(), sample.text) << label;
        if (this->HasFailure()) break;
    }
}

// Format finds the runs as it formats, without the new text: they are those
// that comparing the whole texts finds, joined alike, in every indentation
// style; written in pieces of a few lines (made anew from the document), the
// text they leave is the formatted text.
TYPED_TEST(WriteBackProperties, RunsFoundWhileFormattingAreThoseOfTheWholeTexts) {
    for (std::size_t i = 0; i < Samples().size(); i += 2) {
        const Sample& sample = Samples()[i];
        FormatSettings settings = sample.settings;
        std::tie(settings.indentWidth, settings.useTabs, settings.blankLinesEmpty) =
            std::array{std::tuple{2, 0, false}, std::tuple{4, 1, false}, std::tuple{3, 0, true}}[i % 3];
        const std::string want = Format(sample.text, settings).text;
        TypeParam editor = LoadEditor<TypeParam>(sample.text, i);
        const SendToEditor send = [&editor](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
            return editor.Handle(message, wParam, lParam);
        };
        const Editor view(send);
        const ChangedLines whole(view, 0, 0, sample.text, want);
        const LowerCaseFolds folds;
        FormatterState state;
        IndentEngine engine(state, settings, folds);
        engine.StartRun();
        const std::optional<std::string_view> inPlace = view.DocumentInPlace(view.Length());
        FormattedRuns formatted(inPlace.value_or(sample.text), 0, engine, folds);
        const ChangedLines streamed(view, 0, inPlace.value_or(sample.text), std::move(formatted.finder()), formatted,
                                    inPlace.has_value(), 1 + i % 97);
        EXPECT_EQ(streamed.runs(), whole.runs()) << sample.name;
        streamed.Write(view);
        EXPECT_EQ(editor.document(), want) << sample.name;
        if (this->HasFailure()) break;
    }
}

// ---------------------------------------------------------------------------
// The settings reader and the shortcut parser

constexpr std::u16string_view kKeys[] = {kExePathKey, kVrShortcutKey, kFormatShortcutKey, kIndentKey,
                                         kSuppressFormatErrorKey};

// A default that no found value can equal: values never hold a line break.
constexpr std::u16string_view kNotFound = u"\n";

// What every lookup must satisfy, whatever the file held.
void CheckLookups(const SettingsFile& file, std::u16string_view key, const std::string& label) {
    const Text value = file.readString(key, kNotFound);
    const std::int32_t number = file.readInteger(key, 12345);
    if (value == kNotFound) {
        EXPECT_EQ(number, 12345) << label;
        return;
    }
    EXPECT_EQ(value.find_first_of(u"\r\n"), Text::npos) << label;
    if (!value.empty()) {
        EXPECT_FALSE(IsBlank(value.front()) || IsBlank(value.back())) << label;
    }
    EXPECT_EQ(number, LeadingNumber(value)) << label;
}

bool Contains(std::u16string_view text, std::u16string_view word) { return text.find(word) != Text::npos; }

void CheckShortcut(std::u16string_view text, const std::string& label) {
    const ShortcutFields fields = parseShortcut(text);
    EXPECT_EQ(fields.ctrl, Contains(text, u"ctrl") ? 1 : 0) << label;
    EXPECT_EQ(fields.alt, Contains(text, u"alt") ? 1 : 0) << label;
    EXPECT_EQ(fields.shift, Contains(text, u"shft") ? 1 : 0) << label;
}

TEST(SettingsProperties, AnyBytesGiveSoundValues) {
    Random random(11);
    constexpr std::string_view kPieces[] = {"Indent", "indent", "=", " ", "\t", "\r", "\n", "\r\n", ";", "[", "]",
                                            "Exe Path", "VR Shortcut", "Format Shortcut", "Suppress format error",
                                            "-", "+", "99999999999", "7", "$", "ctrl", "alt", "shft", "\xEF\xBB\xBF",
                                            "\xC3\xA9", "\xE9", "\xFF", std::string_view("\0", 1)};
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        if (round % 3 == 0) bytes = "\xEF\xBB\xBF";
        for (std::size_t n = Pick(random, 40); n > 0; --n) {
            if (Pick(random, 3) == 0) {
                bytes.push_back(static_cast<char>(Pick(random, 256)));
            } else {
                bytes += kPieces[Pick(random, std::size(kPieces))];
            }
        }
        const std::string label = "round " + std::to_string(round);
        SettingsFile file;
        file.parse(bytes);
        for (const std::u16string_view key : kKeys) CheckLookups(file, key, label);
        // A key made of the file's own bytes.
        const Text ownKey = Latin1(bytes.substr(0, Pick(random, bytes.size() + 1)));
        CheckLookups(file, ownKey, label);
        CheckShortcut(Latin1(bytes), label);
        CheckShortcut(DecodeUtf8(bytes), label);
        if (HasFailure()) break;
    }
}

// Random files built from lines of known meaning: settings with keys in any
// ASCII case and blanks around them, keys without "=", comments, group
// headers and blank lines, in Latin-1 or in UTF-8 after a byte-order mark.
// The first matching setting above the first group header must be found.
struct ModelLine {
    enum Kind { kSetting, kComment, kGroup, kBlank } kind;
    Text key;
    Text value;  // as written, blanks included
};

Text RandomCase(std::u16string_view key, Random& random) {
    Text out(key);
    for (char16_t& c : out) {
        if (c < 0x80 && std::isalpha(static_cast<int>(c)) && Pick(random, 2)) c ^= 0x20;
    }
    return out;
}

Text Blanks(Random& random) {
    Text out;
    for (std::size_t n = Pick(random, 3); n > 0; --n) out.push_back(Pick(random, 2) ? u' ' : u'\t');
    return out;
}

Text RandomValue(Random& random, bool utf8) {
    constexpr std::u16string_view kLatin = u" \t=;[]\"$%+-0123456789abcXYZ\\:\u00E9\u00FF\u0080";
    constexpr std::u16string_view kWide = u"\u20AC\u0130\uFFFD\U0001F600";
    Text value;
    if (Pick(random, 3) == 0) {  // a number, maybe far beyond 32 bits
        if (Pick(random, 2)) value.push_back(Pick(random, 2) ? u'-' : u'+');
        for (std::size_t n = 1 + Pick(random, 22); n > 0; --n) {
            value.push_back(static_cast<char16_t>(u'0' + Pick(random, 10)));
        }
    }
    for (std::size_t n = Pick(random, 12); n > 0; --n) {
        if (utf8 && Pick(random, 4) == 0) {
            const std::size_t at = Pick(random, 4);
            value += at < 3 ? kWide.substr(at, 1) : kWide.substr(3, 2);  // the last one is a surrogate pair
        } else {
            value.push_back(kLatin[Pick(random, kLatin.size())]);
        }
    }
    return value;
}

std::u16string_view TrimmedBlanks(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool SameKey(std::u16string_view a, std::u16string_view b) {
    const auto lower = [](std::u16string_view s) {
        Text out(s);
        for (char16_t& c : out) c = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c | 0x20) : c;
        return out;
    };
    return lower(a) == lower(b);
}

std::optional<Text> ModelLookup(const std::vector<ModelLine>& lines, std::u16string_view key) {
    for (const ModelLine& line : lines) {
        if (line.kind == ModelLine::kGroup) break;
        if (line.kind == ModelLine::kSetting && SameKey(line.key, key)) return Text(TrimmedBlanks(line.value));
    }
    return std::nullopt;
}

TEST(SettingsProperties, FirstSettingAboveTheFirstGroupWins) {
    constexpr std::u16string_view kOtherKeys[] = {u"ExePath", u"Exe  Path", u"Indent2", u"\u00CDndent", u"Tab size",
                                                  u"x"};
    constexpr std::u16string_view kLineEnds[] = {u"\r\n", u"\n", u"\r", u"\r\r\n\n"};
    Random random(5);
    for (int round = 0; round < 1500; ++round) {
        const bool utf8 = round % 2 == 1;
        std::vector<ModelLine> lines;
        Text file;
        for (std::size_t n = Pick(random, 12); n > 0; --n) {
            ModelLine line{static_cast<ModelLine::Kind>(Pick(random, 8) < 5 ? 0 : Pick(random, 4)), {}, {}};
            Text written = Blanks(random);
            switch (line.kind) {
                case ModelLine::kSetting: {
                    const bool known = Pick(random, 4) != 0;
                    line.key = RandomCase(known ? kKeys[Pick(random, std::size(kKeys))]
                                                : kOtherKeys[Pick(random, std::size(kOtherKeys))],
                                          random);
                    written += line.key;
                    if (Pick(random, 6) != 0) {  // else a key without "=": an empty value
                        line.value = RandomValue(random, utf8);
                        written += Blanks(random) + u"=" + line.value;
                    } else {
                        written += Blanks(random);
                    }
                    break;
                }
                case ModelLine::kComment:
                    written += u";" + RandomValue(random, utf8);
                    break;
                case ModelLine::kGroup:
                    written += u"[" + RandomValue(random, utf8);
                    break;
                case ModelLine::kBlank:
                    break;
            }
            lines.push_back(line);
            file += written;
            file += kLineEnds[Pick(random, std::size(kLineEnds))];
        }
        std::string bytes;
        if (utf8) {
            bytes = "\xEF\xBB\xBF" + EncodeUtf8(file);
        } else {
            for (const char16_t c : file) bytes.push_back(static_cast<char>(c));
            if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) continue;  // would read as UTF-8
        }
        SettingsFile settings;
        settings.parse(bytes);
        std::vector<Text> keys(std::begin(kKeys), std::end(kKeys));
        keys.insert(keys.end(), std::begin(kOtherKeys), std::end(kOtherKeys));
        for (const Text& key : keys) {
            const Text lookupKey = RandomCase(key, random);
            const std::optional<Text> want = ModelLookup(lines, lookupKey);
            const std::string label = "round " + std::to_string(round) + " key " + EncodeUtf8(lookupKey);
            EXPECT_EQ(settings.readString(lookupKey, kNotFound), want.value_or(Text(kNotFound))) << label;
            EXPECT_EQ(settings.readInteger(lookupKey, -5), want ? LeadingNumber(*want) : -5) << label;
        }
        if (HasFailure()) break;
    }
}

// Generated shortcut texts: modifier words in any order and joining, then one
// space and a number in decimal, "$" hexadecimal or "%" binary, with any
// number of digits and an optional sign. The low 8 bits are computed digit by
// digit modulo 256.
TEST(SettingsProperties, ShortcutKeyCodeIsTheLowByteOfTheNumber) {
    Random random(3);
    constexpr std::u16string_view kWords[] = {u"ctrl", u"alt", u"shft", u"shift", u"Alt", u"CTRL"};
    constexpr std::u16string_view kJoins[] = {u"+", u"", u"-"};
    constexpr std::u16string_view kTails[] = {u"", u" 12", u";", u"#x", u" alt"};
    for (int round = 0; round < 3000; ++round) {
        Text text;
        for (std::size_t n = Pick(random, 4); n > 0; --n) {
            if (!text.empty()) text += kJoins[Pick(random, std::size(kJoins))];
            text += kWords[Pick(random, std::size(kWords))];
        }
        text += u' ';
        const std::size_t baseChoice = Pick(random, 3);
        const unsigned base = baseChoice == 0 ? 10 : baseChoice == 1 ? 16 : 2;
        if (Pick(random, 4) == 0) text.push_back(u'\t');
        const bool negative = Pick(random, 4) == 0;
        if (negative) text.push_back(u'-');
        if (base == 16) text.push_back(u'$');
        if (base == 2) text.push_back(u'%');
        unsigned lowByte = 0;
        constexpr std::u16string_view kDigits = u"0123456789abcdef";
        for (std::size_t n = Pick(random, 30); n > 0; --n) {
            const std::size_t digit = Pick(random, base);
            text.push_back(base == 16 && Pick(random, 2) ? static_cast<char16_t>(std::toupper(kDigits[digit]))
                                                         : kDigits[digit]);
            lowByte = (lowByte * base + static_cast<unsigned>(digit)) % 256;
        }
        if (negative) lowByte = (256 - lowByte) % 256;
        text += kTails[Pick(random, std::size(kTails))];
        const std::string label = EncodeUtf8(text);
        EXPECT_EQ(parseShortcut(text).keyCode, lowByte) << label;
        CheckShortcut(text, label);
        if (HasFailure()) break;
    }
}

}  // namespace
}  // namespace halvex
