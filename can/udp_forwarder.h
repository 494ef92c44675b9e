#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct mmsghdr;

// Forwards received frames as 12-byte datagrams to one local port. Datagrams are gathered
// during a poll cycle and sent together, in order, with one system call: the receive path
// handles a full bus without a system call per frame.
class Udp_Forwarder {
public:
    static constexpr std::size_t datagram_size = 12;
    using Datagram = std::array<char, datagram_size>;
    // The system's sendmmsg: how many of `count` messages went out, or -1 with errno.
    using Send_Many = std::function<int(int fd, mmsghdr* messages, unsigned count)>;

    Udp_Forwarder(std::uint32_t ipv4_host_order, std::uint16_t port);
    ~Udp_Forwarder();
    Udp_Forwarder(const Udp_Forwarder&) = delete;
    Udp_Forwarder& operator=(const Udp_Forwarder&) = delete;

    void queue(const Datagram& datagram);
    // Sends what is queued. Every datagram is tried: one the system does not take is
    // dropped, as UDP does, and counted.
    void flush();

    std::uint64_t failed() const { return failures; }
    int last_error() const { return last_errno; } // of the latest failure
    // True once after sending starts to fail (a flush loses datagrams where the one before
    // it lost none): time to say so once.
    bool take_failure_report();

    void set_sender(Send_Many send) { send_many = std::move(send); } // tests

private:
    static constexpr std::size_t batch_limit = 256;

    void send_pending();

    int fd = -1;
    int socket_errno = 0;
    std::uint32_t address; // network order
    std::uint16_t port_be;
    std::vector<Datagram> pending;
    Send_Many send_many;
    std::uint64_t failures = 0;
    int last_errno = 0;
    bool failing = false; // the latest flush that had datagrams lost some
    bool report_due = false;
};
