// The board model's report handler, as the virtual board serves it to any host: any report at
// any time. Each record of the input is a step of time, an optional change on the car's side
// and one report. The model answers exactly the known commands with their echo, keeps every
// reply byte outside its layout zero, takes back what was written, keeps its values and
// queues within their bounds, and never lets its clock run back.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "board/board_model.h"
#include "fuzz_check.h"
#include "protocol/can_wire.h"
#include "protocol/commands.h"
#include "protocol/layouts.h"

using board::Board_Model;
using board::Report;

namespace {

// A record: a time step, a car event, then the command code and payload of one report.
constexpr std::size_t record_header = 2;
constexpr std::size_t record_size = record_header + board::report_payload_size + 1;
// Steps up to about two seconds; longer runs come from many records.
constexpr std::int64_t step_unit_ms = 8;

// Car events, in the low two bits of the event byte; the rest is the battery voltage.
constexpr std::uint8_t event_mask = 0x3;
constexpr std::uint8_t event_acc_on = 1;
constexpr std::uint8_t event_acc_off = 2;
constexpr std::uint8_t event_battery = 3;
constexpr int battery_shift = 2;
constexpr double battery_volts_per_step = 0.5;

constexpr std::size_t max_waiting_reported = 255;
constexpr std::uint16_t max_prescaler = 1024;
constexpr std::uint8_t max_can_mode = 3;
constexpr int known_power_states = 14;
constexpr std::size_t hw_units = 2; // hardware timers, and triggers

// Reply bytes each command fills; every other payload byte is zero.
std::size_t reply_layout_size(std::uint8_t code) {
    switch (code) {
    case CMD_IDENTIFY:
        return 4;
    case CMD_READ_POWER:
        return power_reply::temperature + 2;
    case CMD_READ_SOUND:
        return sound_image_size;
    case CMD_READ_PWM:
        return pwm_image_size;
    case CMD_CAN_READ_ONE:
        return can_wire::frame_size;
    case CMD_CAN_STATUS:
        return can_status_byte::mode + 1;
    case CMD_CAN_READ_THREE:
        return 3 * can_wire::frame_size;
    case CMD_READ_FILTERS:
        return filters_per_exchange * filter_entry_size;
    case CMD_READ_SERVICE:
        return 1;
    case CMD_READ_HW_TIMER:
        return hw_timer_reply::frame + can_wire::frame_size;
    case CMD_READ_HW_TRIGGER:
        return hw_trigger_reply::reply + can_wire::frame_size;
    default:
        return 0;
    }
}

const std::uint8_t* payload(const Report& r) {
    return r.data() + board::report_payload_offset;
}

// Asks the model for a read at `now_ms` and returns its payload.
Report read(Board_Model& model, std::uint8_t code, std::uint8_t first_byte, std::int64_t now_ms) {
    Report request{};
    request[board::report_command_offset] = code;
    request[board::report_payload_offset] = first_byte;
    const std::optional<Report> reply = model.answer(request, now_ms);
    FUZZ_CHECK(reply.has_value());
    return *reply;
}

bool same_bytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
    return std::equal(a, a + n, b);
}

// What a write leaves behind reads back as written.
void check_written(Board_Model& model, const Report& request, std::int64_t now_ms) {
    const std::uint8_t* in = payload(request);
    switch (request[board::report_command_offset]) {
    case CMD_WRITE_POWER_CONFIG:
        FUZZ_CHECK(same_bytes(model.power_config().data(), in, power_config_size));
        break;
    case CMD_WRITE_SOUND:
        FUZZ_CHECK(same_bytes(model.sound_image().data(), in, sound_image_size));
        break;
    case CMD_WRITE_PWM_CONFIG: {
        // Bytes 0..4 are the board's own.
        const board::Pwm_Image image = model.pwm_image();
        FUZZ_CHECK(same_bytes(image.data() + pwm_byte::point_light, in + pwm_byte::point_light,
                              pwm_image_size - pwm_byte::point_light));
        break;
    }
    case CMD_WRITE_SERVICE:
        FUZZ_CHECK(model.adc_reference_code() == in[0]);
        break;
    case CMD_WRITE_FILTERS: {
        // Entries k and k+1, as far as the table goes.
        const std::size_t k = in[0];
        const Report back = read(model, CMD_READ_FILTERS, in[0], now_ms);
        for (std::size_t i = 0; i < filters_per_exchange; ++i) {
            const std::uint8_t* entry = payload(back) + i * filter_entry_size;
            if (k + i < filter_entry_count) {
                FUZZ_CHECK(same_bytes(entry, in + 1 + i * filter_entry_size, filter_entry_size));
            } else {
                FUZZ_CHECK(std::all_of(entry, entry + filter_entry_size,
                                       [](std::uint8_t b) { return b == 0; }));
            }
        }
        break;
    }
    case CMD_WRITE_HW_TIMER:
        if (in[0] < hw_units) {
            const Report back = read(model, CMD_READ_HW_TIMER, in[0], now_ms);
            FUZZ_CHECK(same_bytes(payload(back), in + 1, reply_layout_size(CMD_READ_HW_TIMER)));
        }
        break;
    case CMD_WRITE_HW_TRIGGER:
        if (in[0] < hw_units) {
            const Report back = read(model, CMD_READ_HW_TRIGGER, in[0], now_ms);
            FUZZ_CHECK(same_bytes(payload(back), in + 1, reply_layout_size(CMD_READ_HW_TRIGGER)));
        }
        break;
    default:
        break;
    }
}

void check_reply(const Board_Model& model, const Report& request,
                 const std::optional<Report>& reply) {
    const std::uint8_t code = request[board::report_command_offset];
    FUZZ_CHECK(reply.has_value() == (code >= first_command && code <= last_command));
    if (!reply) {
        return;
    }
    const Report& r = *reply;
    FUZZ_CHECK(r[0] == 0 && r[board::report_command_offset] == code);
    const std::uint8_t* out = payload(r);
    FUZZ_CHECK(std::all_of(out + reply_layout_size(code), out + board::report_payload_size,
                           [](std::uint8_t b) { return b == 0; }));
    switch (code) {
    case CMD_READ_POWER:
        FUZZ_CHECK(out[power_reply::state] < known_power_states);
        break;
    case CMD_READ_PWM:
        FUZZ_CHECK(get_u16({out, pwm_image_size}, pwm_byte::present_value) <= pwm_full_scale);
        FUZZ_CHECK(get_u16({out, pwm_image_size}, pwm_byte::light_value) <= board::light_max);
        break;
    case CMD_CAN_STATUS:
        FUZZ_CHECK((out[can_status_byte::active] != 0) == model.can_active());
        FUZZ_CHECK(out[can_status_byte::waiting] ==
                   std::min(model.queue_size(), max_waiting_reported));
        FUZZ_CHECK(get_u16({out, board::report_payload_size}, can_status_byte::prescaler) ==
                   model.prescaler());
        FUZZ_CHECK(out[can_status_byte::mode] == static_cast<std::uint8_t>(model.can_mode()));
        break;
    default:
        break;
    }
}

// Activation with a prescaler or mode out of range leaves the controller as it was.
struct Controller {
    bool active;
    std::uint16_t prescaler;
    board::Can_Mode mode;
    bool operator==(const Controller&) const = default;
};

Controller controller(const Board_Model& model) {
    return {model.can_active(), model.prescaler(), model.can_mode()};
}

void check_activation(const Board_Model& model, const Report& request, const Controller& before) {
    const std::uint8_t* in = payload(request);
    const Controller after = controller(model);
    if (in[activate_byte::on] == 0) {
        FUZZ_CHECK(!after.active && model.queue_size() == 0);
        return;
    }
    const std::uint16_t prescaler =
        get_u16({in, board::report_payload_size}, activate_byte::prescaler);
    const std::uint8_t mode = in[activate_byte::mode];
    if (prescaler == 0 || prescaler > max_prescaler || mode > max_can_mode) {
        FUZZ_CHECK(after == before);
    } else {
        FUZZ_CHECK(after == (Controller{true, prescaler, static_cast<board::Can_Mode>(mode)}));
        FUZZ_CHECK(model.queue_size() == 0);
    }
}

void car_event(Board_Model& model, std::uint8_t event) {
    switch (event & event_mask) {
    case event_acc_on:
        model.set_acc(true);
        break;
    case event_acc_off:
        model.set_acc(false);
        break;
    case event_battery:
        model.set_battery_voltage((event >> battery_shift) * battery_volts_per_step);
        break;
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks the vehicle on the bus.
    const std::vector<std::string> scenarios = Board_Model::scenario_names();
    Board_Model model;
    std::int64_t now_ms = 0;
    FUZZ_CHECK(model.load_scenario(scenarios[data[0] % scenarios.size()], now_ms));

    for (std::size_t at = 1; at < size; at += record_size) {
        std::array<std::uint8_t, record_size> record{};
        std::copy_n(data + at, std::min(record_size, size - at), record.begin());
        now_ms += record[0] * step_unit_ms;
        car_event(model, record[1]);

        Report request{};
        std::copy(record.begin() + record_header, record.end(),
                  request.begin() + board::report_command_offset);

        model.advance(now_ms);
        const Controller before = controller(model);
        const std::int64_t clock_before = model.now_ms();
        const std::optional<Report> reply = model.answer(request, now_ms);
        FUZZ_CHECK(model.now_ms() >= clock_before && model.now_ms() <= now_ms);

        check_reply(model, request, reply);
        if (request[board::report_command_offset] == CMD_CAN_ACTIVATE) {
            check_activation(model, request, before);
        }
        check_written(model, request, now_ms);

        FUZZ_CHECK(model.present_pwm() >= 0 && model.present_pwm() <= pwm_full_scale);
        FUZZ_CHECK(model.queue_size() <= board::receive_queue_capacity);
        FUZZ_CHECK(model.bus_queue_size() <= board::bus_queue_capacity);
        FUZZ_CHECK(model.transmitted().size() <= board::transmitted_capacity);
        FUZZ_CHECK(static_cast<int>(model.power_state()) < known_power_states);
    }
    return 0;
}
