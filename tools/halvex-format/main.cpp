#include <cstdio>
#include <new>
#include <vector>

#include "cli.hpp"

int main(int argc, char** argv) {
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
        return halvex::cli::Run(args);
    } catch (const std::bad_alloc&) {
        // An "Indent" of millions of levels, or a file larger than memory.
        std::fputs("halvex-format: out of memory\n", stderr);
        return halvex::cli::kExitFailure;
    }
}
