#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "hid/hid_backend.h"

// Writes output reports on a thread of its own, so that the caller waits no longer than its
// bound even where the system's write has none (a hidraw write waits for the USB transfer,
// which only the kernel's own time-out ends). A write that overruns the bound goes on in the
// background; the next write waits for it first, within its own bound.
class Report_Writer {
public:
    // Writes one report; returns 0 or the OS error number. Called on the writer's thread.
    using Write = std::function<int(const Hid_Report&)>;

    explicit Report_Writer(Write write);
    // Waits for a write still under way: the report's buffer and the device stay in use
    // until the system returns.
    ~Report_Writer();

    Report_Writer(const Report_Writer&) = delete;
    Report_Writer& operator=(const Report_Writer&) = delete;

    // 0, the write's error number, or ETIMEDOUT when it (or a write before it that is still
    // under way) has not finished within `timeout_ms`.
    int write(const Hid_Report& report, int timeout_ms);

private:
    void run(const std::stop_token& stop);

    Write write_report;
    std::mutex lock;
    std::condition_variable_any changed;
    Hid_Report buffer{};
    bool queued = false;        // `buffer` waits for the thread
    bool under_way = false;     // the thread is inside `write_report`
    std::uint64_t finished = 0; // writes done so far
    int last_result = 0;
    std::jthread thread; // started by the first write; last member, so it ends first
};
