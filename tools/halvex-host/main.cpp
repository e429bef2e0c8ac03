// halvex-host.exe: a minimal host for Halvex.dll.
//
// It loads the plug-in as Notepad++ does (LoadLibrary, then isUnicode,
// getName, setInfo with a real main window and two editing views that answer
// Scintilla's messages, then getFuncsArray) and runs one command given on its
// command line. Message boxes are closed as soon as they are shown and
// reported. Started with /npp as its first argument it is the IDE stand-in:
// it records what the Variable Report command handed over and exits.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "box_watcher_win32.hpp"
#include "fake_scintilla.hpp"
#include "fake_scintilla_window_win32.hpp"
#include "record_field.hpp"
#include "text/text.hpp"

namespace {

using halvex::testing::EscapeField;
using halvex::testing::FakeScintilla;
using halvex::testing::LengthConvention;

constexpr int kExitUsage = 2;

const char kUsage[] =
    "Usage: halvex-host.exe [--dll PATH] [--cwd DIR] COMMAND [ARGS]\n"
    "  --dll PATH   the plug-in to load (default: Halvex.dll beside the host)\n"
    "  --cwd DIR    the current directory while the DLL loads and runs\n"
    "\n"
    "  menu                       print the name and the command table\n"
    "  format IN OUT [--select START END] [--caret POS] [--old-scintilla] [--via menu|export] [--time]\n"
    "               [--marker LINE MASK]... [--fold LINE]... [--view TOP XOFFSET]\n"
    "  varreport IN [--via menu|export] [--show-main-view]\n"
    "  about\n";

// The host's records, as Notepad++ declares them.
struct NppData {
    HWND nppHandle;
    HWND scintillaMainHandle;
    HWND scintillaSecondHandle;
};
struct ShortcutKey {
    bool isCtrl;
    bool isAlt;
    bool isShift;
    UCHAR key;
};
struct FuncItem {
    wchar_t itemName[64];
    void (*pFunc)();
    int cmdID;
    bool init2Check;
    ShortcutKey* pShKey;
};

struct Plugin {
    HMODULE module = nullptr;
    BOOL (*isUnicode)() = nullptr;
    const wchar_t* (*getName)() = nullptr;
    void (*setInfo)(NppData) = nullptr;
    FuncItem* (*getFuncsArray)(int*) = nullptr;
    int (*doFormat)() = nullptr;
    int (*doVarRP)() = nullptr;
    FuncItem* items = nullptr;
    int itemCount = 0;
};

std::string Utf8(std::wstring_view text) {
    return halvex::ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

void PrintRecord(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) line += (i ? "\t" : "") + fields[i];
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
}

std::optional<std::string> ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(path.c_str(), std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::wstring CurrentDirectory() {
    std::wstring dir(GetCurrentDirectoryW(0, nullptr), L'\0');
    dir.resize(GetCurrentDirectoryW(static_cast<DWORD>(dir.size()), dir.data()));
    return dir;
}

std::wstring FullPath(const std::wstring& path) {
    std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    full.resize(GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    return full;
}

std::wstring DefaultDllPath() {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path = exe;
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"Halvex.dll";
}

std::wstring ClipboardText() {
    // The plug-in may still hold the clipboard, or a test holds it on purpose
    // for a moment: wait up to ten seconds for it.
    for (int attempt = 0; attempt < 500; ++attempt) {
        if (OpenClipboard(nullptr)) {
            std::wstring text;
            if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
                if (const auto* locked = static_cast<const wchar_t*>(GlobalLock(data))) {
                    text = locked;
                    GlobalUnlock(data);
                }
            }
            CloseClipboard();
            return text;
        }
        Sleep(20);
    }
    return L"<clipboard busy>";
}

// The IDE stand-in: appends one record of what it was given to the file
// named by HALVEX_IDE_RECORD.
int RecordIdeStart() {
    wchar_t recordPath[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"HALVEX_IDE_RECORD", recordPath, MAX_PATH) == 0) return kExitUsage;
    const std::string record = "argv\t" + EscapeField(Utf8(GetCommandLineW())) + "\ncwd\t" +
                               EscapeField(Utf8(CurrentDirectory())) + "\nclipboard\t" +
                               EscapeField(Utf8(ClipboardText())) + "\n";
    std::ofstream out(recordPath, std::ios::binary | std::ios::app);
    out << record;
    return out ? 0 : 1;
}

template <class Function>
bool Bind(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}

std::optional<Plugin> LoadPlugin(const std::wstring& dllPath, const NppData& data) {
    Plugin plugin;
    plugin.module = LoadLibraryW(dllPath.c_str());
    if (plugin.module == nullptr) {
        std::fprintf(stderr, "halvex-host: cannot load %s (error %lu)\n", Utf8(dllPath).c_str(), GetLastError());
        return std::nullopt;
    }
    const bool bound = Bind(plugin.module, "isUnicode", plugin.isUnicode) &&
                       Bind(plugin.module, "getName", plugin.getName) &&
                       Bind(plugin.module, "setInfo", plugin.setInfo) &&
                       Bind(plugin.module, "getFuncsArray", plugin.getFuncsArray) &&
                       Bind(plugin.module, "doFormat", plugin.doFormat) && Bind(plugin.module, "doVarRP", plugin.doVarRP);
    if (!bound) {
        std::fprintf(stderr, "halvex-host: %s lacks a plug-in export\n", Utf8(dllPath).c_str());
        return std::nullopt;
    }
    // Notepad++'s order.
    plugin.isUnicode();
    plugin.getName();
    plugin.setInfo(data);
    plugin.items = plugin.getFuncsArray(&plugin.itemCount);
    return plugin;
}

std::string ShortcutText(const ShortcutKey* key) {
    if (key == nullptr) return "-";
    return "ctrl=" + std::to_string(key->isCtrl) + " alt=" + std::to_string(key->isAlt) +
           " shift=" + std::to_string(key->isShift) + " key=" + std::to_string(key->key);
}

void PrintMenu(const Plugin& plugin) {
    PrintRecord({"name", EscapeField(Utf8(plugin.getName()))});
    for (int i = 0; i < plugin.itemCount; ++i) {
        const FuncItem& item = plugin.items[i];
        PrintRecord({"item", std::to_string(i + 1), EscapeField(Utf8(item.itemName)), ShortcutText(item.pShKey)});
    }
}

void PrintBoxes(const halvex::testing::BoxWatcher& watcher) {
    for (const auto& box : watcher.boxes()) {
        PrintRecord({"box", EscapeField(Utf8(box.title)), EscapeField(Utf8(box.text))});
    }
}

// The user's place after Format: markers as LINE:MASK, contracted fold
// headers, and the view's top line and horizontal scroll.
void PrintPlace(const FakeScintilla& model) {
    std::vector<std::string> markers{"markers"}, folds{"folds"};
    for (const auto& [line, mask] : model.markers()) {
        markers.push_back(std::to_string(line) + ":" + std::to_string(mask));
    }
    for (const std::intptr_t line : model.contractedFolds()) folds.push_back(std::to_string(line));
    PrintRecord(markers);
    PrintRecord(folds);
    PrintRecord({"view", std::to_string(model.firstVisibleLine()), std::to_string(model.xOffset())});
}

struct CommandLine {
    std::wstring dll;
    std::wstring cwd;
    std::vector<std::wstring> args;  // the command and its arguments
};

std::optional<CommandLine> ParseCommandLine(int argc, wchar_t** argv) {
    CommandLine line;
    line.dll = DefaultDllPath();
    int i = 1;
    for (; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if ((arg == L"--dll" || arg == L"--cwd") && i + 1 < argc) {
            (arg == L"--dll" ? line.dll : line.cwd) = FullPath(argv[++i]);
        } else {
            break;
        }
    }
    line.args.assign(argv + i, argv + argc);
    if (line.args.empty()) return std::nullopt;
    return line;
}

// Options after a command's operands: --name VALUE... or a bare flag.
struct CommandOptions {
    std::optional<std::pair<std::intptr_t, std::intptr_t>> select;
    std::optional<std::intptr_t> caret;
    bool oldScintilla = false;
    bool viaExport = false;
    bool time = false;
    bool showMainView = false;
    // Markers, contracted folds and the view before Format; given any, they
    // are printed after it.
    std::vector<std::pair<std::intptr_t, std::uint32_t>> markers;
    std::vector<std::intptr_t> folds;
    std::optional<std::pair<std::intptr_t, std::intptr_t>> view;
    bool printPlace() const { return !markers.empty() || !folds.empty() || view; }
};

std::optional<CommandOptions> ParseOptions(const std::vector<std::wstring>& args, std::size_t from) {
    CommandOptions options;
    for (std::size_t i = from; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        const auto number = [&](std::size_t at) { return static_cast<std::intptr_t>(std::stoll(args.at(at))); };
        try {
            if (arg == L"--select") {
                options.select = {{number(i + 1), number(i + 2)}};
                i += 2;
            } else if (arg == L"--marker") {
                options.markers.emplace_back(number(i + 1), static_cast<std::uint32_t>(number(i + 2)));
                i += 2;
            } else if (arg == L"--fold") {
                options.folds.push_back(number(++i));
            } else if (arg == L"--view") {
                options.view = {{number(i + 1), number(i + 2)}};
                i += 2;
            } else if (arg == L"--caret") {
                options.caret = number(++i);
            } else if (arg == L"--old-scintilla") {
                options.oldScintilla = true;
            } else if (arg == L"--via" && i + 1 < args.size() && (args[i + 1] == L"menu" || args[i + 1] == L"export")) {
                options.viaExport = args[++i] == L"export";
            } else if (arg == L"--time") {
                options.time = true;
            } else if (arg == L"--show-main-view") {
                options.showMainView = true;
            } else {
                return std::nullopt;
            }
        } catch (...) {
            return std::nullopt;
        }
    }
    return options;
}

// Runs one command item (by its position in the table) or its export.
int RunCommand(const Plugin& plugin, int item, int (*exported)(), bool viaExport) {
    if (viaExport) return exported();
    plugin.items[item].pFunc();
    return 0;
}

int Usage() {
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);  // records end in LF alone
    if (argc > 1 && std::wstring_view(argv[1]) == L"/npp") return RecordIdeStart();
    const std::optional<CommandLine> line = ParseCommandLine(argc, argv);
    if (!line) return Usage();
    const std::wstring& command = line->args[0];
    const std::size_t operands = command == L"format" ? 2 : command == L"varreport" ? 1 : 0;
    if ((command != L"menu" && command != L"about" && operands == 0) || line->args.size() < operands + 1) return Usage();
    const std::optional<CommandOptions> options = ParseOptions(line->args, operands + 1);
    if (!options) return Usage();

    std::string document;
    if (operands > 0) {
        const auto bytes = ReadFile(line->args[1]);
        if (!bytes) {
            std::fprintf(stderr, "halvex-host: cannot read %s\n", Utf8(line->args[1]).c_str());
            return kExitUsage;
        }
        document = *bytes;
    }
    const std::wstring outPath = operands == 2 ? FullPath(line->args[2]) : L"";

    FakeScintilla mainModel(std::move(document),
                            options->oldScintilla ? LengthConvention::kCountsNul : LengthConvention::kExcludesNul);
    FakeScintilla secondModel;
    if (options->select) mainModel.SetSelection(options->select->first, options->select->second);
    if (options->caret) mainModel.SetSelection(*options->caret, *options->caret);
    for (const auto& [markerLine, mask] : options->markers) mainModel.AddMarkers(markerLine, mask);
    for (const std::intptr_t foldLine : options->folds) mainModel.ContractFold(foldLine);
    if (options->view) mainModel.SetView(options->view->first, options->view->second);

    const HWND mainWindow = CreateWindowExW(0, L"STATIC", L"halvex-host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                                            nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(mainWindow, SW_SHOW);
    SetForegroundWindow(mainWindow);
    const NppData data{mainWindow, halvex::testing::CreateFakeScintillaWindow(mainModel, mainWindow),
                       halvex::testing::CreateFakeScintillaWindow(secondModel, mainWindow)};

    if (!line->cwd.empty() && !SetCurrentDirectoryW(line->cwd.c_str())) {
        std::fprintf(stderr, "halvex-host: cannot change to %s\n", Utf8(line->cwd).c_str());
        return kExitUsage;
    }
    const std::optional<Plugin> plugin = LoadPlugin(line->dll, data);
    if (!plugin) return kExitUsage;

    halvex::testing::BoxWatcher watcher;
    int result = 0;
    if (command == L"menu") {
        PrintMenu(*plugin);
    } else if (command == L"about") {
        RunCommand(*plugin, 2, nullptr, false);
        PrintBoxes(watcher);
    } else if (command == L"varreport") {
        if (options->showMainView) {
            PrintRecord({"main-view", std::to_string(reinterpret_cast<std::intptr_t>(data.scintillaMainHandle))});
        }
        result = RunCommand(*plugin, 0, plugin->doVarRP, options->viaExport);
        PrintBoxes(watcher);
    } else {
        if (options->time) mainModel.MeasureTime();
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        result = RunCommand(*plugin, 1, plugin->doFormat, options->viaExport);
        QueryPerformanceCounter(&end);
        if (!WriteFile(outPath, mainModel.document())) {
            std::fprintf(stderr, "halvex-host: cannot write %s\n", Utf8(outPath).c_str());
            return kExitUsage;
        }
        PrintBoxes(watcher);
        PrintRecord({"caret-line", std::to_string(mainModel.LineFromPosition(mainModel.caret()))});
        PrintRecord({"selection", std::to_string(mainModel.anchor()), std::to_string(mainModel.caret())});
        if (options->printPlace()) PrintPlace(mainModel);
        if (options->time) {
            const long long ms = (end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart;
            PrintRecord({"elapsed-ms", std::to_string(ms)});
            // Of that, the stand-in editor's own work in answering messages.
            PrintRecord({"editor-ms", std::to_string(mainModel.timeSpent().count() / 1000000)});
        }
    }
    if (options->viaExport) PrintRecord({"result", std::to_string(result)});
    std::fflush(stdout);
    FreeLibrary(plugin->module);
    DestroyWindow(mainWindow);
    return 0;
}
