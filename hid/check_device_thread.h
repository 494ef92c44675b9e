#pragma once

#include <QThread>
#include <atomic>
#include <condition_variable>
#include <mutex>

class Widget;

// Watches the board from the background: every 500 ms it opens the board when it is
// present and notices when it is gone. `owner` and `stop_requested` are written by the
// window on the GUI thread and read here once per pass.
class Check_Device_Thread : public QThread {
public:
    std::atomic<Widget*> owner{nullptr};
    std::atomic<bool> stop_requested{false};

    // Sets `stop_requested` and cuts the current pause short, so the loop ends at once.
    void request_stop();

protected:
    void run() override;

private:
    // Sleeps `ms` unless a stop is requested meanwhile.
    void pause(unsigned long ms);

    std::mutex pause_lock;
    std::condition_variable wake;
};
