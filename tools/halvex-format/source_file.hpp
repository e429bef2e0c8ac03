#pragma once
// Reading a file whole into memory, and closing descriptors.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>

namespace halvex::cli {

// Closes a file descriptor when it goes.
class Descriptor {
   public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&&) = delete;
    ~Descriptor();
    int get() const { return fd_; }

   private:
    int fd_;
};

enum class ReadEnd {
    kWhole,    // read to its end
    kNul,      // stopped at a NUL byte
    kChanged,  // a regular file that did not keep the size it had when reading began
    kFailed,   // a read failed; errno says why
};

// The bytes of a file, or of a formatted text, in memory of their own.
class FileBytes {
   public:
    FileBytes() = default;
    FileBytes(FileBytes&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(other.size_), capacity_(other.capacity_) {}
    FileBytes& operator=(FileBytes&&) = delete;
    ~FileBytes();
    std::string_view view() const { return {data_, size_}; }
    char* data() { return data_; }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    void Resize(std::size_t size) { size_ = size; }  // at most the capacity
    // Grows to `capacity` bytes, keeping the first size() of them; throws
    // std::bad_alloc when they cannot be had.
    void Reserve(std::size_t capacity);

   private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// Takes bytes from the start of `pending`, what was read and not yet taken,
// whose last `fresh` bytes are new; returns how many it took, or kStopReading.
using TakeBytes = std::function<std::size_t(std::string_view pending, std::size_t fresh)>;
inline constexpr std::size_t kStopReading = SIZE_MAX;

// Reads `fd` to its end in blocks of 256 KiB into `window`, handing `take`
// what is pending after each block, while the block is still in the cache.
// What it takes leaves `window`, which at the end holds the rest; memory
// stays the longest stretch left pending and a block. kStopReading ends the
// reading with ReadEnd::kNul. A regular file whose size changes meanwhile (an
// editor saving over it) is not read on. Throws std::bad_alloc when memory
// runs out.
ReadEnd ReadFile(int fd, FileBytes& window, const TakeBytes& take);

// Reads `fd` whole into `out`. With `stopAtNul` each block is searched for a
// NUL byte as soon as it is read, and reading stops at the first: a file that
// holds one costs what it took to reach it, whatever its size, and is never
// held whole.
ReadEnd ReadFile(int fd, bool stopAtNul, FileBytes& out);

}  // namespace halvex::cli
