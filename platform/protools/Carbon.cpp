#include "protools/Carbon.h"

#include <atomic>

struct OpaqueGrafPtr {
    WindowRef window;
};

namespace {
// One resource chain per process, as Carbon has.
std::atomic<int16_t> currentResourceFile{-1};
}  // namespace

WindowRef GetWindowFromPort(CGrafPtr port) { return port ? port->window : nullptr; }

int16_t CurResFile() { return currentResourceFile.load(); }

void UseResFile(int16_t file) { currentResourceFile.store(file); }

CGrafPtr NewPortForWindow(WindowRef window) { return new OpaqueGrafPtr{window}; }

void DisposePortForWindow(CGrafPtr port) { delete port; }
