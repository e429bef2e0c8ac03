#include "formatter/format_on_save.hpp"

#include <algorithm>
#include <string>

namespace halvex {
namespace {

// A position as its line, its column, and the indentation in front of it.
struct LinePlace {
    std::intptr_t line;
    std::intptr_t column;
    std::intptr_t indentation;
};

std::intptr_t Indentation(const std::string& line) {
    return static_cast<std::intptr_t>(std::min(line.find_first_not_of(" \t"), line.size()));
}

LinePlace PlaceOf(const Editor& editor, std::intptr_t position) {
    const std::intptr_t line = editor.LineFromPosition(position);
    return {line, position - editor.PositionFromLine(line), Indentation(editor.LineText(line))};
}

// Where the place is now that the line's indentation may have changed: the
// same byte of its text, or the same column within the indentation as far as
// the new one reaches, and never beyond the line's end.
std::intptr_t PositionOf(const Editor& editor, const LinePlace& place) {
    const std::intptr_t indentation = Indentation(editor.LineText(place.line));
    const std::intptr_t column = place.column <= place.indentation ? std::min(place.column, indentation)
                                                                   : indentation + place.column - place.indentation;
    return std::min(editor.PositionFromLine(place.line) + column, editor.LineEndPosition(place.line));
}

}  // namespace

void FormatOnSave(const Platform& platform, const FormatSettings& settings, FormatterState& state) noexcept {
    try {
        const Editor editor(platform.sendToEditor);
        const LinePlace anchor = PlaceOf(editor, editor.Anchor());
        const LinePlace caret = PlaceOf(editor, editor.CurrentPos());
        FormatCommand(platform, settings, state, WriteChangedLines, FormatScope::kDocument);
        editor.SetSel(PositionOf(editor, anchor), PositionOf(editor, caret));
    } catch (...) {
        // Out of memory reading a line: the document is formatted or as it
        // was, and the save goes on.
    }
}

}  // namespace halvex
