#pragma once

// Pure pieces of the bus monitor: the speed text, the UDP datagram of a received frame,
// the identifier of a frame, and the automatic bit-rate scan.

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "can/can_frame.h"

// 4000 / prescaler kbit/s with one decimal: 40 -> "100.0 kbit/s".
QString can_speed_text(int prescaler);

// The identifier a frame is known by: std_id for standard, ext_id for extended frames;
// nothing for any other identifier type.
std::optional<std::uint32_t> can_frame_id(const CanFrame& frame);

// "0x" and the identifier in lower-case hexadecimal, as the identifier lists show it.
QString can_id_text(std::uint32_t id);

// Received frames forwarded by UDP: 0x88, the identifier's low 16 bits (high byte first),
// dlc, then all eight data bytes.
constexpr std::size_t udp_datagram_size = 12;
constexpr std::uint16_t udp_port = 64888;
constexpr std::uint32_t udp_host = 0x7F000001; // 127.0.0.1
void fill_udp_datagram(std::uint32_t id, const CanFrame& frame,
                       std::array<char, udp_datagram_size>& datagram);

// The known and the blocked list hold at most this many identifiers each: a bus with ever
// new identifiers must not grow the program. Frames beyond it are still dispatched.
constexpr int can_id_list_capacity = 4096;

// What the monitor could not do, shown on the page once it happened: frames whose identifier
// found the known list full, and datagrams the system did not take.
struct Monitor_Shortfalls {
    std::uint64_t unlisted_frames = 0;
    std::uint64_t udp_failed = 0;
    bool operator==(const Monitor_Shortfalls&) const = default;
};

// The received frames that go to the log file.
bool can_frame_is_logged_on_receive(std::uint32_t id);
// Sent frames of the head-unit preset that are sent but never logged.
bool can_frame_is_quiet_on_send(const CanFrame& frame);

// Searches the prescaler under which the board hears traffic: 4, 5, ... 250, each listened
// to for the chosen time, stopping at the first that brings a frame. One step per poll cycle;
// the clock is passed in.
class Bitrate_Scan {
public:
    static constexpr int first_prescaler = 4;
    static constexpr int last_prescaler = 250;

    enum class State { idle = 0, requested = 1, apply = 2, listen = 3 };

    struct Step {
        bool deactivate = false; // send a deactivation for `deactivate_prescaler` first
        int deactivate_prescaler = 0;
        bool activate = false; // then an activation for `activate_prescaler`
        int activate_prescaler = 0;
    };

    void request() { state = State::requested; }
    // Frames the board reported while the scan listens.
    void count_received(int frames) { received += frames; }
    bool idle() const { return state == State::idle; }
    State current() const { return state; }

    Step step(std::int64_t now_ms, int listen_ms);

private:
    State state = State::idle;
    int prescaler = first_prescaler;
    std::int64_t started_ms = 0;
    int received = 0;
};
