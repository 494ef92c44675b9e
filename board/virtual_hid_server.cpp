#include "board/virtual_hid_server.h"

#include <QByteArray>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace board {

namespace {

constexpr mode_t directory_mode = 0700;
constexpr mode_t socket_mode = 0600;
// Keeps the socket file owner-only from the moment bind creates it.
constexpr mode_t socket_umask = 0177;
constexpr int listen_backlog = 4;
constexpr std::size_t read_chunk = 16 * Virtual_Hid_Server::report_size;
// A host that stops reading: further replies are lost, as a full HID input queue loses them.
constexpr std::size_t max_outgoing = 64 * Virtual_Hid_Server::report_size;
constexpr unsigned byte_bits = 8;
constexpr unsigned byte_mask = 0xFF;

std::string system_error(std::string_view what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

std::string directory_of(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string ensure_directory(const std::string& dir) {
    if (::mkdir(dir.c_str(), directory_mode) == 0) {
        // mkdir's mode passes through the umask; the directory must be exactly owner-only.
        if (::chmod(dir.c_str(), directory_mode) != 0) {
            return system_error("cannot set the mode of " + dir, errno);
        }
        return {};
    }
    if (errno != EEXIST) {
        return system_error("cannot create " + dir, errno);
    }
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return dir + " is not a directory";
    }
    return {};
}

bool make_address(const std::string& path, sockaddr_un& addr) {
    addr = {};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        return false;
    }
    std::copy(path.begin(), path.end(), addr.sun_path);
    return true;
}

// True when a listener still answers on the socket file: another device is being played there.
bool someone_listens(const sockaddr_un& addr) {
    const Unique_Fd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!probe.valid()) {
        return false;
    }
    if (::connect(probe.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
        return true;
    }
    // A full backlog (EAGAIN) is a live listener too; only a refusal means the file is stale.
    return errno != ECONNREFUSED && errno != ENOENT;
}

} // namespace

Virtual_Hid_Server::Virtual_Hid_Server(std::string socket_path, std::uint16_t vendor_id,
                                       std::uint16_t product_id, Events events)
    : socket_path(std::move(socket_path)), events(std::move(events)) {
    attributes = {static_cast<std::uint8_t>(vendor_id >> byte_bits),
                  static_cast<std::uint8_t>(vendor_id & byte_mask),
                  static_cast<std::uint8_t>(product_id >> byte_bits),
                  static_cast<std::uint8_t>(product_id & byte_mask)};
    QObject::connect(&listener_notifier, &QSocketNotifier::activated, [this] { accept_pending(); });
    QObject::connect(&read_notifier, &QSocketNotifier::activated, [this] { read_available(); });
    QObject::connect(&write_notifier, &QSocketNotifier::activated, [this] { write_pending(); });
}

Virtual_Hid_Server::~Virtual_Hid_Server() {
    unplug();
}

std::string Virtual_Hid_Server::default_directory() {
    QByteArray base = qgetenv("XDG_RUNTIME_DIR");
    if (base.isEmpty()) {
        base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).toLocal8Bit();
    }
    return base.toStdString() + "/virtual-hid";
}

std::string Virtual_Hid_Server::plug() {
    if (plugged()) {
        return {};
    }
    sockaddr_un addr{};
    if (!make_address(socket_path, addr)) {
        return "socket path too long: " + socket_path;
    }
    if (std::string error = ensure_directory(directory_of(socket_path)); !error.empty()) {
        return error;
    }
    struct stat info {};
    if (::lstat(socket_path.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) {
            return socket_path + " exists and is not a socket";
        }
        if (someone_listens(addr)) {
            return "another device serves " + socket_path;
        }
        ::unlink(socket_path.c_str());
    }

    Unique_Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.valid()) {
        return system_error("socket", errno);
    }
    const mode_t saved_umask = ::umask(socket_umask);
    const int bound = ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    const int bind_error = errno;
    ::umask(saved_umask);
    if (bound != 0) {
        return system_error("cannot bind " + socket_path, bind_error);
    }
    // Hosts can connect only once it listens, so nobody reaches it before its mode is right.
    if (::chmod(socket_path.c_str(), socket_mode) != 0 || ::listen(fd.get(), listen_backlog) != 0 ||
        ::lstat(socket_path.c_str(), &info) != 0) {
        const int error = errno;
        ::unlink(socket_path.c_str());
        return system_error("cannot listen on " + socket_path, error);
    }
    socket_device = info.st_dev;
    socket_inode = info.st_ino;
    listener = std::move(fd);
    listener_notifier.setSocket(listener.get());
    listener_notifier.setEnabled(true);
    return {};
}

void Virtual_Hid_Server::unplug() {
    close_connection();
    if (!listener.valid()) {
        return;
    }
    listener_notifier.setEnabled(false);
    listener.reset();
    // Only our own file: someone may have put another device in its place meanwhile.
    struct stat info {};
    if (::lstat(socket_path.c_str(), &info) == 0 && info.st_dev == socket_device &&
        info.st_ino == socket_inode) {
        ::unlink(socket_path.c_str());
    }
}

bool Virtual_Hid_Server::send(const Hid_Report& report) {
    Hid_Report framed = report;
    framed[0] = 0; // the report ID
    return send_raw(framed);
}

bool Virtual_Hid_Server::send_raw(std::span<const std::uint8_t> bytes) {
    if (!connection.valid()) {
        return false;
    }
    if (outgoing.size() + bytes.size() > max_outgoing) {
        return false;
    }
    outgoing.insert(outgoing.end(), bytes.begin(), bytes.end());
    write_pending();
    return true;
}

void Virtual_Hid_Server::accept_pending() {
    for (;;) {
        Unique_Fd peer(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!peer.valid()) {
            return;
        }
        if (connection.valid()) {
            continue; // one host at a time: the newcomer is closed at once
        }
        connection = std::move(peer);
        ++serial;
        incoming.clear();
        outgoing.assign(attributes.begin(), attributes.end());
        read_notifier.setSocket(connection.get());
        read_notifier.setEnabled(true);
        write_notifier.setSocket(connection.get());
        if (events.connected) {
            events.connected();
        }
        write_pending();
    }
}

void Virtual_Hid_Server::read_available() {
    std::array<std::uint8_t, read_chunk> chunk{};
    const ssize_t got = ::recv(connection.get(), chunk.data(), chunk.size(), MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return;
    }
    if (got <= 0) {
        close_connection(); // end of file: the host closed; anything else: the link broke
        return;
    }
    incoming.insert(incoming.end(), chunk.begin(), chunk.begin() + got);
    const std::uint64_t this_connection = serial;
    std::size_t taken = 0;
    while (incoming.size() - taken >= report_size) {
        Hid_Report report{};
        std::copy_n(incoming.begin() + static_cast<std::ptrdiff_t>(taken), report_size,
                    report.begin());
        taken += report_size;
        if (events.report) {
            events.report(report);
        }
        if (!connection.valid() || serial != this_connection) {
            return; // the handler ended this connection; its buffers are gone
        }
    }
    incoming.erase(incoming.begin(), incoming.begin() + static_cast<std::ptrdiff_t>(taken));
}

void Virtual_Hid_Server::write_pending() {
    while (!outgoing.empty()) {
        const ssize_t sent =
            ::send(connection.get(), outgoing.data(), outgoing.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            outgoing.erase(outgoing.begin(), outgoing.begin() + sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            write_notifier.setEnabled(true);
            return;
        }
        close_connection();
        return;
    }
    write_notifier.setEnabled(false);
}

void Virtual_Hid_Server::close_connection() {
    if (!connection.valid()) {
        return;
    }
    read_notifier.setEnabled(false);
    write_notifier.setEnabled(false);
    connection.reset();
    incoming.clear();
    outgoing.clear();
    if (events.disconnected) {
        events.disconnected();
    }
}

} // namespace board
