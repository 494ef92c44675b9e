#pragma once

// The sound processor's register image and the fields the host edits in it, as pure
// functions. The host keeps the decoded fields as the one source of the bytes it edits; a
// change of a field recomposes the register bytes that hold it, and every byte the host does
// not edit goes back to the board exactly as it was read.

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/layouts.h"

// Register bytes of sound_image (bit 0 = least significant).
namespace sound_byte {
constexpr std::size_t main_source = 1;    // 0-2 input code, 3-6 gain dB, 7 AutoZero off
constexpr std::size_t soft_mute = 5;      // 0xFE soft mute on, 0xFF off
constexpr std::size_t volume = 7;         // 0-6 attenuation code, 7 kept as read
constexpr std::size_t treble = 9;         // 0-4 gain code, 5-6 centre index, 7 set
constexpr std::size_t middle = 11;        // 0-4 gain code, 5-6 Q index, 7 set
constexpr std::size_t bass = 13;          // 0-4 gain code, 5-6 Q index, 7 set
constexpr std::size_t second_source = 15; // 0-2 input code, 3-6 gain dB, 7 rear source
constexpr std::size_t frequencies = 17;   // 0-1 cut-off, 2-3 middle, 4-5 bass, 6-7 as read
constexpr std::size_t front_left = 21;    // outputs: 0-6 attenuation code, 7 set
constexpr std::size_t front_right = 23;
constexpr std::size_t rear_left = 25;
constexpr std::size_t rear_right = 27;
constexpr std::size_t subwoofer = 31;
constexpr std::size_t hard_mute = 36; // not a register: 1 hard mute on, 0 off
} // namespace sound_byte

// Source selector codes (bits 0-2 of the two source registers). 4, 5 and 6 are never
// written by the host.
namespace source_code {
constexpr std::uint8_t input_1 = 3;
constexpr std::uint8_t input_2 = 0;
constexpr std::uint8_t input_3 = 1;
constexpr std::uint8_t input_4 = 2;
constexpr std::uint8_t muted = 7; // secondary source only
constexpr std::array<std::uint8_t, 4> inputs{input_1, input_2, input_3, input_4};
// The input (0 for Input 1 .. 3 for Input 4) a code selects; -1 for any other code.
constexpr int input_of(std::uint8_t code) {
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        if (inputs[k] == code) {
            return static_cast<int>(k);
        }
    }
    return -1;
}
} // namespace source_code

// The five output attenuators, in the order of their registers.
enum class Sound_Output { front_left, front_right, rear_left, rear_right, subwoofer };
constexpr std::size_t sound_output_count = 5;
constexpr std::array<std::size_t, sound_output_count> output_register{
    sound_byte::front_left, sound_byte::front_right, sound_byte::rear_left, sound_byte::rear_right,
    sound_byte::subwoofer};

struct Sound_Attenuator {
    std::uint8_t code = 0; // 7 bits; a muted register's code lies in 96..127
    bool mute = false;
};

// The decoded value of every register field the host edits. Indices follow the item order
// of the selectors: treble centre 10/12.5/15/17.5 kHz, middle centre 500/1000/1500/2500 Hz,
// bass centre 60/80/100/200 Hz, middle Q 0.5/0.75/1/1.25, bass Q 1.0/1.25/1.5/2.0,
// subwoofer cut-off flat/80/120/160 Hz.
struct Sound_Fields {
    std::uint8_t main_input_code = 0; // 0..7
    std::uint8_t main_input_gain = 0; // 0..15 dB
    bool autozero_off = false;
    std::uint8_t volume_code = 0; // 0..127
    bool volume_mute = false;
    bool volume_bit7 = false; // only ever taken from a read
    bool soft_mute_off = false;
    bool hard_mute = false;
    std::array<Sound_Attenuator, sound_output_count> outputs{};
    std::uint8_t treble_gain_code = 0; // 0..31
    std::uint8_t middle_gain_code = 0;
    std::uint8_t bass_gain_code = 0;
    std::uint8_t treble_center_index = 0; // 0..3
    std::uint8_t middle_center_index = 0;
    std::uint8_t bass_center_index = 0;
    std::uint8_t middle_q_index = 0;
    std::uint8_t bass_q_index = 0;
    std::uint8_t subwoofer_cutoff_index = 0;
    bool freq_bit6 = false;             // only ever taken from a read
    bool freq_bit7 = false;             // only ever taken from a read
    std::uint8_t second_input_code = 0; // 0..7
    std::uint8_t second_input_gain = 0; // 0..15 dB
    std::uint8_t rear_source_index = 0; // 0 primary, 1 secondary

    Sound_Attenuator& output(Sound_Output o) { return outputs[static_cast<std::size_t>(o)]; }
    const Sound_Attenuator& output(Sound_Output o) const {
        return outputs[static_cast<std::size_t>(o)];
    }
};

// Whole dB of the volume and the outputs (-79..+15) and their 7-bit code: 0..15 dB are
// codes 0x00..0x0F, -1..-79 dB are 0x11..0x5F; anything else is -79 dB (0x5F).
std::uint8_t encode_attenuation(int db);
// Codes 0..15 are gains, 16..95 attenuations from 0 to -79 dB, 96..127 read as -79 dB.
int decode_attenuation(std::uint8_t code);

// Whole dB of treble, middle and bass (-15..+15) and their 5-bit code: +1..+15 dB are
// 17..31, 0..-15 dB are 0..15; anything else is 0 dB (0).
std::uint8_t encode_tone_gain(int db);
// Codes 0..15 are 0..-15 dB, 16..31 are 0..+15 dB.
int decode_tone_gain(std::uint8_t code);

// The register bytes, each from its fields. Every field is taken at its own width.
std::uint8_t build_main_source_byte(std::uint8_t input_code, std::uint8_t gain, bool autozero_off);
std::uint8_t build_soft_mute_byte(bool soft_mute_off);
// A muted volume has bits 5 and 6 set.
std::uint8_t build_volume_byte(std::uint8_t code, bool bit7, bool mute);
// Treble (centre index), middle or bass (Q index).
std::uint8_t build_tone_byte(std::uint8_t gain_code, std::uint8_t index);
std::uint8_t build_second_source_byte(std::uint8_t input_code, std::uint8_t gain,
                                      std::uint8_t rear_source_index);
std::uint8_t build_frequency_byte(std::uint8_t cutoff_index, std::uint8_t middle_center_index,
                                  std::uint8_t bass_center_index, bool bit6, bool bit7);
// An output register; a muted one is code | 0xE0.
std::uint8_t build_speaker_byte(std::uint8_t code, bool mute);

// Every field from an image read from the board.
Sound_Fields decode_sound_image(const Sound_Image& image);

// Writes the register at `byte` (one of sound_byte::) from `fields` into `image`; every
// other byte of the image stays as it is.
void recompose_sound_byte(const Sound_Fields& fields, std::size_t byte, Sound_Image& image);
