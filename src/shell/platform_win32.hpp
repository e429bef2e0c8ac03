#pragma once
// The commands' platform bound to Win32.

#include <windows.h>

#include "editor/platform.hpp"

namespace halvex {

// Messages go to `mainView` with SendMessageW; boxes, clipboard and process
// start are the plug-in's Win32 routines; the lower-case mapping is
// CharLowerBuffW's.
Platform Win32Platform(HWND mainView);

}  // namespace halvex
