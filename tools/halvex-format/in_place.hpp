#pragma once
// Rewriting a file in place, as -i does.
//
// The new content is written into the file itself (the same inode), so its
// owner, group, mode and hard links stay as they were. Before the first byte
// is written the old content is copied into a file beside it named
// "NAME.halvex-tmp-XXXXXX", synced to disk and renamed to
// "NAME.halvex-backup-XXXXXX" (the folder synced too), so that a backup's name
// always stands for a whole copy. Once the new content is whole and synced,
// the backup is removed. When anything fails after that (a write, memory) or
// a signal that would end the process comes, the old content is written back
// and the backup removed; only when that fails too (or the process is killed
// outright) does the backup stay, and the error names it. A signal that came
// during the rewrite is raised again once the file is whole.

#include <functional>
#include <string>
#include <string_view>

#include "formatter/format_text.hpp"

namespace halvex::cli {

// Says what went wrong with the file; the caller adds its name.
using Complaint = std::function<void(std::string_view message)>;

// Produces the new content from the old one, handing it to `sink` in pieces.
using Rewrite = std::function<void(std::string_view old, const TextSink& sink)>;

// False, with a complaint, unless `file` (a symbolic link followed) is a
// regular file: -i never touches a device, a pipe or a folder.
bool IsRewritable(const std::string& file, const Complaint& complain);

// Replaces the content of `file`, which is `old`, by what `rewrite` makes of
// it. False, with a complaint, when the file was not rewritten; it then
// holds its old content, or the complaint names the backup that does.
bool RewriteInPlace(const std::string& file, std::string_view old, const Rewrite& rewrite, const Complaint& complain);

}  // namespace halvex::cli
