// Writes a generated program to standard output:
//   halvex-generate --lines N | --megabytes N [--seed S] [--lf] [--tidy] [--dense]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "program_generator.hpp"

int main(int argc, char** argv) {
    halvex::bench::GeneratorOptions options;
    std::uint64_t megabytes = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--lines" || arg == "--megabytes" || arg == "--seed") && i + 1 < argc) {
            const std::uint64_t value = std::strtoull(argv[++i], nullptr, 10);
            (arg == "--lines" ? options.lines : arg == "--seed" ? options.seed : megabytes) = value;
        } else if (arg == "--lf") {
            options.crlf = false;
        } else if (arg == "--tidy") {
            options.messUp = false;
        } else if (arg == "--dense") {
            options.shape = halvex::bench::ProgramShape::kDense;
        } else {
            std::fprintf(stderr, "usage: halvex-generate --lines N | --megabytes N [--seed S] [--lf] [--tidy] [--dense]\n");
            return 2;
        }
    }
    options.bytes = megabytes * 1000 * 1000;
    const std::string program = halvex::bench::GenerateProgram(options);
    return std::fwrite(program.data(), 1, program.size(), stdout) == program.size() ? 0 : 1;
}
