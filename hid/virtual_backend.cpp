#include "hid/virtual_backend.h"

#include <QByteArray>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int default_attributes_timeout_ms = 3000;
constexpr std::size_t attributes_size = 4;
constexpr std::string_view socket_suffix = ".sock";
constexpr std::size_t drain_chunk = 4 * hid_report_size;
constexpr int partial_report_grace_ms = 100;

using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` on `fd` until `deadline`. Returns the revents, 0 on time-out.
short wait_for(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, remaining_ms(deadline));
        if (n > 0) {
            return p.revents;
        }
        if (n == 0 || errno != EINTR) {
            return 0;
        }
    }
}

class Virtual_Handle : public Hid_Handle {
public:
    Virtual_Handle(int fd, Hid_Attributes attrs) : fd(fd), attrs(attrs) {}
    ~Virtual_Handle() override { ::close(fd); }
    Virtual_Handle(const Virtual_Handle&) = delete;
    Virtual_Handle& operator=(const Virtual_Handle&) = delete;

    std::optional<Hid_Attributes> attributes() override {
        // The device going away shows as the connection closing.
        pollfd p{fd, POLLIN | POLLRDHUP, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLRDHUP)) != 0) {
            return std::nullopt;
        }
        return attrs;
    }

    int discard_input() override {
        std::array<std::uint8_t, drain_chunk> scratch{};
        for (;;) {
            const ssize_t got = ::recv(fd, scratch.data(), scratch.size(), MSG_DONTWAIT);
            if (got <= 0) {
                break;
            }
            rx_offset = (rx_offset + static_cast<std::size_t>(got)) % hid_report_size;
        }
        if (rx_offset == 0) {
            return 0;
        }
        // A report caught while it arrives is complete within moments; one that stays cut
        // short means the device's framing is broken.
        const auto deadline = Clock::now() + std::chrono::milliseconds(partial_report_grace_ms);
        const int error = receive(scratch.data(), hid_report_size - rx_offset, deadline);
        return error == ETIMEDOUT ? EPROTO : error;
    }

    int write_report(const Hid_Report& report, int timeout_ms) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
        std::size_t sent = 0;
        while (sent < report.size()) {
            const ssize_t n =
                ::send(fd, report.data() + sent, report.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                return errno;
            }
            if (wait_for(fd, POLLOUT, deadline) == 0) {
                return ETIMEDOUT;
            }
        }
        return 0;
    }

    int read_report(Hid_Report& report, int timeout_ms) override {
        report[0] = 0;
        if (rx_offset != 0) {
            return EPROTO;
        }
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
        const int error = receive(report.data(), hid_report_size, deadline);
        // Part of a report, then silence: nothing after it can be told apart from a report.
        return error == ETIMEDOUT && rx_offset != 0 ? EPROTO : error;
    }

private:
    // Receives `size` bytes, keeping `rx_offset` in step with the report boundaries.
    int receive(std::uint8_t* into, std::size_t size, Clock::time_point deadline) {
        std::size_t got_total = 0;
        while (got_total < size) {
            const ssize_t n = ::recv(fd, into + got_total, size - got_total, MSG_DONTWAIT);
            if (n > 0) {
                got_total += static_cast<std::size_t>(n);
                rx_offset = (rx_offset + static_cast<std::size_t>(n)) % hid_report_size;
                continue;
            }
            if (n == 0) {
                return ECONNRESET;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                return errno;
            }
            const short revents = wait_for(fd, POLLIN, deadline);
            if (revents == 0) {
                return ETIMEDOUT;
            }
        }
        return 0;
    }

    int fd;
    Hid_Attributes attrs;
    std::size_t rx_offset = 0; // bytes of the report now arriving that were taken already
};

} // namespace

Virtual_Backend::Virtual_Backend(std::string directory)
    : fixed_directory(std::move(directory)), attributes_timeout_ms(default_attributes_timeout_ms) {}

std::string Virtual_Backend::default_directory() {
    QByteArray base = qgetenv("XDG_RUNTIME_DIR");
    if (base.isEmpty()) {
        base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).toLocal8Bit();
    }
    return base.toStdString() + "/virtual-hid";
}

std::vector<std::string> Virtual_Backend::enumerate() {
    const std::string dir = fixed_directory.empty() ? default_directory() : fixed_directory;
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* entry = ::readdir(d)) {
            const std::string_view name(entry->d_name);
            if (name.size() > socket_suffix.size() && name.ends_with(socket_suffix)) {
                names.emplace_back(name);
            }
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (std::string& name : names) {
        name = dir + '/' + name;
    }
    return names;
}

Hid_Open_Result Virtual_Backend::open(const std::string& path) {
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) {
        return {};
    }
    addr.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), addr.sun_path);

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return {};
    }
    // A socket file nobody listens on refuses at once: a device that is not present.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return {};
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(attributes_timeout_ms);
    std::array<std::uint8_t, attributes_size> ids{};
    std::size_t got = 0;
    while (got < ids.size()) {
        const ssize_t n = ::recv(fd, ids.data() + got, ids.size() - got, MSG_DONTWAIT);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) ||
                   wait_for(fd, POLLIN, deadline) == 0) {
            ::close(fd);
            return {};
        }
    }
    const Hid_Attributes attrs{static_cast<std::uint16_t>(ids[0] << 8 | ids[1]),
                               static_cast<std::uint16_t>(ids[2] << 8 | ids[3])};
    return {std::make_unique<Virtual_Handle>(fd, attrs), 0, std::nullopt};
}
