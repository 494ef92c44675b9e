#include "hid/hid_device.h"

#include <QDebug>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "hid/hidapi_backend.h"
#include "hid/virtual_backend.h"

namespace {
constexpr std::size_t command_byte = 1;
constexpr std::size_t payload_offset = 2;
} // namespace

Hid_Device::Hid_Device()
    : Hid_Device(
          Hid_Backends{std::make_shared<Hidapi_Backend>(), std::make_shared<Virtual_Backend>()}) {}

Hid_Device::Hid_Device(Hid_Backends backends)
    : backends(std::move(backends)), clock([] {
          return std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now().time_since_epoch())
              .count();
      }) {}

Hid_Device::~Hid_Device() = default;

bool Hid_Device::init(std::int32_t vendor, std::int32_t product, std::int32_t vendor_2,
                      std::int32_t product_2) {
    const std::lock_guard guard(lock);
    vendor_id = vendor;
    product_id = product;
    vendor_id_2 = vendor_2;
    product_id_2 = product_2;
    identify_pending = true;
    connected = false;
    return true;
}

bool Hid_Device::matches(const Hid_Attributes& a) const {
    if (a.vendor_id == vendor_id && a.product_id == product_id) {
        return true;
    }
    return vendor_id_2 > 0 && product_id_2 > 0 && a.vendor_id == vendor_id_2 &&
           a.product_id == product_id_2;
}

void Hid_Device::close_locked() {
    ++close_count;
    connected = false;
    identify_pending = true;
    settle_pending = false;
    handle.reset();
}

void Hid_Device::framing_broken_locked() {
    qDebug().noquote() << "HID device closed: its reports no longer arrive whole";
    close_locked();
}

// Drops input until the device has been quiet for settle_quiet_ms; false when it did not
// fall quiet within settle_limit_ms (the device may be closed meanwhile).
bool Hid_Device::settle_locked() {
    Hid_Report scratch{};
    const std::int64_t limit = clock() + settle_limit_ms;
    for (;;) {
        if (clock() + settle_quiet_ms > limit) {
            return false; // still talking: the next exchange tries again
        }
        const int error = handle->read_report(scratch, settle_quiet_ms);
        if (error == ETIMEDOUT) {
            settle_pending = false;
            return true;
        }
        if (error == EPROTO) {
            framing_broken_locked();
            return false;
        }
        if (error != 0) {
            return false;
        }
        // A late reply, dropped: the quiet starts again.
    }
}

bool Hid_Device::close() {
    const std::lock_guard guard(lock);
    close_locked();
    return true;
}

void Hid_Device::set_backends(Hid_Backends replacement) {
    const std::lock_guard guard(lock);
    close_locked();
    refused.reset();
    backends = std::move(replacement);
}

bool Hid_Device::open() {
    Hid_Backends searched;
    std::uint64_t closes_before = 0;
    {
        const std::lock_guard guard(lock);
        if (handle) {
            if (handle->attributes()) {
                return true;
            }
            close_locked();
        }
        searched = backends;
        closes_before = close_count;
    }

    int tried = 0;
    std::optional<Refusal> refused_now;
    for (const auto& backend : searched) {
        for (const std::string& path : backend->enumerate()) {
            if (tried++ >= max_interfaces) {
                break;
            }
            Hid_Open_Result opened = backend->open(path);
            std::unique_ptr<Hid_Handle> candidate = std::move(opened.handle);
            if (!candidate) {
                if (!refused_now && opened.error != 0 && opened.listed && matches(*opened.listed)) {
                    refused_now = Refusal{path, opened.error};
                }
                continue;
            }
            const std::optional<Hid_Attributes> attributes = candidate->attributes();
            if (attributes && matches(*attributes)) {
                const std::lock_guard guard(lock);
                // A close while the search ran (the system suspending) wins over the find;
                // a board another search opened meanwhile is kept.
                if (close_count != closes_before) {
                    return false;
                }
                refused.reset();
                if (handle) {
                    return true;
                }
                handle = std::move(candidate);
                connected = true;
                return true;
            }
            // Not ours: `candidate` closes here, before the next interface is tried.
        }
    }
    // Nothing found; a board that another search opened meanwhile stays open.
    const std::lock_guard guard(lock);
    if (!handle) {
        close_locked();
        if (refused_now && refused_now != refused) {
            // Once per node and reason: the watch retries twice a second.
            qDebug().noquote().nospace()
                << "HID device " << QString::fromStdString(refused_now->path)
                << " is the board but cannot be opened: " << std::strerror(refused_now->error);
        }
        refused = refused_now;
    }
    return false;
}

std::optional<Hid_Device::Refusal> Hid_Device::refusal() {
    const std::lock_guard guard(lock);
    return refused;
}

bool Hid_Device::exchange(std::uint8_t command, Reply* reply, const Payload* payload) {
    const std::lock_guard guard(lock);
    if (!connected || !handle) {
        return false;
    }
    out_report[0] = 0;
    out_report[command_byte] = command;
    if (payload != nullptr) {
        std::copy(payload->begin(), payload->end(), out_report.begin() + payload_offset);
    }

    if (settle_pending && !settle_locked()) {
        return false;
    }
    if (handle->discard_input() == EPROTO) {
        framing_broken_locked();
        return false;
    }
    if (const int error = handle->write_report(out_report, io_timeout_ms); error != 0) {
        qDebug().noquote().nospace() << "HID Write GetLastError() == " << ' ' << error << ' ';
        settle_pending = error == ETIMEDOUT;
        return false;
    }
    in_report[0] = 0;
    if (const int error = handle->read_report(in_report, io_timeout_ms); error != 0) {
        if (error == EPROTO) {
            framing_broken_locked();
        } else {
            settle_pending = error == ETIMEDOUT;
        }
        return false;
    }
    if (in_report[command_byte] != command) {
        // Perhaps a reply that missed its own exchange: this one's may still be coming.
        settle_pending = true;
        return false;
    }
    if (reply != nullptr) {
        std::copy(in_report.begin() + command_byte, in_report.end(), reply->begin());
    }
    return true;
}
