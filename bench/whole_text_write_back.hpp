#pragma once
// The first release's write-back, kept for comparison in the benchmarks and
// in the tests that check the changed-lines write-back against it. Only
// those builds link it: the plug-in writes back changed lines.

#include "editor/editor.hpp"
#include "formatter/format_command.hpp"

namespace halvex::bench {

// The whole text, or the widened selection, in one message (SCI_SETTEXT or
// SCI_REPLACESEL); then the caret to the start of its line. Bookmarks, folds
// and the view are lost.
void WriteWholeText(const Editor& editor, const Rewrite& rewrite);

}  // namespace halvex::bench
