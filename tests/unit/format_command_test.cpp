#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "fake_scintilla.hpp"
#if HALVEX_REAL_SCINTILLA
#include "real_scintilla.hpp"
#endif
#include "formatter/format_command.hpp"
#include "editor/editor.hpp"
#include "text/text.hpp"
#include "whole_text_write_back.hpp"

namespace halvex {
namespace {

using testing::FakeScintilla;
using testing::LengthConvention;
#if HALVEX_REAL_SCINTILLA
using testing::RealScintilla;
#endif

struct Box {
    std::u16string title;
    std::u16string text;
    unsigned flags;
};

struct SkipCase;
struct KeepCase;

// Runs the Format command against an editor, the stand-in or Scintilla's own
// core, and records the boxes.
template <class Editor>
class EditorHarness {
   protected:
    void RunFormat(FormatSettings settings = {}, WriteBack writeBack = WriteChangedLines) {
        Platform platform;
        platform.sendToEditor = [this](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
            return editor_.Handle(message, wParam, lParam);
        };
        platform.showMessageBox = [this](std::u16string_view title, std::u16string_view text, unsigned flags) {
            boxes_.push_back({Text(title), Text(text), flags});
            return 1;
        };
        platform.setViewRedraw = [this](bool redraw) { redraws_.push_back({redraw, editor_.messages().size()}); };
        redraws_.clear();
        FormatCommand(platform, settings, state_, writeBack);
    }

    virtual void Load(const std::string& document, std::intptr_t anchor, std::intptr_t caret) = 0;
    void CheckSkipCase(const SkipCase& c);
    void CheckKeepCase(const KeepCase& c);

    Editor editor_;
    FormatterState state_;
    std::vector<Box> boxes_;
    std::vector<std::pair<bool, std::size_t>> redraws_;  // each switch, after how many messages
};

class FormatCommandTest : public EditorHarness<FakeScintilla>, public ::testing::TestWithParam<LengthConvention> {
   protected:
    void Load(const std::string& document, std::intptr_t anchor, std::intptr_t caret) override {
        editor_ = FakeScintilla(document, GetParam());
        editor_.SetSelection(anchor, caret);
    }
};

#if HALVEX_REAL_SCINTILLA
class RealCoreTest : public EditorHarness<RealScintilla>, public ::testing::Test {
   protected:
    void Load(const std::string& document, std::intptr_t anchor, std::intptr_t caret) override {
        editor_ = RealScintilla(document);
        editor_.SetSelection(anchor, caret);
    }
};
#define REAL_CORE_TEST(name) TEST_F(RealCoreTest, name)
#else
#define REAL_CORE_TEST(name) TEST(RealCoreTest, name)
#endif

constexpr std::string_view kProgram = "SUB A\r\nIF x THEN\r\ny = 1\r\nEND IF\r\nEND SUB\r\nz = 2";

TEST_P(FormatCommandTest, WholeDocumentWhenNothingIsSelected) {
    const std::intptr_t caret = std::string_view(kProgram).find("y = 1") + 2;
    Load(std::string(kProgram), caret, caret);
    RunFormat();
    EXPECT_EQ(editor_.document(), "SUB A\r\n  IF x THEN\r\n    y = 1\r\n  END IF\r\nEND SUB\r\n  z = 2");
    EXPECT_EQ(editor_.writes(), 1);
    EXPECT_EQ(editor_.caret(), editor_.LineStart(2));  // start of the caret's line, nothing selected
    EXPECT_EQ(editor_.anchor(), editor_.caret());
    EXPECT_TRUE(boxes_.empty());
}

TEST_P(FormatCommandTest, OneSelectedByteFormatsItsWholeLine) {
    const std::string document = "FOR i = 1 TO 2\r\nx = i\r\nNEXT";
    const std::intptr_t at = document.find("x = i");
    Load(document, at, at + 1);
    RunFormat();
    // The line is formatted on its own, at the base level.
    EXPECT_EQ(editor_.document(), "FOR i = 1 TO 2\r\n  x = i\r\nNEXT");
    EXPECT_EQ(editor_.caret(), at);
    EXPECT_EQ(editor_.anchor(), at);
}

TEST_P(FormatCommandTest, SelectionEndingAtColumnZeroTakesInThatLine) {
    const std::string document = "a\r\nb\r\nc\r\n";
    Load(document, 3, 6);  // from the start of "b" to the start of "c"
    RunFormat();
    EXPECT_EQ(editor_.document(), "a\r\n  b\r\n  c\r\n");
}

TEST_P(FormatCommandTest, SelectionInTheLastLineWithoutBreak) {
    Load("a\nb", 2, 3);
    RunFormat();
    EXPECT_EQ(editor_.document(), "a\n  b");
}

TEST_P(FormatCommandTest, SelectionCaretBeforeAnchorIsRestoredToItsLine) {
    const std::string document = "a\r\nb\r\nc\r\nd";
    Load(document, 7, 4);  // caret inside "b", anchor inside "c"
    RunFormat();
    EXPECT_EQ(editor_.document(), "a\r\n  b\r\n  c\r\nd");
    EXPECT_EQ(editor_.caret(), 3);
}

// With "Selection context" a selection starts at the level of the code above
// it and an END in it names the routine around it, as in a whole-document run
// (which gives "  x = 0", "SUB One(a)", "  FOR", "    IF", "      y = i",
// "    END IF", "END SUB" and reports SUB One(a)). Only then is the text above
// fetched.
TEST_P(FormatCommandTest, SelectionContext) {
    const std::string program = "x = 0\r\nSUB One(a)\r\nFOR i = 1 TO 2\r\nIF i THEN\r\ny = i\r\nEND IF\r\nEND SUB\r\n";
    struct Case {
        const char* name;
        std::string_view first, last;  // the selection: from the first's first byte into the last
        bool context;
        std::string want;
        std::u16string_view box;
        std::string_view above = "";  // put before the program
    };
    for (const Case& c : {
             Case{"inside two blocks", "y = i", "y = i", true, "      y = i\r\n", u""},
             Case{"off: the base level", "y = i", "y = i", false, "  y = i\r\n", u""},
             Case{"an END names the routine around", "IF i", "END SUB", true,
                  "    IF i THEN\r\n      y = i\r\n    END IF\r\nEND SUB\r\n", u"Format error in:\nSUB One(a)"},
             Case{"off: no error", "IF i", "END SUB", false,
                  "  IF i THEN\r\n    y = i\r\n  END IF\r\nEND SUB\r\n", u""},
             Case{"a NUL above is a byte of its line", "y = i", "y = i", true, "        y = i\r\n", u"",
                  std::string_view("FOR j\0\r\n", 8)},
         }) {
        const std::string document = std::string(c.above) + program;
        boxes_.clear();
        const std::size_t start = document.find(c.first), end = document.find("\r\n", document.find(c.last)) + 2;
        Load(document, start, document.find(c.last) + 1);
        RunFormat({1, 0, false, c.context});
        EXPECT_EQ(editor_.document(), document.substr(0, start) + c.want + document.substr(end)) << c.name;
        EXPECT_EQ(boxes_.empty() ? u"" : boxes_[0].text, c.box) << c.name;
        // The selection is read once before writing; the text above it only with context.
        const auto& sent = editor_.messages();
        EXPECT_EQ(std::count(sent.begin(), std::find(sent.begin(), sent.end(), sci::kBeginUndoAction),
                             sci::kGetRangePointer),
                  c.context ? 2 : 1)
            << c.name;
    }
}

TEST_P(FormatCommandTest, ReportsTheFirstUnbalancedRoutineAfterWriting) {
    Load("SUB One(a)\nFOR i = 1 TO 2\nEND SUB\nSUB Two\nDO\nEND SUB\n", 0, 0);
    RunFormat();
    EXPECT_EQ(editor_.writes(), 1);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].title, u"OOPS!");
    EXPECT_EQ(boxes_[0].text, u"Format error in:\nSUB One(a)");
    EXPECT_EQ(boxes_[0].flags, 0u);
}

TEST_P(FormatCommandTest, SuppressFormatErrorSetting) {
    Load("SUB A\nFOR i = 1 TO 2\nEND SUB\n", 0, 0);
    RunFormat({1, 1});
    EXPECT_TRUE(boxes_.empty());
    Load("x = 1\n", 0, 0);
    RunFormat({1, 2});
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, u"Format error in:\nMain code");
}

TEST_P(FormatCommandTest, UnchangedTextIsNotWrittenBack) {
    const std::string document = "SUB A\r\n  x = 1\r\nEND SUB\r\n";
    Load(document, 9, 9);
    RunFormat();
    EXPECT_EQ(editor_.writes(), 0);
    EXPECT_EQ(editor_.document(), document);
    EXPECT_EQ(editor_.caret(), 7);  // still sent to the start of its line
}

TEST_P(FormatCommandTest, EmptyDocumentBecomesTheIndentationOfOneLine) {
    Load("", 0, 0);
    RunFormat();
    EXPECT_EQ(editor_.document(), "  ");
}

// "Use tabs" = -1 takes the document's own indentation from the editor.
TEST_P(FormatCommandTest, UseTabsFollowsTheEditor) {
    struct Case { bool tabs; std::intptr_t indent, tabWidth; std::string want; };
    for (const Case& c : {Case{true, 4, 8, "\tFOR i\r\n\t\tx\r\n\tNEXT"}, Case{false, 4, 8, "    FOR i\r\n        x\r\n    NEXT"},
                          Case{false, 0, 3, "   FOR i\r\n      x\r\n   NEXT"}}) {
        Load("FOR i\n x\nNEXT", 0, 0);
        editor_.SetIndentation(c.tabs, c.indent, c.tabWidth);
        RunFormat({.useTabs = -1});
        EXPECT_EQ(editor_.document(), c.want) << c.indent << " " << c.tabWidth;
    }
}

TEST_P(FormatCommandTest, ExceptionInTheEditorLeavesTheDocumentUnchanged) {
    Load("FOR i\nx\nNEXT\n", 0, 0);
    Platform platform;
    platform.sendToEditor = [this](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) -> std::intptr_t {
        if (message == sci::kGetLength) return INTPTR_MAX - 1;  // no buffer that large can be had
        // and none to read in place: an editor's pointer is good for its length only
        if (message == sci::kGetCharacterPointer || message == sci::kGetRangePointer) return 0;
        return editor_.Handle(message, wParam, lParam);
    };
    platform.showMessageBox = [](std::u16string_view, std::u16string_view, unsigned) { return 1; };
    FormatCommand(platform, {}, state_);
    EXPECT_EQ(editor_.document(), "FOR i\nx\nNEXT\n");
    EXPECT_EQ(editor_.writes(), 0);
}

// What the write-back keeps. The bytes are those of the whole-text
// write-back; markers and contracted folds stay on their lines; the view stays
// unless the caret's line is out of it; one undo step gives the original back.
struct KeepCase {
    const char* name;
    std::string document;
    std::intptr_t anchor, caret;
    std::map<std::intptr_t, std::uint32_t> markers;
    std::set<std::intptr_t> folds;
    std::intptr_t top, xOffset;          // the view before
    std::intptr_t wantTop, wantXOffset;  // and after
    std::size_t maxMessages = 72;
    // What only Scintilla's own core shows: rows with these run on it alone.
    bool realCoreOnly = false;
    std::string_view typed = {};  // typed at the start of line 1, then saved
    std::intptr_t hiddenFirst = 0, hiddenLast = -1;  // hidden with View › Hide Lines
    std::string_view marked = {};  // its first occurrence highlighted with Search › Mark
    bool gapStays = false;  // reading the text leaves the buffer's gap where it was
    std::set<std::intptr_t> history = {};  // when given, the lines that change history marks
};

// Lines 1, 2, 7 and 12 change; line 1 and 2 as one run.
constexpr std::string_view kPlaces =
    "SUB A\r\nIF x THEN\r\ny = 1\r\n  END IF\r\n  z = 2\r\n  z = 3\r\n  FOR i = 1 TO 2\r\nq\r\n  NEXT\r\n"
    "END SUB\r\nSUB B\r\n  a = 1\r\n      b = 2\r\nEND SUB\r\n";

std::string ManyLinesOneChanged() {
    std::string text;
    for (int line = 0; line < 3000; ++line) text += line == 1500 ? "x = 1\r\n" : "  x = 1\r\n";
    return text;
}

// Every other line of a routine changes: runs of one line, one line apart.
std::string EveryOtherLineChanged(int pairs, std::string_view statement = "x = 1") {
    std::string text = "SUB B\r\n";
    for (int i = 0; i < pairs; ++i) (text += statement) += "\r\n  y = 2\r\n";
    return text + "END SUB\r\n";
}

std::set<std::intptr_t> LinesFromTo(std::intptr_t first, std::intptr_t last) {
    std::set<std::intptr_t> lines;
    for (std::intptr_t line = first; line <= last; ++line) lines.insert(line);
    return lines;
}

const KeepCase kKeepCases[] = {
    {"markers in, after and between runs", std::string(kPlaces), 0, 0,
     {{1, 1u << 20}, {2, 1u << 1}, {3, (1u << 20) | (1u << 3)}, {5, 1u << 20}, {12, 1u << 4}, {13, 1u << 31}}, {}, 0, 0,
     0, 0},
    {"contracted folds in, around and away from runs", std::string(kPlaces), 0, 0, {}, {1, 6, 10}, 0, 0, 0, 0},
    {"view kept while the caret's line is in it", std::string(kPlaces), 20, 20, {}, {}, 2, 24, 2, 24},
    {"view follows a caret out of it", std::string(kPlaces), 122, 122, {{7, 1}}, {}, 0, 24, 4, 0},
    {"selection: its lines only", std::string(kPlaces), 125, 110, {{1, 1u << 20}, {10, 1}, {12, 4}, {13, 8}}, {10},
     0, 0, 3, 0},
    {"nothing to change", "SUB A\r\n  x = 1\r\nEND SUB\r\n", 0, 0, {{1, 2}}, {0}, 0, 8, 0, 8},
    {"work follows changed runs and markers, not lines", ManyLinesOneChanged(), 13500, 13500,
     {{3, 1}, {1500, 2}, {1501, 4}, {2900, 8}}, {10, 1499, 2000}, 1495, 8, 1495, 8, 55},
    {"markers of one number on two lines of a run keep one handle each", std::string(kPlaces), 0, 0,
     {{1, 1u << 20}, {2, 1u << 20}}, {}, 0, 0, 0, 0},
    {"markers of a selection's first line after a lone CR stay there", "a\rx\ny\n", 2, 3, {{0, 1u << 3}, {1, 1u << 20}},
     {}, 0, 0, 0, 0},
    {"a folded routine below the first line of a run stays folded", "x = 0\nSUB B\nFOR i = 1 TO 2\ny = 2\nNEXT\nEND SUB\nz = 1\n",
     0, 0, {}, {1}, 0, 0, 0, 0},
    {"change history is not put back as markers", std::string(kPlaces), 0, 0, {{1, 1u << 20}, {2, 1u << 20}}, {}, 0, 0,
     0, 0, 60, true, " "},
    {"hidden lines stay hidden, highlights stay on their text", std::string(kPlaces), 0, 0, {}, {}, 0, 0, 0, 0, 100, true,
     {}, 2, 2, "x THEN"},
    {"reading a selection leaves the gap where typing put it", std::string(kPlaces), 36, 46, {}, {}, 0, 0, 0, 0, 60,
     true, " ", 0, -1, {}, true},
    {"a few runs are written apart: history marks their lines only", std::string(kPlaces), 0, 0, {}, {}, 0, 0, 0, 0,
     60, true, {}, 0, -1, {}, false, {1, 2, 7, 12}},
    {"runs that cost more apart than a little over one replacement are joined: history marks the lines between",
     EveryOtherLineChanged(24), 0, 0, {}, {}, 0, 0, 0, 0, 60, true, {}, 0, -1, {}, false, LinesFromTo(1, 47)},
    {"runs joined over many lines: messages follow folds, hidden stretches and highlights, not lines",
     "SUB A\r\n  x = 1\r\nEND SUB\r\n" + EveryOtherLineChanged(150), 0, 0, {}, {0}, 0, 0, 0, 0, 90, true, {}, 100,
     102, "y = 2"},
    {"most of a document of megabytes changes: one replacement from the first changed line to the last",
     EveryOtherLineChanged(60'000, "x = 1 ' " + std::string(100, 'c')), 0, 0, {{3, 1u << 20}, {90'000, 1u << 20}}, {0}, 0,
     0, 0, 0, 60, false, {}, 0, -1, {}, false, LinesFromTo(1, 119'999)},
};

// Format changes nothing, keeps the selection and says why.
struct SkipCase {
    const char* name;
    std::string document;
    std::intptr_t anchor, caret;
    std::u16string_view box;
    bool readOnly = false;  // the stand-in has no read-only documents
    bool realCoreOnly = readOnly;
};

const SkipCase kSkipCases[] = {
    {"a NUL byte, nothing selected", std::string("FOR i\n\0x\nNEXT\n", 14), 3, 3, kNulSkippedText},
    {"a NUL byte in the selection", std::string("FOR i\n\0x\nNEXT\n", 14), 8, 2, kNulSkippedText},
    {"a read-only document", "FOR i\nx\nNEXT\n", 8, 2, kReadOnlyText, true},
};

template <class Editor>
void EditorHarness<Editor>::CheckSkipCase(const SkipCase& c) {
    boxes_.clear();
    Load(c.document, c.anchor, c.caret);
    if constexpr (!std::is_same_v<Editor, FakeScintilla>) {
        if (c.readOnly) editor_.SetReadOnly();
    }
    RunFormat();
    EXPECT_EQ(editor_.document(), c.document) << c.name;
    EXPECT_EQ(editor_.writes(), 0) << c.name;
    EXPECT_EQ(editor_.anchor(), c.anchor) << c.name;
    EXPECT_EQ(editor_.caret(), c.caret) << c.name;
    ASSERT_EQ(boxes_.size(), 1u) << c.name;
    EXPECT_EQ(boxes_[0].title, u"OOPS!");
    EXPECT_EQ(boxes_[0].text, c.box) << c.name;
}

// The document that the whole-text write-back leaves.
std::string WholeTextResult(const std::string& document, std::intptr_t anchor, std::intptr_t caret) {
    FakeScintilla editor(document);
    editor.SetSelection(anchor, caret);
    Platform platform;
    platform.sendToEditor = [&editor](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
        return editor.Handle(message, wParam, lParam);
    };
    platform.showMessageBox = [](std::u16string_view, std::u16string_view, unsigned) { return 1; };
    FormatterState state;
    FormatCommand(platform, {}, state, bench::WriteWholeText);
    return editor.document();
}

template <class Editor>
void EditorHarness<Editor>::CheckKeepCase(const KeepCase& c) {
    Load(c.document, c.anchor, c.caret);
    for (const auto& [line, markers] : c.markers) editor_.AddMarkers(line, markers);
    for (const std::intptr_t line : c.folds) editor_.ContractFold(line);
    std::set<std::intptr_t> hidden;
    std::vector<std::string> marked;
    std::intptr_t gap = 0;
    if constexpr (!std::is_same_v<Editor, FakeScintilla>) {
        if (!c.typed.empty()) editor_.TypeAndSave(editor_.LineStart(1), std::string(c.typed));
        if (c.hiddenFirst <= c.hiddenLast) editor_.HideLines(c.hiddenFirst, c.hiddenLast);
        if (!c.marked.empty()) editor_.Mark(editor_.document().find(c.marked), c.marked.size());
        hidden = editor_.hiddenLines();
        marked = editor_.markedTexts();
        gap = editor_.gapPosition();
    }
    editor_.SetView(c.top, c.xOffset);
    const std::string before = editor_.document();
    const std::string want = WholeTextResult(before, editor_.anchor(), editor_.caret());
    const auto markers = editor_.markers();
    const auto folds = editor_.contractedFolds();
    const std::intptr_t caretLine = editor_.LineFromPosition(editor_.caret());
    const std::size_t sentBefore = editor_.messages().size();
    RunFormat();
    EXPECT_EQ(editor_.document(), want) << c.name;
    EXPECT_EQ(editor_.markers(), markers) << c.name;
    EXPECT_EQ(editor_.contractedFolds(), folds) << c.name;
    if constexpr (std::is_same_v<Editor, FakeScintilla>) {  // the headless core's view never scrolls
        EXPECT_EQ(editor_.firstVisibleLine(), c.wantTop) << c.name;
        EXPECT_EQ(editor_.xOffset(), c.wantXOffset) << c.name;
    }
    EXPECT_EQ(editor_.caret(), editor_.LineStart(caretLine)) << c.name;
    EXPECT_EQ(editor_.anchor(), editor_.caret()) << c.name;
    EXPECT_LE(editor_.messages().size() - sentBefore, c.maxMessages) << c.name;
    EXPECT_EQ(editor_.writes(), want == before ? 0 : 1) << c.name;
    EXPECT_FALSE(editor_.undoGroupOpen()) << c.name;
    if constexpr (!std::is_same_v<Editor, FakeScintilla>) {
        EXPECT_EQ(editor_.duplicateMarkers(), std::set<std::intptr_t>{}) << c.name;
        EXPECT_EQ(editor_.hiddenLines(), hidden) << c.name;
        EXPECT_EQ(editor_.markedTexts(), marked) << c.name;
        if (c.gapStays) {
            EXPECT_EQ(editor_.gapPosition(), gap) << c.name;
        }
        if (!c.history.empty()) {
            EXPECT_EQ(editor_.historyLines(), c.history) << c.name;
        }
    }
    const auto& sent = editor_.messages();
    if (want == before) {
        EXPECT_EQ(std::count(sent.begin(), sent.end(), sci::kBeginUndoAction), 0) << c.name;
        EXPECT_TRUE(redraws_.empty()) << c.name;
        return;
    }
    // The view does not redraw from before the first edit to after the last message.
    const auto firstEdit = std::find(sent.begin() + std::ptrdiff_t(sentBefore), sent.end(), sci::kSetTargetRange);
    ASSERT_EQ(redraws_.size(), 2u) << c.name;
    EXPECT_FALSE(redraws_[0].first) << c.name;
    EXPECT_LE(redraws_[0].second, static_cast<std::size_t>(firstEdit - sent.begin())) << c.name;
    EXPECT_EQ(redraws_[1], std::make_pair(true, sent.size())) << c.name;
    EXPECT_TRUE(editor_.Undo()) << c.name;
    EXPECT_EQ(editor_.document(), before) << c.name;
    if (!c.typed.empty()) return;  // the typing is the step before
    EXPECT_FALSE(editor_.Undo()) << c.name;
    EXPECT_TRUE(editor_.Redo()) << c.name;
    EXPECT_EQ(editor_.document(), want) << c.name;
}

// An editor that stops giving its text in place once Format has written a
// run: the runs written are undone. (The stand-in for an old editor gives no
// text in place, and Format works on a copy of it.)
TEST_P(FormatCommandTest, EditorThatStopsGivingItsTextGetsTheWritingUndone) {
    const std::string places(kPlaces);
    Load(places, 0, 0);
    bool written = false;
    Platform platform;
    platform.sendToEditor = [&](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) -> std::intptr_t {
        written = written || message == sci::kReplaceTarget;
        if (written && message == sci::kGetRangePointer) return 0;
        return editor_.Handle(message, wParam, lParam);
    };
    platform.showMessageBox = [](std::u16string_view, std::u16string_view, unsigned) { return 1; };
    FormatCommand(platform, {}, state_);
    const bool inPlace = GetParam() == LengthConvention::kExcludesNul;
    EXPECT_EQ(editor_.document(), inPlace ? places : WholeTextResult(places, 0, 0));
    EXPECT_FALSE(editor_.undoGroupOpen());
}

TEST_P(FormatCommandTest, NulByteLeavesDocumentAndSelectionAlone) {
    for (const SkipCase& c : kSkipCases) {
        if (!c.realCoreOnly) CheckSkipCase(c);
    }
}

TEST_P(FormatCommandTest, WriteBackKeepsTheUsersPlace) {
    for (const KeepCase& c : kKeepCases) {
        if (!c.realCoreOnly) CheckKeepCase(c);
    }
}

REAL_CORE_TEST(WriteBackKeepsTheUsersPlace) {
#if HALVEX_REAL_SCINTILLA
    for (const KeepCase& c : kKeepCases) CheckKeepCase(c);
#else
    GTEST_SKIP() << "built without Scintilla's sources (HALVEX_SCINTILLA_DIR)";
#endif
}

REAL_CORE_TEST(SkippedRunsLeaveDocumentAndSelectionAlone) {
#if HALVEX_REAL_SCINTILLA
    for (const SkipCase& c : kSkipCases) CheckSkipCase(c);
#else
    GTEST_SKIP() << "built without Scintilla's sources (HALVEX_SCINTILLA_DIR)";
#endif
}

INSTANTIATE_TEST_SUITE_P(BothLengthConventions, FormatCommandTest,
                         ::testing::Values(LengthConvention::kCountsNul, LengthConvention::kExcludesNul),
                         [](const auto& info) {
                             return info.param == LengthConvention::kCountsNul ? std::string("CountsNul")
                                                                                 : std::string("ExcludesNul");
                         });

// ---------------------------------------------------------------------------
// Choosing the replacements by cost

using EditRun = ChangedLines::Run;

// What a replacement costs by the model beside the constants.
double Cost(const EditRun& run) {
    const std::size_t deleted = run.oldEnd - run.oldBegin, inserted = run.newEnd - run.newBegin;
    const double change = edit_cost::kChangeMs + (run.lastLine > run.firstLine ? edit_cost::kLinesMs : 0);
    return (deleted ? change : 0) + (inserted ? change : 0) + edit_cost::kByteMs * double(deleted + inserted);
}

double TotalCost(const std::vector<EditRun>& runs) {
    double total = 0;
    for (const EditRun& run : runs) total += Cost(run);
    return total;
}

// The least cost of any way of joining neighbours: each replacement tried as
// the last one after the cheapest way of writing the runs before it.
double LeastCost(const std::vector<EditRun>& runs) {
    std::vector<double> least(runs.size() + 1, 0);
    for (std::size_t end = 1; end <= runs.size(); ++end) {
        least[end] = INFINITY;
        for (std::size_t first = 0; first < end; ++first) {
            const EditRun& a = runs[first];
            const EditRun& b = runs[end - 1];
            least[end] = std::min(least[end], least[first] + Cost({a.firstLine, b.lastLine, a.oldBegin, b.oldEnd,
                                                                   a.newBegin, b.newEnd}));
        }
    }
    return least.back();
}

// Runs one to four lines long (mostly one), a deletion, an insertion or both
// within them, apart by a line, by bytes about worth the two changes of a
// replacement, or by megabytes; with `dense`, single lines a line apart.
std::vector<EditRun> RandomRuns(std::mt19937_64& random, std::size_t count, bool dense) {
    const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    constexpr std::size_t kGaps[] = {12, 12, 200'000, 300'000, 3'000'000};
    std::vector<EditRun> runs;
    std::intptr_t line = 0;
    std::size_t oldAt = 0, newAt = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::intptr_t lines = dense || pick(2) ? 1 : 2 + static_cast<std::intptr_t>(pick(3));
        const std::size_t kind = pick(3), deleted = kind == 1 ? 0 : 1 + pick(300), inserted = kind == 2 ? 0 : 1 + pick(300);
        runs.push_back({line, line + lines - 1, oldAt, oldAt + deleted, newAt, newAt + inserted});
        const std::size_t gap = dense ? 12 + pick(30) : kGaps[pick(5)] + pick(100'000);
        line += lines + 1 + static_cast<std::intptr_t>(gap / 30);
        oldAt += deleted + gap;
        newAt += inserted + gap;
    }
    return runs;
}

// Joined as the runs are found and then all together: never more than the
// least cost of any way of joining neighbours, and only neighbours joined.
// Dense changes are joined as they are found, so few runs are ever held.
TEST(JoinByCost, NoWayOfJoiningNeighboursCostsLess) {
    std::mt19937_64 random(17);
    for (int round = 0; round < 600; ++round) {
        const bool dense = round % 4 == 0;
        const std::vector<EditRun> runs = RandomRuns(random, dense ? 300 : 1 + round % 70, dense);
        std::vector<EditRun> chosen;
        std::size_t held = 0;
        for (const EditRun& run : runs) {
            chosen.push_back(run);
            ChangedLines::JoinNewest(chosen);
            held = std::max(held, chosen.size());
        }
        EXPECT_TRUE(!dense || held < 60) << "round " << round << " held " << held << " runs";
        ChangedLines::JoinByCost(chosen);
        EXPECT_LE(TotalCost(chosen), LeastCost(runs) + 1e-9) << "round " << round;
        std::size_t next = 0;  // each chosen replacement begins and ends where runs do
        for (const EditRun& replacement : chosen) {
            EXPECT_EQ(replacement.oldBegin, runs[next].oldBegin) << "round " << round;
            while (next < runs.size() && runs[next].oldEnd < replacement.oldEnd) ++next;
            ASSERT_LT(next, runs.size()) << "round " << round;
            EXPECT_EQ(replacement.newEnd, runs[next].newEnd) << "round " << round;
            EXPECT_EQ(replacement.lastLine, runs[next++].lastLine) << "round " << round;
        }
        EXPECT_EQ(next, runs.size()) << "round " << round;
    }
}

// Runs that each cost more than rewriting any gap would save, more of them
// than the ceiling: the narrowest gaps are joined first.
TEST(JoinByCost, NeverMoreThanTheCeilingOfEdits) {
    std::vector<EditRun> runs;
    std::vector<std::size_t> gaps;
    std::size_t at = 0;
    for (std::size_t i = 0; i < edit_cost::kMaxEdits + 300; ++i) {
        const std::size_t gap = (i * 7919 % 1000 + 1) * 10'000'000;
        runs.push_back({static_cast<std::intptr_t>(i * 2), static_cast<std::intptr_t>(i * 2), at, at + 1, at, at + 1});
        at += 1 + gap;
        gaps.push_back(gap);
    }
    std::vector<EditRun> chosen = runs;
    ChangedLines::JoinByCost(chosen);
    ASSERT_EQ(chosen.size(), edit_cost::kMaxEdits);
    std::size_t widestJoined = 0, narrowestKept = SIZE_MAX;
    for (std::size_t i = 0; i + 1 < runs.size(); ++i) {
        const bool kept = std::any_of(chosen.begin(), chosen.end(), [&](const EditRun& r) { return r.oldEnd == runs[i].oldEnd; });
        (kept ? narrowestKept : widestJoined) = kept ? std::min(narrowestKept, gaps[i]) : std::max(widestJoined, gaps[i]);
    }
    EXPECT_LE(widestJoined, narrowestKept);
}

}  // namespace
}  // namespace halvex
