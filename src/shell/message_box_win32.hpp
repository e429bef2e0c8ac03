#pragma once
// The modal message box through which the plug-in talks to the user.

#include <string_view>

namespace halvex {

// Shows a MessageBoxW on top of the host: owned by the foreground window when
// that belongs to this process; the other visible windows of the calling
// thread are disabled and taken out of the top-most band while it is open,
// and put back as they were afterwards. Returns the id of the button that
// closed the box, or 0 when it could not be shown.
int ShowMessageBox(std::u16string_view title, std::u16string_view text, unsigned flags) noexcept;

}  // namespace halvex
