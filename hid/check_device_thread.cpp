#include "hid/check_device_thread.h"

#include <chrono>

#include "app/widget.h"
#include "hid/device_watch.h"

namespace {
constexpr unsigned long no_owner_pause_ms = 1000;
constexpr unsigned long watch_pause_ms = 500;
} // namespace

void Check_Device_Thread::request_stop() {
    {
        const std::lock_guard guard(pause_lock);
        stop_requested = true;
    }
    wake.notify_all();
}

void Check_Device_Thread::pause(unsigned long ms) {
    std::unique_lock guard(pause_lock);
    wake.wait_for(guard, std::chrono::milliseconds(ms), [this] { return stop_requested.load(); });
}

void Check_Device_Thread::run() {
    // The stop flag is looked at before the owner too, so a thread that never got an
    // owner can still be ended.
    while (!stop_requested) {
        Widget* w = owner;
        if (w == nullptr) {
            pause(no_owner_pause_ms);
            continue;
        }
        run_watch_pass(w->hid, w->watch_enabled, w->watch_skip_rounds);
        pause(watch_pause_ms);
    }
}
