#include "board/board_model.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <span>

#include "board/vehicle_bus.h"
#include "protocol/can_wire.h"
#include "protocol/commands.h"

namespace board {

namespace {

using Payload_In = std::span<const std::uint8_t, report_payload_size>;
using Payload_Out = std::span<std::uint8_t, report_payload_size>;

// Bytes 0..4 of the brightness image belong to the board; the host's write keeps them.
constexpr std::size_t pwm_first_stored = pwm_byte::point_light;
constexpr std::uint8_t pwm_mode_manual = 1;
constexpr int pwm_value_shift = 2;
constexpr std::uint8_t pwm_value_low_bits = 0x03;

constexpr std::size_t sound_hard_mute = 36;

constexpr std::uint16_t max_prescaler = 1024;
constexpr std::uint8_t max_can_mode = 3;

constexpr std::size_t max_waiting_reported = 255;
constexpr std::size_t frames_per_read_three = 3;

constexpr std::size_t filter_count = std::tuple_size_v<Filter_Table>;
constexpr std::uint8_t factory_filter_scale = 1; // 32-bit registers
constexpr int standard_id_shift = 21;
constexpr int extended_id_shift = 3;
constexpr std::uint32_t filter_compared_bits = ~std::uint32_t{0x7};

constexpr std::size_t hw_timer_count = 2;
namespace timer_request {
constexpr std::size_t index = 0;
constexpr std::size_t enabled = 1;
constexpr std::size_t interval = 2;
constexpr std::size_t frame = 4;
} // namespace timer_request

constexpr std::uint16_t factory_timer_interval_ms = 1000;

constexpr std::size_t hw_trigger_count = 2;
namespace trigger_request {
constexpr std::size_t index = 0;
constexpr std::size_t enabled = 1;
constexpr std::size_t spare = 2;
constexpr std::size_t match = 3;
constexpr std::size_t reply = 22;
} // namespace trigger_request

constexpr int adc_full_scale = 4095;
constexpr float adc_divider = 7.0F;
constexpr double adc_reference_base_volts = 2.0;
constexpr double adc_reference_step_volts = 0.01;

constexpr int bus_clock_kbit = 4000;

// The wire's own clock runs in nanoseconds: at 1000 kbit/s a bit lasts 1 us.
constexpr std::int64_t ns_per_ms = 1'000'000;
constexpr std::int64_t max_clock_ms = std::numeric_limits<std::int64_t>::max() / ns_per_ms;
constexpr int standard_frame_bits = 47; // interframe space included, stuff bits not counted
constexpr int extended_frame_bits = 67;
constexpr int data_byte_bits = 8;
constexpr std::size_t max_data_bytes = 8;
static_assert(extended_frame_bits + data_byte_bits * int{max_data_bytes} == longest_frame_bits);

std::int64_t ms_to_ns(std::int64_t ms) {
    return std::clamp(ms, -max_clock_ms, max_clock_ms) * ns_per_ms;
}

std::int64_t ns_to_ms_rounded_up(std::int64_t ns) {
    return ns / ns_per_ms + (ns % ns_per_ms > 0 ? 1 : 0);
}

int frame_bits(const CanFrame& frame) {
    const int bits =
        frame.ide == CanFrame::ide_extended ? extended_frame_bits : standard_frame_bits;
    if (frame.rtr == CanFrame::rtr_remote) {
        return bits;
    }
    return bits +
           data_byte_bits * static_cast<int>(std::min<std::size_t>(frame.dlc, max_data_bytes));
}

// How long `bits` occupy the wire at `kbit` (bits per millisecond), rounded up.
std::int64_t wire_ns(std::int64_t bits, int kbit) {
    return (bits * ns_per_ms + kbit - 1) / kbit;
}

struct Hw_Timer {
    std::uint8_t enabled = 0;
    std::uint16_t interval_ms = factory_timer_interval_ms;
    CanFrame frame;
    std::optional<std::int64_t> next_ms;
};

struct Hw_Trigger {
    std::uint8_t enabled = 0;
    std::uint8_t spare = 0;
    CanFrame match;
    CanFrame reply;
};

Power_Config factory_power_config() {
    namespace b = power_config_byte;
    Power_Config c{};
    c[b::acc_on_delay] = 3;
    c[b::os_shutdown_delay] = 60;
    c[b::akb_min] = 110; // 11.0 V
    c[b::vkl_pc_delay] = 2;
    c[b::check_pc_on] = 1;
    c[b::acc_off_delay_low] = 10;
    c[b::akb_off_delay] = 30;
    c[b::acc_off_delay_high] = 0;
    c[b::vkl_akb_min] = 118; // 11.8 V
    c[b::r_out_delay] = 5;
    c[b::sleep_mode] = 0;
    c[b::monitor_on_delay] = 1;
    c[b::monitor_off_delay] = 5;
    return c;
}

// Input 1 at 0 dB gain, soft mute off, volume -20 dB, tone flat, secondary source muted,
// the five outputs at 0 dB, hard mute off.
Sound_Image factory_sound_image() {
    Sound_Image s{};
    s[1] = 0x03;
    s[5] = 0xFF;
    s[7] = 0x24;
    s[9] = 0x80;
    s[11] = 0x80;
    s[13] = 0x80;
    s[15] = 0x07;
    for (const std::size_t out : {21U, 23U, 25U, 27U, 31U}) {
        s[out] = 0x90;
    }
    s[sound_hard_mute] = 0;
    return s;
}

void put_u16(std::span<std::uint8_t> out, std::size_t at, unsigned v) {
    out[at] = static_cast<std::uint8_t>(v >> 8);
    out[at + 1] = static_cast<std::uint8_t>(v);
}

std::uint16_t get_u16(std::span<const std::uint8_t> in, std::size_t at) {
    return static_cast<std::uint16_t>((in[at] << 8) | in[at + 1]);
}

Pwm_Image factory_pwm_image() {
    constexpr std::array<int, curve_points> thresholds = {0, 50, 100, 200, 400, 700, 1000};
    constexpr std::array<int, curve_points> values = {56, 100, 170, 280, 400, 500, 564};
    Pwm_Image p{};
    for (std::size_t i = 0; i < curve_points; ++i) {
        put_u16(p, pwm_byte::point_light + 2 * i, static_cast<unsigned>(thresholds[i]));
        put_u16(p, pwm_byte::point_pwm + 2 * i, static_cast<unsigned>(values[i]));
    }
    p[pwm_byte::step_delay] = 2;
    p[pwm_byte::slide_delay] = 5;
    p[pwm_byte::smoothing] = 1;
    return p;
}

Filter_Table factory_filters() {
    Filter_Table f{};
    for (std::size_t i = 0; i < filter_count; ++i) {
        f[i][filter_byte::number] = static_cast<std::uint8_t>(i);
        f[i][filter_byte::scale] = factory_filter_scale;
    }
    return f;
}

std::uint32_t filter_register(const Filter_Entry& e, std::size_t high) {
    return (std::uint32_t{get_u16(e, high)} << 16) | get_u16(e, high + 2);
}

bool filter_accepts(const Filter_Entry& e, const CanFrame& frame) {
    const std::uint32_t frame_register = frame.ide == CanFrame::ide_extended
                                             ? frame.ext_id << extended_id_shift
                                             : frame.std_id << standard_id_shift;
    const std::uint32_t id = filter_register(e, filter_byte::id_high);
    const std::uint32_t mask = filter_register(e, filter_byte::mask_high);
    return ((frame_register ^ id) & mask & filter_compared_bits) == 0;
}

bool trigger_matches(const CanFrame& match, const CanFrame& frame) {
    if (frame.ide != match.ide || frame.rtr != match.rtr || frame.dlc != match.dlc) {
        return false;
    }
    const bool std_same = frame.std_id == match.std_id;
    const bool ext_same = frame.ext_id == match.ext_id;
    if (frame.ide == CanFrame::ide_standard   ? !std_same
        : frame.ide == CanFrame::ide_extended ? !ext_same
                                              : !(std_same && ext_same)) {
        return false;
    }
    const std::size_t n = std::min<std::size_t>(frame.dlc, frame.data.size());
    return std::equal(frame.data.begin(), frame.data.begin() + static_cast<std::ptrdiff_t>(n),
                      match.data.begin());
}

void put_frame(Payload_Out out, std::size_t at, const CanFrame& frame) {
    encode_can_wire_frame(frame, out.subspan(at).first<can_wire::frame_size>());
}

CanFrame get_frame(Payload_In in, std::size_t at) {
    return decode_can_wire_frame(in.subspan(at).first<can_wire::frame_size>());
}

} // namespace

struct Board_Model::State {
    Identity identity;
    std::int64_t clock_ns = 0; // the moment the board has reached

    Power_Sequence power;
    double temperature = 25.0;
    std::uint8_t adc_reference = factory_adc_reference_code;

    Sound_Image sound = factory_sound_image();

    Pwm_Image pwm = factory_pwm_image(); // bytes 5..36 as stored; 0..4 made on reading
    std::uint8_t pwm_mode = 0;
    int manual_pwm = 0;
    int light = 600;

    bool can_active = false;
    std::uint16_t prescaler = factory_prescaler;
    Can_Mode mode = Can_Mode::normal;
    std::deque<CanFrame> received;
    std::uint64_t dropped = 0;
    Filter_Table filters = factory_filters();
    std::array<Hw_Timer, hw_timer_count> timers{};
    std::array<Hw_Trigger, hw_trigger_count> triggers{};

    std::deque<CanFrame> sent;
    mutable std::vector<CanFrame> sent_view;
    mutable bool sent_view_stale = false;

    int bus_kbit = factory_bus_bitrate_kbit;
    Vehicle_Bus bus;

    enum class Origin { host, timer, trigger, vehicle };

    // The wire: frames waiting for it, oldest first, and the leaky bucket that paces them.
    struct Waiting {
        CanFrame frame;
        Origin origin;
        std::int64_t since_ns;
    };
    std::deque<Waiting> wire;
    std::int64_t wire_free_ns = 0; // when the wire has carried every frame it let through
    std::uint64_t wire_carried = 0;
    std::uint64_t wire_dropped = 0;

    std::int64_t now_ms() const { return clock_ns / ns_per_ms; }

    bool manual() const { return pwm_mode == pwm_mode_manual; }
    int curve_pwm() const;
    int present_pwm() const { return manual() ? manual_pwm : curve_pwm(); }
    Pwm_Image pwm_image() const;
    std::uint16_t adc_count(double volts) const;

    bool bit_rate_matches() const {
        return bus_kbit > 0 && prescaler > 0 && bus_clock_kbit / prescaler == bus_kbit;
    }
    bool hears_bus() const { return mode == Can_Mode::normal || mode == Can_Mode::silent; }
    bool drives_bus() const { return mode == Can_Mode::normal || mode == Can_Mode::loopback; }
    bool loops_back() const {
        return mode == Can_Mode::loopback || mode == Can_Mode::silent_loopback;
    }

    int sender_kbit(Origin origin) const {
        return origin == Origin::vehicle ? bus_kbit : bus_clock_kbit / prescaler;
    }
    bool to_wire(const CanFrame& frame, Origin origin);
    std::int64_t wire_due() const;
    void onto_wire();
    bool run_until(std::int64_t limit_ns);

    void transmit(const CanFrame& frame, Origin origin);
    void receive(const CanFrame& frame, bool run_triggers);
    void from_bus(const CanFrame& frame);
    bool passes_filters(const CanFrame& frame) const;
    void restart_timers();
    void restart_timer(Hw_Timer& timer) const;
    void reset_eeprom();
    void activate(Payload_In in);
};

int Board_Model::State::curve_pwm() const {
    struct Point {
        int light;
        int pwm;
    };
    std::array<Point, curve_points> points{};
    for (std::size_t i = 0; i < curve_points; ++i) {
        points[i] = {get_u16(pwm, pwm_byte::point_light + 2 * i),
                     std::min<int>(get_u16(pwm, pwm_byte::point_pwm + 2 * i), pwm_full_scale)};
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const Point& a, const Point& b) { return a.light < b.light; });
    if (light <= points.front().light) {
        return points.front().pwm;
    }
    const bool linear = pwm[pwm_byte::smoothing] != 0;
    for (std::size_t i = 0; i + 1 < curve_points; ++i) {
        const Point& lo = points[i];
        const Point& hi = points[i + 1];
        if (light >= hi.light) {
            continue;
        }
        if (!linear || hi.light == lo.light) {
            return lo.pwm;
        }
        const double share = static_cast<double>(light - lo.light) / (hi.light - lo.light);
        return static_cast<int>(std::lround(lo.pwm + share * (hi.pwm - lo.pwm)));
    }
    return points.back().pwm;
}

Pwm_Image Board_Model::State::pwm_image() const {
    Pwm_Image image = pwm;
    put_u16(image, pwm_byte::present_value, static_cast<unsigned>(present_pwm()));
    put_u16(image, pwm_byte::light_value, static_cast<unsigned>(light));
    image[pwm_byte::mode] = pwm_mode;
    return image;
}

// The inverse of the host's scaling, done in the host's single precision so that the count
// turns back into the nearest value to `volts`.
std::uint16_t Board_Model::State::adc_count(double volts) const {
    const auto reference =
        static_cast<float>(adc_reference_base_volts + adc_reference * adc_reference_step_volts);
    const float volts_per_count = reference * adc_divider / static_cast<float>(adc_full_scale);
    const long count = std::lround(volts / static_cast<double>(volts_per_count));
    return static_cast<std::uint16_t>(std::clamp<long>(count, 0, adc_full_scale));
}

bool Board_Model::State::passes_filters(const CanFrame& frame) const {
    bool any_enabled = false;
    for (const Filter_Entry& e : filters) {
        if (e[filter_byte::active] == 0) {
            continue;
        }
        any_enabled = true;
        if (filter_accepts(e, frame)) {
            return true;
        }
    }
    return !any_enabled;
}

bool Board_Model::State::to_wire(const CanFrame& frame, Origin origin) {
    if (sender_kbit(origin) <= 0) {
        return false; // no bus to carry it
    }
    if (wire.size() >= bus_queue_capacity) {
        ++wire_dropped;
        return false;
    }
    wire.push_back({frame, origin, clock_ns});
    return true;
}

// The moment the oldest waiting frame goes onto the wire: at once while the bucket holds
// less than the burst allowance, otherwise when it has drained that far.
std::int64_t Board_Model::State::wire_due() const {
    const Waiting& next = wire.front();
    const int kbit = sender_kbit(next.origin);
    if (kbit <= 0) {
        return next.since_ns;
    }
    return std::max(next.since_ns, wire_free_ns - wire_ns(bus_burst_bits, kbit));
}

// The oldest waiting frame goes onto the wire now and takes effect.
void Board_Model::State::onto_wire() {
    const Waiting w = wire.front();
    wire.pop_front();
    const int kbit = sender_kbit(w.origin);
    if (kbit <= 0) {
        return; // the bus went away while it waited
    }
    wire_free_ns = std::max(wire_free_ns, clock_ns) + wire_ns(frame_bits(w.frame), kbit);
    ++wire_carried;
    if (w.origin == Origin::vehicle) {
        from_bus(w.frame);
        return;
    }
    sent.push_back(w.frame);
    if (sent.size() > transmitted_capacity) {
        sent.pop_front();
    }
    sent_view_stale = true;
    if (bit_rate_matches()) {
        bus.hear(w.frame, ns_to_ms_rounded_up(clock_ns));
    }
    if (loops_back()) {
        receive(w.frame, w.origin != Origin::trigger);
    }
}

void Board_Model::State::transmit(const CanFrame& frame, Origin origin) {
    if (!can_active) {
        return;
    }
    if (drives_bus()) {
        to_wire(frame, origin);
    } else if (loops_back()) {
        receive(frame, origin != Origin::trigger); // Silent LoopBack: nothing on the wire
    }
}

void Board_Model::State::receive(const CanFrame& frame, bool run_triggers) {
    if (!passes_filters(frame)) {
        return;
    }
    if (received.size() < receive_queue_capacity) {
        received.push_back(frame);
    } else {
        ++dropped;
    }
    if (!run_triggers) {
        return;
    }
    for (const Hw_Trigger& t : triggers) {
        if (t.enabled != 0 && trigger_matches(t.match, frame)) {
            transmit(t.reply, Origin::trigger);
        }
    }
}

void Board_Model::State::from_bus(const CanFrame& frame) {
    if (can_active && hears_bus() && bit_rate_matches()) {
        receive(frame, true);
    }
}

void Board_Model::State::restart_timer(Hw_Timer& timer) const {
    timer.next_ms.reset();
    if (can_active && timer.enabled != 0 && timer.interval_ms > 0) {
        timer.next_ms = now_ms() + timer.interval_ms;
    }
}

void Board_Model::State::restart_timers() {
    for (Hw_Timer& t : timers) {
        restart_timer(t);
    }
}

void Board_Model::State::reset_eeprom() {
    power.config = factory_power_config();
    sound = factory_sound_image();
    pwm = factory_pwm_image();
    pwm_mode = 0;
    adc_reference = factory_adc_reference_code;
    filters = factory_filters();
    timers = {};
    triggers = {};
}

void Board_Model::State::activate(Payload_In in) {
    const auto abort_waiting = [this] {
        std::erase_if(wire, [](const Waiting& w) { return w.origin != Origin::vehicle; });
    };
    if (in[activate_byte::on] == 0) {
        can_active = false;
        received.clear();
        abort_waiting();
        restart_timers();
        return;
    }
    const std::uint16_t p = get_u16(in, activate_byte::prescaler);
    const std::uint8_t m = in[activate_byte::mode];
    if (p == 0 || p > max_prescaler || m > max_can_mode) {
        return;
    }
    prescaler = p;
    mode = static_cast<Can_Mode>(m);
    can_active = true;
    received.clear();
    abort_waiting();
    restart_timers();
}

Board_Model::Board_Model(Identity identity) : s_(std::make_unique<State>()) {
    s_->identity = identity;
    s_->power.config = factory_power_config();
}

Board_Model::~Board_Model() = default;
Board_Model::Board_Model(Board_Model&&) noexcept = default;
Board_Model& Board_Model::operator=(Board_Model&&) noexcept = default;

std::optional<Report> Board_Model::answer(const Report& request, std::int64_t now_ms) {
    advance(now_ms);
    State& s = *s_;
    const std::uint8_t code = request[report_command_offset];
    if (code < first_command || code > last_command) {
        return std::nullopt;
    }
    Report reply{};
    reply[report_command_offset] = code;
    const Payload_In in(request.data() + report_payload_offset, report_payload_size);
    const Payload_Out out(reply.data() + report_payload_offset, report_payload_size);

    switch (static_cast<Command>(code)) {
    case CMD_IDENTIFY:
        out[0] = s.identity.board_type;
        out[2] = s.identity.hardware_version;
        out[3] = s.identity.firmware_version;
        break;
    case CMD_READ_POWER: {
        std::copy(s.power.config.begin(), s.power.config.end(), out.begin());
        put_u16(out, power_reply::akb, battery_adc_count());
        out[power_reply::state] = static_cast<std::uint8_t>(s.power.state());
        put_u16(out, power_reply::uout, output_adc_count());
        // Whole degrees rounded down, and a half degree in bit 7 of the next byte.
        const double halves = std::clamp(std::round(s.temperature * 2.0), -256.0, 255.0);
        const double whole = std::floor(halves / 2.0);
        out[power_reply::temperature] = static_cast<std::uint8_t>(static_cast<int>(whole));
        out[power_reply::temperature + 1] = halves - 2.0 * whole > 0.0 ? 0x80 : 0x00;
        break;
    }
    case CMD_WRITE_POWER_CONFIG:
        std::copy_n(in.begin(), power_config_size, s.power.config.begin());
        break;
    case CMD_READ_SOUND:
        std::copy(s.sound.begin(), s.sound.end(), out.begin());
        break;
    case CMD_WRITE_SOUND:
        std::copy_n(in.begin(), sound_image_size, s.sound.begin());
        break;
    case CMD_READ_PWM: {
        const Pwm_Image image = s.pwm_image();
        std::copy(image.begin(), image.end(), out.begin());
        break;
    }
    case CMD_WRITE_PWM_CONFIG:
        std::copy(in.begin() + pwm_first_stored, in.begin() + pwm_image_size,
                  s.pwm.begin() + pwm_first_stored);
        break;
    case CMD_SET_PWM:
        s.manual_pwm =
            std::min(pwm_full_scale, (in[0] << pwm_value_shift) | (in[1] & pwm_value_low_bits));
        break;
    case CMD_SET_PWM_MODE:
        if (in[0] == pwm_mode_manual && !s.manual()) {
            s.manual_pwm = s.curve_pwm();
        }
        s.pwm_mode = in[0];
        break;
    case CMD_CAN_ACTIVATE:
        s.activate(in);
        break;
    case CMD_CAN_SEND:
        s.transmit(get_frame(in, 0), State::Origin::host);
        break;
    case CMD_CAN_READ_ONE:
    case CMD_CAN_READ_THREE: {
        const std::size_t n = code == CMD_CAN_READ_ONE ? 1 : frames_per_read_three;
        for (std::size_t i = 0; i < n && !s.received.empty(); ++i) {
            put_frame(out, i * can_wire::frame_size, s.received.front());
            s.received.pop_front();
        }
        break;
    }
    case CMD_CAN_STATUS:
        out[can_status_byte::active] = s.can_active ? 1 : 0;
        out[can_status_byte::waiting] =
            static_cast<std::uint8_t>(std::min(s.received.size(), max_waiting_reported));
        put_u16(out, can_status_byte::prescaler, s.prescaler);
        out[can_status_byte::mode] = static_cast<std::uint8_t>(s.mode);
        break;
    case CMD_RESET_EEPROM:
        s.reset_eeprom();
        break;
    case CMD_READ_FILTERS: {
        const std::size_t k = in[filter_pair_index_byte];
        for (std::size_t i = 0; i < 2 && k + i < filter_count; ++i) {
            std::copy_n(s.filters[k + i].begin(), filter_entry_size,
                        out.begin() + static_cast<std::ptrdiff_t>(i * filter_entry_size));
        }
        break;
    }
    case CMD_WRITE_FILTERS: {
        const std::size_t k = in[filter_pair_index_byte];
        for (std::size_t i = 0; i < 2 && k + i < filter_count; ++i) {
            std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(filter_pair_first_entry +
                                                                 i * filter_entry_size),
                        filter_entry_size, s.filters[k + i].begin());
        }
        break;
    }
    case CMD_READ_SERVICE:
        out[0] = s.adc_reference;
        break;
    case CMD_WRITE_SERVICE:
        s.adc_reference = in[0];
        break;
    case CMD_READ_HW_TIMER: {
        const std::size_t i = in[timer_request::index];
        if (i < hw_timer_count) {
            const Hw_Timer& t = s.timers[i];
            out[hw_timer_reply::enabled] = t.enabled;
            put_u16(out, hw_timer_reply::interval, t.interval_ms);
            put_frame(out, hw_timer_reply::frame, t.frame);
        }
        break;
    }
    case CMD_WRITE_HW_TIMER: {
        const std::size_t i = in[timer_request::index];
        if (i < hw_timer_count) {
            Hw_Timer& t = s.timers[i];
            t.enabled = in[timer_request::enabled];
            t.interval_ms = get_u16(in, timer_request::interval);
            t.frame = get_frame(in, timer_request::frame);
            s.restart_timer(t);
        }
        break;
    }
    case CMD_READ_HW_TRIGGER: {
        const std::size_t i = in[trigger_request::index];
        if (i < hw_trigger_count) {
            const Hw_Trigger& t = s.triggers[i];
            out[hw_trigger_reply::enabled] = t.enabled;
            out[hw_trigger_reply::board_byte] = t.spare;
            put_frame(out, hw_trigger_reply::match, t.match);
            put_frame(out, hw_trigger_reply::reply, t.reply);
        }
        break;
    }
    case CMD_WRITE_HW_TRIGGER: {
        const std::size_t i = in[trigger_request::index];
        if (i < hw_trigger_count) {
            Hw_Trigger& t = s.triggers[i];
            t.enabled = in[trigger_request::enabled];
            t.spare = in[trigger_request::spare];
            t.match = get_frame(in, trigger_request::match);
            t.reply = get_frame(in, trigger_request::reply);
        }
        break;
    }
    }
    s.run_until(s.clock_ns); // a frame sent on a free bus takes effect at once
    return reply;
}

// Events fall due in time order; at the same moment the wire goes first, then the hardware
// timers, then the vehicle's nodes. True when every event up to `limit_ns` has run; false
// when the budget ran out first, with the clock at the last event run.
bool Board_Model::State::run_until(std::int64_t limit_ns) {
    enum class Next { none, wire, timer, vehicle };
    for (std::size_t done = 0; done < advance_event_budget; ++done) {
        Next next = Next::none;
        std::int64_t due = 0;
        Hw_Timer* timer = nullptr;
        if (!wire.empty()) {
            next = Next::wire;
            due = wire_due();
        }
        for (Hw_Timer& t : timers) {
            if (t.next_ms && (next == Next::none || ms_to_ns(*t.next_ms) < due)) {
                next = Next::timer;
                due = ms_to_ns(*t.next_ms);
                timer = &t;
            }
        }
        if (const std::optional<std::int64_t> vehicle_due = bus.next_due();
            vehicle_due && (next == Next::none || ms_to_ns(*vehicle_due) < due)) {
            next = Next::vehicle;
            due = ms_to_ns(*vehicle_due);
        }
        if (next == Next::none || due > limit_ns) {
            clock_ns = std::max(clock_ns, limit_ns);
            return true;
        }
        clock_ns = std::max(clock_ns, due);
        switch (next) {
        case Next::wire:
            onto_wire();
            break;
        case Next::timer:
            *timer->next_ms += timer->interval_ms;
            transmit(timer->frame, Origin::timer);
            break;
        case Next::vehicle:
            to_wire(bus.take_due(), Origin::vehicle);
            break;
        case Next::none:
            break;
        }
    }
    return false;
}

void Board_Model::advance(std::int64_t now_ms) {
    State& s = *s_;
    s.run_until(std::max(ms_to_ns(now_ms), s.clock_ns));
    s.power.advance(s.now_ms());
}

void Board_Model::set_acc(bool on) {
    s_->power.set_acc(on);
}

void Board_Model::set_battery_voltage(double volts) {
    s_->power.set_battery_voltage(volts);
}

void Board_Model::set_light_level(int raw) {
    s_->light = std::clamp(raw, 0, light_max);
}

void Board_Model::set_temperature(double celsius) {
    s_->temperature = celsius;
}

void Board_Model::set_bus_bitrate_kbit(int kbit) {
    s_->bus_kbit = std::max(0, kbit);
}

bool Board_Model::put_on_bus(const CanFrame& frame) {
    const bool waiting = s_->to_wire(frame, State::Origin::vehicle);
    s_->run_until(s_->clock_ns); // on a free bus it takes effect at once
    return waiting;
}

bool Board_Model::press_button(std::string_view name, int duration_ms, std::int64_t now_ms,
                               std::span<const Button_Hold> more) {
    advance(now_ms);
    return s_->bus.press(name, duration_ms, s_->now_ms(), more);
}

bool Board_Model::set_head_unit_screen(bool on, std::int64_t now_ms) {
    advance(now_ms);
    return s_->bus.set_screen(on, s_->now_ms());
}

bool Board_Model::load_scenario(std::string_view name, std::int64_t now_ms) {
    advance(now_ms);
    return s_->bus.load(name, s_->now_ms());
}

std::vector<std::string> Board_Model::scenario_names() {
    return Vehicle_Bus::scenario_names();
}

const std::vector<CanFrame>& Board_Model::transmitted() const {
    if (s_->sent_view_stale) {
        s_->sent_view.assign(s_->sent.begin(), s_->sent.end());
        s_->sent_view_stale = false;
    }
    return s_->sent_view;
}

void Board_Model::clear_transmitted() {
    s_->sent.clear();
    s_->sent_view_stale = true;
}

const Identity& Board_Model::identity() const {
    return s_->identity;
}

void Board_Model::set_identity(const Identity& identity) {
    s_->identity = identity;
}

std::int64_t Board_Model::now_ms() const {
    return s_->now_ms();
}

Power_State Board_Model::power_state() const {
    return s_->power.state();
}

bool Board_Model::pc_supply_on() const {
    return s_->power.pc_supply_on();
}

bool Board_Model::r_out_on() const {
    return s_->power.r_out_on();
}

bool Board_Model::monitor_on() const {
    return s_->power.monitor_on();
}

bool Board_Model::acc() const {
    return s_->power.acc();
}

double Board_Model::battery_voltage() const {
    return s_->power.battery_voltage();
}

std::uint16_t Board_Model::battery_adc_count() const {
    return s_->adc_count(s_->power.battery_voltage());
}

std::uint16_t Board_Model::output_adc_count() const {
    return s_->power.pc_supply_on() ? battery_adc_count() : std::uint16_t{0};
}

double Board_Model::temperature() const {
    return s_->temperature;
}

int Board_Model::light_level() const {
    return s_->light;
}

int Board_Model::present_pwm() const {
    return s_->present_pwm();
}

std::uint8_t Board_Model::adc_reference_code() const {
    return s_->adc_reference;
}

const Power_Config& Board_Model::power_config() const {
    return s_->power.config;
}

const Sound_Image& Board_Model::sound_image() const {
    return s_->sound;
}

Pwm_Image Board_Model::pwm_image() const {
    return s_->pwm_image();
}

bool Board_Model::can_active() const {
    return s_->can_active;
}

std::uint16_t Board_Model::prescaler() const {
    return s_->prescaler;
}

Can_Mode Board_Model::can_mode() const {
    return s_->mode;
}

std::size_t Board_Model::queue_size() const {
    return s_->received.size();
}

std::uint64_t Board_Model::dropped_frames() const {
    return s_->dropped;
}

int Board_Model::bus_bitrate_kbit() const {
    return s_->bus_kbit;
}

std::uint64_t Board_Model::bus_carried_frames() const {
    return s_->wire_carried;
}

std::uint64_t Board_Model::bus_dropped_frames() const {
    return s_->wire_dropped;
}

std::size_t Board_Model::bus_queue_size() const {
    return s_->wire.size();
}

const std::string& Board_Model::scenario() const {
    return s_->bus.scenario();
}

std::vector<std::string> Board_Model::button_names() const {
    return s_->bus.button_names();
}

} // namespace board
