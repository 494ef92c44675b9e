#pragma once

// How the board's live status and identity are shown: pure functions, no widgets.

#include <QString>
#include <array>
#include <cstdint>

// The last 51 readings of one voltage, newest first; the shown value is their mean.
class Voltage_Average {
public:
    static constexpr int capacity = 51;

    // Adds `raw` as the newest reading (dropping the oldest when full) and returns the mean
    // of all readings kept, rounded down.
    std::uint16_t add(std::uint16_t raw);
    int size() const { return count; }

private:
    std::array<std::uint16_t, capacity> values{};
    int next = 0;
    int count = 0;
    std::uint32_t sum = 0;
};

// Volts per ADC count: the reference voltage over the 12-bit range behind a 1:7 divider,
// in single precision.
float adc_scale(double reference_volts);
// The voltage of `raw` counts with two decimals: 2048 at 3.30 V -> "11.55".
QString voltage_text(float scale, std::uint16_t raw);
// Whole degrees as a signed byte, plus a half when bit 7 of the second byte is set:
// 0xFB 0x80 -> "-4.5 °C", 0x17 0x00 -> "23 °C".
QString temperature_text(const std::array<std::uint8_t, 2>& raw);
// The power state's name; "???" for values beyond the known states.
QString power_state_name(std::uint8_t state);
// A PWM value as a whole percentage of full brightness: 282 -> "50%".
QString brightness_percent(int pwm_value);
// "SNIFFER" for hardware version 100, otherwise "V" and the number.
QString hardware_version_text(std::uint8_t version);
QString firmware_version_text(std::uint8_t version);

constexpr std::uint8_t sniffer_hardware_version = 100;
constexpr std::uint8_t monitor_hardware_version = 4;
constexpr std::uint8_t accepted_board_type = 2;
