#pragma once

#include <QThread>
#include <atomic>

class Widget;

// Watches the board from the background: every 500 ms it opens the board when it is
// present and notices when it is gone. `owner` and `stop_requested` are written by the
// window on the GUI thread and read here once per pass.
class Check_Device_Thread : public QThread {
public:
    std::atomic<Widget*> owner{nullptr};
    std::atomic<bool> stop_requested{false};

protected:
    void run() override;
};
