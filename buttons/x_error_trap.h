#pragma once

// Errors of the X server go to one process-wide function, and Xlib's own ends the program.
// While a trap is set, errors on its connection are counted instead; errors on any other
// connection still go to the function that was there before, which is back when the trap
// ends. One trap at a time; GUI thread only. Include after Qt's headers: Xlib's macros clash
// with Qt's names.

#include <X11/Xlib.h>

class X_Error_Trap {
public:
    explicit X_Error_Trap(Display* display) : display(display) {
        trapped_display = display;
        trapped_errors = 0;
        previous = XSetErrorHandler(&record);
    }
    ~X_Error_Trap() {
        XSync(display, False);
        XSetErrorHandler(previous);
        trapped_display = nullptr;
    }
    X_Error_Trap(const X_Error_Trap&) = delete;
    X_Error_Trap& operator=(const X_Error_Trap&) = delete;

    // The errors so far, once the server has answered every request sent before.
    int errors() {
        XSync(display, False);
        return trapped_errors;
    }

private:
    static int record(Display* d, XErrorEvent* error) {
        if (d == trapped_display) {
            ++trapped_errors;
            return 0;
        }
        return previous != nullptr ? previous(d, error) : 0;
    }

    Display* display;
    static inline Display* trapped_display = nullptr;
    static inline int trapped_errors = 0;
    static inline XErrorHandler previous = nullptr;
};
