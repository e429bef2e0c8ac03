// Fuzz target: the format pipeline over any bytes. Checks that formatting
// changes nothing but the blanks at both ends of lines and the line breaks,
// keeps the line count, writes CR LF only, is idempotent and formats as the
// plain path does; for a small share
// of inputs it runs the Format command over the stand-in editor, with a length
// convention and a selection taken from the input's first bytes (text holding
// a NUL goes only there: the command must refuse it), and halvex-format's
// --lines over the selected lines. The first byte also sets "Trim tabs" and
// "Selection context".
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check.hpp"
#include "cli.hpp"
#include "fake_scintilla.hpp"
#include "formatter/format_command.hpp"
#include "formatter/format_text.hpp"
#include "formatter/line_scan.hpp"
#include "reference.hpp"
#include "text/text.hpp"

namespace {

using namespace halvex;
using testing::FakeScintilla;
using testing::LengthConvention;

// `source` formatted, the engine having followed `above` first.
std::string Format(std::string_view source, const FormatSettings& settings, FormatterState* stateOut = nullptr,
                   FormatPath path = FormatPath::kFast, std::string_view above = {}) {
    const LowerCaseFolds folds;
    FormatterState state;
    IndentEngine engine(state, settings, folds);
    engine.StartRun();
    FollowContext(above, engine);
    std::string text = FormatText(source, engine, path).text;
    if (stateOut != nullptr) *stateOut = std::move(state);
    return text;
}

// The fast path (most lines read without their analysis text, line ends
// found with SSE2 where there is SSE2) against the plain one (every line
// analysed, line ends found eight bytes at a time): the same text and state,
// with "Trim tabs" and without, and the same stop at a NUL. The two line
// scanners must also agree from every line start.
void CheckFastPath(std::string_view input, FormatSettings settings) {
    for (const bool trimTabs : {false, true}) {
        settings.trimTabs = trimTabs;
        FormatterState fastState, plainState;
        const LowerCaseFolds folds;
        IndentEngine fast(fastState, settings, folds), plain(plainState, settings, folds);
        fast.StartRun();
        plain.StartRun();
        const FormattedText fastText = FormatText(input, fast), plainText = FormatText(input, plain, FormatPath::kPlain);
        HALVEX_FUZZ_CHECK(fastText.text == plainText.text && fastText.errorLine == plainText.errorLine);
        HALVEX_FUZZ_CHECK(fastText.holdsNul == plainText.holdsNul &&
                          fastText.holdsNul == (std::memchr(input.data(), '\0', input.size()) != nullptr));
        HALVEX_FUZZ_CHECK(fastState.indentLevel == plainState.indentLevel);
        HALVEX_FUZZ_CHECK(fastState.formatErrorState == plainState.formatErrorState);
        HALVEX_FUZZ_CHECK(fastState.errorLocation == plainState.errorLocation);
    }
    for (std::size_t at = 0; at < input.size();) {
        for (const bool tabs : {false, true}) {
            const LineScan fast = ScanLine(input, at, tabs), plain = ScanLinePortable(input, at, tabs);
            HALVEX_FUZZ_CHECK(fast.end == plain.end && fast.special == plain.special && fast.colon == plain.colon);
            HALVEX_FUZZ_CHECK(fast.trimBegin == plain.trimBegin && fast.trimEnd == plain.trimEnd);
#if defined(HALVEX_SCAN_AVX2)
            if (HasAvx2()) {
                const LineScan wide = ScanLineAvx2(input, at, tabs);
                HALVEX_FUZZ_CHECK(wide.end == plain.end && wide.special == plain.special && wide.colon == plain.colon &&
                                  wide.trimBegin == plain.trimBegin && wide.trimEnd == plain.trimEnd);
            }
#endif
        }
        at = ScanLine(input, at).end + 1;
    }
}

// The style that `choice` (1 to 9) picks (that many spaces a level, 9 being
// two; tabs for every third; blank lines empty for odd ones) writes the
// default style's levels its own way and nothing else, and is stable.
FormatSettings CheckStyle(std::string_view input, FormatSettings settings, unsigned choice) {
    const bool tabs = choice % 3 == 0;
    settings.trimTabs = settings.trimTabs || tabs;  // tabs are read back as indentation
    const std::string plain = Format(input, settings);
    settings.indentWidth = static_cast<std::int32_t>(choice);
    settings.useTabs = tabs ? kTabsPerLevel : 0;
    settings.blankLinesEmpty = choice % 2 == 1;
    const std::string styled = Format(input, settings);
    HALVEX_FUZZ_CHECK(styled == reference::Restyle(plain, tabs ? '\t' : ' ', tabs ? 1 : choice < 9 ? choice : 2,
                                                   settings.blankLinesEmpty));
    HALVEX_FUZZ_CHECK(Format(styled, settings) == styled);
    return settings;
}

// A little-endian number from up to `count` bytes at `at`; 0 past the end.
std::size_t BytesAt(std::string_view input, std::size_t at, std::size_t count) {
    std::size_t value = 0;
    for (std::size_t i = 0; i < count && at + i < input.size(); ++i) {
        value |= static_cast<std::size_t>(static_cast<unsigned char>(input[at + i])) << (8 * i);
    }
    return value;
}

// The same with a NUL put where the input's second byte says: at the first
// byte, the last, or `k` bytes into the line that the third byte picks, which
// puts it inside a 16-byte block or at either side of a block's edge.
void CheckFastPathWithNul(std::string input, const FormatSettings& settings) {
    const std::size_t pick = BytesAt(input, 1, 1), line = BytesAt(input, 2, 1);
    std::size_t at = pick % 3 == 0 ? 0 : pick % 3 == 1 ? input.size() - 1 : 0;
    if (pick % 3 == 2) {
        for (std::size_t i = 0; i < line % 16 && at < input.size(); ++i) at = LineEnd(input, at) + 1;
        at += pick / 3 % 34;  // 0 to 33: the first two blocks and the next byte
    }
    if (at >= input.size()) return;
    input[at] = '\0';
    CheckFastPath(input, settings);
}

// The Format command on the document, with the selection from anchor to
// caret. It works on the whole document when nothing is selected, else on
// exactly the selection's whole lines, as a text of their own (with
// "Selection context", after the text above), and changes nothing else;
// halvex-format --lines over those lines writes the same. Text that holds a
// NUL is left alone, with the user's selection, and a box says so. Otherwise
// the caret ends at the start of its line, and a box names the routine that
// the text's own run blames, if any.
void CheckFormatCommand(const std::string& document, LengthConvention convention, std::intptr_t anchor,
                        std::intptr_t caret, const FormatSettings& settings) {
    FakeScintilla editor(document, convention);
    editor.SetSelection(anchor, caret);
    // Markers at both ends of the selection and on the last line must stay.
    editor.AddMarkers(editor.LineFromPosition(anchor), 1u << 20);
    editor.AddMarkers(editor.LineFromPosition(caret), 1u << 3);
    editor.AddMarkers(editor.LineCount() - 1, 1u << 31);
    const auto markers = editor.markers();
    Platform platform;
    platform.sendToEditor = [&editor](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
        return editor.Handle(message, wParam, lParam);
    };
    std::vector<std::u16string> boxes;
    platform.showMessageBox = [&boxes](std::u16string_view, std::u16string_view text, unsigned) {
        boxes.emplace_back(text);
        return 1;
    };
    FormatterState state;
    FormatCommand(platform, settings, state);

    const FakeScintilla before(document);
    std::size_t from = 0;
    std::size_t to = document.size();
    const std::intptr_t firstLine = before.LineFromPosition(std::min(anchor, caret));
    const std::intptr_t lastLine = before.LineFromPosition(std::max(anchor, caret));
    if (anchor != caret) {
        from = static_cast<std::size_t>(before.LineStart(firstLine));
        to = static_cast<std::size_t>(before.LineStart(lastLine + 1));
    }
    const std::string_view target = std::string_view(document).substr(from, to - from);
    if (target.find('\0') != std::string_view::npos) {
        HALVEX_FUZZ_CHECK(editor.document() == document && editor.writes() == 0);
        HALVEX_FUZZ_CHECK(editor.anchor() == anchor && editor.caret() == caret);
        HALVEX_FUZZ_CHECK(boxes.size() == 1 && boxes[0] == kNulSkippedText);
        return;
    }
    FormatterState wantState;
    const bool context = settings.selectionContext && anchor != caret;
    const std::string_view above = std::string_view(document).substr(0, context ? from : 0);
    const std::string formatted = Format(target, settings, &wantState, FormatPath::kFast, above);
    const std::string want = document.substr(0, from) + formatted + document.substr(to);
    HALVEX_FUZZ_CHECK(editor.document() == want);
    if (anchor != caret && document.rfind("\xEF\xBB\xBF", 0) != 0) {
        // The empty line after a final line break is no line of --lines.
        const bool emptyLast = lastLine > firstLine && before.LineStart(lastLine) == std::ssize(document);
        const cli::LineRange lines{static_cast<std::uint64_t>(firstLine) + 1,
                                   static_cast<std::uint64_t>(lastLine) + (emptyLast ? 0 : 1)};
        std::string written;
        cli::FormatSourceTo(document, settings, [&written](std::string_view piece) { written += piece; }, lines);
        HALVEX_FUZZ_CHECK(written == want);
    }
    HALVEX_FUZZ_CHECK(editor.writes() == (want == document ? 0 : 1));
    HALVEX_FUZZ_CHECK(reference::ScintillaLineCount(editor.document()) == reference::ScintillaLineCount(document));
    const std::intptr_t caretLine = before.LineFromPosition(caret);
    HALVEX_FUZZ_CHECK(editor.caret() == editor.LineStart(caretLine) && editor.anchor() == editor.caret());
    std::vector<std::u16string> wantBoxes;
    if (wantState.formatErrorState == kErrorRecorded) {
        wantBoxes.push_back(std::u16string(kFormatErrorPrefix) + FromUtf8(wantState.errorLocation));
    }
    HALVEX_FUZZ_CHECK(boxes == wantBoxes);
    HALVEX_FUZZ_CHECK(editor.markers() == markers);
    editor.Undo();
    HALVEX_FUZZ_CHECK(editor.document() == document);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The first byte picks the settings: base levels -2 to 4, every
    // "Suppress format error" value that means something, "Trim tabs" and
    // "Selection context".
    const unsigned char choice = input.empty() ? 0 : static_cast<unsigned char>(input[0]);
    const FormatSettings settings{static_cast<std::int32_t>(choice % 7) - 2, static_cast<std::int32_t>(choice / 7 % 4),
                                  (choice / 28 & 1) != 0, (choice / 56 & 1) != 0};
    // The last byte picks an indentation style, 0 the default one.
    const unsigned style = input.empty() ? 0 : static_cast<unsigned char>(input.back()) % 10;
    FormatSettings styled = settings;

    // The pipeline never sees a NUL: the command refuses such text first.
    if (std::memchr(input.data(), '\0', input.size()) == nullptr) {
        const std::string once = Format(input, settings);
        HALVEX_FUZZ_CHECK(reference::StrippedLines(once, settings.trimTabs) ==
                          reference::StrippedLines(input, settings.trimTabs));
        HALVEX_FUZZ_CHECK(reference::ScintillaLineCount(once) == reference::ScintillaLineCount(input));
        HALVEX_FUZZ_CHECK(reference::FirstBareBreak(once) == std::string_view::npos);
        HALVEX_FUZZ_CHECK(Format(once, settings) == once);
        CheckFastPath(input, settings);
        if (style != 0) styled = CheckStyle(input, settings, style);
    }
    CheckFastPathWithNul(std::string(input), settings);
    // One input in sixteen, when short (the stand-in editor counts lines
    // byte by byte), also goes through the Format command.
    if (size >= 6 && size <= 4096 && (static_cast<unsigned char>(input[1]) & 0x0F) == 0) {
        const LengthConvention convention =
            (input[1] & 0x10) != 0 ? LengthConvention::kCountsNul : LengthConvention::kExcludesNul;
        const std::string document(input);
        const auto anchor = static_cast<std::intptr_t>(BytesAt(input, 2, 2) % (size + 1));
        // Half of these runs format the whole document.
        const auto caret =
            (input[1] & 0x20) != 0 ? anchor : static_cast<std::intptr_t>(BytesAt(input, 4, 2) % (size + 1));
        CheckFormatCommand(document, convention, anchor, caret, styled);
    }
    return 0;
}
