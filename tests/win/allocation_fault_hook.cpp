// Linked into the test build of the plug-in only (HalvexFaults.dll): makes a
// chosen allocation fail, so that tests can check that the commands survive
// running out of memory at any point. The release Halvex.dll has none of it.
#include <cstdlib>
#include <new>

namespace {

// How many allocations succeed before one fails; -1 when none is to fail.
long long allocationsBeforeFailure = -1;

void* Allocate(std::size_t size) {
    if (allocationsBeforeFailure >= 0 && allocationsBeforeFailure-- == 0) throw std::bad_alloc();
    if (void* block = std::malloc(size != 0 ? size : 1)) return block;
    throw std::bad_alloc();
}

}  // namespace

extern "C" {

// Arms the hook: the allocation after `count` more succeed fails; -1 disarms.
void halvexFailAllocationAfter(long long count) { allocationsBeforeFailure = count; }

// What is left of the count: -1 once the failure has happened (or when
// disarmed), else how many more allocations would succeed.
long long halvexAllocationsLeft() { return allocationsBeforeFailure; }

}  // extern "C"

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
