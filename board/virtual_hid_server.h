#pragma once

#include <QSocketNotifier>
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <sys/types.h>
#include <vector>

#include "board/unique_fd.h"

namespace board {

// Plays one USB HID device as a virtual device: a Unix-domain stream socket "<name>.sock"
// in the virtual device directory. On every connect the device sends its vendor and product
// IDs (2 + 2 bytes, big-endian); then the host writes 65-byte output reports back to back and
// the device answers with 65-byte input reports. Byte 0 of every report is the report ID, 0.
// One connection is served at a time; further connections are closed at once while it lasts.
// Runs on the Qt event loop of the thread that creates it; never blocks.
class Virtual_Hid_Server {
public:
    static constexpr std::size_t report_size = 65;
    using Hid_Report = std::array<std::uint8_t, report_size>;

    struct Events {
        std::function<void(const Hid_Report&)> report; // one output report from the host
        std::function<void()> connected;
        std::function<void()> disconnected; // by the host, a broken connection, or unplug
    };

    Virtual_Hid_Server(std::string socket_path, std::uint16_t vendor_id, std::uint16_t product_id,
                       Events events);
    ~Virtual_Hid_Server(); // unplugs

    Virtual_Hid_Server(const Virtual_Hid_Server&) = delete;
    Virtual_Hid_Server& operator=(const Virtual_Hid_Server&) = delete;

    // `$XDG_RUNTIME_DIR/virtual-hid`, or the runtime location's when that variable is unset.
    static std::string default_directory();

    // Creates the directory (mode 0700) if missing, binds the socket (mode 0600) and listens.
    // A socket file left behind by a device that is gone is replaced; one that still answers
    // belongs to another device and is left alone. Empty on success, otherwise the reason.
    std::string plug();
    // Closes the connection and the socket and removes the socket file.
    void unplug();

    bool plugged() const { return listener.valid(); }
    bool connected() const { return connection.valid(); }
    const std::string& path() const { return socket_path; }

    // Queues one input report on the open connection; byte 0 goes out as 0. False when no
    // connection is open or the host has stopped taking what was sent (the report is lost).
    bool send(const Hid_Report& report);
    // Queues bytes as they are, for a device whose report framing breaks (a report cut short,
    // extra bytes after one); otherwise as send().
    bool send_raw(std::span<const std::uint8_t> bytes);

private:
    void accept_pending();
    void read_available();
    void write_pending();
    void close_connection();

    std::string socket_path;
    std::array<std::uint8_t, 4> attributes{};
    Events events;

    Unique_Fd listener;
    dev_t socket_device = 0; // identify our socket file, so unplug removes nothing else
    ino_t socket_inode = 0;
    Unique_Fd connection;
    std::uint64_t serial = 0; // counts connections: tells a handler's caller that it changed
    QSocketNotifier listener_notifier{QSocketNotifier::Read};
    QSocketNotifier read_notifier{QSocketNotifier::Read};
    QSocketNotifier write_notifier{QSocketNotifier::Write};
    std::vector<std::uint8_t> incoming; // part of a report still arriving
    std::vector<std::uint8_t> outgoing; // bytes the host has not taken yet
};

} // namespace board
