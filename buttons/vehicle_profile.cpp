#include "buttons/vehicle_profile.h"

#include <QDebug>
#include <algorithm>

namespace {

constexpr std::uint32_t vw_display_id = 0x681;
constexpr std::uint8_t vw_source_frame_dlc = 5;
constexpr std::uint8_t vw_source_frame_kind = 0x23; // data byte 1
constexpr std::uint8_t vw_source_selected = 1;      // data byte 3
constexpr std::uint32_t vw_button_id = 0x5C1;
// Buttons the car keeps for itself while another source plays.
constexpr std::array<std::uint8_t, 3> vw_source_buttons{0x22, 0x23, 0x28};
// The display's acknowledgement of a block: 0x681 with one byte 0xb0..0xbf.
constexpr QStringView vw_block_acknowledgement = u"ID: STD=0x681   RTR: DATA   DLC: 1   DATA: 0xb";

constexpr std::uint32_t opel_display_id = 0x6C1;
constexpr std::uint8_t opel_display_first = 0x10; // data byte 0 of a frame that starts a message
constexpr QStringView opel_screen_on =
    u"ID: STD=0x6c1   RTR: DATA   DLC: 8   DATA: 0x10 0x22 0xc0 0x0 0x1f 0x3 0x10 0xe";
constexpr std::array<QStringView, 3> opel_screen_off{
    u"ID: STD=0x6c1   RTR: DATA   DLC: 8   DATA: 0x10 0x3a 0x40 0x0 0x37 0x3 0x10 0x1a",
    u"ID: STD=0x6c1   RTR: DATA   DLC: 8   DATA: 0x10 0x4e 0xc0 0x0 0x4b 0x3 0x10 0x24",
    u"ID: STD=0x6c1   RTR: DATA   DLC: 8   DATA: 0x10 0x3a 0xc0 0x0 0x37 0x3 0x10 0x1a",
};

constexpr std::uint8_t volvo_frame_dlc = 8;
constexpr std::size_t volvo_code_byte = 7;

CanTrigger preset(const char* name, bool enabled, bool one_shot, QStringView recv,
                  QStringView send) {
    return {QString::fromLatin1(name), enabled, one_shot, recv.toString(), send.toString()};
}

} // namespace

const std::array<CanTrigger, 6>& volkswagen_preset_triggers() {
    static const std::array<CanTrigger, 6> triggers{
        preset("Activate 1", false, true,
               u"ID: STD=0x681   RTR: DATA   DLC: 6   DATA: 0xa1 0x4 0x8a 0xff 0x32 0xff",
               u"ID: STD=0x680   RTR: DATA   DLC: 5   DATA: 0x10 0x0 0x52 0x0 0xff"),
        preset("Activate 2", false, true, u"ID: STD=0x681   RTR: DATA   DLC: 1   DATA: 0xb1",
               u"ID: STD=0x661   RTR: DATA   DLC: 8   DATA: 0x88 0x0 0x0 0x0 0x0 0x0 0x0 0x0\n"
               u"ID: STD=0x361   RTR: DATA   DLC: 5   DATA: 0x22 0xc6 0xec 0xf7 0x39\n"
               u"ID: STD=0x680   RTR: DATA   DLC: 5   DATA: 0x11 0x0 0x52 0x0 0xff"),
        preset(
            "Activate 3", false, true, u"ID: STD=0x681   RTR: DATA   DLC: 1   DATA: 0xb2",
            u"ID: STD=0x680   RTR: DATA   DLC: 8   DATA: 0x22 0x2 0x70 0x52 0x12 0x41 0x75 0x64\n"
            u"ID: STD=0x680   RTR: DATA   DLC: 3   DATA: 0x13 0x69 0x6f"),
        preset("Periodic 1", true, false, u"ID: STD=0x681   RTR: DATA   DLC: 4   DATA: 0x1{i}",
               u"ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xb{i+1}"),
        preset("Periodic 2", true, false, u"ID: STD=0x681   RTR: DATA   DLC: 5   DATA: 0x1{i}",
               u"ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xb{i+1}"),
        preset("Menu 1", true, false, u"ID: STD=0x681   RTR: DATA   DLC: 3   DATA: 0x1{i}",
               u"ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xb{i+1}"),
    };
    return triggers;
}

const std::array<Preset_Timer, 3>& volkswagen_preset_timers() {
    static const std::array<Preset_Timer, 3> timers{{
        {u"ID: STD=0x439   RTR: DATA   DLC: 6   DATA: 0xb 0x1 0x0 0x0 0x0 0x0", 100},
        {u"ID: STD=0x661   RTR: DATA   DLC: 8   DATA: 0x83 0x0 0x0 0x0 0x0 0x0 0x0 0x0", 1000},
        {u"ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xa3", 1000},
    }};
    return timers;
}

const QStringList& volkswagen_display_entries() {
    static const QStringList entries{
        QStringLiteral("0x09 0x00 0x60 0x09 0x00 0x00 0x00"),
        QStringLiteral("0x00 0x00 0x6e 0x00 0x5b 0x00 0x61"),
        QStringLiteral("0x13 0x00 0x00 0x13 0x00 0x47 0x00"),
        QStringLiteral("0x4b 0x6f 0x72 0x76 0x61 0x6e 0x74"), // "Korvant"
        QStringLiteral("0x65 0x78 0x61 0x20 0x20 0x20 0x60"), // "exa   "
        QStringLiteral("0x09 0x00 0x00 0x00 0x00 0x00 0x10"),
        QStringLiteral("0x00 0x10 0x00 0x61 0x0b 0x01 0x00"),
        QStringLiteral("0x20 0x00 0x15 0x00 0x43 0x61 0x72"),
        QStringLiteral("0x50 0x43 0x08"),
    };
    return entries;
}

void Vehicle_Profile::frame_reaction(const CanFrame& frame, std::uint32_t id, QStringView text,
                                     const Context& context, const Effects& effects) {
    if (vehicle_mode == vehicle_opel && !opel_gate(id, frame, text, context.press)) {
        return;
    }
    if (vehicle_mode == vehicle_volkswagen &&
        !volkswagen_head_unit(id, frame, text, context.display, effects)) {
        return;
    }
    if (vehicle_mode == vehicle_opel && opel_repeat(id, frame, context.table, effects)) {
        return;
    }
    if (vehicle_mode == vehicle_volvo) {
        volvo_match(id, frame, context.table, context.press);
        return;
    }
    const Button_Match match = button_match_frame(context.table, id, frame, context.start_byte);
    if (match.kind == Button_Match::Kind::pressed) {
        opel_repeat_row = -1;
        opel_repeat_count = 0;
    }
    context.press.apply(match);
}

bool Vehicle_Profile::opel_gate(std::uint32_t id, const CanFrame& frame, QStringView text,
                                Press_Timing& press) {
    if (id == opel_display_id && frame.data[0] == opel_display_first) {
        if (text == opel_screen_on) {
            opel_screen_active = true;
            return true;
        }
        if (std::find(opel_screen_off.begin(), opel_screen_off.end(), text) !=
            opel_screen_off.end()) {
            opel_screen_active = false;
            press.release();
            return false;
        }
    }
    if (!opel_screen_active) {
        press.release(); // a held button counts as released while the screen is off
        return false;
    }
    return true;
}

bool Vehicle_Profile::volkswagen_head_unit(std::uint32_t id, const CanFrame& frame,
                                           QStringView text, Display_Text& display,
                                           const Effects& effects) {
    if (id == vw_display_id && frame.dlc == vw_source_frame_dlc &&
        frame.data[1] == vw_source_frame_kind) {
        vw_source_active = frame.data[3] == vw_source_selected;
        if (vw_source_active) {
            display.queue_lines(volkswagen_display_entries()); // marks the start pending
        }
    }
    if (!vw_source_active && id == vw_button_id && frame.dlc == 1 &&
        std::find(vw_source_buttons.begin(), vw_source_buttons.end(), frame.data[0]) !=
            vw_source_buttons.end()) {
        return false;
    }
    if (display.start_pending()) {
        display.set_more_pending(effects.display_queue_send());
        display.set_start_pending(false);
    }
    if (display.more_pending() && text.contains(vw_block_acknowledgement)) {
        display.set_more_pending(effects.display_queue_send());
    }
    return true;
}

bool Vehicle_Profile::opel_repeat(std::uint32_t id, const CanFrame& frame,
                                  const Button_Table& table, const Effects& effects) {
    const int bytes = std::min<int>(frame.dlc, static_cast<int>(frame.data.size()));
    for (int index = 0; index < table.size(); ++index) {
        const Button_Row& row = table.all()[static_cast<std::size_t>(index)];
        if (row.id != id || !row.data_off_na) {
            continue;
        }
        const int n = row.data_on_count;
        if (n < 1 || n > bytes) {
            continue;
        }
        bool all = true;
        for (int k = 0; k < n && all; ++k) {
            all =
                frame.data[static_cast<std::size_t>(k)] == row.data_on[static_cast<std::size_t>(k)];
        }
        if (!all) {
            continue;
        }
        if (index != opel_repeat_row) {
            opel_repeat_count = 0;
        }
        opel_repeat_row = index;
        ++opel_repeat_count;
        if (static_cast<std::uint32_t>(opel_repeat_count) >= row.repeat_ms) {
            opel_repeat_count = 0;
            const QString& action = row.cells[button_cell::short_action];
            effects.execute_key_action(action);
            qDebug().noquote() << "sending:" << ('"' + action + '"');
        }
        return true;
    }
    return false;
}

void Vehicle_Profile::volvo_match(std::uint32_t id, const CanFrame& frame,
                                  const Button_Table& table, Press_Timing& press) {
    if (frame.dlc != volvo_frame_dlc) {
        return;
    }
    const std::uint8_t code = frame.data[volvo_code_byte];
    for (int index = 0; index < table.size(); ++index) {
        const Button_Row& row = table.all()[static_cast<std::size_t>(index)];
        if (row.id != id) {
            continue;
        }
        if (code == row.data_on_single) {
            press.press(index);
            continue;
        }
        if (code == row.data_off) {
            press.release();
            return;
        }
    }
}
