#include "bridge/start_program_win32.hpp"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "bridge/ide_launch.hpp"

namespace halvex {
namespace {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// A null pointer for an empty text: "none" to the Win32 calls below.
const wchar_t* OrNull(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

bool CreateIdeProcess(std::u16string_view program, std::u16string_view parameters, const std::wstring& directory) {
    // CreateProcessW may write into its command line: a buffer of its own.
    std::wstring commandLine = Wide(ProgramCommandLine(program, parameters));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        OrNull(directory), &startup, &process)) {
        return false;
    }
    // Nothing waits for the IDE.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

bool ShellOpen(std::u16string_view program, std::u16string_view parameters, std::u16string_view directory) {
    const std::wstring file = Wide(program);
    const std::wstring arguments = Wide(parameters);
    const std::wstring shellDirectory = Wide(ShellDirectory(program, directory));
    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof execute;
    // The process handle is asked for only to be closed at once; NO_UI keeps
    // the shell's own error dialogs away.
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI;
    execute.lpFile = file.c_str();
    execute.lpParameters = arguments.c_str();
    execute.lpDirectory = OrNull(shellDirectory);
    execute.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&execute)) return false;
    if (execute.hProcess != nullptr) CloseHandle(execute.hProcess);
    return true;
}

}  // namespace

int StartProgram(std::u16string_view program, std::u16string_view parameters, std::u16string_view directory) noexcept {
    // An empty program names nothing to start, and the shell may take an
    // empty file name for the current folder and open a window on it.
    if (program.empty()) return 0;
    try {
        if (CreateIdeProcess(program, parameters, Wide(directory))) return 1;
        return ShellOpen(program, parameters, directory) ? 1 : 0;
    } catch (...) {
        return 0;  // no memory for the command line
    }
}

}  // namespace halvex
