// Indentation while typing: Enter in Scintilla's own core as Notepad++ makes
// it, and the checkpoints over the stand-in editor; Format on save, which
// keeps the caret where the user types.
#include "formatter/typing.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "fake_scintilla.hpp"
#if HALVEX_REAL_SCINTILLA
#include "real_scintilla.hpp"
#endif
#include "formatter/format_on_save.hpp"
#include "formatter/format_text.hpp"
#include "program_generator.hpp"
#include "reference.hpp"

namespace halvex {
namespace {

using testing::FakeScintilla;

// `marked` with the caret at '|' and the anchor at '^' (at the caret when
// there is none), and without both marks.
struct Marked { std::string text; std::intptr_t anchor, caret; };
Marked Unmark(std::string marked) {
    const auto caret = static_cast<std::intptr_t>(marked.find('|'));
    marked.erase(static_cast<std::size_t>(caret), 1);
    const std::size_t anchor = marked.find('^');
    if (anchor == std::string::npos) return {marked, caret, caret};
    marked.erase(anchor, 1);
    return {marked, static_cast<std::intptr_t>(anchor), caret - (static_cast<std::intptr_t>(anchor) < caret ? 1 : 0)};
}

// Enter changes the two lines as Format would and puts the caret after the
// new indentation, as the plug-in does it (StartEnter as the line break is
// reported, before the auto-indent; the rest after it). One Ctrl+Z after
// Enter, and after what is typed next, leaves the document as it does after
// the same Enter without Halvex: Scintilla joins typing into one undo step.
TEST(IndentWhileTyping, EnterIndentsTheFinishedLineAndTheNewOne) {
#if !HALVEX_REAL_SCINTILLA
    GTEST_SKIP() << "needs Scintilla's sources";
#else
    struct Case { const char* name; std::string before, want; bool autoIndent = true; FormatSettings settings = {};
                  std::string typedAfter = {}; };
    for (const Case& c : {
             Case{"after FOR", "SUB A\r\n  x = 1\r\nFOR i = 1 TO 3|\r\nEND SUB\r\n",
                  "SUB A\r\n  x = 1\r\n  FOR i = 1 TO 3\r\n    |\r\nEND SUB\r\n"},
             Case{"inside a block: the auto-indent is right", "  FOR i\r\n    PRINT i|\r\n  NEXT",
                  "  FOR i\r\n    PRINT i\r\n    |\r\n  NEXT"},
             Case{"NEXT moves to its FOR", "  FOR i\r\n    PRINT i\r\n    NEXT|",
                  "  FOR i\r\n    PRINT i\r\n  NEXT\r\n  |"},
             Case{"CASE", "  SELECT CASE x\r\n    CASE 1\r\n      y = 1\r\n      CASE 2|",
                  "  SELECT CASE x\r\n    CASE 1\r\n      y = 1\r\n    CASE 2\r\n      |"},
             Case{"end of a routine", "SUB A\r\n  x = 1\r\n  END SUB|", "SUB A\r\n  x = 1\r\nEND SUB\r\n  |"},
             Case{"a blank line, Blank lines empty", "  FOR i\r\n    \t |", "  FOR i\r\n\r\n    |", true,
                  {.trimTabs = true, .blankLinesEmpty = true}},
             Case{"CR document", "FOR i|\rNEXT", "  FOR i\r    |\rNEXT"},
             Case{"auto-indent off", "SUB A\r\n  FOR i = 1 TO 3|", "SUB A\r\n  FOR i = 1 TO 3\r\n    |", false, {},
                  "PRINT i"},
             Case{"tabs", "\tFOR i = 1 TO 3|", "\tFOR i = 1 TO 3\n\t\t|", true, {.useTabs = 1}},
             Case{"a selection replaced", "  FOR i = 1 TO 3^junk|", "  FOR i = 1 TO 3\n    |"},
             Case{"in the middle of a line", "FOR i = 1 TO 3|PRINT i", "  FOR i = 1 TO 3\n    |PRINT i"},
             Case{"at the start of the document", "|x = 1", "  \n  |x = 1"},
             Case{"nothing to change, typing goes on", "x = 1|", "x = 1\n|", true, {.baseIndentLevel = 0}, "y = 2"},
         }) {
        const Marked before = Unmark(c.before), want = Unmark(c.want);
        testing::RealScintilla typed(before.text), alone(before.text);
        const SendToEditor send = [&](unsigned m, std::uintptr_t w, std::intptr_t l) { return typed.Handle(m, w, l); };
        const Editor editor(send);
        std::optional<std::intptr_t> lineBreakEnd;
        for (testing::RealScintilla* e : {&typed, &alone}) e->SetSelection(before.anchor, before.caret);
        typed.Enter(c.autoIndent, [&] { lineBreakEnd = StartEnter(editor); });
        alone.Enter(c.autoIndent, [] {});
        LevelCheckpoints checkpoints;
        const bool changed = IndentAfterEnter(editor, c.settings, LowerCaseFolds(), checkpoints, lineBreakEnd);
        if (!lineBreakEnd) editor.EndUndoAction();
        EXPECT_EQ(typed.document(), want.text) << c.name;
        EXPECT_EQ(typed.caret(), want.caret) << c.name;
        EXPECT_EQ(typed.anchor(), want.caret) << c.name;
        EXPECT_EQ(changed, alone.document() != want.text) << c.name;
        for (testing::RealScintilla* e : {&typed, &alone}) {
            e->Type(c.typedAfter);
            e->Undo();
        }
        EXPECT_EQ(typed.document(), alone.document()) << c.name << ": one Ctrl+Z";
    }
#endif
}

// On save the whole document is formatted, whatever is selected, and the
// caret and the anchor stay in the text of their lines.
TEST(FormatOnSave, WholeDocumentWithTheSelectionKeptInItsText) {
    struct Case { const char* name; std::string before, want; };
    for (const Case& c : {
             Case{"a selection", "SUB A\r\nFOR i\r\nPR^IN|T i\r\nNEXT\r\nEND SUB",
                  "SUB A\r\n  FOR i\r\n    PR^IN|T i\r\n  NEXT\r\nEND SUB"},
             Case{"in indentation that shrinks", "x\r\n      |x = 1", "  x\r\n  |x = 1"},
             Case{"after trailing spaces that go", "x = 1   |\r\ny", "  x = 1|\r\n  y"},
         }) {
        const Marked before = Unmark(c.before);
        FakeScintilla editor(before.text);
        editor.SetSelection(before.anchor, before.caret);
        Platform platform;
        platform.sendToEditor = [&](unsigned m, std::uintptr_t w, std::intptr_t l) { return editor.Handle(m, w, l); };
        FormatterState state;
        FormatOnSave(platform, {}, state);
        const Marked want = Unmark(c.want);
        EXPECT_EQ(editor.document(), want.text) << c.name;
        EXPECT_EQ(editor.anchor(), want.anchor) << c.name;
        EXPECT_EQ(editor.caret(), want.caret) << c.name;
        EXPECT_EQ(editor.writes(), before.text == want.text ? 0 : 1) << c.name;
    }
}

// The checkpoints against the whole document: over random Enters (with the
// auto-indent copying the line's indentation or not), inserted and deleted
// block lines and undo, each Enter leaves the two lines as a Format of the
// whole document writes them and every other line as it was. Checkpoints
// every 16 lines, so that the edits move, drop and re-check many of them.
TEST(IndentWhileTyping, CheckpointsGiveWhatTheWholeDocumentGives) {
    constexpr std::string_view kLines[] = {"FOR i = 1 TO 2\r\n", "NEXT\r\n", "END SUB\r\n", "SUB X\r\n",
                                           "IF a THEN\r\n", "\r\n", "DO\nLOOP\n", "SELECT CASE a\r"};
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
        std::mt19937_64 random(seed);
        const auto pick = [&random](std::size_t n) {
            return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
        };
        const FormatSettings settings{.trimTabs = seed % 2 == 0};
        const LowerCaseFolds folds;
        FakeScintilla editor(bench::GenerateProgram({.lines = 300, .seed = seed, .crlf = seed < 3}));
        LevelCheckpoints checkpoints(16);
        editor.OnModified([&](std::intptr_t line, std::intptr_t added) { checkpoints.Modified(line, added); });
        const SendToEditor handle = [&](unsigned m, std::uintptr_t w, std::intptr_t l) { return editor.Handle(m, w, l); };
        const auto send = [&](unsigned m, std::uintptr_t w, const std::string& text) {
            return handle(m, w, reinterpret_cast<std::intptr_t>(text.c_str()));
        };
        for (int round = 0; round < 150; ++round) {
            const auto line = static_cast<std::intptr_t>(pick(static_cast<std::size_t>(editor.LineCount())));
            const std::size_t action = pick(4);
            editor.SetSelection(editor.LineStart(line), editor.LineStart(action == 1 ? line + 1 : line));
            if (action < 2) send(sci::kReplaceSel, 0, action == 0 ? std::string(kLines[pick(std::size(kLines))]) : "");
            if (action == 2) editor.Undo();
            if (action != 3) continue;
            const std::string was(editor.document());
            const std::string_view lineText = reference::SplitLines(was)[static_cast<std::size_t>(line)];
            send(sci::kGotoPos, static_cast<std::uintptr_t>(editor.LineStart(line)) + lineText.size(), "");
            send(sci::kReplaceSel, 0, seed < 3 ? "\r\n" : "\n");
            const std::string indentation(lineText.substr(0, lineText.find_first_not_of(" \t")));
            if (pick(2) == 0) send(sci::kReplaceSel, 0, indentation);  // Notepad++'s auto-indent
            IndentAfterEnter(Editor(handle), settings, folds, checkpoints);
            FormatterState state;
            IndentEngine engine(state, settings, folds);
            engine.StartRun();
            const std::string formatted = FormatText(editor.document(), engine).text;
            const std::vector<std::string_view> wasLines = reference::SplitLines(was);
            const std::vector<std::string_view> lines = reference::SplitLines(editor.document());
            const std::vector<std::string_view> want = reference::SplitLines(formatted);
            const std::string label = "seed " + std::to_string(seed) + " round " + std::to_string(round);
            ASSERT_EQ(lines.size(), wasLines.size() + 1) << label;
            for (std::size_t i = 0; i < lines.size(); ++i) {
                const auto at = static_cast<std::size_t>(line);
                EXPECT_EQ(lines[i], i == at || i == at + 1 ? want[i] : wasLines[i <= at ? i : i - 1])
                    << label << " line " << i;
            }
            if (HasFailure()) return;
        }
    }
}

}  // namespace
}  // namespace halvex
