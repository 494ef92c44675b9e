#include "board/power_sequence.h"

#include <algorithm>

namespace board {

namespace {

constexpr std::int64_t ms_per_second = 1000;
// Each input change or expired delay moves a few states at most; this only stops a
// configuration that could bounce for ever.
constexpr int max_steps_per_instant = 32;

} // namespace

std::int64_t Power_Sequence::seconds(std::size_t byte) const {
    return config[byte] * ms_per_second;
}

std::int64_t Power_Sequence::acc_off_delay_ms() const {
    const std::int64_t value = config[power_config_byte::acc_off_delay_high] * 256 +
                               config[power_config_byte::acc_off_delay_low];
    return value * ms_per_second;
}

bool Power_Sequence::pc_supply_on() const {
    return state_ != Power_State::idle && state_ != Power_State::acc_on_delay;
}

bool Power_Sequence::r_out_on() const {
    return state_ == Power_State::pc_on || state_ == Power_State::acc_off_delay ||
           state_ == Power_State::akb_off_delay;
}

void Power_Sequence::set_acc(bool on) {
    acc_ = on;
    settle(now_ms_);
}

void Power_Sequence::set_battery_voltage(double volts) {
    battery_volts_ = std::max(0.0, volts);
    settle(now_ms_);
}

void Power_Sequence::advance(std::int64_t now_ms) {
    now_ms = std::max(now_ms, now_ms_);
    settle(now_ms_);
    for (;;) {
        std::optional<std::int64_t> next = deadline_ms_;
        if (monitor_switch_ms_ && (!next || *monitor_switch_ms_ < *next)) {
            next = monitor_switch_ms_;
        }
        if (!next || *next > now_ms) {
            break;
        }
        now_ms_ = std::max(now_ms_, *next);
        if (monitor_switch_ms_ && *monitor_switch_ms_ <= now_ms_) {
            monitor_on_ = monitor_switch_to_;
            monitor_switch_ms_.reset();
        }
        if (deadline_ms_ && *deadline_ms_ <= now_ms_) {
            deadline_ms_.reset();
            using enum Power_State;
            const bool check = config[power_config_byte::check_pc_on] != 0;
            const bool sleep_mode = config[power_config_byte::sleep_mode] != 0;
            switch (state_) {
            case acc_on_delay:
                enter(vkl_pc_delay, now_ms_);
                break;
            case vkl_pc_delay:
                enter(check ? check_pc_on_delay : os_load_time, now_ms_);
                break;
            case check_pc_on_delay:
                enter(os_load_time, now_ms_);
                break;
            case os_load_time:
                enter(pc_on, now_ms_);
                break;
            case acc_off_delay:
                low_battery_shutdown_ = false;
                enter(r_out_delay, now_ms_);
                break;
            case akb_off_delay:
                low_battery_shutdown_ = true;
                enter(r_out_delay, now_ms_);
                break;
            case r_out_delay:
                enter(sleep_mode && !low_battery_shutdown_ ? sleep : pc_shutdown, now_ms_);
                break;
            case pc_shutdown:
                enter(os_shutdown_time, now_ms_);
                break;
            case os_shutdown_time:
                enter(idle, now_ms_);
                break;
            case acc_on_sleep_delay:
                enter(os_load_time, now_ms_);
                break;
            case sleep_akb_off_delay:
                enter(pc_shutdown, now_ms_);
                break;
            case idle:
            case pc_on:
            case sleep:
                break;
            }
        }
        settle(now_ms_);
    }
    now_ms_ = now_ms;
}

std::optional<Power_State> Power_Sequence::event_transition() const {
    using enum Power_State;
    const bool may_start = acc_ && battery_volts_ >= volts_of(power_config_byte::vkl_akb_min);
    const bool battery_low = battery_volts_ < volts_of(power_config_byte::akb_min);
    switch (state_) {
    case idle:
        if (may_start) {
            return acc_on_delay;
        }
        break;
    case acc_on_delay:
        if (!may_start) {
            return idle;
        }
        break;
    case pc_on:
        if (battery_low) {
            return akb_off_delay;
        }
        if (!acc_) {
            return acc_off_delay;
        }
        break;
    case acc_off_delay:
        if (acc_) {
            return pc_on;
        }
        if (battery_low) {
            return akb_off_delay;
        }
        break;
    case akb_off_delay:
        if (!battery_low) {
            return pc_on;
        }
        break;
    case sleep:
        if (battery_low) {
            return sleep_akb_off_delay;
        }
        if (may_start) {
            return acc_on_sleep_delay;
        }
        break;
    case acc_on_sleep_delay:
        if (!acc_) {
            return sleep;
        }
        break;
    case sleep_akb_off_delay:
        if (!battery_low) {
            return sleep;
        }
        break;
    default:
        break;
    }
    return std::nullopt;
}

void Power_Sequence::settle(std::int64_t at_ms) {
    for (int i = 0; i < max_steps_per_instant; ++i) {
        const std::optional<Power_State> next = event_transition();
        if (!next) {
            return;
        }
        enter(*next, at_ms);
    }
}

void Power_Sequence::enter(Power_State next, std::int64_t at_ms) {
    using enum Power_State;
    namespace b = power_config_byte;
    const Power_State previous = state_;
    state_ = next;
    deadline_ms_.reset();
    switch (next) {
    case acc_on_delay:
    case acc_on_sleep_delay:
        deadline_ms_ = at_ms + seconds(b::acc_on_delay);
        break;
    case vkl_pc_delay:
        deadline_ms_ = at_ms + seconds(b::vkl_pc_delay);
        monitor_switch_ms_ = at_ms + seconds(b::monitor_on_delay);
        monitor_switch_to_ = true;
        break;
    case check_pc_on_delay:
        deadline_ms_ = at_ms + check_pc_on_ms;
        break;
    case os_load_time:
        deadline_ms_ = at_ms + seconds(b::r_out_delay);
        if (previous == acc_on_sleep_delay) {
            monitor_on_ = true;
            monitor_switch_ms_.reset();
        }
        break;
    case acc_off_delay:
        deadline_ms_ = at_ms + acc_off_delay_ms();
        break;
    case akb_off_delay:
    case sleep_akb_off_delay:
        deadline_ms_ = at_ms + seconds(b::akb_off_delay);
        break;
    case r_out_delay:
        deadline_ms_ = at_ms + seconds(b::r_out_delay);
        break;
    case pc_shutdown:
        deadline_ms_ = at_ms + shutdown_press_ms;
        break;
    case os_shutdown_time:
        deadline_ms_ = at_ms + seconds(b::os_shutdown_delay);
        monitor_switch_ms_ = at_ms + seconds(b::monitor_off_delay);
        monitor_switch_to_ = false;
        break;
    case sleep:
    case idle:
        monitor_on_ = false;
        monitor_switch_ms_.reset();
        break;
    case pc_on:
        break;
    }
}

} // namespace board
