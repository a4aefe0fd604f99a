#pragma once
// The few Carbon calls the adapter makes: the window of a drawing port and
// the current resource file. Windows and ports are opaque handles; a
// window's value is whatever the host chose for it (here: the native parent
// window handed on to the editor as it is).

#include <cstdint>

struct OpaqueWindowPtr;
struct OpaqueGrafPtr;
using WindowRef = OpaqueWindowPtr*;
using CGrafPtr = OpaqueGrafPtr*;
using GrafPtr = CGrafPtr;

// The window the port draws into; null for no port.
WindowRef GetWindowFromPort(CGrafPtr port);

// The resource file searched first, and the call that changes it.
int16_t CurResFile();
void UseResFile(int16_t file);

// Host side: a port drawing into `window`, and its disposal.
CGrafPtr NewPortForWindow(WindowRef window);
void DisposePortForWindow(CGrafPtr port);
