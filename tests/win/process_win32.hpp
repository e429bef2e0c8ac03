#pragma once
// Processes, files and folders for the Windows end-to-end tests.

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace halvex::testing {

// The folder of the running test program, with a final backslash: the DLL,
// the host and the test data are beside it.
std::wstring ModuleDirectory();

struct ProcessResult {
    DWORD exitCode = static_cast<DWORD>(-1);
    std::string out;  // what it wrote to standard output
};

// Runs the command line in `directory` (or here when empty) and waits for it.
ProcessResult RunProcess(const std::wstring& commandLine, const std::wstring& directory = L"");

// Copies `file` under its own name into `folder` (with a final backslash),
// as a plug-in is copied to lie beside a settings file; the copy's path.
std::wstring CopyInto(const std::wstring& file, const std::wstring& folder);

// The host's NppData record: main window, main view, second view.
struct NppHandles {
    HWND npp, main, second;
};

// A FuncItem record of the plug-in's command table, as Notepad++ reads it:
// its size and the offsets of its fields after the 64-unit name. Pointers
// take 8 bytes in the x64 host and 4 in the x86 one.
struct FuncItemLayout {
    std::size_t size, command, commandId, check, shortcut;
};
#if defined(_WIN64)
inline constexpr FuncItemLayout kFuncItem{152, 128, 136, 140, 144};
#else
inline constexpr FuncItemLayout kFuncItem{144, 128, 132, 136, 140};
#endif

std::string ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);

// A fresh folder under the temporary folder, removed with all it holds.
class TempFolder {
   public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // The folder's path, with a final backslash.
    const std::wstring& path() const { return path_; }

   private:
    std::wstring path_;
};

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);

// Splits the host's output into its records, each a list of tab-separated fields.
std::vector<std::vector<std::string>> Records(const std::string& output);

}  // namespace halvex::testing
