#pragma once
// The About command: a box with the build number, the build date and the
// IDE path that Variable Report starts.

#include <cstdint>

#include "halvex_version.hpp"
#include "editor/platform.hpp"
#include "text/text.hpp"

namespace halvex {

inline constexpr TextView kAboutBoxTitle = u"Brenvo Plus";
inline constexpr TextView kAboutDateMask = u"%yyyy/%mm/%dd";
inline constexpr TextView kAboutPathHeading = u"\nBrenvoPlus path:\n";

// "Build <number>\n<yyyy/mm/dd>\nBrenvoPlus path:\n<exePath>", with single
// line feeds; the date is taken in UTC.
Text AboutText(TextView exePath, int number = buildNumber, std::int32_t date = buildDate);

// Shows the About text in a box titled "Brenvo Plus" with an OK button and no
// icon (flags 0), and returns when it has been closed. No exception leaves it.
void AboutCommand(const Platform& platform, TextView exePath) noexcept;

}  // namespace halvex
