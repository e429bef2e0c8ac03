#include "whole_text_write_back.hpp"

namespace halvex::bench {

void WriteWholeText(const Editor& editor, const Rewrite& rewrite) {
    if (!rewrite.formatted.unchanged()) {  // else no undo step, no "modified" mark
        const std::string newText = rewrite.formatted.WholeText();
        if (rewrite.selectionMode) {
            editor.ReplaceSel(newText);
        } else {
            editor.SetText(newText);
        }
    }
    editor.GotoLine(rewrite.caretLine);
}

}  // namespace halvex::bench
