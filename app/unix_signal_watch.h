#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <array>
#include <memory>

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the GUI thread, so a session's end
// or a service stop ends the program as its own quit entry does. The handler only writes
// one byte into a socket pair; everything else happens in the event loop.
class Unix_Signal_Watch : public QObject {
    Q_OBJECT

public:
    explicit Unix_Signal_Watch(QObject* parent = nullptr);
    ~Unix_Signal_Watch() override;

    Unix_Signal_Watch(const Unix_Signal_Watch&) = delete;
    Unix_Signal_Watch& operator=(const Unix_Signal_Watch&) = delete;

    bool installed() const { return notifier != nullptr; }

    // True from the moment a watched signal arrives: code that holds the event loop for a
    // while (the poll waiting for a slow board) looks here to end early.
    static bool signalled();

signals:
    void termination_requested(int signal_number);

private:
    void drain();

    std::unique_ptr<QSocketNotifier> notifier;
};
