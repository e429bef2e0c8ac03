#include "walk.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace halvex::cli {
namespace {

namespace fs = std::filesystem;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool HasExtension(std::string_view name, const Extensions& extensions) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    std::string extension(name.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(), LowerAscii);
    return std::find(extensions.begin(), extensions.end(), extension) != extensions.end();
}

}  // namespace

std::optional<Extensions> ParseExtensions(std::string_view list) {
    Extensions extensions;
    while (true) {
        const std::size_t comma = std::min(list.find(','), list.size());
        std::string_view entry = list.substr(0, comma);
        entry.remove_prefix(std::min(entry.find_first_not_of(' '), entry.size()));
        entry.remove_suffix(entry.size() - std::min(entry.find_last_not_of(' ') + 1, entry.size()));
        if (!entry.empty() && entry.front() == '.') entry.remove_prefix(1);
        // An extension is what follows a name's last dot: it holds no dot, and no name holds a slash.
        if (entry.empty() || entry.find_first_of("./") != std::string_view::npos) return std::nullopt;
        std::string lower(entry);
        std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
        extensions.push_back(std::move(lower));
        if (comma == list.size()) return extensions;
        list.remove_prefix(comma + 1);
    }
}

bool WalkSourceTree(const std::string& folder, const Extensions& extensions,
                    const std::function<void(const std::string& path)>& visit,
                    const std::function<void(const std::string& path, std::string_view message)>& complain) {
    struct Entry {
        std::string name;
        fs::file_type type;
    };
    std::vector<Entry> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator(); it.increment(error)) {
        std::string name = it->path().filename().string();
        if (name.front() != '.') entries.push_back({std::move(name), it->symlink_status(error).type()});
    }
    if (error) {
        complain(folder, error.message());
        return false;
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    bool ok = true;
    for (const Entry& entry : entries) {
        const std::string path = (fs::path(folder) / entry.name).string();
        if (entry.type == fs::file_type::directory) {
            ok = WalkSourceTree(path, extensions, visit, complain) && ok;
        } else if (entry.type == fs::file_type::regular && HasExtension(entry.name, extensions)) {
            visit(path);
        }
    }
    return ok;
}

}  // namespace halvex::cli
