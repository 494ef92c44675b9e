// The sound and brightness tabs against the in-process board: the sound image read at
// connection and written back on every pass, the bytes each handler composes, the
// read-back rules, and the brightness curve, manual mode and the curve's picture.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QtTest>

#include "brightness/curve_plot.h"
#include "poll_fixture.h"
#include "protocol/commands.h"
#include "sound/sound_codec.h"

namespace {

// Puts an image into the board as if a host had written it.
void seed(Test_Board& board, std::uint8_t code, const std::array<std::uint8_t, 37>& image) {
    board::Report request{};
    request[board::report_command_offset] = code;
    std::copy(image.begin(), image.end(), request.begin() + board::report_payload_offset);
    QVERIFY(board.model.answer(request, board.now_ms).has_value());
}

Sound_Image written_sound(const Poll_Fixture& f) {
    Sound_Image image{};
    const auto& payload = f.last(CMD_WRITE_SOUND).payload;
    std::copy_n(payload.begin(), image.size(), image.begin());
    return image;
}

// The bytes where two images differ.
std::vector<std::size_t> differing(const Sound_Image& a, const Sound_Image& b) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            at.push_back(i);
        }
    }
    return at;
}

// Connects and runs the first cycle against a board holding `image`.
void connect_with_sound(Poll_Fixture& f, const Sound_Image& image) {
    seed(*f.board, CMD_WRITE_SOUND, image);
    f.board->exchanges.clear();
    f.cycle();
}

void reconnect(Poll_Fixture& f) {
    f.window.hid.close();
    f.window.hid.open();
    f.cycle();
}

} // namespace

class Tst_Sound_Brightness_Window : public QObject {
    Q_OBJECT

private slots:
    void sound_image_goes_back_byte_identical();
    void handler_composes_its_byte_data();
    void handler_composes_its_byte();
    void volume_keeps_bit7_data();
    void volume_keeps_bit7();
    void primary_source_radio_and_autozero();
    void secondary_source_mute();
    void read_back_checks_source_buttons_data();
    void read_back_checks_source_buttons();
    void soft_mute_read_back_data();
    void soft_mute_read_back();
    void unmuting_a_muted_read_keeps_the_mute_range();

    void curve_read_back();
    void point_percentages_data();
    void point_percentages();
    void smoothing_disables_step_delay_data();
    void smoothing_disables_step_delay();
    void apply_sends_the_curve();
    void manual_mode_starts_at_present_value();
    void curve_picture_follows_controls_and_board();
};

// Untouched bytes, odd register contents and registers in the mute range all go back as
// read, on every pass; the read-back moves sliders without touching a byte.
void Tst_Sound_Brightness_Window::sound_image_goes_back_byte_identical() {
    Sound_Image image{};
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(0x5A ^ (i * 29));
    }
    image[sound_byte::soft_mute] = 0xFF;  // soft mute off: the box stays as it is
    image[sound_byte::volume] = 0xF5;     // muted, bit 7: the slider goes to -79
    image[sound_byte::front_left] = 0xF1; // muted: the slider goes to -79
    image[sound_byte::treble] = 0x90;     // 0 dB by its second code
    image[sound_byte::hard_mute] = 0;
    Poll_Fixture f;
    connect_with_sound(f, image);
    QCOMPARE(written_sound(f), image);
    QCOMPARE(f.board->model.sound_image(), image);
    QCOMPARE(f.control<QSlider>("volume_horizontalSlider")->value(), -79);
    QCOMPARE(f.control<QLineEdit>("volume_lineEdit")->text(), QStringLiteral("-79 db"));
    QCOMPARE(f.control<QLineEdit>("fl_lineEdit")->text(), QStringLiteral("-79 db"));
    QVERIFY(f.control<QCheckBox>("fl_mute_checkBox")->isChecked());
    QVERIFY(f.control<QCheckBox>("volume_mute_checkBox")->isChecked());

    QCOMPARE(f.cycle(), (Codes{CMD_READ_POWER, CMD_WRITE_SOUND, CMD_READ_PWM, CMD_CAN_STATUS}));
    QCOMPARE(written_sound(f), image);

    // One edit changes one byte.
    f.control<QSlider>("rr_horizontalSlider")->setValue(-1);
    f.cycle();
    QCOMPARE(differing(written_sound(f), image), std::vector<std::size_t>{sound_byte::rear_right});
    QCOMPARE(int{f.board->model.sound_image()[sound_byte::rear_right]}, 0x91);
}

void Tst_Sound_Brightness_Window::handler_composes_its_byte_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("value"); // slider value, selector index, 1 to check, or a click
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("expected");
    // From the board's factory image: input 1, soft mute off, volume -20 dB, tone flat,
    // secondary muted, outputs 0 dB, hard mute off.
    QTest::newRow("volume +15 dB") << "volume_horizontalSlider" << 15 << 7 << 0x0F;
    QTest::newRow("volume mute") << "volume_mute_checkBox" << 1 << 7 << 0x64;
    QTest::newRow("hard mute") << "hard_mute_checkBox" << 1 << 36 << 1;
    QTest::newRow("soft mute") << "soft_mute_checkBox" << 1 << 5 << 0xFE;
    QTest::newRow("primary gain 15") << "input_gain_horizontalSlider" << 15 << 1 << 0x7B;
    QTest::newRow("input 2") << "input_2_radioButton" << 1 << 1 << 0x00;
    QTest::newRow("AutoZero off") << "autozero_checkBox" << 0 << 1 << 0x83;
    QTest::newRow("secondary input 3") << "sec_input_3_radioButton" << 1 << 15 << 0x01;
    QTest::newRow("secondary gain 15") << "sec_input_gain_horizontalSlider" << 15 << 15 << 0x7F;
    QTest::newRow("rear from secondary") << "rear_speaker_source_comboBox" << 1 << 15 << 0x87;
    QTest::newRow("front left -79 dB") << "fl_horizontalSlider" << -79 << 21 << 0xDF;
    QTest::newRow("front right -1 dB") << "fr_horizontalSlider" << -1 << 23 << 0x91;
    QTest::newRow("rear left +15 dB") << "rl_horizontalSlider" << 15 << 25 << 0x8F;
    QTest::newRow("rear right mute") << "rr_mute_checkBox" << 1 << 27 << 0xF0;
    QTest::newRow("subwoofer -20 dB") << "sub_horizontalSlider" << -20 << 31 << 0xA4;
    QTest::newRow("subwoofer mute") << "sub_mute_checkBox" << 1 << 31 << 0xF0;
    QTest::newRow("treble +3 dB") << "treble_gain_horizontalSlider" << 3 << 9 << 0x93;
    QTest::newRow("treble 12.5 kHz") << "treble_cf_comboBox" << 1 << 9 << 0xA0;
    QTest::newRow("middle -15 dB") << "middle_gain_horizontalSlider" << -15 << 11 << 0x8F;
    QTest::newRow("middle Q 1.25") << "middle_qf_comboBox" << 3 << 11 << 0xE0;
    QTest::newRow("middle 1500 Hz") << "middle_cf_comboBox" << 2 << 17 << 0x08;
    QTest::newRow("bass +15 dB") << "bass_gain_horizontalSlider" << 15 << 13 << 0x9F;
    QTest::newRow("bass Q 1.5") << "bass_qf_comboBox" << 2 << 13 << 0xC0;
    QTest::newRow("bass 200 Hz") << "bass_cf_comboBox" << 3 << 17 << 0x30;
    QTest::newRow("cut-off 80 Hz") << "sub_cut_off_comboBox" << 1 << 17 << 0x01;
}

// A user's change reaches the board with the next pass and changes its byte alone.
void Tst_Sound_Brightness_Window::handler_composes_its_byte() {
    QFETCH(QString, control);
    QFETCH(int, value);
    QFETCH(int, byte);
    QFETCH(int, expected);
    Poll_Fixture f;
    f.cycle();
    const Sound_Image before = f.board->model.sound_image();
    QObject* c = f.window.findChild<QObject*>(control);
    QVERIFY(c);
    if (auto* slider = qobject_cast<QSlider*>(c)) {
        slider->setValue(value);
    } else if (auto* combo = qobject_cast<QComboBox*>(c)) {
        combo->setCurrentIndex(value);
    } else if (auto* radio = qobject_cast<QRadioButton*>(c)) {
        radio->click();
    } else if (auto* box = qobject_cast<QCheckBox*>(c)) {
        box->setChecked(value != 0);
    }
    f.cycle();
    const Sound_Image after = f.board->model.sound_image();
    QCOMPARE(int{after[static_cast<std::size_t>(byte)]}, expected);
    QCOMPARE(differing(after, before), std::vector<std::size_t>{static_cast<std::size_t>(byte)});
}

void Tst_Sound_Brightness_Window::volume_keeps_bit7_data() {
    QTest::addColumn<int>("read");
    QTest::addColumn<int>("at_minus_20");
    QTest::addColumn<int>("muted");
    QTest::newRow("bit 7 clear") << 0x00 << 0x24 << 0x64;
    QTest::newRow("bit 7 set") << 0x80 << 0xA4 << 0xE4;
}

void Tst_Sound_Brightness_Window::volume_keeps_bit7() {
    QFETCH(int, read);
    QFETCH(int, at_minus_20);
    QFETCH(int, muted);
    Poll_Fixture f;
    Sound_Image image = f.board->model.sound_image();
    image[sound_byte::volume] = static_cast<std::uint8_t>(read);
    connect_with_sound(f, image);
    f.control<QSlider>("volume_horizontalSlider")->setValue(-20);
    QCOMPARE(f.control<QLineEdit>("volume_lineEdit")->text(), QStringLiteral("-20 db"));
    f.cycle();
    QCOMPARE(int{written_sound(f)[sound_byte::volume]}, at_minus_20);
    f.control<QCheckBox>("volume_mute_checkBox")->setChecked(true);
    f.cycle();
    QCOMPARE(int{written_sound(f)[sound_byte::volume]}, muted);
}

void Tst_Sound_Brightness_Window::primary_source_radio_and_autozero() {
    Poll_Fixture f;
    Sound_Image image = f.board->model.sound_image();
    image[sound_byte::main_source] = build_main_source_byte(source_code::input_2, 6, false);
    connect_with_sound(f, image);
    QVERIFY(f.control<QRadioButton>("input_2_radioButton")->isChecked());
    QVERIFY(f.control<QCheckBox>("autozero_checkBox")->isChecked());
    QCOMPARE(f.control<QSlider>("input_gain_horizontalSlider")->value(), 6);
    QCOMPARE(f.control<QLineEdit>("input_lineEdit")->text(), QStringLiteral("6 db"));
    for (const char* name : {"input_1_radioButton", "input_4_radioButton",
                             "sec_input_1_radioButton", "sec_input_4_radioButton"}) {
        QVERIFY2(!f.control<QRadioButton>(name)->isEnabled(), name);
    }

    f.control<QRadioButton>("input_3_radioButton")->click();
    f.cycle();
    QCOMPARE(int{written_sound(f)[sound_byte::main_source]}, 0x31);
    f.control<QCheckBox>("autozero_checkBox")->setChecked(false);
    f.cycle();
    QCOMPARE(int{written_sound(f)[sound_byte::main_source]}, 0xB1);
}

void Tst_Sound_Brightness_Window::secondary_source_mute() {
    Poll_Fixture f;
    Sound_Image image = f.board->model.sound_image();
    image[sound_byte::second_source] = build_second_source_byte(source_code::input_2, 0, 1);
    connect_with_sound(f, image);
    QVERIFY(f.control<QRadioButton>("sec_input_2_radioButton")->isChecked());
    QCOMPARE(f.control<QComboBox>("rear_speaker_source_comboBox")->currentIndex(), 1);
    f.control<QRadioButton>("sec_input_mute_radioButton")->click();
    f.cycle();
    QCOMPARE(int{written_sound(f)[sound_byte::second_source]}, 0x87);
}

void Tst_Sound_Brightness_Window::read_back_checks_source_buttons_data() {
    QTest::addColumn<int>("main_code");
    QTest::addColumn<int>("second_code");
    QTest::addColumn<QString>("main_button"); // checked after the second connection
    QTest::addColumn<QString>("second_button");
    QTest::newRow("inputs 1") << 3 << 3 << "input_1_radioButton"
                              << "sec_input_1_radioButton";
    QTest::newRow("inputs 3 and 4") << 1 << 2 << "input_3_radioButton"
                                    << "sec_input_4_radioButton";
    QTest::newRow("codes 5") << 5 << 5 << "input_2_radioButton"
                             << "sec_input_mute_radioButton";
    QTest::newRow("codes 7") << 7 << 7 << "input_2_radioButton"
                             << "sec_input_mute_radioButton";
}

// The first connection reads inputs 2; the second reads the row's codes.
void Tst_Sound_Brightness_Window::read_back_checks_source_buttons() {
    QFETCH(int, main_code);
    QFETCH(int, second_code);
    QFETCH(QString, main_button);
    QFETCH(QString, second_button);
    Poll_Fixture f;
    Sound_Image image = f.board->model.sound_image();
    image[sound_byte::main_source] = source_code::input_2;
    image[sound_byte::second_source] = source_code::input_2;
    connect_with_sound(f, image);
    QVERIFY(f.control<QRadioButton>("input_2_radioButton")->isChecked());

    image[sound_byte::main_source] = static_cast<std::uint8_t>(main_code);
    image[sound_byte::second_source] = static_cast<std::uint8_t>(second_code);
    seed(*f.board, CMD_WRITE_SOUND, image);
    reconnect(f);
    QVERIFY(f.window.findChild<QRadioButton*>(main_button)->isChecked());
    QVERIFY(f.window.findChild<QRadioButton*>(second_button)->isChecked());
    QCOMPARE(written_sound(f), image); // no code is rewritten by the read-back
}

void Tst_Sound_Brightness_Window::soft_mute_read_back_data() {
    QTest::addColumn<bool>("checked_before");
    QTest::addColumn<int>("read");
    QTest::addColumn<bool>("checked_after");
    QTest::addColumn<int>("written");
    QTest::newRow("0x00, box was clear") << false << 0x00 << true << 0xFE;
    QTest::newRow("0x00, box was checked") << true << 0x00 << true << 0x00;
    QTest::newRow("0x01, box was checked") << true << 0x01 << false << 0xFF;
    QTest::newRow("0xFF, box was clear") << false << 0xFF << false << 0xFF;
}

// A read-back that changes the box rewrites the byte whole; one that leaves it keeps the
// byte as read.
void Tst_Sound_Brightness_Window::soft_mute_read_back() {
    QFETCH(bool, checked_before);
    QFETCH(int, read);
    QFETCH(bool, checked_after);
    QFETCH(int, written);
    Poll_Fixture f;
    auto* box = f.control<QCheckBox>("soft_mute_checkBox");
    box->setChecked(checked_before);
    Sound_Image image = f.board->model.sound_image();
    image[sound_byte::soft_mute] = static_cast<std::uint8_t>(read);
    connect_with_sound(f, image);
    QCOMPARE(box->isChecked(), checked_after);
    QCOMPARE(int{written_sound(f)[sound_byte::soft_mute]}, written);
}

void Tst_Sound_Brightness_Window::unmuting_a_muted_read_keeps_the_mute_range() {
    Poll_Fixture f;
    Sound_Image image = f.board->model.sound_image();
    image[sound_byte::front_left] = 0xF1;
    connect_with_sound(f, image);
    QCOMPARE(f.control<QSlider>("fl_horizontalSlider")->value(), -79);
    f.control<QCheckBox>("fl_mute_checkBox")->setChecked(false);
    f.cycle();
    QCOMPARE(int{written_sound(f)[sound_byte::front_left]}, 0xF1);
    f.control<QSlider>("fl_horizontalSlider")->setValue(-1);
    f.cycle();
    QCOMPARE(int{written_sound(f)[sound_byte::front_left]}, 0x91);
}

// The board's factory curve: lights 0, 50, 100, 200, 400, 700, 1000; values 56, 100, 170,
// 280, 400, 500, 564; step delay 2, slide delay 5, smoothing on.
void Tst_Sound_Brightness_Window::curve_read_back() {
    Poll_Fixture f;
    f.cycle();
    const std::array<int, 7> lights{0, 50, 100, 200, 400, 700, 1000};
    const std::array<int, 7> values{56, 100, 170, 280, 400, 500, 564};
    const QStringList percents{"9%", "17%", "30%", "49%", "70%", "88%", "100%"};
    auto* plot = f.window.findChild<Curve_Plot*>(QStringLiteral("curve_plot"));
    QVERIFY(plot);
    for (std::size_t n = 0; n < 7; ++n) {
        const QByteArray point = "auto_" + QByteArray::number(static_cast<int>(n) + 1);
        QCOMPARE(f.control<QSlider>(point + "_verticalSlider")->value(), values[n]);
        QCOMPARE(f.control<QSpinBox>(point + "_light_spinBox")->value(), lights[n]);
        QCOMPARE(f.control<QLineEdit>(point + "_lineEdit")->text(), percents[static_cast<int>(n)]);
        QCOMPARE(plot->points()[n], (Curve_Point{lights[n], values[n]}));
    }
    QCOMPARE(f.control<QSpinBox>("pwm_step_delay_spinBox")->value(), 2);
    QCOMPARE(f.control<QSpinBox>("pwm_slide_delay_spinBox")->value(), 5);
    QVERIFY(f.control<QCheckBox>("pwm_smooth_alg_checkBox")->isChecked());
    QVERIFY(!f.control<QPushButton>("pwm_apply_pushButton")->isEnabled());
}

void Tst_Sound_Brightness_Window::point_percentages_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("282") << 282 << "50%";
    QTest::newRow("564") << 564 << "100%";
    QTest::newRow("10") << 10 << "1%";
    QTest::newRow("0") << 0 << "0%";
}

void Tst_Sound_Brightness_Window::point_percentages() {
    QFETCH(int, value);
    QFETCH(QString, shown);
    Poll_Fixture f;
    f.cycle();
    f.control<QSlider>("auto_4_verticalSlider")->setValue(value);
    QCOMPARE(f.control<QLineEdit>("auto_4_lineEdit")->text(), shown);
    QVERIFY(f.control<QPushButton>("pwm_apply_pushButton")->isEnabled());
}

void Tst_Sound_Brightness_Window::smoothing_disables_step_delay_data() {
    QTest::addColumn<bool>("by_read_back");
    QTest::newRow("user") << false;
    QTest::newRow("read-back") << true;
}

void Tst_Sound_Brightness_Window::smoothing_disables_step_delay() {
    QFETCH(bool, by_read_back);
    Poll_Fixture f;
    auto* smoothing = f.control<QCheckBox>("pwm_smooth_alg_checkBox");
    auto* step_delay = f.control<QSpinBox>("pwm_step_delay_spinBox");
    auto* apply = f.control<QPushButton>("pwm_apply_pushButton");
    QVERIFY(!smoothing->isChecked());
    f.cycle(); // the board's curve has smoothing on
    if (!by_read_back) {
        smoothing->setChecked(false);
        QVERIFY(step_delay->isEnabled());
        apply->click();
        smoothing->setChecked(true);
    }
    QVERIFY(!step_delay->isEnabled());
    QCOMPARE(apply->isEnabled(), !by_read_back);

    smoothing->setChecked(false);
    QVERIFY(step_delay->isEnabled());
    QVERIFY(apply->isEnabled());
}

void Tst_Sound_Brightness_Window::apply_sends_the_curve() {
    Poll_Fixture f;
    f.cycle();
    const board::Pwm_Image as_read = f.board->model.pwm_image();
    f.control<QSpinBox>("auto_3_light_spinBox")->setValue(1023);
    f.control<QSlider>("auto_3_verticalSlider")->setValue(300);
    f.control<QSpinBox>("pwm_slide_delay_spinBox")->setValue(9);
    f.control<QCheckBox>("pwm_smooth_alg_checkBox")->setChecked(false);
    auto* apply = f.control<QPushButton>("pwm_apply_pushButton");
    apply->click();
    QVERIFY(!apply->isEnabled());

    const auto& sent = f.last(CMD_WRITE_PWM_CONFIG).payload;
    QCOMPARE(int{sent[9]}, 0x03);
    QCOMPARE(int{sent[10]}, 0xFF);
    QCOMPARE(int{sent[23]}, 0x01);
    QCOMPARE(int{sent[24]}, 0x2C);
    QCOMPARE(int{sent[34]}, 9);
    QCOMPARE(int{sent[35]}, 0);
    for (const std::size_t b : {0U, 1U, 2U, 3U, 4U, 36U}) {
        QCOMPARE(sent[b], as_read[b]); // as last read
    }
    const board::Pwm_Image stored = f.board->model.pwm_image();
    QVERIFY(std::equal(stored.begin() + 5, stored.end(), sent.begin() + 5));

    // Nothing is sent without the board; the edit waits in the window.
    f.window.hid.close();
    const std::size_t before = f.board->exchanges.size();
    f.control<QSlider>("auto_1_verticalSlider")->setValue(20);
    apply->click();
    QCOMPARE(f.board->exchanges.size(), before);
}

// Manual mode starts from the board's present value, each time it is switched on, and the
// poll then sends that value.
void Tst_Sound_Brightness_Window::manual_mode_starts_at_present_value() {
    Poll_Fixture f;
    auto* manual = f.control<QGroupBox>("pwm_groupBox");
    auto* slider = f.control<QSlider>("pwm_width_horizontalSlider");
    auto* automatic = f.control<QGroupBox>("auto_groupBox");
    for (const int light : {300, 800}) {
        f.board->model.set_light_level(light);
        f.cycle();
        const int present = f.board->model.present_pwm();
        manual->setChecked(true);
        QCOMPARE(slider->value(), present);
        QVERIFY(!automatic->isEnabled());
        f.cycle();
        const std::array<std::uint8_t, 2> expected = encode_set_pwm(present);
        QCOMPARE(f.last(CMD_SET_PWM).payload[0], expected[0]);
        QCOMPARE(f.last(CMD_SET_PWM).payload[1], expected[1]);
        QCOMPARE(f.board->model.present_pwm(), present); // no jump
        manual->setChecked(false);
        QVERIFY(automatic->isEnabled());
        f.cycle();
    }
}

void Tst_Sound_Brightness_Window::curve_picture_follows_controls_and_board() {
    Poll_Fixture f;
    f.cycle();
    auto* plot = f.window.findChild<Curve_Plot*>(QStringLiteral("curve_plot"));
    QVERIFY(plot);
    plot->resize(plot->sizeHint());
    const QImage before = plot->grab().toImage();

    f.control<QSlider>("auto_3_verticalSlider")->setValue(300);
    f.control<QSpinBox>("auto_5_light_spinBox")->setValue(450);
    QCOMPARE(plot->points()[2].pwm, 300);
    QCOMPARE(plot->points()[4].light, 450);
    QVERIFY(plot->grab().toImage() != before);

    f.board->model.set_light_level(600);
    f.cycle();
    QCOMPARE(plot->present_light(), 600);
    QCOMPARE(plot->present_pwm(), f.board->model.present_pwm());
    QCOMPARE(f.control<QLineEdit>("brightness_lineEdit")->text(),
             brightness_percent(f.board->model.present_pwm()));
}

QTEST_MAIN(Tst_Sound_Brightness_Window)
#include "tst_sound_brightness_window.moc"
