#pragma once
// Rewriting a file in place, as -i does.
//
// The new content is written into the file itself (the same inode), so its
// owner, group, mode and hard links stay as they were. Before the first byte
// is written the old content is copied into a backup beside it and synced to
// disk; once the new content is whole and synced, the backup is removed. When
// the write fails or SIGINT, SIGTERM or SIGHUP comes, the old content is
// written back from the backup and the backup removed; only when that fails
// too (or the process is killed outright) does the backup stay, and the error
// names it. A signal that came during the rewrite is raised again once the
// file is whole.

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
// holds its old content.
bool RewriteInPlace(const std::string& file, std::string_view old, const Rewrite& rewrite, const Complaint& complain);

}  // namespace halvex::cli
