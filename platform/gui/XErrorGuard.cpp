#include "gui/XErrorGuard.h"

namespace {

// The guards in force, innermost first (linked through `outer`).
XErrorGuard* innermost = nullptr;

}  // namespace

XErrorGuard::XErrorGuard(Display* d) : display(d), previous(XSetErrorHandler(handle)), outer(innermost)
{
    innermost = this;
}

XErrorGuard::~XErrorGuard()
{
    // A request whose reply is still out could fail after the handler is
    // back; those of no new requests have all been seen.
    if (display && LastKnownRequestProcessed(display) + 1 < NextRequest(display)) XSync(display, False);
    XSetErrorHandler(previous);
    innermost = outer;
}

bool XErrorGuard::succeeded()
{
    if (display) XSync(display, False);
    return error == 0;
}

void XErrorGuard::closeDisplay()
{
    if (!display) return;
    XCloseDisplay(display);
    display = nullptr;
}

int XErrorGuard::handle(Display* d, XErrorEvent* event)
{
    XErrorGuard* outermost = nullptr;
    for (XErrorGuard* guard = innermost; guard; guard = guard->outer) {
        if (guard->display == d) {
            guard->error = event->error_code;
            return 0;
        }
        outermost = guard;
    }
    // Not ours: what the host installed before the first guard decides.
    return outermost && outermost->previous ? outermost->previous(d, event) : 0;
}
