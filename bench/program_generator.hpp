#pragma once
// A deterministic generator of realistic programs in the BASIC dialect, of any
// size, for benchmarks and for the properties that the tests check over many
// programs.

#include <cstdint>
#include <string>

namespace halvex::bench {

struct GeneratorOptions {
    std::uint64_t lines = 1000;  // at least this many lines (the last routine is finished)
    std::uint64_t bytes = 0;     // when not 0: at least this many bytes instead
    std::uint64_t seed = 1;
    bool crlf = true;            // CR LF line ends; else LF
    bool messUp = true;          // random spaces in front of and after lines
};

std::string GenerateProgram(const GeneratorOptions& options);

}  // namespace halvex::bench
