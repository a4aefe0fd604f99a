// Counts the heap allocations and frees a call makes on its thread, whatever
// it calls (operator new and delete, malloc, calloc, realloc, free and the
// aligned forms), and makes operator new fail when asked. Plain builds
// replace the C allocation functions, forwarding to glibc's own; under a
// sanitizer, whose allocator those calls must reach, its allocation hooks
// count instead (ThreadSanitizer's do not see the aligned C functions
// called directly; aligned operator new goes through malloc).

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "DspTestKit.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TESTKIT_SANITIZER_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define TESTKIT_SANITIZER_HOOKS 1
#endif
#endif
#ifdef TESTKIT_SANITIZER_HOOKS
// The sanitizers' runtime has it (not every compiler ships its header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t),
                                                         void (*)(const volatile void*));
#endif

namespace {
// Initial-exec: the counters are reached from inside malloc, which must not
// allocate to find them.
#define TESTKIT_TLS thread_local __attribute__((tls_model("initial-exec")))
TESTKIT_TLS long allocations = 0;
TESTKIT_TLS long frees = 0;
// Allocations by operator new with a number from here on fail; -1: none do.
TESTKIT_TLS long failFrom = -1;
TESTKIT_TLS long refusals = 0;

void noteAllocation() { ++allocations; }
void noteFree(const volatile void* p)
{
    if (p) ++frees;
}

void refuseWhenAsked()
{
    if (failFrom >= 0 && allocations + 1 > failFrom) {
        ++refusals;
        throw std::bad_alloc();
    }
}

void* allocate(std::size_t size)
{
    refuseWhenAsked();
    if (size == 0) size = 1;
    if (void* p = std::malloc(size)) return p;
    throw std::bad_alloc();
}

// Aligned by hand inside a block from malloc (its address just before the
// aligned one), so that every sanitizer's hooks see it: ThreadSanitizer's
// skip the aligned C functions.
void* allocateAligned(std::size_t size, std::align_val_t align)
{
    refuseWhenAsked();
    const std::size_t a = std::max(static_cast<std::size_t>(align), alignof(void*));
    void* block = std::malloc(size + a + sizeof(void*));
    if (!block) throw std::bad_alloc();
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(block) + sizeof(void*);
    void** aligned = reinterpret_cast<void**>((start + a - 1) / a * a);
    aligned[-1] = block;
    return aligned;
}

void freeAligned(void* p) noexcept
{
    if (p) std::free(static_cast<void**>(p)[-1]);
}

#if defined(__SANITIZE_THREAD__)
#define TESTKIT_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TESTKIT_THREAD_SANITIZER 1
#endif
#endif

#ifdef TESTKIT_SANITIZER_HOOKS
void onMalloc(const volatile void*, std::size_t) { noteAllocation(); }
[[maybe_unused]] const int hooked = __sanitizer_install_malloc_and_free_hooks(onMalloc, noteFree);
#endif
}  // namespace

#if !defined(TESTKIT_SANITIZER_HOOKS) && defined(__GLIBC__)
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t align, std::size_t size);
void* __libc_valloc(std::size_t size);
void* __libc_pvalloc(std::size_t size);
void __libc_free(void* p);

void* malloc(std::size_t size) noexcept
{
    noteAllocation();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept
{
    noteAllocation();
    return __libc_calloc(count, size);
}
// A move to another block: an allocation and a free.
void* realloc(void* p, std::size_t size) noexcept
{
    noteAllocation();
    noteFree(p);
    return __libc_realloc(p, size);
}
void* memalign(std::size_t align, std::size_t size) noexcept
{
    noteAllocation();
    return __libc_memalign(align, size);
}
void* aligned_alloc(std::size_t align, std::size_t size) noexcept
{
    noteAllocation();
    return __libc_memalign(align, size);
}
int posix_memalign(void** out, std::size_t align, std::size_t size) noexcept
{
    if (align < sizeof(void*) || (align & (align - 1)) != 0) return EINVAL;
    noteAllocation();
    void* p = __libc_memalign(align, size);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
void* valloc(std::size_t size) noexcept
{
    noteAllocation();
    return __libc_valloc(size);
}
void* pvalloc(std::size_t size) noexcept
{
    noteAllocation();
    return __libc_pvalloc(size);
}
void free(void* p) noexcept
{
    noteFree(p);
    __libc_free(p);
}
}
#endif

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
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { freeAligned(p); }
void operator delete[](void* p, std::align_val_t) noexcept { freeAligned(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { freeAligned(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { freeAligned(p); }

namespace testkit {

AllocationCounter::AllocationCounter() : start(allocations), startFrees(frees) {}
AllocationCounter::~AllocationCounter() = default;
long AllocationCounter::count() const { return allocations - start; }
long AllocationCounter::freed() const { return frees - startFrees; }
#ifdef TESTKIT_THREAD_SANITIZER
bool AllocationCounter::seesAlignedCFunctions() { return false; }
#else
bool AllocationCounter::seesAlignedCFunctions() { return true; }
#endif

AllocationFailure::AllocationFailure(long first)
{
    failFrom = allocations + (first < 0 ? 0 : first);
    refusals = 0;
}
AllocationFailure::~AllocationFailure() { failFrom = -1; }
long AllocationFailure::refused() const { return refusals; }

}  // namespace testkit
