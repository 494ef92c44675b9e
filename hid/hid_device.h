#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "hid/hid_backend.h"

// The board on USB HID: finds it by its vendor and product IDs, keeps it open and runs
// the report exchanges. Every exchange with the board goes through `exchange`.
//
// Threads: `open` runs on the device watch, `close` there and on the GUI thread (suspend),
// `exchange` on the GUI thread. One lock keeps a close from overlapping an exchange and
// an open from overlapping either; the search for a board runs outside it, so the GUI
// thread never waits for more than one exchange.
class Hid_Device {
public:
    static constexpr std::size_t payload_size = 63;
    static constexpr std::size_t reply_size = 64;
    static constexpr int max_interfaces = 64;
    static constexpr int default_io_timeout_ms = 3000;

    using Payload = std::array<std::uint8_t, payload_size>;
    // Byte 0 the echoed command, byte k+1 reply payload byte k.
    using Reply = std::array<std::uint8_t, reply_size>;

    // Searches the real devices first, then the virtual ones.
    Hid_Device();
    explicit Hid_Device(Hid_Backends backends);
    ~Hid_Device();

    Hid_Device(const Hid_Device&) = delete;
    Hid_Device& operator=(const Hid_Device&) = delete;

    // Stores the IDs to accept; the second pair counts only when both are above 0.
    // Leaves the device disconnected with an identification pending. Returns true.
    bool init(std::int32_t vendor, std::int32_t product, std::int32_t vendor_2,
              std::int32_t product_2);

    // True when a matching device is open: an open one that still answers is kept as it is;
    // otherwise it is closed and up to 64 interfaces are searched, the first match taken.
    bool open();

    // Closes the device; `connected` false, `identify_pending` true. Returns true.
    bool close();

    // One command: writes the output report (report ID 0, `command`, the 63 payload bytes,
    // or without a payload the bytes the previous exchange sent) and reads the input report.
    // True when the reply echoes `command`; then `reply`, if given, receives its bytes 1..64.
    // False at once while disconnected, after a failed write or read (each bounded by the
    // time-out), and on a wrong echo, leaving `reply` untouched. Input reports that were
    // waiting before the write (late replies to earlier exchanges) are dropped first.
    bool exchange(std::uint8_t command, Reply* reply, const Payload* payload);

    // Replaces the places searched for a board (tests); closes the device.
    void set_backends(Hid_Backends backends);
    void set_io_timeout_ms(int ms) { io_timeout_ms = ms; }

    std::atomic<bool> connected{false};
    std::atomic<bool> identify_pending{true};
    std::int32_t vendor_id = 0;
    std::int32_t product_id = 0;
    std::int32_t vendor_id_2 = 0;
    std::int32_t product_id_2 = 0;

private:
    bool matches(const Hid_Attributes& attributes) const;
    void close_locked();

    std::mutex lock;
    Hid_Backends backends;
    Hid_Report out_report{};
    Hid_Report in_report{};
    std::unique_ptr<Hid_Handle> handle;
    std::uint64_t close_count = 0;
    int io_timeout_ms = default_io_timeout_ms;
};
