#pragma once

// Frames as the tests write them.

#include <array>
#include <cstdint>

#include "can/can_frame.h"

// A standard data frame.
inline CanFrame standard(std::uint32_t id, std::uint8_t dlc,
                         std::array<std::uint8_t, 8> data = {}) {
    CanFrame f;
    f.std_id = id;
    f.dlc = dlc;
    f.data = data;
    return f;
}
