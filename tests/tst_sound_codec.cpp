// The sound register codec: both numeric codecs at their limits, the register bytes the
// fields compose to, the read of a register and its recomposition, and the bytes the host
// never edits.
#include <QtTest>

#include "sound/sound_codec.h"

namespace {

// Every byte the host never edits.
constexpr std::array<std::size_t, 23> untouched{0,  2,  3,  4,  6,  8,  10, 12, 14, 16, 18, 19,
                                                20, 22, 24, 26, 28, 29, 30, 32, 33, 34, 35};

constexpr std::array<std::size_t, 14> registers{
    sound_byte::main_source,   sound_byte::soft_mute,   sound_byte::volume,
    sound_byte::treble,        sound_byte::middle,      sound_byte::bass,
    sound_byte::second_source, sound_byte::frequencies, sound_byte::front_left,
    sound_byte::front_right,   sound_byte::rear_left,   sound_byte::rear_right,
    sound_byte::subwoofer,     sound_byte::hard_mute};

Sound_Image recompose_all(const Sound_Image& read) {
    const Sound_Fields fields = decode_sound_image(read);
    Sound_Image image = read;
    for (const std::size_t byte : registers) {
        recompose_sound_byte(fields, byte, image);
    }
    return image;
}

} // namespace

class Tst_Sound_Codec : public QObject {
    Q_OBJECT

private slots:
    void attenuation_data();
    void attenuation();
    void decode_attenuation_codes_data();
    void decode_attenuation_codes();
    void tone_gain_data();
    void tone_gain();
    void decode_tone_gain_codes_data();
    void decode_tone_gain_codes();
    void codecs_round_trip_the_control_ranges();
    void composed_bytes_data();
    void composed_bytes();
    void muted_output_read_back_stays_muted();
    void muted_volume_read_back();
    void frequency_bits_six_and_seven_survive();
    void soft_mute_byte_is_rewritten_whole_data();
    void soft_mute_byte_is_rewritten_whole();
    void untouched_bytes_pass_through_data();
    void untouched_bytes_pass_through();
};

void Tst_Sound_Codec::attenuation_data() {
    QTest::addColumn<int>("db");
    QTest::addColumn<int>("code");
    QTest::newRow("+15 dB") << 15 << 0x0F;
    QTest::newRow("0 dB") << 0 << 0x00;
    QTest::newRow("-1 dB") << -1 << 0x11;
    QTest::newRow("-20 dB") << -20 << 0x24;
    QTest::newRow("-79 dB") << -79 << 0x5F;
    QTest::newRow("+16 dB, out of range") << 16 << 0x5F;
    QTest::newRow("-80 dB, out of range") << -80 << 0x5F;
}

void Tst_Sound_Codec::attenuation() {
    QFETCH(int, db);
    QFETCH(int, code);
    QCOMPARE(int{encode_attenuation(db)}, code);
}

void Tst_Sound_Codec::decode_attenuation_codes_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("db");
    QTest::newRow("0x0F gain") << 0x0F << 15;
    QTest::newRow("0x10 no attenuation") << 0x10 << 0;
    QTest::newRow("0x11") << 0x11 << -1;
    QTest::newRow("0x5F") << 0x5F << -79;
    QTest::newRow("0x60 mute range") << 0x60 << -79;
    QTest::newRow("0x71 muted -1 dB") << 0x71 << -79;
    QTest::newRow("0x7F") << 0x7F << -79;
}

void Tst_Sound_Codec::decode_attenuation_codes() {
    QFETCH(int, code);
    QFETCH(int, db);
    QCOMPARE(decode_attenuation(static_cast<std::uint8_t>(code)), db);
}

void Tst_Sound_Codec::tone_gain_data() {
    QTest::addColumn<int>("db");
    QTest::addColumn<int>("code");
    QTest::newRow("0 dB") << 0 << 0x00;
    QTest::newRow("+1 dB") << 1 << 0x11;
    QTest::newRow("+15 dB") << 15 << 0x1F;
    QTest::newRow("-1 dB") << -1 << 0x01;
    QTest::newRow("-15 dB") << -15 << 0x0F;
    QTest::newRow("+16 dB, out of range") << 16 << 0x00;
    QTest::newRow("-16 dB, out of range") << -16 << 0x00;
}

void Tst_Sound_Codec::tone_gain() {
    QFETCH(int, db);
    QFETCH(int, code);
    QCOMPARE(int{encode_tone_gain(db)}, code);
}

void Tst_Sound_Codec::decode_tone_gain_codes_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("db");
    QTest::newRow("0x00") << 0x00 << 0;
    QTest::newRow("0x10 also 0 dB") << 0x10 << 0;
    QTest::newRow("0x1F") << 0x1F << 15;
    QTest::newRow("0x0F") << 0x0F << -15;
}

void Tst_Sound_Codec::decode_tone_gain_codes() {
    QFETCH(int, code);
    QFETCH(int, db);
    QCOMPARE(decode_tone_gain(static_cast<std::uint8_t>(code)), db);
}

void Tst_Sound_Codec::codecs_round_trip_the_control_ranges() {
    for (int db = -79; db <= 15; ++db) {
        const std::uint8_t code = encode_attenuation(db);
        QVERIFY2(code != 0x10, "0 dB has one code only");
        QCOMPARE(decode_attenuation(code), db);
    }
    for (int db = -15; db <= 15; ++db) {
        QCOMPARE(decode_tone_gain(encode_tone_gain(db)), db);
    }
}

void Tst_Sound_Codec::composed_bytes_data() {
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("expected");
    const auto row = [](const char* name, std::uint8_t byte, int expected) {
        QTest::newRow(name) << int{byte} << expected;
    };
    row("front left -1 dB", build_speaker_byte(encode_attenuation(-1), false), 0x91);
    row("front left -1 dB muted", build_speaker_byte(encode_attenuation(-1), true), 0xF1);
    row("subwoofer 0 dB", build_speaker_byte(encode_attenuation(0), false), 0x80);
    row("volume +15 dB, bit 7", build_volume_byte(encode_attenuation(15), true, false), 0x8F);
    row("volume +15 dB, bit 7, muted", build_volume_byte(encode_attenuation(15), true, true), 0xEF);
    row("volume -20 dB", build_volume_byte(encode_attenuation(-20), false, false), 0x24);
    row("volume -20 dB, bit 7", build_volume_byte(encode_attenuation(-20), true, false), 0xA4);
    row("volume -20 dB muted", build_volume_byte(encode_attenuation(-20), false, true), 0x64);
    row("soft mute on", build_soft_mute_byte(false), 0xFE);
    row("soft mute off", build_soft_mute_byte(true), 0xFF);
    row("treble +3 dB at 12.5 kHz", build_tone_byte(encode_tone_gain(3), 1), 0xB3);
    row("bass -15 dB, Q 2.0", build_tone_byte(encode_tone_gain(-15), 3), 0xEF);
    row("input 3, 6 dB, AutoZero on", build_main_source_byte(source_code::input_3, 6, false), 0x31);
    row("input 3, 6 dB, AutoZero off", build_main_source_byte(source_code::input_3, 6, true), 0xB1);
    row("input 1, 15 dB", build_main_source_byte(source_code::input_1, 15, false), 0x7B);
    row("secondary muted, 0 dB, rear secondary", build_second_source_byte(source_code::muted, 0, 1),
        0x87);
    row("secondary input 2, 15 dB, rear primary",
        build_second_source_byte(source_code::input_2, 15, 0), 0x78);
    row("cut-off 160 Hz, middle 2500 Hz, bass 200 Hz", build_frequency_byte(3, 3, 3, false, false),
        0x3F);
    row("frequency bits 6 and 7", build_frequency_byte(0, 0, 0, true, true), 0xC0);
}

void Tst_Sound_Codec::composed_bytes() {
    QFETCH(int, byte);
    QFETCH(int, expected);
    QCOMPARE(byte, expected);
}

// A muted register reads as muted at -79 dB; without the mute the code read keeps it in
// the mute range until a new level is encoded.
void Tst_Sound_Codec::muted_output_read_back_stays_muted() {
    Sound_Image image{};
    image[sound_byte::front_left] = 0xF1;
    Sound_Fields f = decode_sound_image(image);
    const Sound_Attenuator& fl = f.output(Sound_Output::front_left);
    QVERIFY(fl.mute);
    QCOMPARE(int{fl.code}, 0x71);
    QCOMPARE(decode_attenuation(fl.code), -79);

    f.output(Sound_Output::front_left).mute = false;
    recompose_sound_byte(f, sound_byte::front_left, image);
    QCOMPARE(int{image[sound_byte::front_left]}, 0xF1);

    f.output(Sound_Output::front_left).code = encode_attenuation(-1);
    recompose_sound_byte(f, sound_byte::front_left, image);
    QCOMPARE(int{image[sound_byte::front_left]}, 0x91);
}

void Tst_Sound_Codec::muted_volume_read_back() {
    Sound_Image image{};
    image[sound_byte::volume] = 0xEF;
    const Sound_Fields f = decode_sound_image(image);
    QVERIFY(f.volume_mute);
    QVERIFY(f.volume_bit7);
    QCOMPARE(decode_attenuation(f.volume_code), -79);

    image[sound_byte::volume] = 0xA4;
    const Sound_Fields unmuted = decode_sound_image(image);
    QVERIFY(!unmuted.volume_mute);
    QVERIFY(unmuted.volume_bit7);
    QCOMPARE(decode_attenuation(unmuted.volume_code), -20);
}

void Tst_Sound_Codec::frequency_bits_six_and_seven_survive() {
    Sound_Image image{};
    image[sound_byte::frequencies] = 0xC5;
    Sound_Fields f = decode_sound_image(image);
    QCOMPARE(int{f.subwoofer_cutoff_index}, 1);
    QCOMPARE(int{f.middle_center_index}, 1);
    QCOMPARE(int{f.bass_center_index}, 0);
    f.bass_center_index = 3;
    recompose_sound_byte(f, sound_byte::frequencies, image);
    QCOMPARE(int{image[sound_byte::frequencies]}, 0xF5);
}

void Tst_Sound_Codec::soft_mute_byte_is_rewritten_whole_data() {
    QTest::addColumn<int>("read");
    QTest::addColumn<bool>("soft_mute_off");
    QTest::addColumn<int>("written");
    QTest::newRow("0x00, on") << 0x00 << false << 0xFE;
    QTest::newRow("0x00, off") << 0x00 << true << 0xFF;
    QTest::newRow("0x5B, on") << 0x5B << false << 0xFE;
    QTest::newRow("0xFF, on") << 0xFF << false << 0xFE;
}

void Tst_Sound_Codec::soft_mute_byte_is_rewritten_whole() {
    QFETCH(int, read);
    QFETCH(bool, soft_mute_off);
    QFETCH(int, written);
    Sound_Image image{};
    image[sound_byte::soft_mute] = static_cast<std::uint8_t>(read);
    Sound_Fields f = decode_sound_image(image);
    QCOMPARE(f.soft_mute_off, (read & 1) != 0);
    f.soft_mute_off = soft_mute_off;
    recompose_sound_byte(f, sound_byte::soft_mute, image);
    QCOMPARE(int{image[sound_byte::soft_mute]}, written);
}

// An image read and every register recomposed from its fields: the bytes the host does not
// edit are byte-identical whatever the registers hold, and a register the host could have
// written itself comes back unchanged too.
void Tst_Sound_Codec::untouched_bytes_pass_through_data() {
    QTest::addColumn<Sound_Image>("read");
    QTest::addColumn<bool>("host_form");
    Sound_Image pattern{};
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        pattern[i] = static_cast<std::uint8_t>(0xA5 ^ (i * 37));
    }
    QTest::newRow("any bytes") << pattern << false;

    // Fixed bits set, soft mute 0xFE or 0xFF, hard mute 0 or 1.
    Sound_Image host_form = pattern;
    host_form[sound_byte::soft_mute] = 0xFE;
    for (const std::size_t b :
         {sound_byte::treble, sound_byte::middle, sound_byte::bass, sound_byte::front_left,
          sound_byte::front_right, sound_byte::rear_left, sound_byte::rear_right,
          sound_byte::subwoofer}) {
        host_form[b] |= 0x80;
    }
    host_form[sound_byte::hard_mute] = 1;
    host_form[sound_byte::front_right] = 0xF1; // muted
    host_form[sound_byte::volume] = 0xE4;      // muted, bit 7
    QTest::newRow("registers in host form") << host_form << true;
}

void Tst_Sound_Codec::untouched_bytes_pass_through() {
    QFETCH(Sound_Image, read);
    QFETCH(bool, host_form);
    const Sound_Image written = recompose_all(read);
    for (const std::size_t b : untouched) {
        QCOMPARE(written[b], read[b]);
    }
    if (host_form) {
        QCOMPARE(written, read);
    }
}

QTEST_MAIN(Tst_Sound_Codec)
#include "tst_sound_codec.moc"
