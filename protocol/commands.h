#pragma once

#include <cstdint>

// The board's command codes. Each is one report exchange: the host sends the code and a
// request payload, the board echoes the code with its reply payload. Multi-byte numbers
// in payloads are big-endian.
enum Command : std::uint8_t {
    CMD_IDENTIFY = 0x36,           // reply: board type, -, hardware version, firmware version
    CMD_READ_POWER = 0x37,         // reply: power_config, voltages, state, temperature
    CMD_WRITE_POWER_CONFIG = 0x38, // request: power_config (15 bytes)
    CMD_READ_SOUND = 0x39,         // reply: sound_image (37 bytes)
    CMD_WRITE_SOUND = 0x3A,        // request: sound_image (37 bytes)
    CMD_READ_PWM = 0x3B,           // reply: pwm_image (37 bytes)
    CMD_WRITE_PWM_CONFIG = 0x3C,   // request: pwm_image (37 bytes)
    CMD_SET_PWM = 0x3D,            // request: value >> 2, value & 3
    CMD_SET_PWM_MODE = 0x3E,       // request: 1 host-set brightness, 0 automatic curve
    CMD_CAN_ACTIVATE = 0x3F,       // request: on/off, prescaler (2 bytes), mode
    CMD_CAN_SEND = 0x40,           // request: one CAN wire frame
    CMD_CAN_READ_ONE = 0x41,       // reply: one received CAN wire frame
    CMD_CAN_STATUS = 0x42,         // reply: active, waiting count, prescaler (2 bytes), mode
    CMD_CAN_READ_THREE = 0x43,     // reply: three received CAN wire frames
    CMD_RESET_EEPROM = 0x44,       // no payload either way
    CMD_READ_FILTERS = 0x45,       // request: first entry k; reply: entries k and k+1
    CMD_WRITE_FILTERS = 0x46,      // request: k, entry k, entry k+1
    CMD_READ_SERVICE = 0x47,       // reply: ADC reference code
    CMD_WRITE_SERVICE = 0x48,      // request: ADC reference code
    CMD_READ_HW_TIMER = 0x49,      // request: timer; reply: enabled, interval, frame
    CMD_WRITE_HW_TIMER = 0x4A,     // request: timer, enabled, interval, frame
    CMD_READ_HW_TRIGGER = 0x4B,    // request: trigger; reply: enabled, -, match frame, reply frame
    CMD_WRITE_HW_TRIGGER = 0x4C,   // request: trigger, enabled, 0, match frame, reply frame
};

constexpr std::uint8_t first_command = CMD_IDENTIFY;
constexpr std::uint8_t last_command = CMD_WRITE_HW_TRIGGER;
