#include "system/Diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <new>

namespace tonewright::system {

namespace {

thread_local FailureRecord* innermost = nullptr;

}  // namespace

void Complain(const std::string& line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
    if (!innermost) return;
    try {
        innermost->said.push_back(line);
    } catch (const std::bad_alloc&) {
        // The line went to standard error; only the record lacks it.
    }
}

void Complainf(const char* format, ...)
{
    va_list arguments, again;
    va_start(arguments, format);
    va_copy(again, arguments);
    const int n = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    Complain(text);
}

FailureRecord::FailureRecord() : outer(innermost) { innermost = this; }

FailureRecord::~FailureRecord() { innermost = outer; }

}  // namespace tonewright::system
