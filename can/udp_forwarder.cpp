#include "can/udp_forwarder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

Udp_Forwarder::Udp_Forwarder(std::uint32_t ipv4_host_order, std::uint16_t port)
    : address(htonl(ipv4_host_order)), port_be(htons(port)) {
    fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
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
    if (fd >= 0) {
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
        std::size_t sent = 0;
        while (sent < pending.size()) {
            const int n = ::sendmmsg(fd, messages.data() + sent,
                                     static_cast<unsigned>(pending.size() - sent), 0);
            if (n <= 0) {
                break; // nobody listening or no room: the rest is dropped
            }
            sent += static_cast<std::size_t>(n);
        }
    }
    pending.clear();
}
