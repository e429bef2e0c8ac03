#pragma once
// Finding the source files of a tree, for a FILE argument that is a folder.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvex::cli {

// File name extensions in lower case, without their dot.
using Extensions = std::vector<std::string>;

inline const Extensions kDefaultExtensions = {"bas", "inc"};

// Reads a comma-separated list such as "bas,inc" or ".BAS, .txt", spaces
// around an entry set aside; nullopt when an entry is empty or could never
// match (it holds a dot or a slash).
std::optional<Extensions> ParseExtensions(std::string_view list);

// Calls `visit` with the path of each regular file below `folder` whose
// extension is one of `extensions` (ASCII letter case ignored). Entries are
// taken in byte order of their names, a folder's files where its name comes;
// names that begin with a dot (".git", ".cache.bas") and symbolic links are
// passed over. A folder that cannot be read is reported through `complain`
// and the walk goes on; false when that happened.
bool WalkSourceTree(const std::string& folder, const Extensions& extensions,
                    const std::function<void(const std::string& path)>& visit,
                    const std::function<void(const std::string& path, std::string_view message)>& complain);

}  // namespace halvex::cli
