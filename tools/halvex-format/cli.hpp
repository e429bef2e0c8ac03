#pragma once
// halvex-format: the Format command's pipeline as a command-line formatter,
// with the conventions of clang-format and gofmt.

#include <string>
#include <string_view>
#include <vector>

namespace halvex::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitChanges = 1;  // a format error was reported, or --check found a file to change
inline constexpr int kExitFailure = 2;  // bad usage, or a file that cannot be read or written

// Runs the command line (without the program name) and returns the exit status.
int Run(const std::vector<std::string>& args);

// The bytes that the Format command would write into the editor for a whole
// document holding `source`, a UTF-8 byte-order mark set aside and put back.
struct FormatFileResult {
    std::string text;
    bool formatError = false;
    std::uint64_t errorLine = 0;   // from 1; 0 when no END revealed the error
    std::string errorLocation;
};
FormatFileResult FormatSource(std::string_view source, int indent, int suppressFormatError);

}  // namespace halvex::cli
