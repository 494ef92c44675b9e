// Steering-wheel buttons, key actions, hot keys and vehicle profiles in the window, against the
// in-process board: presses played on the board's bus become actions, the sound tokens move the
// sliders and the image the board gets, and the Volkswagen head unit talks to the display.
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "buttons_fixture.h"
#include "can/can_text.h"
#include "protocol/commands.h"
#include "sound/sound_codec.h"

namespace {

void hot_key(Widget& window, int id) {
    QMetaObject::invokeMethod(&window, "hot_key_pressed", Qt::DirectConnection, Q_ARG(int, id));
}

} // namespace

class Tst_Buttons_Window : public QObject {
    Q_OBJECT

private slots:
    void press_on_the_bus_runs_its_action_data();
    void press_on_the_bus_runs_its_action();
    void sound_token_reaches_the_board();
    void volume_step_data();
    void volume_step();
    void hot_keys_act_only_while_connected();
    void mode_buttons_and_head_unit_box();
    void volkswagen_head_unit_talks_to_the_display();
};

void Tst_Buttons_Window::press_on_the_bus_runs_its_action_data() {
    QTest::addColumn<QList<int>>("holds"); // hold, pause, hold, ... in ms
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("not_before_ms"); // after the first press began

    QTest::newRow("short") << QList<int>{200} << QStringLiteral("short text") << 700;
    QTest::newRow("double") << QList<int>{200, 200, 200} << QStringLiteral("double text") << 400;
    QTest::newRow("long") << QList<int>{1500} << QStringLiteral("long text") << 500;
}

// The board's bus plays a button of the "buttons" scenario (0x5C1, code 0x06 for vol_up); the
// window types what the row says, once.
void Tst_Buttons_Window::press_on_the_bus_runs_its_action() {
    QFETCH(QList<int>, holds);
    QFETCH(QString, action);
    QFETCH(int, not_before_ms);
    Buttons_Fixture f;
    f.add_row({"vol", "0x5c1", "0x6", "0x0", "short text", "double text", "long text", "0"});
    const std::int64_t start = f.board->now_ms;
    std::vector<board::Button_Hold> more;
    for (qsizetype k = 1; k + 1 < holds.size(); k += 2) {
        more.push_back({holds[k], holds[k + 1]});
    }
    QVERIFY(f.board->model.press_button("vol_up", holds[0], start, more));
    f.run_for(3000);
    QCOMPARE(f.typed.size(), 1);
    const QStringList fired = f.typed[0].split(QLatin1Char(':'));
    QCOMPARE(fired[1], action);
    const std::int64_t at = fired[0].toLongLong() - start;
    QVERIFY2(at >= not_before_ms && at <= not_before_ms + 2 * poll_ms, qPrintable(f.typed[0]));
}

void Tst_Buttons_Window::sound_token_reaches_the_board() {
    Buttons_Fixture f;
    f.add_row({"vol", "0x5c1", "0x6", "0x0", "{SndAmp_VOL_UP}", "", "", "0"});
    f.slider("volume_horizontalSlider")->setValue(-20);
    QVERIFY(f.board->model.press_button("vol_up", 100, f.board->now_ms));
    f.run_for(1500);
    QCOMPARE(f.slider("volume_horizontalSlider")->value(), -19);
    QCOMPARE(f.written_sound_byte(sound_byte::volume), std::uint8_t{0x23});
    QVERIFY(f.typed.isEmpty());
}

void Tst_Buttons_Window::volume_step_data() {
    QTest::addColumn<int>("rear_source");      // 0 primary, 1 secondary
    QTest::addColumn<QString>("second_input"); // radio button
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("front_left"); // before; the other four outputs at 0
    QTest::addColumn<int>("volume_after");
    QTest::addColumn<int>("front_left_after");
    QTest::addColumn<int>("rear_right_after");

    QTest::newRow("primary: master volume")
        << 0 << "sec_input_2_radioButton" << 1 << 0 << -19 << 0 << 0;
    QTest::newRow("secondary: the five outputs")
        << 1 << "sec_input_2_radioButton" << 1 << 0 << -20 << 1 << 1;
    QTest::newRow("secondary, one output at its maximum: none moves")
        << 1 << "sec_input_2_radioButton" << 1 << 15 << -20 << 15 << 0;
    QTest::newRow("secondary, one output at its minimum: none moves down")
        << 1 << "sec_input_2_radioButton" << -1 << -79 << -20 << -79 << 0;
    QTest::newRow("secondary muted: master volume")
        << 1 << "sec_input_mute_radioButton" << -1 << 0 << -21 << 0 << 0;
}

void Tst_Buttons_Window::volume_step() {
    QFETCH(int, rear_source);
    QFETCH(QString, second_input);
    QFETCH(int, step);
    QFETCH(int, front_left);
    QFETCH(int, volume_after);
    QFETCH(int, front_left_after);
    QFETCH(int, rear_right_after);
    Buttons_Fixture f;
    f.control<QComboBox>("rear_speaker_source_comboBox")->setCurrentIndex(rear_source);
    f.window.findChild<QRadioButton*>(second_input)->click();
    f.slider("volume_horizontalSlider")->setValue(-20);
    for (const char* name : {"fr_horizontalSlider", "rl_horizontalSlider", "rr_horizontalSlider",
                             "sub_horizontalSlider"}) {
        f.slider(name)->setValue(0);
    }
    f.slider("fl_horizontalSlider")->setValue(front_left);
    hot_key(f.window, step > 0 ? hot_key_volume_up : hot_key_volume_down);
    QCOMPARE(f.slider("volume_horizontalSlider")->value(), volume_after);
    QCOMPARE(f.slider("fl_horizontalSlider")->value(), front_left_after);
    QCOMPARE(f.slider("rr_horizontalSlider")->value(), rear_right_after);
    f.cycle();
    QCOMPARE(f.written_sound_byte(sound_byte::volume) & 0x7F,
             int{encode_attenuation(volume_after)});
}

void Tst_Buttons_Window::hot_keys_act_only_while_connected() {
    Buttons_Fixture f;
    auto* hard_mute = f.control<QCheckBox>("hard_mute_checkBox");
    const bool before = hard_mute->isChecked();
    hot_key(f.window, hot_key_hard_mute);
    QCOMPARE(hard_mute->isChecked(), !before);
    f.cycle();
    QCOMPARE(int{f.written_sound_byte(sound_byte::hard_mute)}, before ? 0 : 1);
    QSlider* sub = f.slider("sub_horizontalSlider");
    sub->setValue(-5);
    hot_key(f.window, hot_key_subwoofer_up);
    QCOMPARE(sub->value(), -4);
    hot_key(f.window, hot_key_subwoofer_down);
    hot_key(f.window, hot_key_subwoofer_down);
    QCOMPARE(sub->value(), -6);
    hot_key(f.window, 999); // no such hot key
    QCOMPARE(sub->value(), -6);

    f.window.hid.close();
    hot_key(f.window, hot_key_hard_mute);
    QCOMPARE(hard_mute->isChecked(), !before);
}

void Tst_Buttons_Window::mode_buttons_and_head_unit_box() {
    Buttons_Fixture f;
    auto* volvo = f.control<QPushButton>("canVolvoMode_pushButton");
    auto* generic = f.control<QPushButton>("canGenericMode_pushButton");
    QVERIFY(!generic->isEnabled()); // Generic at start
    volvo->click();
    QVERIFY(!volvo->isEnabled());
    f.cycle();
    QVERIFY(generic->isEnabled());
    QVERIFY(!volvo->isEnabled());

    f.control<QPushButton>("canOpelMode_pushButton")->click();
    auto* head_unit = f.control<QCheckBox>("can_head_unit_checkBox");
    head_unit->setChecked(true); // the preset, even from Opel
    f.cycle();
    QVERIFY(!f.control<QPushButton>("canVolkswagenMode_pushButton")->isEnabled());
    auto* triggers = f.control<QListWidget>("can_trigger_listWidget");
    QCOMPARE(triggers->count(), 6);
    QCOMPARE(triggers->item(5)->text(), QStringLiteral("Menu 1"));
    QVERIFY(f.control<QCheckBox>("can_all_triggers_enabled_checkBox")->isChecked());
    QCOMPARE(f.window.findChild<QTimer*>(QStringLiteral("can_timer_1"))->interval(), 100);
    QCOMPARE(f.control<QPlainTextEdit>("can_timer_3_send_msg_plainTextEdit")->toPlainText(),
             QStringLiteral("ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xa3"));

    head_unit->setChecked(false); // Generic; the preset stays and its timers run on
    f.cycle();
    QVERIFY(!generic->isEnabled());
    QCOMPARE(triggers->count(), 6);
    for (const char* timer : {"can_timer_1", "can_timer_2", "can_timer_3"}) {
        QVERIFY(f.window.findChild<QTimer*>(QString::fromLatin1(timer))->isActive());
    }
}

// The "volkswagen" display answers the start-up frame, the preset triggers walk it through its
// set-up, it selects this source, and the display text goes out a block per acknowledgement.
void Tst_Buttons_Window::volkswagen_head_unit_talks_to_the_display() {
    Buttons_Fixture f("volkswagen");
    f.board->model.clear_transmitted();
    f.control<QPushButton>("canVolkswagenMode_pushButton")->click();
    f.run_for(3000);
    QVERIFY(f.board_sent(
        QStringLiteral("ID: STD=0x680   RTR: DATA   DLC: 6   DATA: 0xa0 0xf 0x59 0xff 0x32 0xff")));
    QVERIFY(f.board_sent(
        QStringLiteral("ID: STD=0x680   RTR: DATA   DLC: 5   DATA: 0x10 0x0 0x52 0x0 0xff")));
    QVERIFY(
        f.board_sent(QStringLiteral("ID: STD=0x680   RTR: DATA   DLC: 3   DATA: 0x13 0x69 0x6f")));
    // The display text: its first frame, and the last one closing the whole text.
    QStringList display;
    for (const CanFrame& frame : f.board->model.transmitted()) {
        const QString line = can_frame_to_text(frame);
        if (line.contains(QStringLiteral("0x4b 0x6f 0x72")) ||
            line.contains(QStringLiteral("0x50 0x43 0x08")) ||
            line.contains(QStringLiteral("0x50 0x43 0x8"))) {
            display << line;
        }
    }
    QCOMPARE(display.size(), 2);
    QVERIFY(display[1].contains(QStringLiteral("DLC: 4   DATA: 0x1")));
}

QTEST_MAIN(Tst_Buttons_Window)
#include "tst_buttons_window.moc"
