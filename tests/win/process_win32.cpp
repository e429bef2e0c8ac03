#include "process_win32.hpp"

#include <fstream>
#include <iterator>
#include <sstream>

#include "text/text.hpp"

namespace halvex::testing {

std::wstring ModuleDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring full = path;
    return full.substr(0, full.find_last_of(L'\\') + 1);
}

ProcessResult RunProcess(const std::wstring& commandLine, const std::wstring& directory) {
    TempFolder scratch;
    const std::wstring outPath = scratch.path() + L"stdout";
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring writable = commandLine;
    ProcessResult result;
    if (CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
        WaitForSingleObject(process.hProcess, 120000);
        GetExitCodeProcess(process.hProcess, &result.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    result.out = ReadBytes(outPath);
    return result;
}

std::wstring CopyInto(const std::wstring& file, const std::wstring& folder) {
    const std::wstring copy = folder + file.substr(file.find_last_of(L'\\') + 1);
    CopyFileW(file.c_str(), copy.c_str(), FALSE);
    return copy;
}

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream(path.c_str(), std::ios::binary) << bytes;
}

TempFolder::TempFolder() {
    static int counter = 0;
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    path_ = std::wstring(base) + L"halvex-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter) + L"\\";
    CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    // Files first, then the folders from the deepest up.
    WIN32_FIND_DATAW found;
    std::vector<std::wstring> stack{path_};
    std::vector<std::wstring> folders;
    while (!stack.empty()) {
        const std::wstring dir = stack.back();
        stack.pop_back();
        folders.push_back(dir);
        const HANDLE find = FindFirstFileW((dir + L"*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                stack.push_back(dir + name + L"\\");
            } else {
                SetFileAttributesW((dir + name).c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW((dir + name).c_str());
            }
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) RemoveDirectoryW(it->c_str());
}

std::wstring Widen(const std::string& utf8) {
    const Text text = FromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

std::string Narrow(const std::wstring& text) {
    return ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

std::vector<std::vector<std::string>> Records(const std::string& output) {
    std::vector<std::vector<std::string>> records;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
            fields.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        fields.push_back(line.substr(start));
        records.push_back(fields);
    }
    return records;
}

}  // namespace halvex::testing
