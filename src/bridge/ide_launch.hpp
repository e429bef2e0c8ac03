#pragma once
// The texts that the Variable Report command hands to the IDE: its working
// directory, the handle number, its parameters and its command line, and the
// directory that the shell is given when the IDE has to be opened through it.

#include <cstdint>

#include "text/text.hpp"

namespace halvex {

inline constexpr TextView kIdeParametersPrefix = u"/npp ";
inline constexpr TextView kIdeParametersSuffix = u" /VariableReport";

// The directory part of a path, ending with its separator ("\" or "/"):
// an opening double quote is skipped, and only separators before the first
// "|" count. Empty when the path has no separator there.
Text PathDirectoryPart(TextView path);

// The value in fixed-point notation with ten decimals, then trailing zeros
// of the decimals and a bare decimal point removed; "12" for 12.0, "0.5" for
// 0.5. A value that comes out as "-0" (negative zero, or a negative value too
// small for ten decimals) is written "0". Independent of the locale.
Text NumberToText(double value);

// "/npp <handle> /VariableReport": the handle is the main view's window
// handle read as a signed 64-bit integer.
Text IdeParameters(std::int64_t mainViewHandle);

// The command line for CreateProcessW: the program in double quotes unless it
// already begins with one (then it stands as written, possibly with
// arguments of its own), and one space and the parameters when there are any.
Text ProgramCommandLine(TextView program, TextView parameters);

// The directory for ShellExecuteExW: the given one, or, when it is empty, the
// program up to and including its last backslash provided that backslash is
// not its first character. Empty means none (the caller's current directory).
Text ShellDirectory(TextView program, TextView directory);

}  // namespace halvex
