#include "protocol/layouts.h"

#include <algorithm>
#include <cmath>

#include "protocol/can_wire.h"

namespace {
constexpr double volts_per_tenth = 10.0;
constexpr double reference_base_volts = 2.0;
constexpr double reference_steps_per_volt = 100.0;
constexpr int max_byte = 255;

namespace identity_byte {
constexpr std::size_t board_type = 0;
constexpr std::size_t hardware_version = 2;
constexpr std::size_t firmware_version = 3;
} // namespace identity_byte

std::uint8_t to_byte(long value) {
    return static_cast<std::uint8_t>(std::clamp<long>(value, 0, max_byte));
}

} // namespace

Board_Identity decode_identity(Reply_Bytes reply) {
    return {reply[identity_byte::board_type], reply[identity_byte::hardware_version],
            reply[identity_byte::firmware_version]};
}

std::uint8_t volts_to_tenths(double volts) {
    return to_byte(std::lround(volts * volts_per_tenth));
}

Power_Settings decode_power_config(const Power_Config& c) {
    Power_Settings s;
    s.acc_on_delay = c[power_byte::acc_on_delay];
    s.vkl_pc_delay = c[power_byte::vkl_pc_delay];
    s.r_out_delay = c[power_byte::r_out_delay];
    s.akb_off_delay = c[power_byte::akb_off_delay];
    s.acc_off_delay = c[power_byte::acc_off_delay_high] << 8 | c[power_byte::acc_off_delay_low];
    s.os_shutdown_delay = c[power_byte::os_shutdown_delay];
    s.akb_min_volts = c[power_byte::akb_min] / volts_per_tenth;
    s.vkl_akb_min_volts = c[power_byte::vkl_akb_min] / volts_per_tenth;
    s.check_pc_on = c[power_byte::check_pc_on] != 0;
    s.sleep_mode = c[power_byte::sleep_mode] != 0;
    s.monitor_on_delay = c[power_byte::monitor_on_delay];
    s.monitor_off_delay = c[power_byte::monitor_off_delay];
    return s;
}

void encode_power_config(const Power_Settings& s, Power_Config& c) {
    c[power_byte::acc_on_delay] = to_byte(s.acc_on_delay);
    c[power_byte::os_shutdown_delay] = to_byte(s.os_shutdown_delay);
    c[power_byte::vkl_pc_delay] = to_byte(s.vkl_pc_delay);
    c[power_byte::akb_off_delay] = to_byte(s.akb_off_delay);
    c[power_byte::r_out_delay] = to_byte(s.r_out_delay);
    c[power_byte::monitor_on_delay] = to_byte(s.monitor_on_delay);
    c[power_byte::monitor_off_delay] = to_byte(s.monitor_off_delay);
    const auto acc_off = static_cast<std::uint16_t>(std::clamp(s.acc_off_delay, 0, 0xFFFF));
    c[power_byte::acc_off_delay_low] = static_cast<std::uint8_t>(acc_off & 0xFF);
    c[power_byte::acc_off_delay_high] = static_cast<std::uint8_t>(acc_off >> 8);
    c[power_byte::akb_min] = volts_to_tenths(s.akb_min_volts);
    c[power_byte::vkl_akb_min] = volts_to_tenths(s.vkl_akb_min_volts);
    c[power_byte::check_pc_on] = s.check_pc_on ? 1 : 0;
    c[power_byte::sleep_mode] = s.sleep_mode ? 1 : 0;
}

Power_Status decode_power_status(Reply_Bytes reply) {
    Power_Status s;
    s.akb_raw = get_u16(reply, power_reply::akb);
    s.uout_raw = get_u16(reply, power_reply::uout);
    s.power_state = reply[power_reply::state];
    s.temperature_raw = {reply[power_reply::temperature], reply[power_reply::temperature + 1]};
    return s;
}

std::array<std::uint8_t, 2> encode_set_pwm(int value) {
    constexpr int low_bits = 0x3;
    constexpr int shift = 2;
    return {static_cast<std::uint8_t>((value >> shift) & 0xFF),
            static_cast<std::uint8_t>(value & low_bits)};
}

Can_Status decode_can_status(Reply_Bytes reply) {
    return {reply[can_status_byte::active] != 0, reply[can_status_byte::waiting],
            get_u16(reply, can_status_byte::prescaler), reply[can_status_byte::mode]};
}

Hw_Timer_Record decode_hw_timer(Reply_Bytes reply) {
    return {reply[hw_timer_reply::enabled] != 0, get_u16(reply, hw_timer_reply::interval),
            decode_can_wire_frame(reply.data() + hw_timer_reply::frame)};
}

Hw_Trigger_Record decode_hw_trigger(Reply_Bytes reply) {
    return {reply[hw_trigger_reply::enabled] != 0,
            decode_can_wire_frame(reply.data() + hw_trigger_reply::match),
            decode_can_wire_frame(reply.data() + hw_trigger_reply::reply)};
}

namespace {
constexpr std::size_t record_index_byte = 0;
constexpr std::size_t record_fields = 1; // the reply's fields follow the index
} // namespace

void encode_hw_timer(std::uint8_t index, const Hw_Timer_Record& timer,
                     std::span<std::uint8_t> request) {
    request[record_index_byte] = index;
    const std::span<std::uint8_t> fields = request.subspan(record_fields);
    fields[hw_timer_reply::enabled] = timer.enabled ? 1 : 0;
    put_u16(fields, hw_timer_reply::interval, timer.interval);
    encode_can_wire_frame(timer.frame, fields.data() + hw_timer_reply::frame);
}

void encode_hw_trigger(std::uint8_t index, const Hw_Trigger_Record& trigger,
                       std::span<std::uint8_t> request) {
    request[record_index_byte] = index;
    const std::span<std::uint8_t> fields = request.subspan(record_fields);
    fields[hw_trigger_reply::enabled] = trigger.enabled ? 1 : 0;
    fields[hw_trigger_reply::board_byte] = 0;
    encode_can_wire_frame(trigger.match, fields.data() + hw_trigger_reply::match);
    encode_can_wire_frame(trigger.reply, fields.data() + hw_trigger_reply::reply);
}

double reference_volts(std::uint8_t code) {
    return code / reference_steps_per_volt + reference_base_volts;
}

std::uint8_t reference_code(double volts) {
    // Halves go up; the small bias keeps 3.30 (3.2999...) from landing a step low.
    constexpr double bias = 1e-9;
    return to_byte(static_cast<long>(
        std::floor((volts - reference_base_volts) * reference_steps_per_volt + 0.5 + bias)));
}
