#pragma once
// The unified diff that --diff prints.

#include <string>
#include <string_view>

namespace halvex::cli {

// Appends to `out` a unified diff that turns `before` into `after`: headed
// "--- a/NAME" and "+++ b/NAME" (NAME without "." folders, doubled slashes or
// a leading slash; quoted and escaped as git does when it holds a quote, a
// backslash, a control or non-ASCII byte; followed by a tab when it holds a
// space), hunks with 3 lines of context. Lines are cut
// after each LF and shown with their bytes as they are (a CR stays part of
// its line); a last line without LF is marked "\ No newline at end of file".
//
// Made for a text and its re-indented form, whose lines correspond one for
// one when both are cut at CR LF, LF and lone CR: lines are paired in order,
// so the diff takes linear time and each re-indented line shows as itself.
// Texts whose lines do not pair up get one hunk replacing everything, which
// is still a correct diff.
void AppendUnifiedDiff(std::string_view name, std::string_view before, std::string_view after, std::string& out);

}  // namespace halvex::cli
