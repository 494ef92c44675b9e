// The poll cycle against the in-process board: the exchanges of a first-connect cycle and
// of a steady-state pass, the failure rule, identification failures, power, service and
// the brightness steps of the pass.
#include <QAction>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include "app/widget.h"
#include "poll_fixture.h"
#include "protocol/commands.h"

Q_DECLARE_METATYPE(Codes)

namespace {

Codes first_connect_codes() {
    Codes codes{CMD_IDENTIFY, CMD_READ_POWER, CMD_READ_PWM};
    codes.insert(codes.end(), 12, CMD_READ_FILTERS);
    codes.insert(codes.end(), {CMD_READ_SOUND, CMD_CAN_STATUS, CMD_READ_SERVICE, CMD_READ_HW_TIMER,
                               CMD_READ_HW_TIMER, CMD_READ_HW_TRIGGER, CMD_READ_HW_TRIGGER});
    return codes;
}

const Codes steady_codes{CMD_READ_POWER, CMD_WRITE_SOUND, CMD_READ_PWM, CMD_CAN_STATUS};

} // namespace

class Tst_Poll_Cycle : public QObject {
    Q_OBJECT

private slots:
    void first_connect_then_steady_state();
    void failed_exchange_ends_cycle_data();
    void failed_exchange_ends_cycle();
    void identification_failures_data();
    void identification_failures();
    void variants_data();
    void variants();
    void poll_never_lights_apply();
    void power_apply_sends_the_controls();
    void service_apply_and_reset();
    void manual_brightness_data();
    void manual_brightness();
    void disconnected_board_is_presented();
    void slow_board_leaves_backlog_to_next_cycle_data();
    void slow_board_leaves_backlog_to_next_cycle();
    void quit_request_is_seen_between_exchanges_data();
    void quit_request_is_seen_between_exchanges();
    void quit_during_identification_is_no_failure();
    void late_replies_are_never_shown();
    void broken_framing_shows_disconnected_until_found_again_data();
    void broken_framing_shows_disconnected_until_found_again();
    void poll_interval_follows_spin_box();
};

void Tst_Poll_Cycle::first_connect_then_steady_state() {
    Poll_Fixture f;
    Codes expected = first_connect_codes();
    expected.insert(expected.end(), steady_codes.begin(), steady_codes.end());
    QCOMPARE(f.cycle(), expected);
    QVERIFY(f.last_cycle_rearmed);
    QVERIFY(!f.window.hid.identify_pending);

    // The request bytes that matter: filter pairs 0..22, timer and trigger numbers.
    const auto& ex = f.board->exchanges;
    for (int k = 0; k < 12; ++k) {
        QCOMPARE(int{ex[static_cast<std::size_t>(3 + k)].payload[0]}, 2 * k);
    }
    QCOMPARE(int{ex[18].payload[0]}, 0);
    QCOMPARE(int{ex[19].payload[0]}, 1);
    QCOMPARE(int{ex[20].payload[0]}, 0);
    QCOMPARE(int{ex[21].payload[0]}, 1);

    // The sound image goes back exactly as the board reported it.
    const board::Sound_Image& image = f.board->model.sound_image();
    QVERIFY(std::equal(image.begin(), image.end(), f.last(CMD_WRITE_SOUND).payload.begin()));

    QCOMPARE(f.cycle(), steady_codes);
    QVERIFY(f.last_cycle_rearmed);
    QVERIFY(f.shows_green());
    QCOMPARE(f.control<QLineEdit>("tabrix_hardware_version_lineEdit")->text(),
             QStringLiteral("V4"));
    QCOMPARE(f.control<QLineEdit>("firmware_version_lineEdit")->text(), QStringLiteral("R44"));
    QCOMPARE(f.control<QLineEdit>("state_lineEdit")->text(),
             power_state_name(static_cast<std::uint8_t>(f.board->model.power_state())));
}

void Tst_Poll_Cycle::failed_exchange_ends_cycle_data() {
    QTest::addColumn<int>("lost");       // the exchange, counted from 1, whose reply is lost
    QTest::addColumn<bool>("cut_short"); // false: the cycle goes on regardless
    const Codes all = [] {
        Codes c = first_connect_codes();
        c.insert(c.end(), steady_codes.begin(), steady_codes.end());
        return c;
    }();
    // From 2 on: a lost identification reply is the identification failure, tested apart.
    for (std::size_t i = 1; i < all.size(); ++i) {
        const bool trigger_read = all[i] == CMD_READ_HW_TRIGGER;
        const QByteArray name =
            QByteArray::number(static_cast<int>(i) + 1) + " 0x" + QByteArray::number(all[i], 16);
        QTest::newRow(name.constData()) << static_cast<int>(i) + 1 << !trigger_read;
    }
}

void Tst_Poll_Cycle::failed_exchange_ends_cycle() {
    QFETCH(int, lost);
    QFETCH(bool, cut_short);
    Poll_Fixture f;
    f.board->lose_reply_to = static_cast<std::size_t>(lost);
    const Codes sent = f.cycle();
    QVERIFY(f.last_cycle_rearmed);
    QVERIFY(f.exit_codes.empty());
    if (cut_short) {
        QCOMPARE(static_cast<int>(sent.size()), lost);
        QVERIFY(!f.shows_green()); // no tail in a cycle cut short
    } else {
        QVERIFY(f.shows_green());
    }

    // updating_controls is clear again: a user change lights Apply (its frame may still be
    // greyed out until a cycle presents the connection).
    auto* acc_on = f.control<QSpinBox>("acc_on_delay_spinBox");
    acc_on->setValue(acc_on->value() == 0 ? 1 : 0);
    QVERIFY(!f.control<QPushButton>("apply_pushButton")->testAttribute(Qt::WA_ForceDisabled));

    // The board type was accepted: the next cycle is a steady-state pass. An image the sound
    // read did not bring is never written back.
    const int sound_read = 16;
    const Codes no_sound{CMD_READ_POWER, CMD_READ_PWM, CMD_CAN_STATUS};
    QCOMPARE(f.cycle(), lost <= sound_read ? no_sound : steady_codes);
    QVERIFY(f.shows_green());
}

void Tst_Poll_Cycle::identification_failures_data() {
    QTest::addColumn<int>("board_type");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("exit_code");
    QTest::newRow("no answer") << 2 << false << "Не удалось опознать устройство!" << 1;
    QTest::newRow("board type 3") << 3 << true
                                  << "Неверная версия устройства! Требуется прошивка R34+" << 2;
}

void Tst_Poll_Cycle::identification_failures() {
    QFETCH(int, board_type);
    QFETCH(bool, answers);
    QFETCH(QString, message);
    QFETCH(int, exit_code);
    board::Identity identity;
    identity.board_type = static_cast<std::uint8_t>(board_type);
    Poll_Fixture f(identity);
    if (!answers) {
        f.board->faults.drop_replies = 1;
    }
    QCOMPARE(f.cycle(), Codes{CMD_IDENTIFY});
    QCOMPARE(f.errors, QStringList{message});
    QCOMPARE(f.exit_codes, std::vector<int>{exit_code});
    QVERIFY(!f.last_cycle_rearmed); // no further cycle runs
}

void Tst_Poll_Cycle::variants_data() {
    QTest::addColumn<int>("hardware_version");
    QTest::addColumn<QString>("version_text");
    QTest::addColumn<bool>("monitor_and_temperature");
    QTest::addColumn<bool>("board_tabs");
    QTest::addColumn<bool>("save_sends_power");
    QTest::newRow("monitor variant") << 4 << "V4" << true << true << false;
    QTest::newRow("sniffer") << 100 << "SNIFFER" << false << false << true;
    QTest::newRow("other") << 3 << "V3" << false << true << false;
}

void Tst_Poll_Cycle::variants() {
    QFETCH(int, hardware_version);
    QFETCH(QString, version_text);
    QFETCH(bool, monitor_and_temperature);
    QFETCH(bool, board_tabs);
    QFETCH(bool, save_sends_power);
    board::Identity identity;
    identity.hardware_version = static_cast<std::uint8_t>(hardware_version);
    Poll_Fixture f(identity);
    f.cycle();
    QCOMPARE(f.control<QLineEdit>("tabrix_hardware_version_lineEdit")->text(), version_text);
    for (const char* name : {"monitor_on_delay_spinBox", "label_59", "monitor_off_delay_spinBox",
                             "label_60", "temperature_label", "temperature_lineEdit"}) {
        QCOMPARE(!f.control<QWidget>(name)->isHidden(), monitor_and_temperature);
    }
    auto* tabs = f.control<QTabWidget>("tabWidget");
    for (int tab : {1, 2, 3}) {
        QCOMPARE(tabs->isTabEnabled(tab), board_tabs);
    }
    const std::size_t before = f.board->exchanges.size();
    f.control<QPushButton>("save_settings_pushButton")->click();
    QCOMPARE(f.board->exchanges.size() - before, save_sends_power ? 1U : 0U);
    if (save_sends_power) {
        QCOMPARE(int{f.board->exchanges.back().command}, int{CMD_WRITE_POWER_CONFIG});
    }
    QVERIFY(f.control<QPushButton>("save_settings_pushButton")->isEnabled());
}

void Tst_Poll_Cycle::poll_never_lights_apply() {
    Poll_Fixture f;
    f.cycle();
    f.cycle();
    for (const char* name :
         {"apply_pushButton", "pwm_apply_pushButton", "service_apply_pushButton"}) {
        QVERIFY2(!f.control<QPushButton>(name)->isEnabled(), name);
    }
    f.control<QDoubleSpinBox>("adc_voltage_reference_doubleSpinBox")->setValue(3.5);
    QVERIFY(f.control<QPushButton>("service_apply_pushButton")->isEnabled());
}

void Tst_Poll_Cycle::power_apply_sends_the_controls() {
    Poll_Fixture f;
    f.cycle();
    const board::Power_Config as_read = f.board->model.power_config();
    f.control<QSpinBox>("acc_off_delay_spinBox")->setValue(300);
    f.control<QDoubleSpinBox>("akb_min_doubleSpinBox")->setValue(11.1);
    f.control<QCheckBox>("sleep_mode_checkBox")->setChecked(true);
    auto* apply = f.control<QPushButton>("apply_pushButton");
    QVERIFY(apply->isEnabled());
    apply->click();
    QVERIFY(!apply->isEnabled());
    const auto& sent = f.last(CMD_WRITE_POWER_CONFIG).payload;
    QCOMPARE(int{sent[6]}, 0x2C);
    QCOMPARE(int{sent[8]}, 0x01);
    QCOMPARE(int{sent[3]}, 111);
    QCOMPARE(int{sent[12]}, 1);
    QCOMPARE(sent[1], as_read[1]);
    QCOMPARE(sent[10], as_read[10]);

    // Read back at the next connection.
    f.window.hid.close();
    f.window.hid.open();
    f.cycle();
    QCOMPARE(f.control<QDoubleSpinBox>("akb_min_doubleSpinBox")->value(), 11.1);
    QCOMPARE(f.control<QSpinBox>("acc_off_delay_spinBox")->value(), 300);
}

void Tst_Poll_Cycle::service_apply_and_reset() {
    Poll_Fixture f;
    f.cycle();
    auto* reference = f.control<QDoubleSpinBox>("adc_voltage_reference_doubleSpinBox");
    QCOMPARE(reference->value(), 3.30); // the board's code 130
    reference->setValue(4.54);
    f.control<QPushButton>("service_apply_pushButton")->click();
    QCOMPARE(int{f.last(CMD_WRITE_SERVICE).payload[0]}, 254);
    QCOMPARE(int{f.board->model.adc_reference_code()}, 254);

    f.control<QPushButton>("reset_eeprom_pushButton")->click();
    QCOMPARE(int{f.board->exchanges.back().command}, int{CMD_RESET_EEPROM});

    // Nothing is sent while disconnected.
    f.window.hid.close();
    const std::size_t before = f.board->exchanges.size();
    f.control<QPushButton>("reset_eeprom_pushButton")->click();
    reference->setValue(2.0);
    f.control<QPushButton>("service_apply_pushButton")->click();
    f.control<QPushButton>("apply_pushButton")->click();
    QCOMPARE(f.board->exchanges.size(), before);
}

void Tst_Poll_Cycle::manual_brightness_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");
    QTest::addColumn<QString>("shown");
    QTest::newRow("564") << 564 << 141 << 0 << "100%";
    QTest::newRow("10") << 10 << 2 << 2 << "1%";
    QTest::newRow("563") << 563 << 140 << 3 << "99%";
}

void Tst_Poll_Cycle::manual_brightness() {
    QFETCH(int, value);
    QFETCH(int, high);
    QFETCH(int, low);
    QFETCH(QString, shown);
    Poll_Fixture f;
    f.cycle();
    f.control<QGroupBox>("pwm_groupBox")->setChecked(true);
    f.control<QSlider>("pwm_width_horizontalSlider")->setValue(value);

    const Codes switching{CMD_READ_POWER,   CMD_WRITE_SOUND, CMD_READ_PWM,
                          CMD_SET_PWM_MODE, CMD_SET_PWM,     CMD_CAN_STATUS};
    QCOMPARE(f.cycle(), switching);
    QCOMPARE(int{f.last(CMD_SET_PWM_MODE).payload[0]}, 1);
    QCOMPARE(int{f.last(CMD_SET_PWM).payload[0]}, high);
    QCOMPARE(int{f.last(CMD_SET_PWM).payload[1]}, low);
    QCOMPARE(f.control<QLineEdit>("brightness_lineEdit")->text(), shown);

    // Once the board reports host-set brightness, only the value is sent.
    const Codes steering{CMD_READ_POWER, CMD_WRITE_SOUND, CMD_READ_PWM, CMD_SET_PWM,
                         CMD_CAN_STATUS};
    QCOMPARE(f.cycle(), steering);
    QCOMPARE(f.cycle(), steering);

    f.control<QGroupBox>("pwm_groupBox")->setChecked(false);
    QCOMPARE(f.cycle(), (Codes{CMD_READ_POWER, CMD_WRITE_SOUND, CMD_READ_PWM, CMD_SET_PWM_MODE,
                               CMD_CAN_STATUS}));
    QCOMPARE(int{f.last(CMD_SET_PWM_MODE).payload[0]}, 0);
    QCOMPARE(f.cycle(), steady_codes);
}

void Tst_Poll_Cycle::disconnected_board_is_presented() {
    Poll_Fixture f;
    f.cycle();
    QVERIFY(f.shows_green());
    QVERIFY(f.control<QWidget>("configuration_frame")->isEnabled());

    f.board->plugged = false;
    f.window.hid.open(); // the watch notices
    QVERIFY(f.cycle().empty());
    QVERIFY(f.last_cycle_rearmed);
    QVERIFY(!f.shows_green());
    for (const char* frame : {"configuration_frame", "snd_amp_frame", "pwm_configuration_frame",
                              "can_frame", "can_filters_frame", "info_frame", "service_frame",
                              "can_hw_timers_frame", "can_hw_triggers_frame"}) {
        QVERIFY2(!f.control<QWidget>(frame)->isEnabled(), frame);
    }
    for (const char* field : {"temperature_lineEdit", "tabrix_hardware_version_lineEdit",
                              "firmware_version_lineEdit", "state_lineEdit"}) {
        QCOMPARE(f.control<QLineEdit>(field)->text(), QStringLiteral("N/A"));
    }
    QVERIFY(!f.control<QPushButton>("canGenericMode_pushButton")->isEnabled());
    QVERIFY(f.control<QPushButton>("canOpelMode_pushButton")->isEnabled());

    // Plugged back: the first-connect sequence runs again.
    f.board->plugged = true;
    f.window.hid.open();
    QCOMPARE(f.cycle().front(), int{CMD_IDENTIFY});
    QVERIFY(f.shows_green());
}

void Tst_Poll_Cycle::poll_interval_follows_spin_box() {
    Poll_Fixture f;
    f.control<QSpinBox>("usb_pollTime_spinBox")->setValue(1000);
    QCOMPARE(f.timer()->interval(), 1000);
    QCOMPARE(f.window.poll_interval_ms.load(), 1000);
}

namespace {

// A board past its first connection, its controller on, with frames of 64 identifiers
// waiting (the whole receive queue).
void fill_receive_queue(Poll_Fixture& f) {
    f.cycle();
    board::Report activate{};
    activate[1] = CMD_CAN_ACTIVATE;
    activate[2] = 1;
    activate[4] = 40; // prescaler 40: the bus's 100 kbit/s
    QVERIFY(f.board->model.answer(activate, f.board->now_ms));
    for (std::uint32_t i = 0; i < 64; ++i) {
        CanFrame frame;
        frame.std_id = 0x100 + i;
        f.board->model.put_on_bus(frame);
    }
    f.board->now_ms += 1000; // time for the bus to carry them
    f.board->model.advance(f.board->now_ms);
    QCOMPARE(f.board->model.queue_size(), std::size_t{64});
}

int frame_fetches(const Codes& codes) {
    return static_cast<int>(std::count_if(codes.begin(), codes.end(), [](int c) {
        return c == CMD_CAN_READ_ONE || c == CMD_CAN_READ_THREE;
    }));
}

QAction* tray_quit_action(Widget& window) {
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->text() == QStringLiteral("Выход")) {
            return action;
        }
    }
    return nullptr;
}

} // namespace

// Once a cycle has run 500 ms no further frames are fetched (one batch always is): a slow
// board holds the window for no more than the pass's own exchanges, and no frame is lost.
void Tst_Poll_Cycle::slow_board_leaves_backlog_to_next_cycle_data() {
    QTest::addColumn<int>("reply_ms");
    QTest::addColumn<int>("fetches");
    QTest::newRow("healthy board: the whole backlog") << 0 << 22;
    QTest::newRow("50 ms a reply") << 50 << 6;
    QTest::newRow("just inside the time-out") << 2900 << 1;
}

void Tst_Poll_Cycle::slow_board_leaves_backlog_to_next_cycle() {
    QFETCH(int, reply_ms);
    QFETCH(int, fetches);
    Poll_Fixture f;
    fill_receive_queue(f);
    f.board->faults.delay_ms = reply_ms;
    const Codes first = f.cycle();
    QCOMPARE(frame_fetches(first), fetches);
    QVERIFY(f.last_cycle_rearmed);
    for (int i = 0; i < 64 && f.board->model.queue_size() > 0; ++i) {
        f.cycle();
    }
    QCOMPARE(f.board->model.queue_size(), std::size_t{0});
    QCOMPARE(f.control<QListWidget>("can_id_known_listWidget")->count(), 64);
}

void Tst_Poll_Cycle::quit_request_is_seen_between_exchanges_data() {
    QTest::addColumn<int>("reply_ms");
    QTest::addColumn<bool>("tray");
    QTest::addColumn<Codes>("sent");
    const Codes two{CMD_READ_POWER, CMD_WRITE_SOUND};
    QTest::newRow("signal, healthy board") << 0 << false << two;
    QTest::newRow("signal, slow board") << 2900 << false << two;
    QTest::newRow("tray, slow board") << 2900 << true << Codes{CMD_READ_POWER};
    // A board that answers at once keeps the window's events for the event loop.
    QTest::newRow("tray, healthy board") << 0 << true << steady_codes;
}

void Tst_Poll_Cycle::quit_request_is_seen_between_exchanges() {
    QFETCH(int, reply_ms);
    QFETCH(bool, tray);
    QFETCH(Codes, sent);
    Poll_Fixture f;
    f.cycle();
    f.window.show();
    bool signalled = false;
    f.window.termination_signalled = [&signalled] { return signalled; };
    if (tray) {
        QAction* quit = tray_quit_action(f.window);
        QVERIFY(quit);
        QMetaObject::invokeMethod(quit, &QAction::trigger, Qt::QueuedConnection);
    } else {
        // The signal comes in while the board works on the second exchange.
        f.board->on_write = [&](const Test_Board::Exchange& e) {
            signalled = signalled || e.command == CMD_WRITE_SOUND;
        };
    }
    f.board->faults.delay_ms = reply_ms;
    QCOMPARE(f.cycle(), sent);
    QVERIFY(f.exit_codes.empty());
    if (tray) {
        QCoreApplication::processEvents();
        QVERIFY(!f.window.isVisible()); // the quit went its whole way
    }
}

void Tst_Poll_Cycle::quit_during_identification_is_no_failure() {
    Poll_Fixture f;
    f.window.termination_signalled = [] { return true; };
    QCOMPARE(f.cycle(), Codes{});
    QVERIFY(f.errors.isEmpty());
    QVERIFY(f.exit_codes.empty());
    QVERIFY(f.window.hid.identify_pending);
}

// Every reply 3.2 s late: none of them may pass for the answer to a later request.
void Tst_Poll_Cycle::late_replies_are_never_shown() {
    Poll_Fixture f;
    f.board->model.set_light_level(100);
    f.cycle();
    f.cycle();
    auto* light = f.control<QLineEdit>("vLIGHT_lineEdit");
    QCOMPARE(light->text(), QStringLiteral("100"));

    f.board->faults.delay_ms = 3200;
    for (int i = 1; i <= 5; ++i) {
        f.board->model.set_light_level(100 + i);
        f.cycle();
        f.board->now_ms += 50; // the poll interval
        QCOMPARE(light->text(), QStringLiteral("100"));
    }
    f.board->faults.delay_ms = 0;
    f.board->model.set_light_level(200);
    for (int i = 0; i < 3 && light->text() != QStringLiteral("200"); ++i) {
        f.cycle();
        QVERIFY(light->text() == QStringLiteral("100") || light->text() == QStringLiteral("200"));
    }
    QCOMPARE(light->text(), QStringLiteral("200"));
}

void Tst_Poll_Cycle::broken_framing_shows_disconnected_until_found_again_data() {
    QTest::addColumn<bool>("cut_short");
    QTest::newRow("a reply cut short") << true;
    QTest::newRow("junk after a reply") << false;
}

void Tst_Poll_Cycle::broken_framing_shows_disconnected_until_found_again() {
    QFETCH(bool, cut_short);
    Poll_Fixture f;
    f.cycle();
    QVERIFY(f.shows_green());
    (cut_short ? f.board->faults.short_replies : f.board->faults.junk_replies) = 1;
    f.cycle();
    f.cycle();
    QVERIFY(!f.window.hid.connected);
    QVERIFY(!f.shows_green());    // the indicator tells the truth meanwhile
    QVERIFY(f.window.hid.open()); // the watch's next pass
    QCOMPARE(f.cycle().front(), int{CMD_IDENTIFY});
    QVERIFY(f.shows_green());
}

QTEST_MAIN(Tst_Poll_Cycle)
#include "tst_poll_cycle.moc"
