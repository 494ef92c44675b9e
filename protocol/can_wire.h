#pragma once

// The 19-byte form in which one CAN frame travels inside a report payload, both ways:
//
//   byte 0       ide (0 standard, 4 extended)
//   bytes 1..4   std_id, most significant byte first
//   bytes 5..8   ext_id, most significant byte first
//   byte 9       rtr (0 data, 2 remote)
//   byte 10      dlc, as carried
//   bytes 11..18 the eight data bytes, all of them whatever dlc says
//
// Pure functions; nothing here knows which command carries the frame.

#include <cstddef>
#include <cstdint>
#include <span>

#include "can/can_frame.h"

namespace can_wire {

constexpr std::size_t frame_size = 19;
constexpr std::size_t ide_offset = 0;
constexpr std::size_t std_id_offset = 1;
constexpr std::size_t ext_id_offset = 5;
constexpr std::size_t rtr_offset = 9;
constexpr std::size_t dlc_offset = 10;
constexpr std::size_t data_offset = 11;

constexpr void put_u32(std::span<std::uint8_t, frame_size> out, std::size_t at, std::uint32_t v) {
    out[at] = static_cast<std::uint8_t>(v >> 24);
    out[at + 1] = static_cast<std::uint8_t>(v >> 16);
    out[at + 2] = static_cast<std::uint8_t>(v >> 8);
    out[at + 3] = static_cast<std::uint8_t>(v);
}

constexpr std::uint32_t get_u32(std::span<const std::uint8_t, frame_size> in, std::size_t at) {
    return (std::uint32_t{in[at]} << 24) | (std::uint32_t{in[at + 1]} << 16) |
           (std::uint32_t{in[at + 2]} << 8) | std::uint32_t{in[at + 3]};
}

} // namespace can_wire

constexpr void encode_can_wire_frame(const CanFrame& frame,
                                     std::span<std::uint8_t, can_wire::frame_size> out) {
    out[can_wire::ide_offset] = frame.ide;
    can_wire::put_u32(out, can_wire::std_id_offset, frame.std_id);
    can_wire::put_u32(out, can_wire::ext_id_offset, frame.ext_id);
    out[can_wire::rtr_offset] = frame.rtr;
    out[can_wire::dlc_offset] = frame.dlc;
    for (std::size_t i = 0; i < frame.data.size(); ++i) {
        out[can_wire::data_offset + i] = frame.data[i];
    }
}

constexpr CanFrame decode_can_wire_frame(std::span<const std::uint8_t, can_wire::frame_size> in) {
    CanFrame frame;
    frame.ide = in[can_wire::ide_offset];
    frame.std_id = can_wire::get_u32(in, can_wire::std_id_offset);
    frame.ext_id = can_wire::get_u32(in, can_wire::ext_id_offset);
    frame.rtr = in[can_wire::rtr_offset];
    frame.dlc = in[can_wire::dlc_offset];
    for (std::size_t i = 0; i < frame.data.size(); ++i) {
        frame.data[i] = in[can_wire::data_offset + i];
    }
    return frame;
}

// The same for a buffer that holds at least 19 bytes from `out19` / `in19` on.
constexpr void encode_can_wire_frame(const CanFrame& frame, std::uint8_t* out19) {
    encode_can_wire_frame(
        frame, std::span<std::uint8_t, can_wire::frame_size>(out19, can_wire::frame_size));
}

constexpr CanFrame decode_can_wire_frame(const std::uint8_t* in19) {
    return decode_can_wire_frame(
        std::span<const std::uint8_t, can_wire::frame_size>(in19, can_wire::frame_size));
}
