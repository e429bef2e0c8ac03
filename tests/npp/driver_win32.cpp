// HalvexDriver.dll: a test-only Notepad++ plug-in that drives the real editor.
//
// Loaded beside Halvex.dll, it waits for NPPN_READY, then runs the steps of
// plugins\HalvexDriver\steps.txt (one a line) against the editor and Halvex,
// and appends what it observes to plugins\HalvexDriver\record.txt, one
// tab-separated record a line. Every message box shown on Notepad++'s thread
// is recorded and closed. After the last step it marks both views saved and
// closes Notepad++.
//
// Steps run from a timer, so that a step that injects a key press ("key")
// can return to Notepad++'s own message loop, where its accelerators are
// translated, before the next step looks at the result.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "box_watcher_win32.hpp"
#include "record_field.hpp"
#include "shell/host_records_win32.hpp"
#include "text/text.hpp"

namespace {

using halvex::FuncItem;
using halvex::NppData;
using halvex::testing::EscapeField;

constexpr UINT kNppMsg = WM_USER + 1000;
constexpr UINT kNppmGetCurrentScintilla = kNppMsg + 4;
constexpr UINT kNppmGetMenuHandle = kNppMsg + 25;
constexpr UINT kNppmActivateDoc = kNppMsg + 28;
constexpr UINT kNppmMenuCommand = kNppMsg + 48;
constexpr UINT kNppnReady = 1000 + 1;
constexpr UINT kScnModified = 2008;
constexpr int kScModInsertOrDelete = 0x1 | 0x2;  // SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT

// The start of Scintilla's SCNotification, as far as the driver reads it.
struct ScNotification {
    NMHDR nmhdr;
    std::intptr_t position;
    int ch;
    int modifiers;
    int modificationType;
};

constexpr UINT kSciGetLength = 2006;
constexpr UINT kSciGetCurrentPos = 2008;
constexpr UINT kSciGetAnchor = 2009;
constexpr UINT kSciGotoPos = 2025;
constexpr UINT kSciSetSavePoint = 2014;
constexpr UINT kSciMarkerAdd = 2043;
constexpr UINT kSciMarkerGet = 2046;
constexpr UINT kSciGetModify = 2159;
constexpr UINT kSciSetSel = 2160;
constexpr UINT kSciGetFirstVisibleLine = 2152;
constexpr UINT kSciGetLineCount = 2154;
constexpr UINT kSciGetText = 2182;
constexpr UINT kSciUndo = 2176;
constexpr UINT kSciEmptyUndoBuffer = 2175;
constexpr UINT kSciRedo = 2011;
constexpr UINT kSciClearAll = 2004;
constexpr UINT kSciAppendText = 2282;
constexpr UINT kSciFoldLine = 2237;
constexpr UINT kSciFoldAll = 2662;
constexpr UINT kSciGetDirectFunction = 2184;
constexpr UINT kSciGetDirectPointer = 2185;
constexpr UINT kSciPositionFromLine = 2167;
constexpr UINT kSciSetTargetRange = 2686;
constexpr UINT kSciReplaceTarget = 2194;
constexpr UINT kSciBeginUndoAction = 2078;
constexpr UINT kSciEndUndoAction = 2079;
constexpr UINT kSciSetXOffset = 2397;
constexpr UINT kSciGetXOffset = 2398;
constexpr UINT kSciContractedFoldNext = 2618;
constexpr UINT kSciSetFirstVisibleLine = 2613;
constexpr UINT kSciColourise = 4003;

constexpr UINT_PTR kStepTimer = 0x4856;
constexpr UINT kTickMs = 50;

NppData npp{};
HWND view = nullptr;  // the view that editing steps act on
FuncItem items[1]{};
std::wstring folder;  // plugins\HalvexDriver\, with a final backslash
std::vector<std::string> steps;
std::size_t nextStep = 0;
DWORD resumeAt = 0;  // tick count before which no step runs
bool busy = false;
halvex::testing::BoxWatcher* watcher = nullptr;
std::size_t boxesRecorded = 0;
std::size_t changesSeen = 0;  // deletions and insertions that the main view reported

std::string Utf8(const std::wstring& text) {
    return halvex::ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

std::wstring Wide(const std::string& text) {
    const halvex::Text wide = halvex::FromUtf8(text);
    return std::wstring(wide.begin(), wide.end());
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c == '0' ? '\0' : c;
    }
    return out;
}

void Record(const std::string& key, const std::string& value) {
    std::ofstream(std::filesystem::path(folder + L"record.txt"), std::ios::binary | std::ios::app)
        << key << '\t' << value << '\n';
}

std::intptr_t Sci(HWND target, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(target, message, wParam, lParam);
}

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void SetText(const std::string& text) {
    Sci(view, kSciClearAll);
    Sci(view, kSciAppendText, text.size(), reinterpret_cast<LPARAM>(text.data()));
    Sci(view, kSciEmptyUndoBuffer);
    Sci(view, kSciSetSavePoint);
}

std::string DocumentText(HWND target) {
    const auto length = static_cast<std::size_t>(Sci(target, kSciGetLength));
    std::string text(length + 1, '\0');
    Sci(target, kSciGetText, length + 1, reinterpret_cast<LPARAM>(text.data()));
    text.resize(length);
    return text;
}

std::string Join(const std::vector<std::intptr_t>& values) {
    std::string out;
    for (const std::intptr_t value : values) {
        if (!out.empty()) out += ' ';
        out += std::to_string(value);
    }
    return out;
}

// The lines whose marker mask meets `mask`. Read line by line: SCI_MARKERGET
// also reports the change-history markers, which SCI_MARKERNEXT skips.
std::vector<std::intptr_t> MarkedLines(HWND target, std::intptr_t mask) {
    std::vector<std::intptr_t> lines;
    const std::intptr_t count = Sci(target, kSciGetLineCount);
    for (std::intptr_t line = 0; line < count; ++line) {
        if ((Sci(target, kSciMarkerGet, line) & mask) != 0) lines.push_back(line);
    }
    return lines;
}

std::vector<std::intptr_t> ContractedFolds(HWND target) {
    std::vector<std::intptr_t> lines;
    for (std::intptr_t line = Sci(target, kSciContractedFoldNext, 0); line >= 0;
         line = Sci(target, kSciContractedFoldNext, line + 1)) {
        lines.push_back(line);
    }
    return lines;
}

// The state of the main view, each record's key prefixed with `label`.
void RecordState(const std::string& label) {
    const HWND main = npp._scintillaMainHandle;
    Record(label + ".text", EscapeField(DocumentText(main)));
    Record(label + ".caret", std::to_string(Sci(main, kSciGetCurrentPos)));
    Record(label + ".anchor", std::to_string(Sci(main, kSciGetAnchor)));
    Record(label + ".bookmarks", Join(MarkedLines(main, 1 << 20)));
    Record(label + ".marker5", Join(MarkedLines(main, 1 << 5)));
    Record(label + ".history", Join(MarkedLines(main, 0xF << 21)));
    Record(label + ".folds", Join(ContractedFolds(main)));
    Record(label + ".top", std::to_string(Sci(main, kSciGetFirstVisibleLine)));  // a display line
    Record(label + ".xoffset", std::to_string(Sci(main, kSciGetXOffset)));
    Record(label + ".modified", std::to_string(Sci(main, kSciGetModify)));
}

// The main view's text as a 64-bit FNV-1a digest, for documents too large to record.
void RecordDigest(const std::string& label) {
    std::uint64_t digest = 14695981039346656037ull;
    for (const char c : DocumentText(npp._scintillaMainHandle))
        digest = (digest ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(digest));
    Record(label + ".digest", hex);
}

// The window's pixels as the screen shows them, frame (scroll bars) included.
std::vector<std::uint32_t> ScreenPixels(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    const HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    const auto* first = static_cast<const std::uint32_t*>(bits);
    std::vector<std::uint32_t> pixels(first, first + static_cast<std::ptrdiff_t>(width) * height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Whether the main view redraws and, once what is due to be painted is,
// shows what painting it whole anew shows. Nothing is due after it.
void RecordPainted(const std::string& label) {
    const HWND main = npp._scintillaMainHandle;
    RedrawWindow(main, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    const std::vector<std::uint32_t> shown = ScreenPixels(main);
    RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Record(label + ".painted", IsWindowVisible(main) && !shown.empty() && shown == ScreenPixels(main) ? "1" : "0");
}

void RecordNewBoxes() {
    const auto& boxes = watcher->boxes();
    for (; boxesRecorded < boxes.size(); ++boxesRecorded) {
        Record("box",
               EscapeField(Utf8(boxes[boxesRecorded].title)) + "\t" + EscapeField(Utf8(boxes[boxesRecorded].text)));
    }
}

std::wstring MenuItemText(HMENU menu, int position) {
    wchar_t text[256] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, 256, MF_BYPOSITION);
    return text;
}

// Notepad++'s "Brenvo Plus" submenu of the Plugins menu.
HMENU HalvexMenu() {
    const auto plugins = reinterpret_cast<HMENU>(SendMessageW(npp._nppHandle, kNppmGetMenuHandle, 0, 0));
    for (int i = 0; i < GetMenuItemCount(plugins); ++i) {
        if (MenuItemText(plugins, i) == L"Brenvo Plus") return GetSubMenu(plugins, i);
    }
    return nullptr;
}

void RecordMenu() {
    const HMENU menu = HalvexMenu();
    for (int i = 0; i < GetMenuItemCount(menu); ++i) Record("menu-item", EscapeField(Utf8(MenuItemText(menu, i))));
}

// Runs the menu item whose text, before any tab, is `name`, as a click does.
void RunMenuItem(const std::string& name) {
    const HMENU menu = HalvexMenu();
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        const std::wstring text = MenuItemText(menu, i);
        if (text.substr(0, text.find(L'\t')) == Wide(name)) {
            SendMessageW(npp._nppHandle, WM_COMMAND, GetMenuItemID(menu, i), 0);
            return;
        }
    }
    Record("error", "no menu item " + name);
}

HMODULE Module(const std::string& name) {
    HMODULE module = GetModuleHandleW(Wide(name).c_str());
    if (module != nullptr) return module;
    // A variant of the plug-in, loaded here and given the host's handles.
    module = LoadLibraryW((folder + Wide(name)).c_str());
    const auto setInfo =
        reinterpret_cast<void (*)(NppData)>(reinterpret_cast<void*>(GetProcAddress(module, "setInfo")));
    if (setInfo != nullptr) setInfo(npp);
    return module;
}

int CallExport(const std::string& module, const std::string& name) {
    const auto function =
        reinterpret_cast<int (*)()>(reinterpret_cast<void*>(GetProcAddress(Module(module), name.c_str())));
    if (function == nullptr) {
        Record("error", "no export " + module + "!" + name);
        return -1;
    }
    return function();
}

// Records how long `work` takes, in milliseconds.
template <class Work>
void Time(const std::string& label, Work&& work) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    char ms[32];
    std::snprintf(
        ms, sizeof ms, "%.3f",
        1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
    Record("time." + label, ms);
}

// The editor's own cost of edits, without Halvex, sent as Halvex sends them
// (Scintilla's direct function, all in one undo step): from line 0 on, at
// every `every`-th line, the bytes of `span` lines replaced with themselves
// (`text` is the document's text); with a negative `span`, the whole text at
// once. One short line a hundred lines gives the cost of an edit, long spans
// the cost of a byte.
void ReplaceSpans(const std::string& text, std::intptr_t every, std::intptr_t span) {
    using DirectFunction = std::intptr_t (*)(void*, UINT, WPARAM, LPARAM);
    const auto function = reinterpret_cast<DirectFunction>(Sci(view, kSciGetDirectFunction));
    const auto pointer = reinterpret_cast<void*>(Sci(view, kSciGetDirectPointer));
    const auto send = [&](UINT message, std::intptr_t wParam, std::intptr_t lParam = 0) {
        return function(pointer, message, static_cast<WPARAM>(wParam), lParam);
    };
    send(kSciBeginUndoAction, 0);
    if (span < 0) {
        send(kSciSetTargetRange, 0, static_cast<LPARAM>(text.size()));
        send(kSciReplaceTarget, static_cast<std::intptr_t>(text.size()), reinterpret_cast<LPARAM>(text.data()));
    }
    const std::intptr_t lines = span < 0 ? 0 : send(kSciGetLineCount, 0);
    for (std::intptr_t line = 0; line + 1 < lines; line += every) {
        const std::intptr_t start = send(kSciPositionFromLine, line);
        const std::intptr_t end = span == 0 ? start + 1 : send(kSciPositionFromLine, std::min(line + span, lines - 1));
        send(kSciSetTargetRange, start, end);
        send(kSciReplaceTarget, end - start, reinterpret_cast<LPARAM>(text.data() + start));
    }
    send(kSciEndUndoAction, 0);
}

// Presses keys on the X display, as a user would (xdotool's key names, for
// example "alt+F11"; with `how` "type", the characters of a text). Wine
// starts the Linux program directly.
void PressKeys(const std::string& keys, const std::string& how = "key") {
    SetForegroundWindow(npp._nppHandle);
    SetFocus(view);
    std::wstring command = L"/usr/bin/xdotool " + Wide(how) + L" --delay 30 " + Wide(keys);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        Record("error", "cannot run xdotool (error " + std::to_string(GetLastError()) + ")");
        return;
    }
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// The first field of Notepad++'s status bar (where plug-ins write).
void RecordStatus() {
    const HWND bar = FindWindowExW(npp._nppHandle, nullptr, L"msctls_statusbar32", nullptr);
    std::wstring text(LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, 0, 0)) + 1, L'\0');
    SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
    Record("status", EscapeField(Utf8(text.c_str())));
}

// Which view has the focus, as Notepad++ tells plug-ins: 0 main, 1 second.
void RecordCurrentView() {
    int current = -1;
    SendMessageW(npp._nppHandle, kNppmGetCurrentScintilla, 0, reinterpret_cast<LPARAM>(&current));
    Record("current-view", std::to_string(current));
}

void Finish() {
    KillTimer(npp._nppHandle, kStepTimer);
    RecordNewBoxes();
    Sci(npp._scintillaMainHandle, kSciSetSavePoint);
    Sci(npp._scintillaSecondHandle, kSciSetSavePoint);
    Record("done", "");
    PostMessageW(npp._nppHandle, WM_CLOSE, 0, 0);
}

// Sends the view a message and records what it returned.
void RecordMessage(UINT message, WPARAM wParam) {
    Record("sci." + std::to_string(message), std::to_string(Sci(view, message, wParam)));
}

// Runs one step; returns how long to let Notepad++'s loop run before the next.
// Editing steps act on the view chosen by "view main|second" (main at first);
// "record LABEL" writes the main view's state; positions and lines count from 0.
DWORD RunStep(const std::string& line) {
    std::istringstream in(line);
    std::string verb, rest;
    in >> verb;
    std::getline(in >> std::ws, rest);
    std::istringstream args(rest);
    std::intptr_t a = 0, b = 0;
    std::string label;
    if (verb.empty() || verb[0] == '#') return 0;
    // clang-format off
    if (verb == "view") view = rest == "second" ? npp._scintillaSecondHandle : npp._scintillaMainHandle;
    else if (verb == "text") SetText(Unescape(rest));
    else if (verb == "text-file") SetText(ReadFileBytes(folder + Wide(rest)));
    else if (verb == "select" && args >> a >> b) Sci(view, kSciSetSel, a, b);
    else if (verb == "caret" && args >> a) Sci(view, kSciGotoPos, a);
    else if (verb == "marker" && args >> a >> b) Sci(view, kSciMarkerAdd, a, b);
    else if (verb == "fold" && args >> a) {
        Sci(view, kSciColourise, 0, -1);
        Sci(view, kSciFoldLine, a, 0);
    } else if (verb == "fold-all") {
        Sci(view, kSciColourise, 0, -1);
        Sci(view, kSciFoldAll, 0);
    } else if (verb == "top" && args >> a) Sci(view, kSciSetFirstVisibleLine, a);
    else if (verb == "xoffset" && args >> a) Sci(view, kSciSetXOffset, a);
    else if (verb == "sci" && args >> a >> b) RecordMessage(UINT(a), WPARAM(b));
    else if (verb == "undo") Sci(view, kSciUndo);
    else if (verb == "redo") Sci(view, kSciRedo);
    else if (verb == "menu") RunMenuItem(rest);
    else if (verb == "npp-command" && args >> a) SendMessageW(npp._nppHandle, kNppmMenuCommand, 0, a);
    else if (verb == "call") Record("result", std::to_string(CallExport("Halvex.dll", rest)));
    else if (verb == "time-format") {
        std::string module;
        args >> label >> module;
        const std::size_t before = changesSeen;
        Time(label, [&] { CallExport(module, "doFormat"); });
        Record("changes." + label, std::to_string(changesSeen - before));
    } else if (verb == "time-edits" && args >> label >> a >> b) {
        const std::string text = DocumentText(view);
        Time(label, [&] { ReplaceSpans(text, a, b); });
    } else if (verb == "key" || verb == "type") {
        PressKeys(verb == "type" ? '"' + rest + '"' : rest, verb);
        return 500;
    } else if (verb == "wait" && args >> a) return static_cast<DWORD>(a);
    else if (verb == "record") RecordState(rest);
    else if (verb == "record-menu") RecordMenu();
    else if (verb == "record-digest") RecordDigest(rest);
    else if (verb == "record-painted") RecordPainted(rest);
    else if (verb == "record-second") Record("second.text", EscapeField(DocumentText(npp._scintillaSecondHandle)));
    else if (verb == "record-view") RecordCurrentView();
    else if (verb == "record-status") RecordStatus();
    else if (verb == "activate" && args >> a) SendMessageW(npp._nppHandle, kNppmActivateDoc, 0, a);
    else Record("error", "bad step: " + line);
    // clang-format on
    return 0;
}

void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD now) {
    // A command's message box runs a modal loop that dispatches this timer
    // too: never start a step inside another.
    if (busy || static_cast<LONG>(now - resumeAt) < 0) return;
    busy = true;
    RecordNewBoxes();
    DWORD pause = 0;
    while (pause == 0 && nextStep < steps.size()) {
        pause = RunStep(steps[nextStep++]);
        RecordNewBoxes();
    }
    resumeAt = GetTickCount() + pause;
    if (pause == 0) Finish();
    busy = false;
}

void Start() {
    std::istringstream in(ReadFileBytes(folder + L"steps.txt"));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        steps.push_back(line);
    }
    view = npp._scintillaMainHandle;
    Record("main-view", std::to_string(reinterpret_cast<std::intptr_t>(view)));
    watcher = new halvex::testing::BoxWatcher();
    SetTimer(npp._nppHandle, kStepTimer, kTickMs, OnTick);
}

void NoCommand() {}

}  // namespace

extern "C" {

__declspec(dllexport) BOOL isUnicode() { return TRUE; }
__declspec(dllexport) const wchar_t* getName() { return L"Halvex test driver"; }

__declspec(dllexport) void setInfo(NppData data) { npp = data; }

__declspec(dllexport) FuncItem* getFuncsArray(int* count) {
    std::wcsncpy(items[0]._itemName, L"Driver", halvex::kMenuItemNameLength - 1);
    items[0]._pFunc = NoCommand;
    *count = 1;
    return items;
}

__declspec(dllexport) void beNotified(const NMHDR* notification) {
    if (notification->code == kNppnReady && notification->hwndFrom == npp._nppHandle) Start();
    if (notification->code == kScnModified && notification->hwndFrom == npp._scintillaMainHandle &&
        (reinterpret_cast<const ScNotification*>(notification)->modificationType & kScModInsertOrDelete) != 0) {
        ++changesSeen;
    }
}

__declspec(dllexport) LRESULT messageProc(UINT, WPARAM, LPARAM) { return TRUE; }

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(module, path, MAX_PATH);
        folder = path;
        folder.resize(folder.rfind(L'\\') + 1);
    }
    return TRUE;
}

}  // extern "C"
