#pragma once
// A test that cannot run here (no X server, tool or locale): skipped on a
// developer's machine, failed under CI (the environment variable CI set, as
// .ci/run sets it), where ./run installs everything the tests need.

#include <cstdlib>
#include <cstring>

namespace testkit {

inline bool underCi()
{
    const char* ci = std::getenv("CI");
    return ci && *ci && std::strcmp(ci, "0") != 0 && std::strcmp(ci, "false") != 0;
}

}  // namespace testkit

// For a test body or SetUp (it returns from the function, as GTEST_SKIP does).
#define TONEWRIGHT_SKIP_UNLESS_CI(why)                                       \
    do {                                                                     \
        if (::testkit::underCi()) FAIL() << (why) << " (under CI every test must run)"; \
        GTEST_SKIP() << (why);                                               \
    } while (0)
