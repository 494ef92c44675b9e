// The sound image as the board reports it: decoding keeps every field within its width, the
// register bytes the host edits come back from their fields with every bit the fields do not
// fix kept as read, the bytes it does not edit stay untouched, and the dB codes turn back into
// the same levels.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "sound/sound_codec.h"

namespace {

constexpr int min_attenuation_db = -79;
constexpr int max_gain_db = 15;
constexpr std::uint8_t max_input_code = 7;
constexpr std::uint8_t max_gain = 15;
constexpr std::uint8_t max_index = 3;
constexpr std::uint8_t max_code7 = 127;
constexpr std::uint8_t max_code5 = 31;

// The register bytes the host edits, and the bits of each that the codec writes the same way
// whatever was read: soft mute and hard mute are one flag in bit 0, bit 7 of the tone
// registers and outputs is always set. Every other bit of the image is kept as read.
struct Edited {
    std::size_t byte;
    std::uint8_t fixed_bits;
};
constexpr std::array<Edited, 14> edited{{
    {sound_byte::main_source, 0x00},
    {sound_byte::soft_mute, 0xFE},
    {sound_byte::volume, 0x00},
    {sound_byte::treble, 0x80},
    {sound_byte::middle, 0x80},
    {sound_byte::bass, 0x80},
    {sound_byte::second_source, 0x00},
    {sound_byte::frequencies, 0x00},
    {sound_byte::front_left, 0x80},
    {sound_byte::front_right, 0x80},
    {sound_byte::rear_left, 0x80},
    {sound_byte::rear_right, 0x80},
    {sound_byte::subwoofer, 0x80},
    {sound_byte::hard_mute, 0xFE},
}};

std::uint8_t fixed_bits(std::size_t byte) {
    const auto e = std::find_if(edited.begin(), edited.end(),
                                [byte](const Edited& x) { return x.byte == byte; });
    return e == edited.end() ? 0 : e->fixed_bits;
}

Sound_Image recompose_all(const Sound_Fields& fields, Sound_Image image) {
    for (const Edited& e : edited) {
        recompose_sound_byte(fields, e.byte, image);
    }
    return image;
}

void check_fields(const Sound_Fields& f) {
    FUZZ_CHECK(f.main_input_code <= max_input_code && f.second_input_code <= max_input_code);
    FUZZ_CHECK(f.main_input_gain <= max_gain && f.second_input_gain <= max_gain);
    FUZZ_CHECK(f.volume_code <= max_code7);
    for (const Sound_Attenuator& a : f.outputs) {
        FUZZ_CHECK(a.code <= max_code7);
    }
    FUZZ_CHECK(f.treble_gain_code <= max_code5 && f.middle_gain_code <= max_code5 &&
               f.bass_gain_code <= max_code5);
    for (const std::uint8_t index :
         {f.treble_center_index, f.middle_center_index, f.bass_center_index, f.middle_q_index,
          f.bass_q_index, f.subwoofer_cutoff_index}) {
        FUZZ_CHECK(index <= max_index);
    }
    FUZZ_CHECK(f.rear_source_index <= 1);
    for (const std::uint8_t code : {f.main_input_code, f.second_input_code}) {
        const int input = source_code::input_of(code);
        FUZZ_CHECK(input >= -1 && input < static_cast<int>(source_code::inputs.size()));
        FUZZ_CHECK(input == -1 || source_code::inputs[static_cast<std::size_t>(input)] == code);
    }
}

void check_levels(std::uint8_t code, int db) {
    const int attenuation = decode_attenuation(code);
    FUZZ_CHECK(attenuation >= min_attenuation_db && attenuation <= max_gain_db);
    FUZZ_CHECK(decode_attenuation(encode_attenuation(attenuation)) == attenuation);
    const bool attenuation_in_range = db >= min_attenuation_db && db <= max_gain_db;
    FUZZ_CHECK(decode_attenuation(encode_attenuation(db)) ==
               (attenuation_in_range ? db : min_attenuation_db));

    const int tone = decode_tone_gain(code);
    FUZZ_CHECK(tone >= -max_gain_db && tone <= max_gain_db);
    FUZZ_CHECK(decode_tone_gain(encode_tone_gain(tone)) == tone);
    const bool tone_in_range = db >= -max_gain_db && db <= max_gain_db;
    FUZZ_CHECK(decode_tone_gain(encode_tone_gain(db)) == (tone_in_range ? db : 0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Sound_Image image{};
    std::copy_n(data, std::min(size, image.size()), image.begin());

    const Sound_Fields fields = decode_sound_image(image);
    check_fields(fields);

    const Sound_Image written = recompose_all(fields, image);
    for (std::size_t b = 0; b < image.size(); ++b) {
        FUZZ_CHECK(((written[b] ^ image[b]) & ~fixed_bits(b) & 0xFF) == 0);
    }
    // Written once, the image is what the codec writes: it reads and writes back the same.
    FUZZ_CHECK(recompose_all(decode_sound_image(written), written) == written);

    // A level byte after the image, and the same byte as a signed dB value.
    if (size > image.size()) {
        const std::uint8_t byte = data[image.size()];
        check_levels(byte, static_cast<std::int8_t>(byte));
    }
    return 0;
}
