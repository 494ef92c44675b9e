#pragma once

// The board's power sequencing: switches the car PC, its output R_OUT and the monitor after
// the ACC line and the battery voltage, through timed states. Delays of the configuration are
// whole seconds. A running delay keeps the length it started with; a new configuration
// takes effect at the next state that starts a delay.
//
// Transitions (V = battery voltage, "VKL_AKB min" and "AKB min" from the configuration):
//   IDLE              ACC on and V >= VKL_AKB min              -> ACC_ON_DELAY
//   ACC_ON_DELAY      ACC off or V < VKL_AKB min               -> IDLE
//                     after ACC ON delay                       -> VKL_PC_DELAY (supply on)
//   VKL_PC_DELAY      after VKL PC delay, Check PC_ON set      -> CHECK_PC_ON_DELAY_STATE
//                     after VKL PC delay, Check PC_ON clear    -> OS_LOAD_TIME
//   CHECK_PC_ON_...   after check_pc_on_ms (the PC answers)    -> OS_LOAD_TIME
//   OS_LOAD_TIME      after R_OUT delay                        -> PC_ON (R_OUT on)
//   PC_ON             V < AKB min                              -> AKB_OFF_DELAY
//                     ACC off                                  -> ACC_OFF_DELAY
//   ACC_OFF_DELAY     ACC on                                   -> PC_ON
//                     V < AKB min                              -> AKB_OFF_DELAY
//                     after ACC OFF delay                      -> R_OUT_DELAY_STATE
//   AKB_OFF_DELAY     V >= AKB min                             -> PC_ON
//                     after AKB OFF delay                      -> R_OUT_DELAY_STATE
//   R_OUT_DELAY_STATE (R_OUT off) after R_OUT delay: SLEEP mode and not for low battery
//                                                              -> SLEEP_STATE
//                                                   otherwise  -> PC_SHUTDOWN
//   PC_SHUTDOWN       after shutdown_press_ms (button press)   -> OS_SHUTDOWN_TIME
//   OS_SHUTDOWN_TIME  after OS SHUTDOWN TIME delay             -> IDLE (supply off)
//   SLEEP_STATE       V < AKB min                              -> SLEEP_AKB_OFF_DELAY_STATE
//                     ACC on and V >= VKL_AKB min              -> ACC_ON_SLEEP_DELAY
//   ACC_ON_SLEEP_...  ACC off                                  -> SLEEP_STATE
//                     after ACC ON delay (the PC wakes)        -> OS_LOAD_TIME
//   SLEEP_AKB_OFF_... V >= AKB min                             -> SLEEP_STATE
//                     after AKB OFF delay                      -> PC_SHUTDOWN
// ACC changes during start-up (VKL_PC_DELAY .. OS_LOAD_TIME) and during shutdown
// (R_OUT_DELAY_STATE .. OS_SHUTDOWN_TIME) wait for the sequence to finish.
// The monitor switches on Monitor ON delay after VKL_PC_DELAY starts, at once when the PC
// wakes from sleep, off when sleep starts, and Monitor OFF delay after OS_SHUTDOWN_TIME
// starts (at the latest when IDLE is reached).

#include <array>
#include <cstdint>
#include <optional>

#include "protocol/layouts.h"

namespace board {

enum class Power_State : std::uint8_t {
    idle = 0,
    acc_on_delay = 1,
    pc_on = 2,
    pc_shutdown = 3,
    vkl_pc_delay = 4,
    os_load_time = 5,
    os_shutdown_time = 6,
    acc_off_delay = 7,
    akb_off_delay = 8,
    check_pc_on_delay = 9,
    r_out_delay = 10,
    sleep = 11,
    acc_on_sleep_delay = 12,
    sleep_akb_off_delay = 13,
};

// The power configuration as the tool reads and writes it.
using ::Power_Config;
using ::power_config_size;
namespace power_config_byte = ::power_byte;

class Power_Sequence {
public:
    static constexpr std::int64_t check_pc_on_ms = 2000;
    static constexpr std::int64_t shutdown_press_ms = 1000;

    Power_Config config{};

    // Lets time run to `now_ms`, taking every transition on the way at the moment it falls due.
    void advance(std::int64_t now_ms);
    // The car's inputs; they act at the time of the last advance.
    void set_acc(bool on);
    void set_battery_voltage(double volts);

    Power_State state() const { return state_; }
    bool acc() const { return acc_; }
    double battery_voltage() const { return battery_volts_; }
    bool pc_supply_on() const;
    bool r_out_on() const;
    bool monitor_on() const { return monitor_on_; }

private:
    void settle(std::int64_t at_ms);
    std::optional<Power_State> event_transition() const;
    void enter(Power_State next, std::int64_t at_ms);
    std::int64_t seconds(std::size_t byte) const;
    std::int64_t acc_off_delay_ms() const;
    double volts_of(std::size_t byte) const { return config[byte] / 10.0; }

    Power_State state_ = Power_State::idle;
    bool acc_ = false;
    double battery_volts_ = 12.6;
    std::int64_t now_ms_ = 0;
    std::optional<std::int64_t> deadline_ms_;
    bool low_battery_shutdown_ = false;
    bool monitor_on_ = false;
    std::optional<std::int64_t> monitor_switch_ms_;
    bool monitor_switch_to_ = false;
};

} // namespace board
