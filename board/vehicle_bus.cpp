#include "board/vehicle_bus.h"

#include <algorithm>
#include <array>
#include <initializer_list>

namespace board {

namespace {

constexpr std::uint32_t heartbeat_id = 0x1A0;
constexpr std::uint32_t engine_id = 0x2C4;
constexpr std::uint32_t status_id = 0x5D0;
constexpr std::uint32_t head_unit_id = 0x680;
constexpr std::uint32_t display_id = 0x681;
constexpr std::uint32_t wheel_id = 0x5C1;
constexpr std::uint32_t opel_display_id = 0x6C1;
constexpr std::uint32_t opel_wheel_id = 0x206;
constexpr std::uint32_t volvo_wheel_id = 0x3B0;

constexpr int heartbeat_period_ms = 100;
constexpr int engine_period_ms = 200;
constexpr int status_period_ms = 1000;
constexpr int display_status_period_ms = 1000;
constexpr int opel_screen_period_ms = 2000;
constexpr int opel_screen_first_ms = 100;
constexpr int opel_continuation_spacing_ms = 10;
constexpr int announce_delay_ms = 50;

// Head-unit dialogue: byte 0 of a 0x680 / 0x681 frame, whole or by its high nibble.
constexpr std::uint8_t channel_setup = 0xA0;
constexpr std::uint8_t channel_test = 0xA3;
constexpr std::uint8_t parameters_reply = 0xA1;
constexpr std::uint8_t block_end_more = 0x0; // last frame of a block, more blocks follow
constexpr std::uint8_t message_end = 0x1;    // last frame of the message
constexpr std::uint8_t acknowledge = 0xB0;
constexpr std::uint8_t sequence_mask = 0x0F;
constexpr int messages_before_announcement = 3;
constexpr std::uint8_t source_frame_kind = 0x23;
constexpr std::uint8_t source_selected = 0x01;
constexpr std::uint8_t display_status_kind = 0x02;

constexpr std::uint8_t released_code = 0x00;
constexpr std::uint8_t opel_pressed = 0x01;
constexpr std::uint8_t opel_released = 0x00;
constexpr std::size_t volvo_counter_byte = 0;
constexpr std::size_t volvo_code_byte = 7;

// A head-unit screen as the Opel display sends it: a first frame that gives the length of
// the whole message and carries its first 6 bytes, then continuation frames of 7 bytes each.
struct Opel_Screen {
    std::array<std::uint8_t, 8> first;
    std::string_view rest;
};
constexpr std::size_t opel_length_byte = 1;
constexpr std::size_t opel_first_payload = 6;
constexpr std::uint8_t opel_first_continuation = 0x21;
constexpr std::size_t opel_continuation_payload = 7;

constexpr Opel_Screen opel_screen_on = {{0x10, 0x22, 0xC0, 0x00, 0x1F, 0x03, 0x10, 0x0E},
                                        "KORVANTEXA TABRIX AUX INPUT "};
constexpr Opel_Screen opel_screen_off = {{0x10, 0x3A, 0x40, 0x00, 0x37, 0x03, 0x10, 0x1A},
                                         "RADIO OFF  12:00   OUTSIDE +18 C   KORVANTEXA TABRIX"};
static_assert(opel_screen_on.first[opel_length_byte] ==
              opel_first_payload + opel_screen_on.rest.size());
static_assert(opel_screen_off.first[opel_length_byte] ==
              opel_first_payload + opel_screen_off.rest.size());

struct Button_Code {
    std::string_view name;
    std::uint8_t wheel;       // 0x5C1
    std::uint8_t opel_wheel;  // 0x206
    std::uint8_t volvo_wheel; // 0x3B0
};

constexpr std::array<Button_Code, 6> button_table = {{
    {"vol_up", 0x06, 0x11, 0x08},
    {"vol_down", 0x07, 0x12, 0x04},
    {"next", 0x22, 0x13, 0x02},
    {"prev", 0x23, 0x14, 0x01},
    {"mode", 0x28, 0x15, 0x10},
    {"mute", 0x2B, 0x16, 0x20},
}};

CanFrame standard_frame(std::uint32_t id, std::initializer_list<std::uint8_t> bytes) {
    CanFrame frame;
    frame.std_id = id;
    frame.dlc = static_cast<std::uint8_t>(bytes.size());
    std::copy_n(bytes.begin(), std::min(bytes.size(), frame.data.size()), frame.data.begin());
    return frame;
}

CanFrame volvo_wheel_frame(std::uint8_t code) {
    CanFrame frame = standard_frame(volvo_wheel_id, {});
    frame.dlc = static_cast<std::uint8_t>(frame.data.size());
    frame.data[volvo_code_byte] = code;
    return frame;
}

CanFrame parameters_frame() {
    return standard_frame(display_id, {parameters_reply, 0x04, 0x8A, 0xFF, 0x32, 0xFF});
}

} // namespace

std::vector<std::string> Vehicle_Bus::scenario_names() {
    return {"none", "idle", "volkswagen", "opel", "volvo", "buttons"};
}

bool Vehicle_Bus::load(std::string_view name, std::int64_t now_ms) {
    Kind kind;
    if (name == "none") {
        kind = Kind::none;
    } else if (name == "idle") {
        kind = Kind::idle;
    } else if (name == "volkswagen") {
        kind = Kind::volkswagen;
    } else if (name == "opel") {
        kind = Kind::opel;
    } else if (name == "volvo") {
        kind = Kind::volvo;
    } else if (name == "buttons") {
        kind = Kind::buttons;
    } else {
        return false;
    }
    kind_ = kind;
    name_ = std::string(name);
    periodic_.clear();
    pending_.clear();
    hold_.reset();
    closed_messages_ = 0;
    source_announced_ = false;
    display_sequence_ = 0;
    opel_screen_on_ = true;
    wheel_counter_ = 0;
    if (kind != Kind::none) {
        periodic_.push_back({Source::heartbeat, heartbeat_period_ms, now_ms + heartbeat_period_ms});
    }
    if (kind == Kind::idle) {
        periodic_.push_back({Source::engine, engine_period_ms, now_ms + engine_period_ms});
        periodic_.push_back({Source::status, status_period_ms, now_ms + status_period_ms});
    }
    if (kind == Kind::opel) {
        periodic_.push_back(
            {Source::opel_screen, opel_screen_period_ms, now_ms + opel_screen_first_ms});
    }
    return true;
}

bool Vehicle_Bus::has_buttons() const {
    return kind_ == Kind::volkswagen || kind_ == Kind::opel || kind_ == Kind::volvo ||
           kind_ == Kind::buttons;
}

std::vector<std::string> Vehicle_Bus::button_names() const {
    std::vector<std::string> names;
    if (has_buttons()) {
        for (const Button_Code& b : button_table) {
            names.emplace_back(b.name);
        }
    }
    return names;
}

bool Vehicle_Bus::press(std::string_view button, int duration_ms, std::int64_t now_ms,
                        std::span<const Button_Hold> more) {
    if (!has_buttons()) {
        return false;
    }
    const auto it = std::find_if(button_table.begin(), button_table.end(),
                                 [&](const Button_Code& b) { return b.name == button; });
    if (it == button_table.end()) {
        return false;
    }
    Hold hold;
    switch (kind_) {
    case Kind::opel:
        hold.pressed = standard_frame(opel_wheel_id, {opel_pressed, it->opel_wheel, 0x00});
        hold.released = standard_frame(opel_wheel_id, {opel_released, it->opel_wheel, 0x00});
        break;
    case Kind::volvo:
        hold.pressed = volvo_wheel_frame(it->volvo_wheel);
        hold.released = volvo_wheel_frame(released_code);
        break;
    default:
        hold.pressed = standard_frame(wheel_id, {it->wheel});
        hold.released = standard_frame(wheel_id, {released_code});
        break;
    }
    hold.next_ms = now_ms;
    hold.release_ms = now_ms + std::max(0, duration_ms);
    hold.later.assign(more.begin(), more.end());
    hold_ = hold;
    return true;
}

bool Vehicle_Bus::set_screen(bool on, std::int64_t now_ms) {
    if (kind_ != Kind::opel) {
        return false;
    }
    opel_screen_on_ = on;
    // Here only the old screen's continuations wait; they would interleave with the new ones.
    pending_.clear();
    for (Periodic& p : periodic_) {
        if (p.source == Source::opel_screen) {
            p.next_ms = now_ms;
        }
    }
    return true;
}

std::optional<std::int64_t> Vehicle_Bus::hold_due() const {
    if (!hold_) {
        return std::nullopt;
    }
    if (!hold_->started || hold_->next_ms < hold_->release_ms) {
        return hold_->next_ms;
    }
    return hold_->release_ms;
}

std::optional<std::int64_t> Vehicle_Bus::next_due() const {
    std::optional<std::int64_t> due = hold_due();
    for (const Pending& p : pending_) {
        if (!due || p.due_ms < *due) {
            due = p.due_ms;
        }
    }
    for (const Periodic& p : periodic_) {
        if (!due || p.next_ms < *due) {
            due = p.next_ms;
        }
    }
    return due;
}

// Several frames due at the same moment go out in a fixed order: answers and follow-ups
// first (in the order they were scheduled), then the periodic frames in table order, then
// the button.
CanFrame Vehicle_Bus::take_due() {
    const std::int64_t due = *next_due();
    auto pending = pending_.end();
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if (it->due_ms == due && (pending == pending_.end() || it->order < pending->order)) {
            pending = it;
        }
    }
    if (pending != pending_.end()) {
        const CanFrame frame = pending->frame;
        pending_.erase(pending);
        return frame;
    }
    for (Periodic& p : periodic_) {
        if (p.next_ms == due) {
            p.next_ms += p.period_ms;
            return emit(p, due);
        }
    }
    return stamped(take_hold());
}

CanFrame Vehicle_Bus::take_hold() {
    Hold& hold = *hold_;
    if (!hold.started || hold.next_ms < hold.release_ms) {
        hold.started = true;
        hold.next_ms += button_repeat_ms;
        return hold.pressed;
    }
    const CanFrame released = hold.released;
    if (hold.next_later < hold.later.size()) {
        const Button_Hold& again = hold.later[hold.next_later++];
        hold.started = false;
        hold.next_ms = hold.release_ms + std::max(0, again.pause_ms);
        hold.release_ms = hold.next_ms + std::max(0, again.hold_ms);
    } else {
        hold_.reset();
    }
    return released;
}

CanFrame Vehicle_Bus::stamped(CanFrame wheel_frame) {
    if (kind_ == Kind::volvo) {
        wheel_frame.data[volvo_counter_byte] = wheel_counter_++;
    }
    return wheel_frame;
}

void Vehicle_Bus::schedule(const CanFrame& frame, std::int64_t due_ms) {
    pending_.push_back({due_ms, order_++, frame});
}

std::uint8_t Vehicle_Bus::next_display_sequence() {
    const std::uint8_t s = display_sequence_;
    display_sequence_ = static_cast<std::uint8_t>((display_sequence_ + 1) & sequence_mask);
    return s;
}

CanFrame Vehicle_Bus::emit(Periodic& periodic, std::int64_t at_ms) {
    const std::uint8_t n = periodic.counter++;
    switch (periodic.source) {
    case Source::heartbeat:
        return standard_frame(heartbeat_id, {n, 0x10, 0x27, 0x00, 0x00, 0x00, 0x00, 0x00});
    case Source::engine:
        return standard_frame(engine_id, {0x0C, 0x80, 0x00, n});
    case Source::status:
        return standard_frame(status_id, {0x01, n});
    case Source::display_status:
        return standard_frame(
            display_id, {static_cast<std::uint8_t>((message_end << 4) | next_display_sequence()),
                         display_status_kind, 0x00, 0x00});
    case Source::opel_screen:
        return opel_screen(at_ms);
    }
    return {};
}

// The first frame now, its continuations scheduled after it.
CanFrame Vehicle_Bus::opel_screen(std::int64_t at_ms) {
    const Opel_Screen& screen = opel_screen_on_ ? opel_screen_on : opel_screen_off;
    for (std::size_t offset = 0, i = 0; offset < screen.rest.size();
         offset += opel_continuation_payload, ++i) {
        CanFrame next = standard_frame(opel_display_id, {});
        next.dlc = static_cast<std::uint8_t>(next.data.size());
        next.data[0] = static_cast<std::uint8_t>(opel_first_continuation + i);
        const std::string_view part = screen.rest.substr(offset, opel_continuation_payload);
        std::copy(part.begin(), part.end(), next.data.begin() + 1);
        schedule(next, at_ms + opel_continuation_spacing_ms * static_cast<int>(i + 1));
    }
    CanFrame first = standard_frame(opel_display_id, {});
    first.dlc = static_cast<std::uint8_t>(first.data.size());
    first.data = screen.first;
    return first;
}

void Vehicle_Bus::hear(const CanFrame& frame, std::int64_t now_ms) {
    if (kind_ == Kind::volkswagen) {
        hear_head_unit(frame, now_ms);
    }
}

void Vehicle_Bus::hear_head_unit(const CanFrame& frame, std::int64_t now_ms) {
    if (frame.ide != CanFrame::ide_standard || frame.std_id != head_unit_id ||
        frame.rtr != CanFrame::rtr_data || frame.dlc == 0) {
        return;
    }
    const std::uint8_t first = frame.data[0];
    const std::int64_t answer_at = now_ms + answer_delay_ms;
    if (first == channel_setup) {
        closed_messages_ = 0;
        source_announced_ = false;
        std::erase_if(periodic_,
                      [](const Periodic& p) { return p.source == Source::display_status; });
        schedule(parameters_frame(), answer_at);
        return;
    }
    if (first == channel_test) {
        schedule(parameters_frame(), answer_at);
        return;
    }
    const std::uint8_t kind = first >> 4;
    if (kind != block_end_more && kind != message_end) {
        return;
    }
    const auto next = static_cast<std::uint8_t>(((first & sequence_mask) + 1) & sequence_mask);
    schedule(standard_frame(display_id, {static_cast<std::uint8_t>(acknowledge | next)}),
             answer_at);
    if (kind != message_end || ++closed_messages_ != messages_before_announcement ||
        source_announced_) {
        return;
    }
    source_announced_ = true;
    schedule(standard_frame(display_id, {static_cast<std::uint8_t>((message_end << 4) |
                                                                   next_display_sequence()),
                                         source_frame_kind, 0x00, source_selected, 0x00}),
             now_ms + announce_delay_ms);
    periodic_.push_back({Source::display_status, display_status_period_ms,
                         now_ms + announce_delay_ms + display_status_period_ms});
}

} // namespace board
