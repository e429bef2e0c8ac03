#pragma once
// The commands' platform bound to Win32.

#include <windows.h>

#include "editor/platform.hpp"

namespace halvex {

// Messages go to `mainView` through its direct function, or with
// SendMessageW when it offers none; boxes, clipboard and process
// start are the plug-in's Win32 routines; the lower-case mapping is
// CharLowerBuffW's; the view's redrawing goes off and on with WM_SETREDRAW.
Platform Win32Platform(HWND mainView);

}  // namespace halvex
