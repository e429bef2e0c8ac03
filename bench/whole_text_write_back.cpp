#include "whole_text_write_back.hpp"

namespace halvex::bench {

void WriteWholeText(const Editor& editor, const Rewrite& rewrite) {
    if (rewrite.newText != rewrite.oldText) {  // else no undo step, no "modified" mark
        if (rewrite.selectionMode) {
            editor.ReplaceSel(rewrite.newText);
        } else {
            editor.SetText(rewrite.newText);
        }
    }
    editor.GotoLine(rewrite.caretLine);
}

}  // namespace halvex::bench
