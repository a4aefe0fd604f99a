#pragma once
// Calls that must return at once even when handed a FIFO nobody writes:
// each runs on a thread of its own under a generous time limit, so that a
// call that hangs fails its test instead of stopping the whole run.

#include <filesystem>
#include <functional>
#include <vector>

namespace testkit {

// True when act returned within the limit. Otherwise false, and every FIFO
// in `unblock` is opened for writing until act returns, so that a reader
// stuck on one can finish and the test end.
bool ReturnsPromptly(const std::function<void()>& act, const std::vector<std::filesystem::path>& unblock = {},
                     double seconds = 20.0);

// A FIFO at path (its folder made first); false when one cannot be made.
bool MakeFifo(const std::filesystem::path& path);
// A sparse regular file of `bytes` bytes: larger than a reader allows, at
// no cost in disk space.
bool MakeSparseFile(const std::filesystem::path& path, unsigned long long bytes);

}  // namespace testkit
