#include "hid/check_device_thread.h"

#include "app/widget.h"
#include "hid/device_watch.h"

namespace {
constexpr unsigned long no_owner_pause_ms = 1000;
constexpr unsigned long watch_pause_ms = 500;
} // namespace

void Check_Device_Thread::run() {
    // The stop flag is looked at before the owner too, so a thread that never got an
    // owner can still be ended.
    while (!stop_requested) {
        Widget* w = owner;
        if (w == nullptr) {
            msleep(no_owner_pause_ms);
            continue;
        }
        run_watch_pass(w->hid, w->watch_enabled, w->watch_skip_rounds);
        if (stop_requested) {
            return;
        }
        msleep(watch_pause_ms);
    }
}
