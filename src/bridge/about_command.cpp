#include "bridge/about_command.hpp"

#include "bridge/date_text.hpp"

namespace halvex {

Text AboutText(TextView exePath, int number, std::int32_t date) {
    Text text(u"Build ");
    text += IntegerToText(number);
    text += u'\n';
    text += FormatDateText(kAboutDateMask, date);
    text += kAboutPathHeading;
    text += exePath;
    return text;
}

void AboutCommand(const Platform& platform, TextView exePath) noexcept {
    try {
        platform.showMessageBox(kAboutBoxTitle, AboutText(exePath), 0);
    } catch (...) {
        // Out of memory: there is no other way to tell the user.
    }
}

}  // namespace halvex
