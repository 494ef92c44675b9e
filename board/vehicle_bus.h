#pragma once

// The vehicle's side of the simulated bus: the frames the car's nodes send by themselves,
// their answers to what the board puts on the bus, and the steering-wheel buttons.
//
// Scenarios:
//   "none"        a silent bus.
//   "idle"        0x1A0 every 100 ms (8 bytes, byte 0 a rolling counter), 0x2C4 every 200 ms
//                 (4 bytes, byte 3 a rolling counter), 0x5D0 every 1000 ms (2 bytes, byte 1 a
//                 rolling counter).
//   "volkswagen"  0x1A0 every 100 ms, and the display's side of the head-unit dialogue on
//                 0x680 (head unit) / 0x681 (display):
//                   0x680 A0 .. (channel set-up)  -> 0x681 DLC 6 A1 04 8A FF 32 FF
//                   0x680 A3    (channel test)    -> the same 0x681 A1 frame
//                   0x680 0s .. / 1s .. (a frame that closes a block, s = sequence 0..15)
//                                                 -> 0x681 DLC 1 B(s+1), the acknowledgement
//                   0x680 2s .. (inside a block)  -> nothing
//                 all answers 10 ms later. After the third message closed by a 1s frame since
//                 the last set-up, the display announces this device as the selected source,
//                 0x681 DLC 5 1n 23 00 01 00, 50 ms later, and from then on sends a status frame
//                 0x681 DLC 4 1n 02 00 00 every 1000 ms (n = the display's own sequence).
//                 Buttons on 0x5C1 as in "buttons".
//   "opel"        0x1A0 every 100 ms; the display's frame of the head-unit screen 100 ms after
//                 loading and then every 2000 ms, each followed by its continuation frames
//                 0x6C1 21, 22, .. at 10 ms spacing (8 bytes, the last one padded with 00):
//                   screen on   0x6C1 10 22 C0 00 1F 03 10 0E, four continuations
//                   screen off  0x6C1 10 3A 40 00 37 03 10 1A, eight continuations
//                 The screen is on after loading; set_screen() switches it: the old screen's
//                 continuations still due are dropped and the new screen's frame goes out at
//                 once, then every 2000 ms. Buttons on 0x206, DLC 3: pressed 01 code 00,
//                 released 00 code 00.
//   "volvo"       0x1A0 every 100 ms; buttons on 0x3B0, DLC 8: byte 0 a rolling counter (one
//                 up per button frame), bytes 1..6 00, byte 7 the code while pressed, 00 when
//                 released.
//   "buttons"     0x1A0 every 100 ms; buttons on 0x5C1, DLC 1: pressed code, released 00.
// The 0x1A0 frame lets a bit-rate scan find every bus but the silent one.
//
// Buttons (names and codes): vol_up, vol_down, next, prev, mode, mute;
//   0x5C1 codes 06, 07, 22, 23, 28, 2B; 0x206 codes 11, 12, 13, 14, 15, 16;
//   0x3B0 codes 08, 04, 02, 01, 10, 20.
// A held button sends its pressed frame at once and again every 100 ms while held, and its
// released frame when the hold ends. A press may hold the button several times, each hold
// after a pause from the release before (a double press: two holds). A new press replaces a
// press still running, its later holds included.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "board/board_model.h"
#include "can/can_frame.h"

namespace board {

class Vehicle_Bus {
public:
    static constexpr int button_repeat_ms = 100;
    static constexpr int answer_delay_ms = 10;

    static std::vector<std::string> scenario_names();

    // Replaces the scenario; false (and nothing changed) for an unknown name.
    bool load(std::string_view name, std::int64_t now_ms);
    const std::string& scenario() const { return name_; }
    std::vector<std::string> button_names() const;
    // Holds a button of the scenario's table from `now_ms` for `duration_ms`, then for each
    // of `more` again after its pause.
    bool press(std::string_view button, int duration_ms, std::int64_t now_ms,
               std::span<const Button_Hold> more = {});
    // The head-unit screen of "opel"; false (and nothing changed) in another scenario.
    bool set_screen(bool on, std::int64_t now_ms);

    // When a vehicle node sends its next frame, if any is coming.
    std::optional<std::int64_t> next_due() const;
    // The frame due at next_due(); call only when next_due() has a value.
    CanFrame take_due();

    // A frame the board put on the bus reaches the vehicle's nodes at `now_ms`.
    void hear(const CanFrame& frame, std::int64_t now_ms);

private:
    enum class Kind { none, idle, volkswagen, opel, volvo, buttons };
    enum class Source { heartbeat, engine, status, display_status, opel_screen };

    struct Periodic {
        Source source;
        int period_ms;
        std::int64_t next_ms;
        std::uint8_t counter = 0;
    };
    struct Pending {
        std::int64_t due_ms;
        std::uint64_t order;
        CanFrame frame;
    };
    struct Hold {
        CanFrame pressed;
        CanFrame released;
        std::int64_t next_ms;
        std::int64_t release_ms;
        bool started = false;
        std::vector<Button_Hold> later;
        std::size_t next_later = 0;
    };

    void schedule(const CanFrame& frame, std::int64_t due_ms);
    CanFrame emit(Periodic& periodic, std::int64_t at_ms);
    bool has_buttons() const;
    std::optional<std::int64_t> hold_due() const;
    CanFrame take_hold();
    CanFrame stamped(CanFrame wheel_frame);
    CanFrame opel_screen(std::int64_t at_ms);
    std::uint8_t next_display_sequence();
    void hear_head_unit(const CanFrame& frame, std::int64_t now_ms);

    Kind kind_ = Kind::none;
    std::string name_ = "none";
    std::vector<Periodic> periodic_;
    std::vector<Pending> pending_;
    std::optional<Hold> hold_;
    std::uint64_t order_ = 0;

    int closed_messages_ = 0;
    bool source_announced_ = false;
    std::uint8_t display_sequence_ = 0;

    bool opel_screen_on_ = true;
    std::uint8_t wheel_counter_ = 0;
};

} // namespace board
