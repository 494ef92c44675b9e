#include "can/udp_forwarder.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

Udp_Forwarder::Udp_Forwarder(std::uint32_t ipv4_host_order, std::uint16_t port)
    : address(htonl(ipv4_host_order)), port_be(htons(port)),
      send_many([](int socket, mmsghdr* messages, unsigned count) {
          return ::sendmmsg(socket, messages, count, 0);
      }) {
    fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    socket_errno = fd < 0 ? errno : 0;
    pending.reserve(batch_limit);
}

Udp_Forwarder::~Udp_Forwarder() {
    if (fd >= 0) {
        ::close(fd);
    }
}

void Udp_Forwarder::queue(const Datagram& datagram) {
    if (pending.size() == batch_limit) {
        flush();
    }
    pending.push_back(datagram);
}

void Udp_Forwarder::flush() {
    if (pending.empty()) {
        return;
    }
    const std::uint64_t failures_before = failures;
    send_pending();
    pending.clear();
    const bool failed_now = failures != failures_before;
    report_due = report_due || (failed_now && !failing);
    failing = failed_now;
}

bool Udp_Forwarder::take_failure_report() {
    const bool due = report_due;
    report_due = false;
    return due;
}

void Udp_Forwarder::send_pending() {
    if (fd < 0) {
        failures += pending.size();
        last_errno = socket_errno;
        return;
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = port_be;
    target.sin_addr.s_addr = address;
    std::array<iovec, batch_limit> parts{};
    std::array<mmsghdr, batch_limit> messages{};
    for (std::size_t i = 0; i < pending.size(); ++i) {
        parts[i].iov_base = pending[i].data();
        parts[i].iov_len = pending[i].size();
        messages[i].msg_hdr.msg_name = &target;
        messages[i].msg_hdr.msg_namelen = sizeof target;
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    std::size_t next = 0;
    while (next < pending.size()) {
        const int n =
            send_many(fd, messages.data() + next, static_cast<unsigned>(pending.size() - next));
        if (n > 0) {
            next += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // The datagram at `next` was not taken (no room, no route): count it, go on.
        last_errno = n < 0 ? errno : EIO;
        ++failures;
        ++next;
    }
}
