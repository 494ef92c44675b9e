#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the board object needs of a HID implementation. Reports are 65 bytes both ways:
// byte 0 the report ID (always 0), bytes 1..64 the report's data.

constexpr std::size_t hid_report_size = 65;
using Hid_Report = std::array<std::uint8_t, hid_report_size>;

struct Hid_Attributes {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
};

// One open HID interface. Every call is bounded: nothing blocks past its time-out.
class Hid_Handle {
public:
    virtual ~Hid_Handle() = default;

    // The device's attributes, read through this handle; nothing when the device is gone.
    virtual std::optional<Hid_Attributes> attributes() = 0;

    // Drops every input report that already waits: replies that came in after an earlier
    // exchange had timed out. Does not block. Returns 0, or EPROTO when what waited was not
    // made of whole reports.
    virtual int discard_input() = 0;

    // Writes one output report. Returns 0, or the OS error number of the failure
    // (ETIMEDOUT when the device took nothing within `timeout_ms`).
    virtual int write_report(const Hid_Report& report, int timeout_ms) = 0;

    // Reads one input report into `report` (byte 0 is set to 0). Returns 0, or the OS error
    // number: ETIMEDOUT when nothing came within `timeout_ms`, EPROTO when the device's
    // reports no longer arrive whole (a part of one came, then nothing), so that nothing
    // read from it later can be trusted to start at a report's first byte.
    virtual int read_report(Hid_Report& report, int timeout_ms) = 0;
};

// What opening an interface gave: the handle, or why there is none.
struct Hid_Open_Result {
    std::unique_ptr<Hid_Handle> handle;
    // Without a handle: the OS error number of the open (EACCES: the node is not the user's),
    // 0 when unknown.
    int error = 0;
    // The IDs the system lists for the interface without opening it; nothing when unknown.
    std::optional<Hid_Attributes> listed;
};

// One way of finding HID interfaces: the hidraw devices, or the virtual ones.
class Hid_Backend {
public:
    virtual ~Hid_Backend() = default;

    // Paths of the HID interfaces present now, in this backend's enumeration order.
    virtual std::vector<std::string> enumerate() = 0;

    // Opens one interface by path.
    virtual Hid_Open_Result open(const std::string& path) = 0;
};

using Hid_Backends = std::vector<std::shared_ptr<Hid_Backend>>;
