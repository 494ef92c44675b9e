#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// Forwards received frames as 12-byte datagrams to one local port. Datagrams are gathered
// during a poll cycle and sent together, in order, with one system call: the receive path
// handles a full bus without a system call per frame.
class Udp_Forwarder {
public:
    static constexpr std::size_t datagram_size = 12;
    using Datagram = std::array<char, datagram_size>;

    Udp_Forwarder(std::uint32_t ipv4_host_order, std::uint16_t port);
    ~Udp_Forwarder();
    Udp_Forwarder(const Udp_Forwarder&) = delete;
    Udp_Forwarder& operator=(const Udp_Forwarder&) = delete;

    void queue(const Datagram& datagram);
    // Sends what is queued. A datagram the system does not take is dropped, as UDP does.
    void flush();

private:
    static constexpr std::size_t batch_limit = 256;

    int fd = -1;
    std::uint32_t address; // network order
    std::uint16_t port_be;
    std::vector<Datagram> pending;
};
