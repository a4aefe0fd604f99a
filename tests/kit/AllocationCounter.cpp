// Replaces the global allocation functions so that tests can count the heap
// allocations and frees a call makes on its thread, and make allocations
// fail.

#include <cstdlib>
#include <new>

#include "DspTestKit.h"

namespace {
thread_local long allocations = 0;
thread_local long frees = 0;
// Allocations with a number from here on fail; -1: none do.
thread_local long failFrom = -1;
thread_local long refusals = 0;

void refuseWhenAsked()
{
    if (failFrom >= 0 && allocations > failFrom) {
        ++refusals;
        throw std::bad_alloc();
    }
}

void* allocate(std::size_t size)
{
    ++allocations;
    refuseWhenAsked();
    if (size == 0) size = 1;
    if (void* p = std::malloc(size)) return p;
    throw std::bad_alloc();
}

void* allocateAligned(std::size_t size, std::align_val_t align)
{
    ++allocations;
    refuseWhenAsked();
    const std::size_t a = static_cast<std::size_t>(align);
    const std::size_t rounded = ((size ? size : 1) + a - 1) / a * a;
    if (void* p = std::aligned_alloc(a, rounded)) return p;
    throw std::bad_alloc();
}

void release(void* p) noexcept
{
    frees += p != nullptr;
    std::free(p);
}
}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t a) { return allocateAligned(size, a); }
void* operator new[](std::size_t size, std::align_val_t a) { return allocateAligned(size, a); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }

namespace testkit {

AllocationCounter::AllocationCounter() : start(allocations), startFrees(frees) {}
AllocationCounter::~AllocationCounter() = default;
long AllocationCounter::count() const { return allocations - start; }
long AllocationCounter::freed() const { return frees - startFrees; }

AllocationFailure::AllocationFailure(long first)
{
    failFrom = allocations + (first < 0 ? 0 : first);
    refusals = 0;
}
AllocationFailure::~AllocationFailure() { failFrom = -1; }
long AllocationFailure::refused() const { return refusals; }

}  // namespace testkit
