// Indentation while typing over the stand-in editor and Scintilla's own core,
// Enter typed as Notepad++ types it; and Format on save, which keeps the caret
// where the user types.
#include "formatter/typing.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <type_traits>

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
#if HALVEX_REAL_SCINTILLA
using testing::RealScintilla;
#endif

template <class Scintilla>
constexpr bool kStandIn = std::is_same_v<Scintilla, FakeScintilla>;

// A document in an editor, the stand-in's edits reaching the checkpoints as
// SCN_MODIFIED reaches the plug-in.
template <class Scintilla>
struct Typist {
    explicit Typist(std::string document, std::intptr_t spacing = LevelCheckpoints::kDefaultSpacing)
        : editor(std::move(document)), checkpoints(spacing) {
        if constexpr (kStandIn<Scintilla>) {
            editor.OnModified([this](std::intptr_t line, std::intptr_t added) { checkpoints.Modified(line, added); });
        }
    }

    // Enter: a line break of the document's kind over the selection; with
    // `autoIndent`, the new line takes the indentation of the nearest line
    // above that is not empty (Notepad++'s auto-indent). Then, with `halvex`,
    // Halvex's work: in Scintilla's own core placed in the undo history as
    // the plug-in places it, in the stand-in (which tells no undo history)
    // as an undo step of its own.
    bool Enter(bool autoIndent, const FormatSettings& settings = {}, bool halvex = true) {
        std::optional<std::intptr_t> lineBreakEnd;
        bool groupOpened = false;
        if constexpr (kStandIn<Scintilla>) {
            const std::string& text = editor.document();
            const char* eol = text.find("\r\n") != text.npos ? "\r\n" : text.find('\r') != text.npos ? "\r" : "\n";
            Send(sci::kReplaceSel, 0, reinterpret_cast<std::intptr_t>(eol));
            const std::intptr_t line = editor.LineFromPosition(editor.caret());
            std::intptr_t above = line - 1;
            while (above > 0 && editor.LineStart(above) == Send(sci::kGetLineEndPosition, above)) --above;
            const std::string aboveText = editor.document().substr(editor.LineStart(above));
            const std::string indent = aboveText.substr(0, aboveText.find_first_not_of(" \t"));
            if (autoIndent && !indent.empty()) {
                Replace(editor.LineStart(line), editor.LineStart(line), indent);
                Send(sci::kGotoPos, editor.LineStart(line) + static_cast<std::intptr_t>(indent.size()));
            }
        } else {
            editor.Enter(autoIndent, [&] {
                if (halvex) lineBreakEnd = StartEnter(Editor(send));
                groupOpened = halvex && !lineBreakEnd;
            });
        }
        beforeHalvex = editor.document();
        stepsBeforeHalvex = editor.writes();
        const LowerCaseFolds folds;
        const bool changed = halvex && IndentAfterEnter(Editor(send), settings, folds, checkpoints, lineBreakEnd);
        if (groupOpened) Send(sci::kEndUndoAction);
        return changed;
    }

    std::intptr_t Send(unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0) {
        return editor.Handle(message, wParam, lParam);
    }
    void Replace(std::intptr_t start, std::intptr_t end, std::string_view text) {
        Send(sci::kSetTargetRange, static_cast<std::uintptr_t>(start), end);
        Send(sci::kReplaceTarget, text.size(), reinterpret_cast<std::intptr_t>(text.data()));
    }

    Scintilla editor;
    LevelCheckpoints checkpoints;
    std::string beforeHalvex;  // the document after the host's Enter
    int stepsBeforeHalvex = 0;
    SendToEditor send = [this](unsigned m, std::uintptr_t w, std::intptr_t l) { return editor.Handle(m, w, l); };
};

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

struct EnterCase {
    const char* name;
    std::string before, want;
    bool autoIndent = true;
    FormatSettings settings = {};
    std::string typedAfter = {};  // typed after Enter, before the Ctrl+Z
};

// Enter changes the two lines as Format would and puts the caret after the
// new indentation. In the stand-in Halvex's edits are one undo step, none
// when nothing changed. In Scintilla's own core, which joins typing into one
// step, one Ctrl+Z after Enter and what is typed after it leaves the document
// as it does without Halvex.
template <class Scintilla>
void CheckEnter(const EnterCase& c) {
    const std::string name = c.name + std::string(kStandIn<Scintilla> ? "" : ", Scintilla's core");
    const Marked before = Unmark(c.before);
    Typist<Scintilla> typist(before.text), alone(before.text);
    typist.editor.SetSelection(before.anchor, before.caret);
    const bool changed = typist.Enter(c.autoIndent, c.settings);
    const Marked want = Unmark(c.want);
    EXPECT_EQ(typist.editor.document(), want.text) << name;
    EXPECT_EQ(typist.editor.caret(), want.caret) << name;
    EXPECT_EQ(typist.editor.anchor(), want.caret) << name;
    EXPECT_EQ(changed, typist.beforeHalvex != want.text) << name;
    if constexpr (kStandIn<Scintilla>) {
        EXPECT_EQ(typist.editor.writes(), typist.stepsBeforeHalvex + (changed ? 1 : 0)) << name;
        if (changed) {
            typist.editor.Undo();
            EXPECT_EQ(typist.editor.document(), typist.beforeHalvex) << name;
        }
    } else {
        alone.editor.SetSelection(before.anchor, before.caret);
        alone.Enter(c.autoIndent, c.settings, false);
        for (Typist<Scintilla>* t : {&typist, &alone}) {
            t->editor.Type(c.typedAfter);
            t->editor.Undo();
        }
        EXPECT_EQ(typist.editor.document(), alone.editor.document()) << name << ": one Ctrl+Z";
    }
}

TEST(IndentWhileTyping, EnterIndentsTheFinishedLineAndTheNewOne) {
    for (const EnterCase& c : {
             EnterCase{"after FOR", "SUB A\r\n  x = 1\r\nFOR i = 1 TO 3|\r\nEND SUB\r\n",
                       "SUB A\r\n  x = 1\r\n  FOR i = 1 TO 3\r\n    |\r\nEND SUB\r\n"},
             EnterCase{"inside a block: the auto-indent is right", "  FOR i\r\n    PRINT i|\r\n  NEXT",
                       "  FOR i\r\n    PRINT i\r\n    |\r\n  NEXT"},
             EnterCase{"NEXT moves to its FOR", "  FOR i\r\n    PRINT i\r\n    NEXT|",
                       "  FOR i\r\n    PRINT i\r\n  NEXT\r\n  |"},
             EnterCase{"CASE", "  SELECT CASE x\r\n    CASE 1\r\n      y = 1\r\n      CASE 2|",
                       "  SELECT CASE x\r\n    CASE 1\r\n      y = 1\r\n    CASE 2\r\n      |"},
             EnterCase{"end of a routine", "SUB A\r\n  x = 1\r\n  END SUB|", "SUB A\r\n  x = 1\r\nEND SUB\r\n  |"},
             EnterCase{"a blank line, Blank lines empty", "  FOR i\r\n    \t |", "  FOR i\r\n\r\n    |", true,
                       {.trimTabs = true, .blankLinesEmpty = true}},
             EnterCase{"CR document", "FOR i|\rNEXT", "  FOR i\r    |\rNEXT"},
             EnterCase{"auto-indent off", "SUB A\r\n  FOR i = 1 TO 3|", "SUB A\r\n  FOR i = 1 TO 3\r\n    |", false, {},
                       "PRINT i"},
             EnterCase{"tabs", "\tFOR i = 1 TO 3|", "\tFOR i = 1 TO 3\n\t\t|", true, {.useTabs = 1}},
             EnterCase{"a selection replaced", "  FOR i = 1 TO 3^junk|", "  FOR i = 1 TO 3\n    |"},
             EnterCase{"in the middle of a line", "FOR i = 1 TO 3|PRINT i", "  FOR i = 1 TO 3\n    |PRINT i"},
             EnterCase{"at the start of the document", "|x = 1", "  \n  |x = 1"},
             EnterCase{"nothing to change, typing goes on", "x = 1|", "x = 1\n|", true, {.baseIndentLevel = 0}, "y = 2"},
         }) {
        CheckEnter<FakeScintilla>(c);
#if HALVEX_REAL_SCINTILLA
        CheckEnter<RealScintilla>(c);
#endif
    }
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
        Typist<FakeScintilla> typist(before.text);
        FakeScintilla& editor = typist.editor;
        editor.SetSelection(before.anchor, before.caret);
        Platform platform;
        platform.sendToEditor = typist.send;
        FormatterState state;
        FormatOnSave(platform, {}, state);
        const Marked want = Unmark(c.want);
        EXPECT_EQ(editor.document(), want.text) << c.name;
        EXPECT_EQ(editor.anchor(), want.anchor) << c.name;
        EXPECT_EQ(editor.caret(), want.caret) << c.name;
        EXPECT_EQ(editor.writes(), before.text == want.text ? 0 : 1) << c.name;
    }
}

// The checkpoints against the whole document: over random Enters, inserted
// and deleted block lines, typing inside lines and undo, each Enter leaves
// the two lines as a Format of the whole document writes them and every
// other line as it was. Checkpoints every 16 lines, so that the edits move,
// drop and re-check many of them.
TEST(IndentWhileTyping, CheckpointsGiveWhatTheWholeDocumentGives) {
    constexpr std::string_view kLines[] = {"FOR i = 1 TO 2\r\n", "NEXT\r\n", "END SUB\r\n", "SUB X\r\n",
                                           "IF a THEN\r\n", "\r\n", "DO\nLOOP\n", "SELECT CASE a\r"};
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
        std::mt19937_64 random(seed);
        const auto pick = [&random](std::size_t n) {
            return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
        };
        const FormatSettings settings{.trimTabs = seed % 2 == 0};
        Typist<FakeScintilla> typist(bench::GenerateProgram({.lines = 300, .seed = seed, .crlf = seed < 3}), 16);
        FakeScintilla& editor = typist.editor;
        for (int round = 0; round < 150; ++round) {
            const auto line = static_cast<std::intptr_t>(pick(static_cast<std::size_t>(editor.LineCount())));
            const std::intptr_t start = editor.LineStart(line);
            const std::size_t action = pick(4);
            if (action == 0) typist.Replace(start, start, kLines[pick(std::size(kLines))]);
            if (action == 1) typist.Replace(start, editor.LineStart(line + 1), "");
            if (action == 2) editor.Undo();
            if (action != 3) continue;
            typist.Send(sci::kGotoPos, typist.Send(sci::kGetLineEndPosition, line));
            const std::string was(editor.document());
            const std::vector<std::string_view> wasLines = reference::SplitLines(was);
            typist.Enter(pick(2) == 0, settings);
            const LowerCaseFolds folds;
            FormatterState state;
            IndentEngine engine(state, settings, folds);
            engine.StartRun();
            const std::string formatted = FormatText(editor.document(), engine).text;
            const std::vector<std::string_view> lines = reference::SplitLines(editor.document());
            const std::vector<std::string_view> want = reference::SplitLines(formatted);
            const std::string label = "seed " + std::to_string(seed) + " round " + std::to_string(round);
            ASSERT_EQ(lines.size(), wasLines.size() + 1) << label;
            for (std::size_t i = 0; i < lines.size(); ++i) {
                const bool ours = i == static_cast<std::size_t>(line) || i == static_cast<std::size_t>(line) + 1;
                EXPECT_EQ(lines[i], ours ? want[i] : wasLines[i <= static_cast<std::size_t>(line) ? i : i - 1])
                    << label << " line " << i;
            }
            if (HasFailure()) return;
        }
    }
}

}  // namespace
}  // namespace halvex
