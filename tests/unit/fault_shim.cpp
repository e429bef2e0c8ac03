// Preloaded into halvex-format by the CLI tests. For the file whose name
// matches the pattern HALVEX_FAULT_FILE, each pwrite takes the next letter of
// HALVEX_FAULT_WRITES (the last one repeats): w writes, f fails with ENOSPC,
// m throws std::bad_alloc as a failed allocation in the sink would, k writes
// half and ends the process on the spot as SIGKILL would (without the shell's
// "Killed"). HALVEX_FAULT_SHRINK=N cuts the file to N bytes right after fstat
// has told its size; N@K only after the K-th fstat of it.
#include <dlfcn.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

// The path of `fd` when it is the faulty file, else "".
static std::string FaultyPath(int fd) {
    char path[4096] = {};
    const char* pattern = std::getenv("HALVEX_FAULT_FILE");
    if (pattern == nullptr || readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1) <= 0) {
        return "";
    }
    return fnmatch(pattern, std::strrchr(path, '/') + 1, 0) == 0 ? path : "";
}

extern "C" ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    static std::size_t count = 0;
    const char* letters = std::getenv("HALVEX_FAULT_WRITES");
    const char letter = letters == nullptr || FaultyPath(fd).empty() ? 'w' : letters[std::min(count++, std::strlen(letters) - 1)];
    if (letter == 'f') errno = ENOSPC;
    if (letter == 'm') throw std::bad_alloc();
    const auto real = reinterpret_cast<ssize_t (*)(int, const void*, size_t, off_t)>(dlsym(RTLD_NEXT, "pwrite"));
    if (letter == 'k') _exit(real(fd, data, size / 2, offset) >= 0 ? 128 + SIGKILL : 1);
    return letter == 'f' ? -1 : real(fd, data, size, offset);
}

extern "C" int fstat(int fd, struct stat* info) noexcept {
    const int result = reinterpret_cast<int (*)(int, struct stat*)>(dlsym(RTLD_NEXT, "fstat"))(fd, info);
    const char* shrink = std::getenv("HALVEX_FAULT_SHRINK");
    static long calls = 0;
    if (const std::string path = shrink != nullptr ? FaultyPath(fd) : ""; !path.empty()) {
        const char* at = std::strchr(shrink, '@');
        ++calls;
        if (at == nullptr || calls == std::atol(at + 1)) static_cast<void>(truncate(path.c_str(), std::atoll(shrink)));
    }
    return result;
}
