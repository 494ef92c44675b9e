// The board's reply payloads, as any board (or a faulty one) may send them: every decoder
// reads its fields from where the layout puts them, the frames and the power configuration
// go back to the same bytes, and the status texts stay within what the bytes can mean.

#include <QString>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "protocol/can_wire.h"
#include "protocol/layouts.h"
#include "protocol/status_text.h"

namespace {

constexpr std::size_t payload_size = 63; // a report less its ID and command bytes
using Payload = std::array<std::uint8_t, payload_size>;

constexpr int known_power_states = 14;
constexpr std::uint8_t half_degree_bit = 0x80;
constexpr int max_set_pwm = 1023; // ten bits
constexpr int set_pwm_shift = 2;
constexpr int set_pwm_low_bits = 0x3;
constexpr double min_reference_volts = 2.0;
constexpr double max_reference_volts = 4.55;
constexpr int voltage_decimals = 2;
constexpr double rounding_tolerance = 0.005 + 1e-9; // half the last shown decimal

std::uint16_t u16_at(const Payload& p, std::size_t at) {
    return static_cast<std::uint16_t>(p[at] << 8 | p[at + 1]);
}

// The frame at `at` decodes from, and encodes back to, exactly its 19 bytes.
void check_wire_frame(const Payload& p, std::size_t at, const CanFrame& decoded) {
    FUZZ_CHECK(decoded == decode_can_wire_frame(p.data() + at));
    std::array<std::uint8_t, can_wire::frame_size> back{};
    encode_can_wire_frame(decoded, back.data());
    FUZZ_CHECK(std::equal(back.begin(), back.end(), p.begin() + static_cast<std::ptrdiff_t>(at)));
    FUZZ_CHECK(decoded.ide == p[at + can_wire::ide_offset]);
    FUZZ_CHECK(decoded.dlc == p[at + can_wire::dlc_offset]);
}

void check_power(const Payload& p) {
    const Power_Status status = decode_power_status(p);
    FUZZ_CHECK(status.akb_raw == u16_at(p, power_reply::akb));
    FUZZ_CHECK(status.uout_raw == u16_at(p, power_reply::uout));
    FUZZ_CHECK(status.power_state == p[power_reply::state]);
    FUZZ_CHECK((power_state_name(status.power_state) == QStringLiteral("???")) ==
               (status.power_state >= known_power_states));

    // Whole degrees as a signed byte, a half from bit 7 of the next byte.
    const QString temperature = temperature_text(status.temperature_raw);
    const QString unit = QStringLiteral(" °C");
    FUZZ_CHECK(temperature.endsWith(unit));
    bool ok = false;
    const double degrees = temperature.chopped(unit.size()).toDouble(&ok);
    const double expected_degrees =
        static_cast<std::int8_t>(p[power_reply::temperature]) +
        ((p[power_reply::temperature + 1] & half_degree_bit) != 0 ? 0.5 : 0.0);
    FUZZ_CHECK(ok && degrees == expected_degrees);

    // Any count at any reference is its voltage, rounded to two decimals.
    const double reference = reference_volts(p[0]);
    FUZZ_CHECK(reference >= min_reference_volts && reference <= max_reference_volts);
    const float scale = adc_scale(reference);
    const QString volts = voltage_text(scale, status.akb_raw);
    FUZZ_CHECK(volts.indexOf(u'.') == volts.size() - 1 - voltage_decimals);
    const double shown = volts.toDouble(&ok);
    const double exact = static_cast<double>(scale * static_cast<float>(status.akb_raw));
    FUZZ_CHECK(ok && std::abs(shown - exact) <= rounding_tolerance);

    // The editable fields of the configuration write back every byte they came from (the two
    // flags as 0 or 1), and the bytes the host does not edit are left as they were.
    Power_Config config{};
    std::copy_n(p.begin() + power_reply::config, power_config_size, config.begin());
    const Power_Settings settings = decode_power_config(config);
    Power_Config written = config;
    encode_power_config(settings, written);
    Power_Config expected = config;
    for (const std::size_t flag : {power_byte::check_pc_on, power_byte::sleep_mode}) {
        expected[flag] = config[flag] != 0 ? 1 : 0;
    }
    FUZZ_CHECK(written == expected);
    FUZZ_CHECK(settings.acc_off_delay >= 0 && settings.acc_off_delay <= 0xFFFF);
    FUZZ_CHECK(volts_to_tenths(settings.akb_min_volts) == config[power_byte::akb_min]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Payload p{};
    std::copy_n(data, std::min(size, payload_size), p.begin());

    const Board_Identity identity = decode_identity(p);
    FUZZ_CHECK(identity.board_type == p[0] && identity.hardware_version == p[2] &&
               identity.firmware_version == p[3]);

    check_power(p);

    const Can_Status can = decode_can_status(p);
    FUZZ_CHECK(can.active == (p[can_status_byte::active] != 0));
    FUZZ_CHECK(can.waiting == p[can_status_byte::waiting]);
    FUZZ_CHECK(can.prescaler == u16_at(p, can_status_byte::prescaler));
    FUZZ_CHECK(can.mode == p[can_status_byte::mode]);

    const Hw_Timer_Record timer = decode_hw_timer(p);
    FUZZ_CHECK(timer.enabled == (p[hw_timer_reply::enabled] != 0));
    FUZZ_CHECK(timer.interval == u16_at(p, hw_timer_reply::interval));
    check_wire_frame(p, hw_timer_reply::frame, timer.frame);

    const Hw_Trigger_Record trigger = decode_hw_trigger(p);
    FUZZ_CHECK(trigger.enabled == (p[hw_trigger_reply::enabled] != 0));
    check_wire_frame(p, hw_trigger_reply::match, trigger.match);
    check_wire_frame(p, hw_trigger_reply::reply, trigger.reply);

    // The three frames of a receive reply.
    for (std::size_t at = 0; at + can_wire::frame_size <= payload_size;
         at += can_wire::frame_size) {
        check_wire_frame(p, at, decode_can_wire_frame(p.data() + at));
    }

    // The ADC reference code and the brightness value the host sends.
    FUZZ_CHECK(reference_code(reference_volts(p[0])) == p[0]);
    const int pwm = u16_at(p, 0) & max_set_pwm;
    const std::array<std::uint8_t, 2> set_pwm = encode_set_pwm(pwm);
    FUZZ_CHECK((set_pwm[0] << set_pwm_shift | (set_pwm[1] & set_pwm_low_bits)) == pwm);
    return 0;
}
