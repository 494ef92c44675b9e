#pragma once

#include <atomic>

class Hid_Device;

// One pass of the device watch: while the watch is enabled, either skip this pass (after
// a resume) or open the board, which only checks an open board is still there.
void run_watch_pass(Hid_Device& device, const std::atomic<bool>& watch_enabled,
                    std::atomic<int>& watch_skip_rounds);

// The system is suspending: stop the watch, close the board, and skip the first pass
// after the resume.
void suspend_watch(Hid_Device& device, std::atomic<bool>& watch_enabled,
                   std::atomic<int>& watch_skip_rounds);

// The system has resumed: the watch may open the board again.
void resume_watch(std::atomic<bool>& watch_enabled);
