#include "hid/hid_data_thread.h"

#include "app/widget.h"

namespace {
constexpr unsigned long no_owner_pause_ms = 1000;
} // namespace

void Hid_Data_Thread::run() {
    while (!stop_requested.load()) {
        const Widget* w = owner.load();
        if (w == nullptr) {
            msleep(no_owner_pause_ms);
            continue;
        }
        msleep(static_cast<unsigned long>(w->poll_interval_ms.load()));
    }
}
