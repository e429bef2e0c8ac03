#pragma once
// A deterministic generator of realistic programs in the BASIC dialect, of any
// size, for benchmarks and for the properties that the tests check over many
// programs.

#include <cstdint>
#include <string>

namespace halvex::bench {

// The two shapes of program that the benchmarks compare:
//   kRoutines  routines of blocks four deep at most, one statement a line
//              mostly, literals and comments in a share of the lines, CR LF
//              or LF throughout;
//   kDense     short lines packed with operators, colons and string literals,
//              long comment lines, blocks nested up to 40 deep, keywords in
//              any case, CR LF and LF mixed line by line.
enum class ProgramShape { kRoutines, kDense };

struct GeneratorOptions {
    std::uint64_t lines = 1000;  // at least this many lines (the last routine is finished)
    std::uint64_t bytes = 0;     // when not 0: at least this many bytes instead
    std::uint64_t seed = 1;
    bool crlf = true;            // CR LF line ends; else LF
    bool messUp = true;          // random spaces in front of and after lines
    ProgramShape shape = ProgramShape::kRoutines;  // kDense ignores crlf: it mixes both
};

std::string GenerateProgram(const GeneratorOptions& options);

}  // namespace halvex::bench
