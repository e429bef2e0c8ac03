#include "shell/settings_win32.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace halvex {
namespace {

// The longest name the system gives a module, in UTF-16 code units.
constexpr DWORD kLongestModuleName = 32768;

// The module's full file name, kept in UTF-16 so that no folder name goes
// through the ANSI code page; empty when it cannot be had. The buffer grows
// until the name fits: a name that fills it exactly has been cut short.
std::wstring ModuleFileName(HMODULE module) {
    std::wstring name;
    for (DWORD size = MAX_PATH;; size *= 2) {
        name.resize(size);
        const DWORD length = GetModuleFileNameW(module, name.data(), size);
        if (length == 0) return {};
        if (length < size) {
            name.resize(length);
            return name;
        }
        if (size > kLongestModuleName) return {};
    }
}

// The folder of the module, with its final backslash; empty when the name
// cannot be had or holds no folder (nothing relative is ever formed).
std::wstring ModuleFolder(HMODULE module) {
    const std::wstring name = ModuleFileName(module);
    const std::size_t separator = name.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : name.substr(0, separator + 1);
}

// A path that the file functions accept at any length: one of MAX_PATH or
// more gets the extended-length prefix ("\\?\C:\..." or "\\?\UNC\server\...").
// Module names are already full and normalised, which that prefix requires.
std::filesystem::path Openable(const std::wstring& path) {
    if (path.size() < MAX_PATH || path.starts_with(LR"(\\?\)")) return path;
    if (path.starts_with(LR"(\\)")) return LR"(\\?\UNC\)" + path.substr(2);
    return LR"(\\?\)" + path;
}

// The places of the settings file, in the order that LoadPluginSettings gives.
std::vector<std::filesystem::path> SettingsFileCandidates(HMODULE plugin) {
    std::vector<std::filesystem::path> candidates;
    if (const std::wstring folder = ModuleFolder(plugin); !folder.empty()) {
        candidates.push_back(Openable(folder + L"Halvex.inf"));
    }
    if (const std::wstring folder = ModuleFolder(nullptr); !folder.empty()) {
        candidates.push_back(Openable(folder + LR"(plugins\Halvex\Halvex.inf)"));
        candidates.push_back(Openable(folder + L"Halvex.inf"));
    }
    return candidates;
}

}  // namespace

SettingsValues LoadPluginSettings(HMODULE plugin) noexcept {
    try {
        return LoadSettings(SettingsFileCandidates(plugin));
    } catch (...) {
        return SettingsValues{};  // out of memory forming the names
    }
}

}  // namespace halvex
