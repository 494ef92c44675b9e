#include "app/widget.h"

#include "hid/device_watch.h"

// The device watch's decision, run once on the GUI thread. Nothing is bound to it: the
// watch thread alone re-opens the board.
void Widget::check_hid_device() {
    run_watch_pass(hid, watch_enabled, watch_skip_rounds);
}

void Widget::system_suspending() {
    suspend_watch(hid, watch_enabled, watch_skip_rounds);
}

void Widget::system_resumed() {
    resume_watch(watch_enabled);
}
