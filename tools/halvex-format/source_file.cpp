#include "source_file.hpp"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace halvex::cli {
namespace {

constexpr std::size_t kBlock = std::size_t{1} << 18;     // read at a time: stays in the cache for the NUL search
constexpr std::size_t kFirstRoom = std::size_t{1} << 21;  // one huge page

}  // namespace

Descriptor::~Descriptor() {
    if (fd_ >= 0) close(fd_);
}

FileBytes::~FileBytes() {
    if (data_ != nullptr) munmap(data_, capacity_);
}

// Pages of their own: growing remaps them instead of copying what was read,
// and huge pages, where the system gives them, spare most of the page faults
// of filling fresh memory, which cost more than the copy itself.
void FileBytes::Reserve(std::size_t capacity) {
    void* grown = data_ == nullptr
                      ? mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                      : mremap(data_, capacity_, capacity, MREMAP_MAYMOVE);
    if (grown == MAP_FAILED) throw std::bad_alloc();
    madvise(grown, capacity, MADV_HUGEPAGE);
    data_ = static_cast<char*>(grown);
    capacity_ = capacity;
}

ReadEnd ReadFile(int fd, FileBytes& window, const TakeBytes& take) {
    // What is left of a regular file from where `fd` stands (standard input
    // may have been read in part already).
    struct stat info {};
    const off_t at = lseek(fd, 0, SEEK_CUR);
    const bool sized = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && at >= 0 && info.st_size > at;
    const std::size_t expected = sized ? static_cast<std::size_t>(info.st_size - at) : 0;
    std::size_t total = 0;
    while (true) {
        if (window.size() == window.capacity()) {
            const std::size_t doubled = std::max(kFirstRoom, 2 * window.capacity());
            // One byte past the size, so that the read that finds the end needs no more room.
            window.Reserve(sized ? std::min(doubled, expected + 1) : doubled);
        }
        const ssize_t got = read(fd, window.data() + window.size(), std::min(kBlock, window.capacity() - window.size()));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return ReadEnd::kFailed;
        if (got == 0) break;
        total += static_cast<std::size_t>(got);
        window.Resize(window.size() + static_cast<std::size_t>(got));
        const std::size_t taken = take(window.view(), static_cast<std::size_t>(got));
        if (taken == kStopReading) return ReadEnd::kNul;
        if (taken != 0) {
            std::memmove(window.data(), window.data() + taken, window.size() - taken);
            window.Resize(window.size() - taken);
        }
        if (sized && total > expected) return ReadEnd::kChanged;
    }
    return sized && total != expected ? ReadEnd::kChanged : ReadEnd::kWhole;
}

ReadEnd ReadFile(int fd, bool stopAtNul, FileBytes& out) {
    return ReadFile(fd, out, [stopAtNul](std::string_view pending, std::size_t fresh) {
        const bool nul = stopAtNul && std::memchr(pending.data() + pending.size() - fresh, '\0', fresh) != nullptr;
        return nul ? kStopReading : 0;
    });
}

}  // namespace halvex::cli
