#pragma once

// The board's firmware as a model: answers the tool's reports as the board does, keeps the
// board's state, and carries a simulated vehicle bus. Used by the virtual board program
// and, in-process, by the tests. Time is passed in (milliseconds of a monotonic clock).
//
// How the model behaves where the command contract leaves the board free:
// - Codes outside 0x36..0x4C get no reply. Commands without reply data are answered with
//   their echo and an all-zero payload.
// - Battery and output voltages are reported as ADC counts that the host's scaling
//   (reference × 7 / 4095 per count) turns back into the volts set here. The output
//   carries the battery voltage while the PC supply is on, 0 otherwise.
// - Brightness: in automatic mode the present PWM value follows the light value along the
//   7-point curve (points taken in order of their light thresholds; below the first point
//   its value, above the last the last one's). With the smoothing flag set the value is
//   interpolated linearly between the neighbouring points, otherwise it is the value of the
//   highest point at or below the light value. Changes take effect at once. Manual mode
//   (mode byte 1) shows the host's value, starting from the value present when the mode
//   was switched on. Values are limited to 0..564. 0x3C keeps bytes 5..36 and ignores
//   bytes 0..4, which the board owns.
// - CAN activation with prescaler 0 or above 1024, or with a mode above 3, is refused (the
//   controller stays as it was). Activating and deactivating empty the receive queue and
//   restart the hardware timers.
// - Modes: Normal receives from the bus and transmits onto it; LoopBack transmits onto the
//   bus and receives its own frames back but not the bus; Silent receives from the bus and
//   transmits nothing; Silent LoopBack receives only its own frames back. Nothing is
//   transmitted while the controller is inactive. transmitted() lists what reached the bus.
// - Receive path: acceptance filters, then the receive queue (64 frames; a frame arriving
//   at a full queue is dropped), then the hardware triggers. A trigger's own reply never
//   runs the triggers again, so a looped-back reply cannot set off an endless chain.
// - Acceptance filters: with no entry enabled every frame passes; otherwise a frame passes
//   when at least one enabled entry accepts it. An entry's identifier and mask registers are
//   its 32-bit words high:low (identifier word : identifier extension word, mask word :
//   mask extension word); a standard frame stands as its 11-bit identifier in bits 31..21, an
//   extended frame (ide 4) as its 29-bit identifier in bits 31..3; the frame passes when it
//   equals the identifier register in every bit set in the mask register, bits 2..0 aside.
//   So the host's entries (11-bit identifier and mask shifted left by 5 in the high words)
//   compare the standard identifier bits under the mask. The fifo, mode, number and scale
//   bytes are kept and returned but do not change the matching.
// - Hardware timers send while the controller is active, the first frame one interval
//   after activation (or after the timer is written), then every interval; interval 0 never
//   sends. Hardware triggers compare a received frame with their match frame by ide, the
//   identifier that ide selects (std_id for 0, ext_id for 4, both otherwise), rtr, dlc and
//   the first min(dlc, 8) data bytes; on a match the reply frame is transmitted.
// - Vehicle bus frames reach the receiver only while the controller is active in a
//   receiving mode with 4000 / prescaler (integer division) equal to the bus's bit rate.
//   The vehicle's nodes hear the board's frames only under the same condition.
// - The bus has a capacity. Every frame that goes onto the wire (the board's while its mode
//   drives the bus, and every vehicle node's) occupies it for its length in bits: 47 + 8 ×
//   data bytes for a standard frame, 67 + 8 × data bytes for an extended one, remote frames
//   without data bits, interframe space included and stuff bits not counted (so the wire
//   carries the most a real bus could). A frame takes 1 / kbit ms per bit at its sender's
//   bit rate: the bus's for the vehicle's nodes, 4000 / prescaler for the board. At
//   100 kbit/s an 8-byte standard frame takes 1.11 ms, about 900 frames per second. Frames
//   wait for the wire in the order they asked for it (arbitration by identifier is not
//   modelled), at most 64 of them; a frame that finds the wait full is dropped and counted
//   in bus_dropped_frames(). The wire paces frames as a leaky bucket that lets a burst of up
//   to 524 bit times (four of the longest frames) pass ahead of its rate, so a frame on a free
//   bus, and a few frames at once, take effect at the moment they are sent; sustained traffic
//   is held to the capacity. So frames that answer each other (hardware triggers and the
//   vehicle's answers) saturate the bus rather than multiply without end. A frame's effects
//   (transmitted(), the vehicle's nodes hearing it, the board receiving it or its own frame
//   back in LoopBack) happen when it goes onto the wire; the vehicle's nodes, which keep
//   whole milliseconds, hear it at the next one. Silent LoopBack frames stay inside the board
//   and never wait. Activating or deactivating the controller aborts the board's frames
//   still waiting for the wire.
// - Time runs event by event, each at its own moment, so the result does not depend on how
//   time is stepped. One call does at most advance_event_budget events; a board that fell
//   behind (its process stopped for minutes, say) catches up over the following calls, and
//   meanwhile takes the host's requests at the moment it has reached (now_ms()).
// - Reset EEPROM restores the power configuration, sound image, brightness curve and mode,
//   ADC reference, filters, hardware timers and triggers. The CAN controller's activation,
//   prescaler and mode are run-time settings and are left as they are.
// Scenarios, their frames and the button names: board/vehicle_bus.h. Power states and their
// transitions: board/power_sequence.h.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "board/power_sequence.h"
#include "can/can_frame.h"

namespace board {

using Report = std::array<std::uint8_t, 65>; // byte 0 report ID, byte 1 command, 2..64 payload

constexpr std::size_t report_command_offset = 1;
constexpr std::size_t report_payload_offset = 2;
constexpr std::size_t report_payload_size = 63;

constexpr std::size_t sound_image_size = 37;
constexpr std::size_t pwm_image_size = 37;
using Sound_Image = std::array<std::uint8_t, sound_image_size>;
using Pwm_Image = std::array<std::uint8_t, pwm_image_size>;

constexpr int pwm_full_scale = 564;
constexpr int light_max = 1023;
constexpr std::uint8_t factory_adc_reference_code = 130; // 3.30 V
constexpr std::uint16_t factory_prescaler = 40;          // 100 kbit/s
constexpr int factory_bus_bitrate_kbit = 100;
constexpr std::size_t receive_queue_capacity = 64;
constexpr std::size_t transmitted_capacity = 1024;
constexpr std::size_t bus_queue_capacity = 64; // frames waiting for the wire
constexpr int longest_frame_bits = 131;        // extended, 8 data bytes
constexpr int bus_burst_bits = 4 * longest_frame_bits;
constexpr std::size_t advance_event_budget = 10'000;

enum class Can_Mode : std::uint8_t { normal = 0, loopback = 1, silent = 2, silent_loopback = 3 };

// A further hold of a steering-wheel button press: `pause_ms` after the release before.
struct Button_Hold {
    int pause_ms = 0;
    int hold_ms = 0;
};

struct Identity {
    std::uint8_t board_type = 2;
    std::uint8_t hardware_version = 4;
    std::uint8_t firmware_version = 44;
};

class Board_Model {
public:
    explicit Board_Model(Identity identity = {});
    ~Board_Model();
    Board_Model(Board_Model&&) noexcept;
    Board_Model& operator=(Board_Model&&) noexcept;
    Board_Model(const Board_Model&) = delete;
    Board_Model& operator=(const Board_Model&) = delete;

    // One output report in; the input report the board sends back, or nothing.
    std::optional<Report> answer(const Report& request, std::int64_t now_ms);

    // Lets the board's time run up to `now_ms`: power states, delays, hardware timers,
    // the vehicle bus scenario and pressed buttons. Stops short after advance_event_budget
    // events; now_ms() tells how far it came.
    void advance(std::int64_t now_ms);

    // The car's side.
    void set_acc(bool on);
    void set_battery_voltage(double volts);
    void set_light_level(int raw); // light sensor, 0..1023
    void set_temperature(double celsius);

    // The vehicle bus. Its frames reach the board's receiver only while the controller is
    // active with the prescaler that gives the bus's bit rate (4000 / prescaler kbit/s).
    void set_bus_bitrate_kbit(int kbit);
    // Sent by a vehicle node now. False when it is lost: the wait for the wire is full, or
    // there is no bus (bit rate 0).
    bool put_on_bus(const CanFrame& frame);
    // Holds a steering-wheel button (by its name in the scenario's button table) for
    // `duration_ms`, starting at `now_ms`, then each of `more` in turn. Names: vol_up,
    // vol_down, next, prev, mode, mute (in "buttons", "volkswagen", "opel" and "volvo");
    // false for another name or scenario.
    bool press_button(std::string_view name, int duration_ms, std::int64_t now_ms,
                      std::span<const Button_Hold> more = {});
    // Switches the head-unit screen of "opel"; false in another scenario.
    bool set_head_unit_screen(bool on, std::int64_t now_ms);
    // "none", "idle", "volkswagen", "opel", "volvo", "buttons"; false for an unknown name.
    bool load_scenario(std::string_view name, std::int64_t now_ms);
    static std::vector<std::string> scenario_names();

    // What the board itself put on the bus (host sends, hardware timers, triggers, loopback
    // excluded), oldest first; bounded.
    const std::vector<CanFrame>& transmitted() const;

    const Identity& identity() const;
    void set_identity(const Identity& identity);

    // Looking inside, for the tests and the virtual board's console.
    std::int64_t now_ms() const;
    Power_State power_state() const;
    bool pc_supply_on() const;
    bool r_out_on() const;
    bool monitor_on() const;
    bool acc() const;
    double battery_voltage() const;
    std::uint16_t battery_adc_count() const;
    std::uint16_t output_adc_count() const;
    double temperature() const;
    int light_level() const;
    int present_pwm() const;
    std::uint8_t adc_reference_code() const;
    const Power_Config& power_config() const;
    const Sound_Image& sound_image() const;
    Pwm_Image pwm_image() const;

    bool can_active() const;
    std::uint16_t prescaler() const;
    Can_Mode can_mode() const;
    std::size_t queue_size() const;
    std::uint64_t dropped_frames() const; // arrived at a full receive queue
    int bus_bitrate_kbit() const;
    std::uint64_t bus_carried_frames() const; // went onto the wire, the board's and the car's
    std::uint64_t bus_dropped_frames() const; // found the wait for the wire full
    std::size_t bus_queue_size() const;       // waiting for the wire
    const std::string& scenario() const;
    std::vector<std::string> button_names() const; // of the present scenario
    void clear_transmitted();

private:
    struct State;
    std::unique_ptr<State> s_;
};

} // namespace board
