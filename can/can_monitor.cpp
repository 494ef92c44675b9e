#include "can/can_monitor.h"

namespace {
constexpr float bitrate_kbit_numerator = 4000.0F;
constexpr char udp_marker = static_cast<char>(0x88);
constexpr std::uint32_t log_id_display = 0x681;
constexpr std::uint32_t log_id_buttons = 0x5C1;
constexpr std::uint32_t quiet_id_status = 0x661;
constexpr std::uint32_t quiet_id_keepalive = 0x439;
constexpr std::uint32_t quiet_id_display = 0x680;
constexpr std::uint8_t quiet_display_byte = 0xA3;
} // namespace

QString can_speed_text(int prescaler) {
    const float kbit = bitrate_kbit_numerator / static_cast<float>(prescaler);
    return QString::number(static_cast<double>(kbit), 'f', 1) + QStringLiteral(" kbit/s");
}

std::optional<std::uint32_t> can_frame_id(const CanFrame& frame) {
    if (frame.ide == CanFrame::ide_standard) {
        return frame.std_id;
    }
    if (frame.ide == CanFrame::ide_extended) {
        return frame.ext_id;
    }
    return std::nullopt;
}

QString can_id_text(std::uint32_t id) {
    return QStringLiteral("0x") + QString::number(id, 16);
}

void fill_udp_datagram(std::uint32_t id, const CanFrame& frame,
                       std::array<char, udp_datagram_size>& datagram) {
    datagram[0] = udp_marker;
    datagram[1] = static_cast<char>((id >> 8) & 0xFFU);
    datagram[2] = static_cast<char>(id & 0xFFU);
    datagram[3] = static_cast<char>(frame.dlc);
    for (std::size_t i = 0; i < frame.data.size(); ++i) {
        datagram[4 + i] = static_cast<char>(frame.data[i]);
    }
}

bool can_frame_is_logged_on_receive(std::uint32_t id) {
    return id == log_id_display || id == log_id_buttons;
}

bool can_frame_is_quiet_on_send(const CanFrame& f) {
    return f.std_id == quiet_id_status || f.std_id == quiet_id_keepalive ||
           (f.std_id == quiet_id_display && f.dlc == 1 && f.data[0] == quiet_display_byte);
}

Bitrate_Scan::Step Bitrate_Scan::step(std::int64_t now_ms, int listen_ms) {
    Step out;
    switch (state) {
    case State::idle:
        return out;
    case State::requested:
        prescaler = first_prescaler;
        break;
    case State::listen:
        if (now_ms - started_ms < listen_ms) {
            return out;
        }
        if (received != 0) {
            state = State::idle; // traffic: the bus stays active at this prescaler
            return out;
        }
        out.deactivate = true;
        out.deactivate_prescaler = prescaler;
        if (++prescaler > last_prescaler) {
            state = State::idle;
            return out;
        }
        break;
    case State::apply:
        break;
    }
    // Apply the next prescaler in the same step.
    out.activate = true;
    out.activate_prescaler = prescaler;
    started_ms = now_ms;
    received = 0;
    state = State::listen;
    return out;
}
