#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <vector>

#include "cli.hpp"

namespace {

// Opens /dev/null on standard input, output or error when the caller closed
// it (`2>&-`), as coreutils do: else the first file opened would get that
// number, and messages meant for standard error would be written into it.
// It is opened for the other direction, so that writing to a closed standard
// output still fails.
bool OpenStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        if (open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY) != fd) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!OpenStandardDescriptors()) return halvex::cli::kExitFailure;
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
        return halvex::cli::Run(args);
    } catch (const std::bad_alloc&) {
        // An "Indent" of millions of levels while the options are read.
        std::fputs("halvex-format: out of memory\n", stderr);
        return halvex::cli::kExitFailure;
    }
}
