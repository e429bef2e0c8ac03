#include "bridge/clipboard_win32.hpp"

#include <windows.h>

#include <cstring>

namespace halvex {

int CopyTextToClipboard(std::u16string_view text) noexcept {
    if (!OpenClipboard(nullptr)) return 0;
    // (units + 1) * 2 bytes; a text too long for that size is refused as a
    // failed allocation would be.
    if (text.size() >= SIZE_MAX / sizeof(char16_t)) {
        CloseClipboard();
        return 0;
    }
    const SIZE_T bytes = (text.size() + 1) * sizeof(char16_t);
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, bytes);
    if (block == nullptr) {
        CloseClipboard();
        return 0;
    }
    EmptyClipboard();
    void* const target = GlobalLock(block);
    if (target == nullptr) {
        GlobalFree(block);
        CloseClipboard();
        return 0;
    }
    if (!text.empty()) std::memcpy(target, text.data(), text.size() * sizeof(char16_t));
    static_cast<char16_t*>(target)[text.size()] = u'\0';
    GlobalUnlock(block);
    // From here on the block belongs to the clipboard, unless it refuses it.
    const HANDLE taken = SetClipboardData(CF_UNICODETEXT, block);
    if (taken == nullptr) GlobalFree(block);
    CloseClipboard();
    return taken != nullptr ? 1 : 0;
}

}  // namespace halvex
