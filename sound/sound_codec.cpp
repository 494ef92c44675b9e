#include "sound/sound_codec.h"

namespace {

constexpr int max_gain_db = 15; // attenuators and tone controls
constexpr int min_attenuation_db = -79;
constexpr int attenuation_zero = 16;             // code of 0 dB attenuation; code = 16 - dB below 0
constexpr std::uint8_t attenuation_floor = 0x5F; // -79 dB
constexpr std::uint8_t tone_boost_base = 16;     // code = 16 + dB above 0

constexpr std::uint8_t code7_mask = 0x7F;
constexpr std::uint8_t code5_mask = 0x1F;
constexpr std::uint8_t input_mask = 0x07;
constexpr std::uint8_t gain_mask = 0x0F;
constexpr std::uint8_t index_mask = 0x03;
constexpr std::uint8_t bit0 = 0x01;
constexpr std::uint8_t bit7 = 0x80;
constexpr std::uint8_t mute_bits = 0x60; // bits 5 and 6: the mute range of a 7-bit code
constexpr std::uint8_t soft_mute_on = 0xFE;

constexpr int gain_shift = 3;
constexpr int tone_index_shift = 5;
constexpr int middle_center_shift = 2;
constexpr int bass_center_shift = 4;
constexpr int bit6_shift = 6;
constexpr int bit7_shift = 7;

constexpr std::uint8_t byte_of(unsigned value) {
    return static_cast<std::uint8_t>(value);
}
constexpr bool bit_set(std::uint8_t byte, int shift) {
    return ((byte >> shift) & bit0) != 0;
}
constexpr bool muted(std::uint8_t byte) {
    return (byte & mute_bits) == mute_bits;
}
constexpr std::uint8_t field(std::uint8_t byte, int shift, std::uint8_t mask) {
    return byte_of((byte >> shift) & mask);
}

Sound_Attenuator decode_speaker(std::uint8_t byte) {
    return {byte_of(byte & code7_mask), muted(byte)};
}

} // namespace

std::uint8_t encode_attenuation(int db) {
    if (db >= 0 && db <= max_gain_db) {
        return byte_of(static_cast<unsigned>(db));
    }
    if (db >= min_attenuation_db && db < 0) {
        return byte_of(static_cast<unsigned>(attenuation_zero - db));
    }
    return attenuation_floor;
}

int decode_attenuation(std::uint8_t code) {
    const int c = code & code7_mask;
    if (c < attenuation_zero) {
        return c;
    }
    if (c <= attenuation_floor) {
        return attenuation_zero - c;
    }
    return min_attenuation_db;
}

std::uint8_t encode_tone_gain(int db) {
    if (db >= 1 && db <= max_gain_db) {
        return byte_of(static_cast<unsigned>(tone_boost_base + db));
    }
    if (db >= -max_gain_db && db <= 0) {
        return byte_of(static_cast<unsigned>(-db));
    }
    return 0;
}

int decode_tone_gain(std::uint8_t code) {
    const int c = code & code5_mask;
    return c < tone_boost_base ? -c : c - tone_boost_base;
}

std::uint8_t build_main_source_byte(std::uint8_t input_code, std::uint8_t gain, bool autozero_off) {
    return byte_of((input_code & input_mask) | (gain & gain_mask) << gain_shift |
                   unsigned{autozero_off} << bit7_shift);
}

std::uint8_t build_soft_mute_byte(bool soft_mute_off) {
    return byte_of(soft_mute_on | unsigned{soft_mute_off});
}

std::uint8_t build_volume_byte(std::uint8_t code, bool bit7_set, bool mute) {
    const unsigned byte = (code & code7_mask) | unsigned{bit7_set} << bit7_shift;
    return byte_of(mute ? byte | mute_bits : byte);
}

std::uint8_t build_tone_byte(std::uint8_t gain_code, std::uint8_t index) {
    return byte_of((gain_code & code5_mask) | (index & index_mask) << tone_index_shift | bit7);
}

std::uint8_t build_second_source_byte(std::uint8_t input_code, std::uint8_t gain,
                                      std::uint8_t rear_source_index) {
    return byte_of((input_code & input_mask) | (gain & gain_mask) << gain_shift |
                   (rear_source_index & bit0) << bit7_shift);
}

std::uint8_t build_frequency_byte(std::uint8_t cutoff_index, std::uint8_t middle_center_index,
                                  std::uint8_t bass_center_index, bool bit6, bool bit7_set) {
    return byte_of((cutoff_index & index_mask) |
                   (middle_center_index & index_mask) << middle_center_shift |
                   (bass_center_index & index_mask) << bass_center_shift |
                   unsigned{bit6} << bit6_shift | unsigned{bit7_set} << bit7_shift);
}

std::uint8_t build_speaker_byte(std::uint8_t code, bool mute) {
    const unsigned byte = (code & code7_mask) | bit7;
    return byte_of(mute ? byte | mute_bits : byte);
}

Sound_Fields decode_sound_image(const Sound_Image& image) {
    Sound_Fields f;
    const std::uint8_t main = image[sound_byte::main_source];
    f.main_input_code = field(main, 0, input_mask);
    f.main_input_gain = field(main, gain_shift, gain_mask);
    f.autozero_off = bit_set(main, bit7_shift);

    f.soft_mute_off = bit_set(image[sound_byte::soft_mute], 0);

    const std::uint8_t volume = image[sound_byte::volume];
    f.volume_bit7 = bit_set(volume, bit7_shift);
    f.volume_mute = muted(volume);
    f.volume_code = field(volume, 0, code7_mask);

    const std::uint8_t treble = image[sound_byte::treble];
    f.treble_gain_code = field(treble, 0, code5_mask);
    f.treble_center_index = field(treble, tone_index_shift, index_mask);
    const std::uint8_t middle = image[sound_byte::middle];
    f.middle_gain_code = field(middle, 0, code5_mask);
    f.middle_q_index = field(middle, tone_index_shift, index_mask);
    const std::uint8_t bass = image[sound_byte::bass];
    f.bass_gain_code = field(bass, 0, code5_mask);
    f.bass_q_index = field(bass, tone_index_shift, index_mask);

    const std::uint8_t second = image[sound_byte::second_source];
    f.second_input_code = field(second, 0, input_mask);
    f.second_input_gain = field(second, gain_shift, gain_mask);
    f.rear_source_index = field(second, bit7_shift, bit0);

    const std::uint8_t freq = image[sound_byte::frequencies];
    f.subwoofer_cutoff_index = field(freq, 0, index_mask);
    f.middle_center_index = field(freq, middle_center_shift, index_mask);
    f.bass_center_index = field(freq, bass_center_shift, index_mask);
    f.freq_bit6 = bit_set(freq, bit6_shift);
    f.freq_bit7 = bit_set(freq, bit7_shift);

    for (std::size_t k = 0; k < sound_output_count; ++k) {
        f.outputs[k] = decode_speaker(image[output_register[k]]);
    }
    f.hard_mute = bit_set(image[sound_byte::hard_mute], 0);
    return f;
}

void recompose_sound_byte(const Sound_Fields& f, std::size_t byte, Sound_Image& image) {
    std::uint8_t& b = image[byte];
    switch (byte) {
    case sound_byte::main_source:
        b = build_main_source_byte(f.main_input_code, f.main_input_gain, f.autozero_off);
        return;
    case sound_byte::soft_mute:
        b = build_soft_mute_byte(f.soft_mute_off);
        return;
    case sound_byte::volume:
        b = build_volume_byte(f.volume_code, f.volume_bit7, f.volume_mute);
        return;
    case sound_byte::treble:
        b = build_tone_byte(f.treble_gain_code, f.treble_center_index);
        return;
    case sound_byte::middle:
        b = build_tone_byte(f.middle_gain_code, f.middle_q_index);
        return;
    case sound_byte::bass:
        b = build_tone_byte(f.bass_gain_code, f.bass_q_index);
        return;
    case sound_byte::second_source:
        b = build_second_source_byte(f.second_input_code, f.second_input_gain, f.rear_source_index);
        return;
    case sound_byte::frequencies:
        b = build_frequency_byte(f.subwoofer_cutoff_index, f.middle_center_index,
                                 f.bass_center_index, f.freq_bit6, f.freq_bit7);
        return;
    case sound_byte::hard_mute:
        b = f.hard_mute ? 1 : 0;
        return;
    default:
        break;
    }
    for (std::size_t k = 0; k < sound_output_count; ++k) {
        if (byte == output_register[k]) {
            b = build_speaker_byte(f.outputs[k].code, f.outputs[k].mute);
        }
    }
}
