#include "protocol/status_text.h"

#include "protocol/layouts.h"

namespace {
constexpr float adc_counts = 4095.0F;
constexpr float divider_ratio = 7.0F;
constexpr int voltage_decimals = 2;
constexpr int temperature_digits = 6;
constexpr std::uint8_t half_degree_bit = 0x80;
constexpr double half_degree = 0.5;

const std::array<const char*, 14> state_names{"IDLE",
                                              "ACC_ON_DELAY",
                                              "PC_ON",
                                              "PC_SHUTDOWN",
                                              "VKL_PC_DELAY",
                                              "OS_LOAD_TIME",
                                              "OS_SHUTDOWN_TIME",
                                              "ACC_OFF_DELAY",
                                              "AKB_OFF_DELAY",
                                              "CHECK_PC_ON_DELAY_STATE",
                                              "R_OUT_DELAY_STATE",
                                              "SLEEP_STATE",
                                              "ACC_ON_SLEEP_DELAY",
                                              "SLEEP_AKB_OFF_DELAY_STATE"};
} // namespace

std::uint16_t Voltage_Average::add(std::uint16_t raw) {
    if (count == capacity) {
        // The slot to be written holds the oldest reading.
        sum -= values[static_cast<std::size_t>(next)];
    } else {
        ++count;
    }
    values[static_cast<std::size_t>(next)] = raw;
    sum += raw;
    next = (next + 1) % capacity;
    return static_cast<std::uint16_t>(sum / static_cast<std::uint32_t>(count));
}

float adc_scale(double reference_volts) {
    return static_cast<float>(reference_volts) * divider_ratio / adc_counts;
}

QString voltage_text(float scale, std::uint16_t raw) {
    return QString::number(static_cast<double>(scale * static_cast<float>(raw)), 'f',
                           voltage_decimals);
}

QString temperature_text(const std::array<std::uint8_t, 2>& raw) {
    double t = static_cast<std::int8_t>(raw[0]);
    if ((raw[1] & half_degree_bit) != 0) {
        t += half_degree;
    }
    return QString::number(t, 'g', temperature_digits) + QStringLiteral(" °C");
}

QString power_state_name(std::uint8_t state) {
    return state < state_names.size() ? QString::fromLatin1(state_names[state])
                                      : QStringLiteral("???");
}

QString brightness_percent(int pwm_value) {
    return QString::number(pwm_value * 100 / pwm_full_scale) + QLatin1Char('%');
}

QString hardware_version_text(std::uint8_t version) {
    return version == sniffer_hardware_version ? QStringLiteral("SNIFFER")
                                               : QStringLiteral("V") + QString::number(version);
}

QString firmware_version_text(std::uint8_t version) {
    return QStringLiteral("R") + QString::number(version);
}
