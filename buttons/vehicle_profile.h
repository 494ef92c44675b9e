#pragma once

// Vehicle profiles: how a received frame is read before, or instead of, the generic button
// matching. Volkswagen also plays an additional head unit towards the car's display (a preset of
// triggers and timers, a start-up frame, a display text when the car selects this source); Opel
// honours buttons only while its head-unit screen is on and offers a repeat matcher; Volvo reads
// the last byte of 8-byte frames.

#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <cstdint>
#include <functional>

#include "buttons/button_table.h"
#include "can/can_frame.h"
#include "can/can_trigger.h"
#include "can/display_text.h"

enum Vehicle_Mode : int {
    vehicle_generic = 0,
    vehicle_volkswagen = 1,
    vehicle_opel = 2,
    vehicle_volvo = 3,
};
inline constexpr int vehicle_mode_count = 4;

// The Volkswagen head unit's start-up frame, sent once each time the bus becomes active.
inline constexpr QStringView head_unit_start_frame =
    u"ID: STD=0x680   RTR: DATA   DLC: 6   DATA: 0xa0 0xf 0x59 0xff 0x32 0xff\n";
// The display text's sequence counter after the start-up frame.
inline constexpr int head_unit_start_counter = 4;

struct Preset_Timer {
    QStringView frame;
    int interval_ms = 0;
};

// The triggers that answer the Volkswagen display, in list order.
const std::array<CanTrigger, 6>& volkswagen_preset_triggers();
// The three software timers of the head unit, in timer order; all enabled.
const std::array<Preset_Timer, 3>& volkswagen_preset_timers();
// The display text sent when the car selects this source: nine lines of data bytes.
const QStringList& volkswagen_display_entries();

class Vehicle_Profile {
public:
    // What the reaction needs of the window: the display text's block sender (true while blocks
    // remain) and the executor of action texts.
    struct Effects {
        std::function<bool()> display_queue_send;
        std::function<void(const QString& action)> execute_key_action;
    };
    // The state the reaction reads and moves besides its own.
    struct Context {
        const Button_Table& table;
        int start_byte;
        Press_Timing& press;
        Display_Text& display;
    };

    int vehicle_mode = vehicle_generic;
    bool head_unit_start_pending = false;
    bool vw_source_active = false;
    bool opel_screen_active = false;
    int opel_repeat_row = -1;
    int opel_repeat_count = 0;

    // One received frame with its identifier (standard or extended) and its frame text, built
    // once by the caller. Ends in the generic matching where the profile uses it.
    void frame_reaction(const CanFrame& frame, std::uint32_t id, QStringView text,
                        const Context& context, const Effects& effects);

private:
    // Opel: false when the frame ends here.
    bool opel_gate(std::uint32_t id, const CanFrame& frame, QStringView text, Press_Timing& press);
    // Volkswagen: false when the frame ends here.
    bool volkswagen_head_unit(std::uint32_t id, const CanFrame& frame, QStringView text,
                              Display_Text& display, const Effects& effects);
    // Opel: true when a repeat row took the frame.
    bool opel_repeat(std::uint32_t id, const CanFrame& frame, const Button_Table& table,
                     const Effects& effects);
    static void volvo_match(std::uint32_t id, const CanFrame& frame, const Button_Table& table,
                            Press_Timing& press);
};
