#include "hid/hidapi_backend.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <hidapi.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "hid/report_writer.h"

namespace {

// hidraw hands out input reports without the report ID byte; output reports carry it.
constexpr std::size_t report_data_size = hid_report_size - 1;

class Hidapi_Handle : public Hid_Handle {
public:
    Hidapi_Handle(hid_device* device, std::string path) : device(device), path(std::move(path)) {
        writer.emplace([this](const Hid_Report& report) { return write_now(report); });
    }
    ~Hidapi_Handle() override {
        writer.reset(); // waits for its last write: the device is in use until then
        hid_close(device);
    }
    Hidapi_Handle(const Hidapi_Handle&) = delete;
    Hidapi_Handle& operator=(const Hidapi_Handle&) = delete;

    std::optional<Hid_Attributes> attributes() override {
        // A removed board takes its hidraw node with it, and its handle reports an error.
        struct stat node {};
        if (::stat(path.c_str(), &node) != 0) {
            return std::nullopt;
        }
        const std::unique_lock guard(device_lock, std::try_to_lock);
        if (!guard.owns_lock()) {
            return cached; // a write is under way: the node is there, the device busy
        }
        if (!still_readable()) {
            return std::nullopt;
        }
        const hid_device_info* info = hid_get_device_info(device);
        if (info == nullptr) {
            return std::nullopt;
        }
        cached = Hid_Attributes{info->vendor_id, info->product_id};
        return cached;
    }

    int discard_input() override {
        const std::unique_lock guard(device_lock, std::try_to_lock);
        if (guard.owns_lock()) {
            std::array<unsigned char, report_data_size> scratch{};
            while (hid_read_timeout(device, scratch.data(), scratch.size(), 0) > 0) {
            }
        }
        return 0;
    }

    int write_report(const Hid_Report& report, int timeout_ms) override {
        return writer->write(report, timeout_ms);
    }

    int read_report(Hid_Report& report, int timeout_ms) override {
        report[0] = 0;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        const std::unique_lock guard(device_lock, deadline);
        if (!guard.owns_lock()) {
            return ETIMEDOUT; // the write before it has not finished
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        errno = 0;
        const int got = hid_read_timeout(device, report.data() + 1, report_data_size,
                                         static_cast<int>(std::max<std::int64_t>(0, left.count())));
        if (got == 0) {
            return ETIMEDOUT;
        }
        if (got < 0) {
            return errno != 0 ? errno : EIO;
        }
        return 0;
    }

private:
    // On the writer's thread. hidraw's write has no time-out of its own; the writer bounds
    // the caller's wait.
    int write_now(const Hid_Report& report) {
        const std::lock_guard guard(device_lock);
        errno = 0;
        if (hid_write(device, report.data(), report.size()) < 0) {
            return errno != 0 ? errno : EIO;
        }
        return 0;
    }

    bool still_readable() {
        // A zero-time read fails on a device that is gone; a report it takes is stale anyway.
        std::array<unsigned char, report_data_size> scratch{};
        return hid_read_timeout(device, scratch.data(), scratch.size(), 0) >= 0;
    }

    hid_device* device;
    std::string path;
    // One hidapi call at a time on a device: its error text is not safe to share.
    std::timed_mutex device_lock;
    std::optional<Hid_Attributes> cached;
    std::optional<Report_Writer> writer;
};

// hidapi says only that an open failed; the node's own open says why.
int open_error(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    ::close(fd);
    return EIO; // the node opens, hidapi failed past it
}

// The IDs the kernel lists for a hidraw node, which needs no access to the node itself.
std::optional<Hid_Attributes> listed_ids(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string node = slash == std::string::npos ? path : path.substr(slash + 1);
    std::ifstream uevent("/sys/class/hidraw/" + node + "/device/uevent");
    for (std::string line; std::getline(uevent, line);) {
        if (const std::optional<Hid_Attributes> ids = parse_hid_id(line)) {
            return ids;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<Hid_Attributes> parse_hid_id(const std::string& line) {
    unsigned bus = 0;
    unsigned vendor = 0;
    unsigned product = 0;
    char end = 0;
    constexpr unsigned max_id = 0xFFFF;
    if (std::sscanf(line.c_str(), "HID_ID=%x:%x:%x%c", &bus, &vendor, &product, &end) != 3 ||
        vendor > max_id || product > max_id) {
        return std::nullopt;
    }
    return Hid_Attributes{static_cast<std::uint16_t>(vendor), static_cast<std::uint16_t>(product)};
}

Hidapi_Backend::Hidapi_Backend() {
    static std::once_flag once;
    std::call_once(once, [] { hid_init(); });
}

std::vector<std::string> Hidapi_Backend::enumerate() {
    std::vector<std::string> paths;
    hid_device_info* list = hid_enumerate(0, 0);
    for (const hid_device_info* d = list; d != nullptr; d = d->next) {
        if (d->path != nullptr) {
            paths.emplace_back(d->path);
        }
    }
    hid_free_enumeration(list);
    return paths;
}

Hid_Open_Result Hidapi_Backend::open(const std::string& path) {
    hid_device* device = hid_open_path(path.c_str());
    if (device == nullptr) {
        return {nullptr, open_error(path), listed_ids(path)};
    }
    return {std::make_unique<Hidapi_Handle>(device, path), 0, std::nullopt};
}
