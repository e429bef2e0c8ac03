#include "shell/editing_win32.hpp"

#include <map>
#include <optional>
#include <string>
#include <utility>

#include "formatter/format_on_save.hpp"
#include "formatter/typing.hpp"
#include "shell/platform_win32.hpp"

namespace halvex::plugin {
namespace {

// Notepad++'s messages and notifications (its Notepad_plus_msgs.h), and
// Scintilla's, that only this file uses.
constexpr UINT kNppMsg = WM_USER + 1000;
constexpr UINT kNppmGetCurrentDocIndex = kNppMsg + 23;  // lParam: the view; -1 when it is hidden
constexpr UINT kNppmSetStatusBar = kNppMsg + 24;
constexpr UINT kNppmGetFullPathFromBufferId = kNppMsg + 58;
constexpr UINT kNppmGetBufferIdFromPos = kNppMsg + 59;
constexpr UINT kNppmGetBufferLangType = kNppMsg + 64;
constexpr UINT kNppmAddScnModifiedFlags = kNppMsg + 117;  // since 8.7.7; earlier ones send every kind
constexpr UINT kNppnReady = 1001;
constexpr UINT kNppnFileBeforeClose = 1003;
constexpr UINT kNppnFileBeforeSave = 1007;
constexpr WPARAM kStatusBarDocType = 0;
constexpr LRESULT kFreeBasicLanguage = 69;  // the language Notepad++ gives .bas files
constexpr UINT kScnCharAdded = 2001;
constexpr UINT kScnModified = 2008;
constexpr int kModInsertText = 0x1;
constexpr int kModDeleteText = 0x2;
constexpr UINT kSciGetEolMode = 2030;
constexpr LRESULT kEolCr = 1;
constexpr UINT kSciGetDocPointer = 2357;
constexpr UINT kIndentPendingEnter = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"HalvexTyping";

// A document that Enter has been pressed in, by Scintilla document.
struct TypedDocument {
    std::intptr_t bufferId = 0;
    std::intptr_t length = 0;  // as the notifications since the last Enter tell it
    LevelCheckpoints checkpoints;
};

// An Enter whose work waits for Notepad++'s own handler (its auto-indent) to
// finish.
struct PendingEnter {
    HWND view = nullptr;
    std::intptr_t document = 0;
    std::intptr_t bufferId = 0;
    int enters = 0;  // more than one (a macro, several carets): left to Notepad++
    // Where the line break stands in the undo history; nothing when an undo
    // group was opened instead, to be closed after Halvex's work (StartEnter).
    std::optional<std::intptr_t> lineBreakEnd;
};

const NppData* npp = nullptr;
const SettingsValues* settings = nullptr;
FormatterState* formatterState = nullptr;
HWND typingWindow = nullptr;  // message-only: where the posted Enter arrives
std::map<std::intptr_t, TypedDocument> typedDocuments;
PendingEnter pending;

std::intptr_t Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(window, message, wParam, lParam);
}

std::intptr_t SendNpp(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return Send(npp->_nppHandle, message, wParam, lParam);
}

// The buffer that the view (0 main, 1 second) shows; 0 when it is hidden.
std::intptr_t BufferShownIn(int view) {
    const std::intptr_t index = SendNpp(kNppmGetCurrentDocIndex, 0, view);
    return index < 0 ? 0 : SendNpp(kNppmGetBufferIdFromPos, static_cast<WPARAM>(index), view);
}

std::wstring BufferPath(std::intptr_t bufferId) {
    const std::intptr_t length = SendNpp(kNppmGetFullPathFromBufferId, static_cast<WPARAM>(bufferId), 0);
    if (length <= 0) return {};
    std::wstring path(static_cast<std::size_t>(length) + 1, L'\0');
    SendNpp(kNppmGetFullPathFromBufferId, static_cast<WPARAM>(bufferId), reinterpret_cast<LPARAM>(path.data()));
    path.resize(static_cast<std::size_t>(length));
    return path;
}

// A BASIC document: Notepad++'s language for .bas files, or a name ending
// in .bas or .inc (in any letter case).
bool IsBasic(std::intptr_t bufferId) {
    if (bufferId == 0) return false;
    if (SendNpp(kNppmGetBufferLangType, static_cast<WPARAM>(bufferId)) == kFreeBasicLanguage) return true;
    const std::wstring path = BufferPath(bufferId);
    const std::size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || path.find_first_of(L"\\/", dot) != std::wstring::npos) return false;
    std::wstring extension = path.substr(dot + 1);
    for (wchar_t& c : extension) c = c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
    return extension == L"bas" || extension == L"inc";
}

void SetStatus(std::u16string_view text) {
    std::wstring line = L"Brenvo Plus: ";
    for (const char16_t c : text) line.push_back(c == u'\n' ? L' ' : static_cast<wchar_t>(c));
    SendNpp(kNppmSetStatusBar, kStatusBarDocType, reinterpret_cast<LPARAM>(line.c_str()));
}

// ---------------------------------------------------------------------------
// Indentation while typing

void IndentAfterEnterIn(const PendingEnter& enter) {
    TypedDocument& document = typedDocuments[enter.document];
    document.bufferId = enter.bufferId;
    const Platform platform = Win32Platform(enter.view);
    const Editor editor(platform.sendToEditor);
    // A change that no notification told (made through a view of another
    // program part) leaves the length off: then no checkpoint is trusted.
    if (const std::intptr_t length = editor.Length(); length != document.length) {
        document.checkpoints.Clear();
        document.length = length;
    }
    IndentAfterEnter(editor, FormatSettingsFrom(*settings), platform.lowerCaseFolds, document.checkpoints,
                     enter.lineBreakEnd);
}

void IndentPendingEnter() {
    const PendingEnter enter = std::exchange(pending, {});
    if (enter.view == nullptr) return;
    try {
        if (enter.enters == 1 && Send(enter.view, kSciGetDocPointer) == enter.document) IndentAfterEnterIn(enter);
    } catch (...) {
        // Out of memory: the document is as Notepad++ left it.
    }
    if (!enter.lineBreakEnd) Send(enter.view, sci::kEndUndoAction);
}

LRESULT CALLBACK TypingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kIndentPendingEnter) return DefWindowProcW(window, message, wParam, lParam);
    IndentPendingEnter();
    return 0;
}

void StartTyping(HMODULE plugin) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = TypingWindowProc;
    windowClass.hInstance = plugin;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass);
    typingWindow = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, plugin, nullptr);
    SendNpp(kNppmAddScnModifiedFlags, 0, kModInsertText | kModDeleteText);
}

// Notepad++ tells plug-ins of a character before its own handler sets the
// new line's indentation (auto-indent), so the work is posted to run after it.
void OnCharAdded(const ScintillaNotification& notification) {
    const HWND view = notification.nmhdr.hwndFrom;
    const int index = view == npp->_scintillaMainHandle ? 0 : view == npp->_scintillaSecondHandle ? 1 : -1;
    if (index < 0 || typingWindow == nullptr) return;
    // The last character of the line break, as Notepad++'s auto-indent reads it.
    if (notification.ch != (Send(view, kSciGetEolMode) == kEolCr ? '\r' : '\n')) return;
    if (pending.view != nullptr) {
        ++pending.enters;
        return;
    }
    const std::intptr_t bufferId = BufferShownIn(index);
    if (!IsBasic(bufferId)) return;
    const Platform platform = Win32Platform(view);
    pending = {view, Send(view, kSciGetDocPointer), bufferId, 1, StartEnter(Editor(platform.sendToEditor))};
    if (!PostMessageW(typingWindow, kIndentPendingEnter, 0, 0)) {
        if (!pending.lineBreakEnd) Send(view, sci::kEndUndoAction);
        pending = {};
    }
}

// Moves the checkpoints of the changed document with its lines. A document
// shown in both views is reported by both: the main view's report counts.
void OnModified(const ScintillaNotification& notification) {
    const bool inserted = (notification.modificationType & kModInsertText) != 0;
    if ((!inserted && (notification.modificationType & kModDeleteText) == 0) || typedDocuments.empty()) return;
    const HWND view = notification.nmhdr.hwndFrom;
    if (view != npp->_scintillaMainHandle && view != npp->_scintillaSecondHandle) return;
    const std::intptr_t document = Send(view, kSciGetDocPointer);
    if (view == npp->_scintillaSecondHandle && document == Send(npp->_scintillaMainHandle, kSciGetDocPointer)) return;
    const auto found = typedDocuments.find(document);
    if (found == typedDocuments.end()) return;
    const std::intptr_t line = Send(view, sci::kLineFromPosition, static_cast<WPARAM>(notification.position));
    found->second.checkpoints.Modified(line, notification.linesAdded);
    found->second.length += inserted ? notification.length : -notification.length;
}

void ForgetBuffer(std::intptr_t bufferId) {
    std::erase_if(typedDocuments, [bufferId](const auto& entry) { return entry.second.bufferId == bufferId; });
}

// ---------------------------------------------------------------------------
// Format on save

// The buffer about to be written is formatted in the view that shows it.
// No message hands a plug-in the document of a buffer that no view shows,
// and showing it would change what the user sees: such a buffer is saved
// as it is, and the status bar says so.
void OnBeforeSave(std::intptr_t bufferId) {
    if (!IsBasic(bufferId)) return;
    for (const int index : {0, 1}) {
        if (BufferShownIn(index) != bufferId) continue;
        Platform platform = Win32Platform(index == 0 ? npp->_scintillaMainHandle : npp->_scintillaSecondHandle);
        platform.showMessageBox = [](std::u16string_view, std::u16string_view text, unsigned) {
            SetStatus(text);
            return IDOK;
        };
        FormatOnSave(platform, FormatSettingsFrom(*settings), *formatterState);
        return;
    }
    const std::wstring path = BufferPath(bufferId);
    const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    SetStatus(std::u16string(name.begin(), name.end()) +
              u" saved unformatted: Format on save reaches only a document shown in a view");
}

}  // namespace

void OnNotification(const ScintillaNotification& notification, const NppData& nppData,
                    const SettingsValues& values, FormatterState& state, HMODULE plugin) noexcept {
    const bool typing = values.indentWhileTyping != 0;
    if (!typing && values.formatOnSave == 0) return;
    npp = &nppData;
    settings = &values;
    formatterState = &state;
    try {
        switch (notification.nmhdr.code) {
            case kNppnReady:
                if (typing && notification.nmhdr.hwndFrom == nppData._nppHandle) StartTyping(plugin);
                break;
            case kScnCharAdded:
                if (typing) OnCharAdded(notification);
                break;
            case kScnModified:
                OnModified(notification);
                break;
            case kNppnFileBeforeClose:
                if (notification.nmhdr.hwndFrom == nppData._nppHandle) {
                    ForgetBuffer(static_cast<std::intptr_t>(notification.nmhdr.idFrom));
                }
                break;
            case kNppnFileBeforeSave:
                if (values.formatOnSave != 0 && notification.nmhdr.hwndFrom == nppData._nppHandle) {
                    OnBeforeSave(static_cast<std::intptr_t>(notification.nmhdr.idFrom));
                }
                break;
            default:
                break;
        }
    } catch (...) {
        // Out of memory: nothing is done, and Notepad++ goes on.
    }
}

}  // namespace halvex::plugin
