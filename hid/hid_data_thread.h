#pragma once

#include <QThread>
#include <atomic>

class Widget;

// Worker loop kept beside the watch thread. The window creates it and sets its members
// but never starts it.
class Hid_Data_Thread : public QThread {
public:
    std::atomic<Widget*> owner{nullptr};
    std::atomic<bool> stop_requested{false};

protected:
    void run() override;
};
