#include <cstdio>
#include <vector>

#include "cli.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return halvex::cli::Run(args);
}
