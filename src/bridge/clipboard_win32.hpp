#pragma once
// Puts text on the Windows clipboard.

#include <string_view>

namespace halvex {

// Replaces the clipboard's contents with the text as CF_UNICODETEXT (the
// text and a terminating NUL). Returns non-zero on success. Returns 0 when the
// clipboard cannot be opened or no memory block can be had (the clipboard
// then keeps what it held), or when the block cannot be locked or the
// clipboard refuses it (the clipboard is then left empty). A block that the
// clipboard has not taken is freed.
int CopyTextToClipboard(std::u16string_view text) noexcept;

}  // namespace halvex
