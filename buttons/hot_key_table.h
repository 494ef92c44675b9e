#pragma once

// The five global hot keys: their fixed ids, and the keys they sit on. Modifier masks and key
// codes are those the settings file stores: mask bits 1 Alt, 2 Control, 4 Shift, 8 Win; keys as
// virtual-key numbers (letters are their upper-case character codes).

#include <array>

enum Hot_Key_Id : int {
    hot_key_volume_up = 101,
    hot_key_volume_down = 102,
    hot_key_subwoofer_up = 103,
    hot_key_subwoofer_down = 104,
    hot_key_hard_mute = 105,
};

inline constexpr unsigned hot_key_alt = 1;
inline constexpr unsigned hot_key_control = 2;
inline constexpr unsigned hot_key_shift = 4;
inline constexpr unsigned hot_key_win = 8;

// The two hot keys the settings file can move.
struct Hot_Key_Settings {
    unsigned volume_up_modifiers = hot_key_control | hot_key_alt;
    unsigned volume_up_key = 'B';
    unsigned volume_down_modifiers = hot_key_control | hot_key_alt;
    unsigned volume_down_key = 'C';
};

struct Hot_Key {
    int id = 0;
    unsigned modifiers = 0;
    unsigned key = 0;
};

// In the order they are registered.
constexpr std::array<Hot_Key, 5> hot_key_table(const Hot_Key_Settings& settings) {
    constexpr unsigned control_alt = hot_key_control | hot_key_alt;
    return {{
        {hot_key_volume_up, settings.volume_up_modifiers, settings.volume_up_key},
        {hot_key_volume_down, settings.volume_down_modifiers, settings.volume_down_key},
        {hot_key_subwoofer_up, control_alt, 'W'},
        {hot_key_subwoofer_down, control_alt, 'S'},
        {hot_key_hard_mute, control_alt, 'V'},
    }};
}
