// The test kit's allocation counter, which the no-allocation tests of the
// audio path rest on: it sees every way to reach the heap, on its own thread
// only, and refuses operator new when asked.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <thread>

#include "DspTestKit.h"

using namespace testkit;

namespace {

// Where blocks go between their allocation and their free, so that the
// compiler cannot drop the pair.
void* volatile sink = nullptr;
void* taken()
{
    void* p = sink;
    sink = nullptr;
    return p;
}

struct HeapCall {
    const char* name;
    std::function<void()> call;
    long allocations, frees;
    bool alignedCFunction = false;
};

}  // namespace

TEST(AllocationCounter, CountsEveryAllocationAndFreeOnItsThreadAndOnlyThere)
{
    void* p = nullptr;
    const HeapCall calls[] = {
        {"malloc", [] { sink = std::malloc(24); }, 1, 0},
        {"free", [] { std::free(taken()); }, 0, 1},
        {"calloc", [] { sink = std::calloc(3, 8); }, 1, 0},
        {"realloc moving", [] { sink = std::realloc(taken(), 4096); }, 1, 1},
        {"realloc of null", [&] { p = std::realloc(nullptr, 16); }, 1, 0},
        {"free of that", [&] { std::free(p); }, 0, 1},
        {"free of null", [] { std::free(nullptr); }, 0, 0},
        {"free and aligned_alloc",
         [] {
             std::free(taken());
             sink = std::aligned_alloc(64, 128);
         },
         1, 1, true},
        {"posix_memalign", [&] { ASSERT_EQ(posix_memalign(&p, 64, 100), 0); }, 1, 0, true},
        {"two frees and new",
         [&] {
             std::free(p);
             std::free(taken());
             sink = new int(3);
         },
         1, 2},
        {"delete", [] { delete static_cast<int*>(taken()); }, 0, 1},
        {"new[] and delete[]", [] { sink = new double[9]; delete[] static_cast<double*>(taken()); }, 1, 1},
        {"aligned new and delete",
         [] {
             struct alignas(64) Wide {
                 double x[8];
             };
             Wide* w = new Wide;
             sink = w;
             EXPECT_EQ(reinterpret_cast<std::uintptr_t>(w) % 64, 0u);
             delete static_cast<Wide*>(taken());
         },
         1, 1},
        {"a library's own allocation (strdup)", [] { sink = strdup("a text longer than any small buffer"); }, 1, 0},
        {"free of that", [] { std::free(taken()); }, 0, 1},
        {"a string past its own buffer",
         [] {
             std::string s(100, 'x');
             sink = s.data();
             sink = nullptr;
         },
         1, 1},
    };
    for (const HeapCall& c : calls) {
        AllocationCounter counter;
        c.call();
        const long allocations = counter.count(), frees = counter.freed();
        if (c.alignedCFunction && !AllocationCounter::seesAlignedCFunctions()) continue;
        EXPECT_EQ(allocations, c.allocations) << c.name;
        EXPECT_EQ(frees, c.frees) << c.name;
    }

    // Another thread's heap calls are its own (made while this one waits;
    // starting and joining threads takes the heap here).
    std::atomic<int> stage{0};
    std::thread other([&] {
        while (stage.load() == 0) std::this_thread::yield();
        std::free(std::malloc(10));
        delete new int;
        stage = 2;
    });
    {
        AllocationCounter counter;
        stage = 1;
        while (stage.load() != 2) std::this_thread::yield();
        EXPECT_EQ(counter.count(), 0);
        EXPECT_EQ(counter.freed(), 0);
    }
    other.join();
}

TEST(AllocationFailure, RefusesOperatorNewFromTheGivenAllocationOnUntilItEnds)
{
    {
        AllocationFailure failure(2);
        sink = new int;  // 0
        delete static_cast<int*>(taken());
        sink = std::malloc(8);  // 1: malloc is counted, never refused
        std::free(taken());
        EXPECT_THROW(sink = new int, std::bad_alloc);
        EXPECT_EQ(new (std::nothrow) double[4], nullptr);
        EXPECT_EQ(failure.refused(), 2);
    }
    sink = new int;
    delete static_cast<int*>(taken());
}
