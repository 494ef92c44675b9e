#pragma once

#include <cstddef>
#include <cstdint>

namespace board {

// Faults a virtual board plays on purpose, one decision per request.
struct Fault_Plan {
    // A reply cut short keeps its first bytes only; trailing junk is a run of extra bytes
    // after a whole reply. Either breaks the host's report framing from there on.
    static constexpr std::size_t short_reply_bytes = 30;
    static constexpr std::size_t junk_bytes = 10;
    static constexpr std::uint8_t junk_byte = 0xA5;

    int drop_replies = 0;       // the next N requests get no reply at all
    int wrong_echo_replies = 0; // the next N replies carry another command code
    int short_replies = 0;      // the next N replies are cut to short_reply_bytes
    int junk_replies = 0;       // the next N replies are followed by junk_bytes extra bytes
    int delay_ms = 0;           // every reply is sent this late

    enum class Action { answer, drop, wrong_echo, cut_short, trailing_junk };

    // Takes one request's decision and counts it down; with several faults planned, the
    // first in the order above comes first.
    Action next() {
        if (drop_replies > 0) {
            --drop_replies;
            return Action::drop;
        }
        if (wrong_echo_replies > 0) {
            --wrong_echo_replies;
            return Action::wrong_echo;
        }
        if (short_replies > 0) {
            --short_replies;
            return Action::cut_short;
        }
        if (junk_replies > 0) {
            --junk_replies;
            return Action::trailing_junk;
        }
        return Action::answer;
    }

    // The code a wrong echo carries: never the one asked for.
    static std::uint8_t wrong_code(std::uint8_t asked) {
        return static_cast<std::uint8_t>(asked ^ 0x80U);
    }
};

} // namespace board
