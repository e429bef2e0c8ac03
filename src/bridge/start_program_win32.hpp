#pragma once
// Starts a program, or has the shell open a document, without waiting.

#include <string_view>

namespace halvex {

// Starts `program` with `parameters` in `directory` (empty: the caller's
// current directory) and returns at once. CreateProcessW is tried first with
// the command line of ProgramCommandLine; when it fails, ShellExecuteExW
// opens `program` with its default action, the same parameters and
// ShellDirectory's directory, showing no error dialog. Returns 1 when either
// way started something, 0 otherwise; an empty program is not tried at all.
int StartProgram(std::u16string_view program, std::u16string_view parameters, std::u16string_view directory) noexcept;

}  // namespace halvex
