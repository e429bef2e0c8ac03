#pragma once
// A real window that answers Scintilla's messages from a FakeScintilla, so
// that code calling SendMessageW reaches the model in-process.

#include <windows.h>

#include "fake_scintilla.hpp"

namespace halvex::testing {

// Creates the window (a child of `parent`, or a hidden top-level window when
// `parent` is null). The model must outlive the window.
HWND CreateFakeScintillaWindow(FakeScintilla& model, HWND parent = nullptr);

}  // namespace halvex::testing
