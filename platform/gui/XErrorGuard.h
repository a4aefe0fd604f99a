#pragma once
// Runs the frame's X requests so that an error they cause (a window the host
// destroyed, an id that names no window) is recorded instead of reaching
// Xlib's default handler, which ends the process. While a guard lives, the
// process-wide error handler is ours: errors on the guarded connection are
// kept here, errors on any other connection go on to the handler that was
// installed before (the host's). The destructor waits for the replies of
// what was sent meanwhile, then puts the previous handler back.
//
// Threads: guards are made and destroyed on one thread at a time (the
// user-interface thread); nested guards, on one connection or several, are
// undone in reverse order as scopes are.

#include <X11/Xlib.h>

class XErrorGuard {
public:
    explicit XErrorGuard(Display* display);
    ~XErrorGuard();
    XErrorGuard(const XErrorGuard&) = delete;
    XErrorGuard& operator=(const XErrorGuard&) = delete;

    // Waits until the server has handled every request sent so far; true
    // when none of those sent since the guard was made failed.
    bool succeeded();
    // The error code of the last failed request (0: none).
    int lastError() const { return error; }
    // Closes the connection (XCloseDisplay) with its last errors still
    // recorded here.
    void closeDisplay();

private:
    static int handle(Display* display, XErrorEvent* event);

    Display* display;
    XErrorHandler previous;
    XErrorGuard* outer;
    int error = 0;
};
