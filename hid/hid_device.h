#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

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
    // After an exchange timed out or got another command's echo, its real reply may still be
    // on its way, and its echo would pass for the next request's. So before the next request
    // the input must stay quiet for settle_quiet_ms: the board answers within a millisecond
    // when it answers in time, and a reply that missed the 3000 ms bound by up to this much
    // (plus the pause before the next exchange) is dropped. One that comes later still
    // fails the next exchange's settling rather than pass for its reply; settling gives up
    // after settle_limit_ms (the exchange fails, the next one settles again), so one exchange
    // stays within settle_limit_ms + the read's time-out: 3.4 s. A board that answers in
    // time never waits for it.
    static constexpr int settle_quiet_ms = 250;
    static constexpr int settle_limit_ms = 400;

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
    // waiting before the write (late replies to earlier exchanges) are dropped first, and
    // after a failed exchange the input must first stay quiet for settle_quiet_ms.
    // A device whose reports stop arriving whole is closed as if unplugged: the watch finds
    // it again and the next connection starts afresh.
    bool exchange(std::uint8_t command, Reply* reply, const Payload* payload);

    // A board the system lists that the last search could not open: mostly a hidraw node the
    // user has no access to. Cleared once a board opens.
    struct Refusal {
        std::string path;
        int error = 0; // the OS error number of the open
        bool operator==(const Refusal&) const = default;
    };
    std::optional<Refusal> refusal();

    // Replaces the places searched for a board (tests); closes the device.
    void set_backends(Hid_Backends backends);
    void set_io_timeout_ms(int ms) { io_timeout_ms = ms; }
    // Milliseconds of a monotonic clock; tests give the in-process board's.
    void set_clock(std::function<std::int64_t()> now) { clock = std::move(now); }

    std::atomic<bool> connected{false};
    std::atomic<bool> identify_pending{true};
    std::int32_t vendor_id = 0;
    std::int32_t product_id = 0;
    std::int32_t vendor_id_2 = 0;
    std::int32_t product_id_2 = 0;

private:
    bool matches(const Hid_Attributes& attributes) const;
    void close_locked();
    bool settle_locked();
    void framing_broken_locked();

    std::mutex lock;
    Hid_Backends backends;
    Hid_Report out_report{};
    Hid_Report in_report{};
    std::unique_ptr<Hid_Handle> handle;
    std::uint64_t close_count = 0;
    int io_timeout_ms = default_io_timeout_ms;
    bool settle_pending = false; // a reply may still come for an exchange that failed
    std::optional<Refusal> refused;
    std::function<std::int64_t()> clock;
};
