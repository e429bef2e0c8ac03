#pragma once
// Reading a file whole into memory, and closing descriptors.

#include <cstddef>
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

// The bytes of a file, in memory of their own.
class FileBytes {
   public:
    FileBytes() = default;
    FileBytes(FileBytes&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(other.size_), capacity_(other.capacity_) {}
    FileBytes& operator=(FileBytes&&) = delete;
    ~FileBytes();
    std::string_view view() const { return {data_, size_}; }

   private:
    friend ReadEnd ReadFile(int fd, bool stopAtNul, FileBytes& out);
    void Reserve(std::size_t capacity);
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// Reads `fd` to its end into `out`, in blocks of 256 KiB. With `stopAtNul`
// each block is searched for a NUL byte as soon as it is read, while it is
// still in the cache, and reading stops at the first: a file that holds one
// costs what it took to reach it, whatever its size. A regular file whose
// size changes meanwhile (an editor saving over it) is not read on. Memory
// grows with what was read, so a file is never held whole before its NUL is
// found; throws std::bad_alloc when it does not fit.
ReadEnd ReadFile(int fd, bool stopAtNul, FileBytes& out);

}  // namespace halvex::cli
