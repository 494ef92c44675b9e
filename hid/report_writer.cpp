#include "hid/report_writer.h"

#include <cerrno>
#include <chrono>

Report_Writer::Report_Writer(Write write) : write_report(std::move(write)) {}

Report_Writer::~Report_Writer() {
    if (thread.joinable()) {
        thread.request_stop();
        changed.notify_all();
        thread.join();
    }
}

int Report_Writer::write(const Hid_Report& report, int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    std::unique_lock guard(lock);
    if (!thread.joinable()) {
        thread = std::jthread([this](const std::stop_token& stop) { run(stop); });
    }
    if (!changed.wait_until(guard, deadline, [this] { return !queued && !under_way; })) {
        return ETIMEDOUT;
    }
    buffer = report;
    queued = true;
    const std::uint64_t mine = finished + 1;
    changed.notify_all();
    if (!changed.wait_until(guard, deadline, [this, mine] { return finished >= mine; })) {
        return ETIMEDOUT; // it goes on; the next write waits for it
    }
    return last_result;
}

void Report_Writer::run(const std::stop_token& stop) {
    std::unique_lock guard(lock);
    for (;;) {
        if (!changed.wait(guard, stop, [this] { return queued; })) {
            return;
        }
        queued = false;
        under_way = true;
        const Hid_Report report = buffer;
        guard.unlock();
        const int result = write_report(report);
        guard.lock();
        under_way = false;
        last_result = result;
        ++finished;
        changed.notify_all();
    }
}
