#include "hid/device_watch.h"

#include "hid/hid_device.h"

void run_watch_pass(Hid_Device& device, const std::atomic<bool>& watch_enabled,
                    std::atomic<int>& watch_skip_rounds) {
    if (!watch_enabled) {
        return;
    }
    if (watch_skip_rounds > 0) {
        --watch_skip_rounds;
        return;
    }
    device.open();
}

void suspend_watch(Hid_Device& device, std::atomic<bool>& watch_enabled,
                   std::atomic<int>& watch_skip_rounds) {
    watch_enabled = false;
    device.close();
    watch_skip_rounds = 1;
}

void resume_watch(std::atomic<bool>& watch_enabled) {
    watch_enabled = true;
}
