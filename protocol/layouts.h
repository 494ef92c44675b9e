#pragma once

// The byte images the window keeps of the board's settings and the reply layouts of the
// commands, as pure functions over bytes. Multi-byte numbers are big-endian.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "can/can_frame.h"

using Reply_Bytes = std::span<const std::uint8_t>; // reply payload bytes, from byte 0

constexpr std::uint16_t get_u16(Reply_Bytes bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}
constexpr void put_u16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

// CMD_IDENTIFY reply.
struct Board_Identity {
    std::uint8_t board_type = 0;
    std::uint8_t hardware_version = 0;
    std::uint8_t firmware_version = 0;
};
Board_Identity decode_identity(Reply_Bytes reply);

// power_config, 15 bytes: read with CMD_READ_POWER, written with CMD_WRITE_POWER_CONFIG.
constexpr std::size_t power_config_size = 15;
using Power_Config = std::array<std::uint8_t, power_config_size>;
namespace power_byte {
constexpr std::size_t acc_on_delay = 0;
constexpr std::size_t os_shutdown_delay = 2;
constexpr std::size_t akb_min = 3; // tenths of a volt
constexpr std::size_t vkl_pc_delay = 4;
constexpr std::size_t check_pc_on = 5;
constexpr std::size_t acc_off_delay_low = 6;
constexpr std::size_t akb_off_delay = 7;
constexpr std::size_t acc_off_delay_high = 8;
constexpr std::size_t vkl_akb_min = 9; // tenths of a volt
constexpr std::size_t r_out_delay = 11;
constexpr std::size_t sleep_mode = 12;
constexpr std::size_t monitor_on_delay = 13;
constexpr std::size_t monitor_off_delay = 14;
} // namespace power_byte

// The editable fields of power_config, as the power tab shows them.
struct Power_Settings {
    int acc_on_delay = 0;
    int vkl_pc_delay = 0;
    int r_out_delay = 0;
    int akb_off_delay = 0;
    int acc_off_delay = 0;
    int os_shutdown_delay = 0;
    double akb_min_volts = 0.0;
    double vkl_akb_min_volts = 0.0;
    bool check_pc_on = false;
    bool sleep_mode = false;
    int monitor_on_delay = 0;
    int monitor_off_delay = 0;
};
Power_Settings decode_power_config(const Power_Config& config);
// Writes the settings into `config`; the bytes the host does not edit keep their values.
void encode_power_config(const Power_Settings& settings, Power_Config& config);
// Volts as tenths of a volt, rounded to the nearest tenth: 11.1 -> 111.
std::uint8_t volts_to_tenths(double volts);

// The live status in the CMD_READ_POWER reply, after power_config.
struct Power_Status {
    std::uint16_t akb_raw = 0;  // battery voltage, ADC count
    std::uint16_t uout_raw = 0; // output voltage, ADC count
    std::uint8_t power_state = 0;
    std::array<std::uint8_t, 2> temperature_raw{}; // signed degrees; bit 7 of the second: +0.5
};
namespace power_reply {
constexpr std::size_t config = 0;
constexpr std::size_t akb = 15;
constexpr std::size_t state = 17;
constexpr std::size_t uout = 18;
constexpr std::size_t temperature = 20;
} // namespace power_reply
Power_Status decode_power_status(Reply_Bytes reply);

// pwm_image, 37 bytes: read with CMD_READ_PWM, written with CMD_WRITE_PWM_CONFIG.
constexpr std::size_t pwm_image_size = 37;
using Pwm_Image = std::array<std::uint8_t, pwm_image_size>;
constexpr int curve_points = 7;
constexpr int pwm_full_scale = 564; // 100 %
namespace pwm_byte {
constexpr std::size_t present_value = 0;
constexpr std::size_t light_value = 2;
constexpr std::size_t mode = 4;
constexpr std::size_t point_light = 5; // 2 bytes per point, point 1 first
constexpr std::size_t point_pwm = 19;  // 2 bytes per point, point 1 first
constexpr std::size_t step_delay = 33;
constexpr std::size_t slide_delay = 34;
constexpr std::size_t smoothing = 35;
constexpr std::size_t live_part_size = 5; // present value, light value, mode
} // namespace pwm_byte
constexpr std::uint8_t pwm_mode_host = 1;
constexpr std::uint8_t pwm_mode_curve = 0;
inline int pwm_present_value(const Pwm_Image& image) {
    return get_u16(image, pwm_byte::present_value);
}
inline int pwm_light_value(const Pwm_Image& image) {
    return get_u16(image, pwm_byte::light_value);
}
// CMD_SET_PWM request: the value shifted right by 2, then its low two bits.
std::array<std::uint8_t, 2> encode_set_pwm(int value);

// sound_image, 37 bytes: the sound processor's register image and the hard-mute byte.
constexpr std::size_t sound_image_size = 37;
using Sound_Image = std::array<std::uint8_t, sound_image_size>;

// CMD_CAN_ACTIVATE request: on/off, prescaler, mode.
namespace activate_byte {
constexpr std::size_t on = 0;
constexpr std::size_t prescaler = 1;
constexpr std::size_t mode = 3;
} // namespace activate_byte

// CMD_CAN_STATUS reply.
namespace can_status_byte {
constexpr std::size_t active = 0;
constexpr std::size_t waiting = 1;
constexpr std::size_t prescaler = 2;
constexpr std::size_t mode = 4;
} // namespace can_status_byte
struct Can_Status {
    bool active = false;
    std::uint8_t waiting = 0;
    std::uint16_t prescaler = 0;
    std::uint8_t mode = 0;
};
Can_Status decode_can_status(Reply_Bytes reply);

// One acceptance filter entry, 13 bytes; CMD_READ_FILTERS returns two of them.
constexpr std::size_t filter_entry_size = 13;
constexpr int filter_entry_count = 24;
constexpr int filters_per_exchange = 2;
using Filter_Entry = std::array<std::uint8_t, filter_entry_size>;
using Filter_Table = std::array<Filter_Entry, filter_entry_count>;
namespace filter_byte {
constexpr std::size_t active = 0;
constexpr std::size_t fifo = 1; // the low byte of the board's 16-bit setting
constexpr std::size_t id_high = 2;
constexpr std::size_t id_low = 4;
constexpr std::size_t mask_high = 6;
constexpr std::size_t mask_low = 8;
constexpr std::size_t mode = 10;
constexpr std::size_t number = 11;
constexpr std::size_t scale = 12;
} // namespace filter_byte
// CMD_READ_FILTERS / CMD_WRITE_FILTERS travel in pairs: first the index i (even), then entry i
// and entry i + 1.
constexpr std::size_t filter_pair_index_byte = 0;
constexpr std::size_t filter_pair_first_entry = 1;

// CMD_READ_HW_TIMER reply: enabled, interval, the frame the board sends.
namespace hw_timer_reply {
constexpr std::size_t enabled = 0;
constexpr std::size_t interval = 1;
constexpr std::size_t frame = 3;
} // namespace hw_timer_reply
struct Hw_Timer_Record {
    bool enabled = false;
    std::uint16_t interval = 0;
    CanFrame frame;
};
Hw_Timer_Record decode_hw_timer(Reply_Bytes reply);
// CMD_WRITE_HW_TIMER request: the timer's index, then the reply's fields.
void encode_hw_timer(std::uint8_t index, const Hw_Timer_Record& timer,
                     std::span<std::uint8_t> request);

// CMD_READ_HW_TRIGGER reply: enabled, a byte of the board's own, the frame to match, the
// frame to send.
namespace hw_trigger_reply {
constexpr std::size_t enabled = 0;
constexpr std::size_t board_byte = 1;
constexpr std::size_t match = 2;
constexpr std::size_t reply = 21; // right after the 19-byte frame to match
} // namespace hw_trigger_reply
struct Hw_Trigger_Record {
    bool enabled = false;
    CanFrame match;
    CanFrame reply;
};
Hw_Trigger_Record decode_hw_trigger(Reply_Bytes reply);
// CMD_WRITE_HW_TRIGGER request: the trigger's index, then the reply's fields with 0 as the
// board's own byte.
void encode_hw_trigger(std::uint8_t index, const Hw_Trigger_Record& trigger,
                       std::span<std::uint8_t> request);

// ADC reference: code 0..254 is 2.00..4.54 V.
double reference_volts(std::uint8_t code);
// Volts to the code, rounded to the nearest integer, halves up: 3.30 -> 130, 4.54 -> 254.
std::uint8_t reference_code(double volts);
