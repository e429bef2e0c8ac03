#pragma once
// halvex-format: the Format command's pipeline as a command-line formatter,
// with the conventions of clang-format and gofmt.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formatter/format_text.hpp"

namespace halvex::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitChanges = 1;  // a format error was reported, or --check found a file to change
inline constexpr int kExitFailure = 2;  // bad usage, or a file that cannot be read or written

// Runs the command line (without the program name) and returns the exit status.
int Run(const std::vector<std::string>& args);

// What a run over one file recorded.
struct FormatReport {
    bool formatError = false;
    std::uint64_t errorLine = 0;  // from 1; 0 when no END revealed the error
    std::string errorLocation;
};

// Lines FIRST to LAST, from 1 and inclusive.
struct LineRange {
    std::uint64_t first = 1;
    std::uint64_t last = 1;
};

// Formats `source` as the Format command formats a whole document, or a
// selection of `lines`, a UTF-8 byte-order mark set aside and put back,
// handing the bytes to `sink` in pieces. Every byte outside the lines is
// handed on as it is; a text without those lines (see LineSpan) is handed on
// whole, unchanged.
FormatReport FormatSourceTo(std::string_view source, const FormatSettings& settings, const TextSink& sink,
                            const std::optional<LineRange>& lines = std::nullopt);

// The same, with the whole text in memory.
struct FormatFileResult : FormatReport {
    std::string text;
};
FormatFileResult FormatSource(std::string_view source, int indent, int suppressFormatError);

}  // namespace halvex::cli
