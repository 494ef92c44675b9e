#pragma once

#include <cstdint>

namespace board {

// Faults a virtual board plays on purpose, one decision per request.
struct Fault_Plan {
    int drop_replies = 0;       // the next N requests get no reply at all
    int wrong_echo_replies = 0; // the next N replies carry another command code
    int delay_ms = 0;           // every reply is sent this late

    enum class Action { answer, drop, wrong_echo };

    // Takes one request's decision and counts it down.
    Action next() {
        if (drop_replies > 0) {
            --drop_replies;
            return Action::drop;
        }
        if (wrong_echo_replies > 0) {
            --wrong_echo_replies;
            return Action::wrong_echo;
        }
        return Action::answer;
    }

    // The code a wrong echo carries: never the one asked for.
    static std::uint8_t wrong_code(std::uint8_t asked) {
        return static_cast<std::uint8_t>(asked ^ 0x80U);
    }
};

} // namespace board
