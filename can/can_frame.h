#pragma once

#include <array>
#include <cstdint>

// One CAN 2.0 frame as the board reports it and as the tool handles it.
struct CanFrame {
    static constexpr std::uint8_t ide_standard = 0;
    static constexpr std::uint8_t ide_extended = 4;
    static constexpr std::uint8_t rtr_data = 0;
    static constexpr std::uint8_t rtr_remote = 2;

    std::uint32_t std_id = 0; // meaningful when ide is 0
    std::uint32_t ext_id = 0; // meaningful when ide is 4
    std::uint8_t ide = ide_standard;
    std::uint8_t rtr = rtr_data;
    std::uint8_t dlc = 0; // as carried; up to 255 when it comes from the board
    std::array<std::uint8_t, 8> data{};

    friend bool operator==(const CanFrame&, const CanFrame&) = default;
};
