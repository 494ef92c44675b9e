// The board's byte images and how the window shows the board's state: pure functions.
#include <QtTest>

#include "protocol/layouts.h"
#include "protocol/status_text.h"

class Tst_Protocol : public QObject {
    Q_OBJECT

private slots:
    void power_config_round_trip();
    void volts_in_tenths_data();
    void volts_in_tenths();
    void voltage_text_data();
    void voltage_text();
    void temperature_data();
    void temperature();
    void power_state_names_data();
    void power_state_names();
    void reference_code_data();
    void reference_code();
    void set_pwm_bytes_data();
    void set_pwm_bytes();
    void brightness_percentage_data();
    void brightness_percentage();
    void version_texts();
    void voltage_average_keeps_51_readings();
    void reply_records();
};

void Tst_Protocol::power_config_round_trip() {
    Power_Config config{};
    config[1] = 0xA5; // not edited by the host
    config[10] = 0x5A;
    Power_Settings s;
    s.acc_on_delay = 3;
    s.vkl_pc_delay = 4;
    s.r_out_delay = 11;
    s.akb_off_delay = 7;
    s.acc_off_delay = 300;
    s.os_shutdown_delay = 2;
    s.akb_min_volts = 11.1;
    s.vkl_akb_min_volts = 11.8;
    s.check_pc_on = true;
    s.sleep_mode = false;
    s.monitor_on_delay = 13;
    s.monitor_off_delay = 14;
    encode_power_config(s, config);
    const Power_Config expected{3, 0xA5, 2, 111, 4, 1, 0x2C, 7, 0x01, 118, 0x5A, 11, 0, 13, 14};
    QCOMPARE(config, expected);

    const Power_Settings back = decode_power_config(config);
    QCOMPARE(back.acc_off_delay, 300);
    QCOMPARE(back.akb_min_volts, 11.1);
    QCOMPARE(back.vkl_akb_min_volts, 11.8);
    QVERIFY(back.check_pc_on);
    QVERIFY(!back.sleep_mode);
    QCOMPARE(back.monitor_off_delay, 14);

    config[power_byte::sleep_mode] = 7; // any non-zero value is set
    QVERIFY(decode_power_config(config).sleep_mode);
}

void Tst_Protocol::volts_in_tenths_data() {
    QTest::addColumn<double>("volts");
    QTest::addColumn<int>("tenths");
    QTest::newRow("11.1") << 11.1 << 111;
    QTest::newRow("0.0") << 0.0 << 0;
    QTest::newRow("25.5") << 25.5 << 255;
    QTest::newRow("12.35 rounds up") << 12.35 << 124;
}

void Tst_Protocol::volts_in_tenths() {
    QFETCH(double, volts);
    QFETCH(int, tenths);
    QCOMPARE(int{volts_to_tenths(volts)}, tenths);
}

void Tst_Protocol::voltage_text_data() {
    QTest::addColumn<double>("reference");
    QTest::addColumn<int>("raw");
    QTest::addColumn<QString>("text");
    QTest::newRow("3.30 V, 2048") << 3.30 << 2048 << "11.55";
    QTest::newRow("3.30 V, 0") << 3.30 << 0 << "0.00";
    QTest::newRow("2.00 V, 4095") << 2.00 << 4095 << "14.00";
    QTest::newRow("4.54 V, 4095") << 4.54 << 4095 << "31.78";
}

void Tst_Protocol::voltage_text() {
    QFETCH(double, reference);
    QFETCH(int, raw);
    QFETCH(QString, text);
    QCOMPARE(::voltage_text(adc_scale(reference), static_cast<std::uint16_t>(raw)), text);
}

void Tst_Protocol::temperature_data() {
    QTest::addColumn<int>("whole");
    QTest::addColumn<int>("half");
    QTest::addColumn<QString>("text");
    QTest::newRow("0xFB 0x80") << 0xFB << 0x80 << "-4.5 °C";
    QTest::newRow("0x17 0x00") << 0x17 << 0x00 << "23 °C";
    QTest::newRow("0x17 0x80") << 0x17 << 0x80 << "23.5 °C";
    QTest::newRow("other bits ignored") << 0x17 << 0x7F << "23 °C";
    QTest::newRow("-128") << 0x80 << 0x00 << "-128 °C";
}

void Tst_Protocol::temperature() {
    QFETCH(int, whole);
    QFETCH(int, half);
    QFETCH(QString, text);
    QCOMPARE(temperature_text({static_cast<std::uint8_t>(whole), static_cast<std::uint8_t>(half)}),
             text);
}

void Tst_Protocol::power_state_names_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("name");
    QTest::newRow("0") << 0 << "IDLE";
    QTest::newRow("2") << 2 << "PC_ON";
    QTest::newRow("9") << 9 << "CHECK_PC_ON_DELAY_STATE";
    QTest::newRow("13") << 13 << "SLEEP_AKB_OFF_DELAY_STATE";
    QTest::newRow("14") << 14 << "???";
    QTest::newRow("255") << 255 << "???";
}

void Tst_Protocol::power_state_names() {
    QFETCH(int, state);
    QFETCH(QString, name);
    QCOMPARE(power_state_name(static_cast<std::uint8_t>(state)), name);
}

void Tst_Protocol::reference_code_data() {
    QTest::addColumn<double>("volts");
    QTest::addColumn<int>("code");
    QTest::newRow("3.30") << 3.30 << 130;
    QTest::newRow("4.54") << 4.54 << 254;
    QTest::newRow("2.00") << 2.00 << 0;
    QTest::newRow("half goes up") << 2.005 << 1;
    QTest::newRow("2.57") << 2.57 << 57;
}

void Tst_Protocol::reference_code() {
    QFETCH(double, volts);
    QFETCH(int, code);
    QCOMPARE(int{::reference_code(volts)}, code);
    QCOMPARE(::reference_code(reference_volts(static_cast<std::uint8_t>(code))),
             static_cast<std::uint8_t>(code));
}

void Tst_Protocol::set_pwm_bytes_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");
    QTest::newRow("564") << 564 << 141 << 0;
    QTest::newRow("10") << 10 << 2 << 2;
    QTest::newRow("563") << 563 << 140 << 3;
}

void Tst_Protocol::set_pwm_bytes() {
    QFETCH(int, value);
    QFETCH(int, high);
    QFETCH(int, low);
    const std::array<std::uint8_t, 2> bytes = encode_set_pwm(value);
    QCOMPARE(int{bytes[0]}, high);
    QCOMPARE(int{bytes[1]}, low);
}

void Tst_Protocol::brightness_percentage_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("282") << 282 << "50%";
    QTest::newRow("564") << 564 << "100%";
    QTest::newRow("5 rounds down") << 5 << "0%";
}

void Tst_Protocol::brightness_percentage() {
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(brightness_percent(value), text);
}

void Tst_Protocol::version_texts() {
    QCOMPARE(hardware_version_text(100), QStringLiteral("SNIFFER"));
    QCOMPARE(hardware_version_text(4), QStringLiteral("V4"));
    QCOMPARE(firmware_version_text(44), QStringLiteral("R44"));
}

void Tst_Protocol::voltage_average_keeps_51_readings() {
    Voltage_Average average;
    QCOMPARE(int{average.add(100)}, 100);
    QCOMPARE(int{average.add(101)}, 100); // 100.5 rounds down
    for (int i = 0; i < 49; ++i) {
        average.add(0);
    }
    QCOMPARE(average.size(), 51);
    QCOMPARE(int{average.add(0)}, 1); // 100 dropped: 101 / 51
    QCOMPARE(int{average.add(0)}, 0); // 101 dropped
    QCOMPARE(average.size(), 51);
}

void Tst_Protocol::reply_records() {
    std::array<std::uint8_t, 63> reply{};
    reply[0] = 1; // CAN status: active, 5 waiting, prescaler 0x0120, mode 2
    reply[1] = 5;
    reply[2] = 0x01;
    reply[3] = 0x20;
    reply[4] = 2;
    const Can_Status status = decode_can_status(reply);
    QVERIFY(status.active);
    QCOMPARE(int{status.waiting}, 5);
    QCOMPARE(int{status.prescaler}, 0x120);
    QCOMPARE(int{status.mode}, 2);

    std::array<std::uint8_t, 63> power{};
    power[15] = 0x08; // battery 2048
    power[16] = 0x00;
    power[17] = 13;
    power[18] = 0x01; // output 300
    power[19] = 0x2C;
    power[20] = 0xFB;
    power[21] = 0x80;
    const Power_Status s = decode_power_status(power);
    QCOMPARE(int{s.akb_raw}, 2048);
    QCOMPARE(int{s.uout_raw}, 300);
    QCOMPARE(int{s.power_state}, 13);
    QCOMPARE(int{s.temperature_raw[0]}, 0xFB);

    std::array<std::uint8_t, 63> timer{};
    timer[0] = 1;
    timer[1] = 0x03; // interval 1000
    timer[2] = 0xE8;
    timer[3 + 3] = 0x04; // frame from byte 3: std_id 0x439
    timer[3 + 4] = 0x39;
    timer[3 + 10] = 6;
    timer[3 + 11] = 0x0B;
    const Hw_Timer_Record t = decode_hw_timer(timer);
    QVERIFY(t.enabled);
    QCOMPARE(int{t.interval}, 1000);
    QCOMPARE(t.frame.std_id, 0x439U);
    QCOMPARE(int{t.frame.dlc}, 6);
    QCOMPARE(int{t.frame.data[0]}, 0x0B);

    std::array<std::uint8_t, 63> trigger{};
    trigger[0] = 1;
    trigger[2 + 4] = 0x81; // match std_id 0x681
    trigger[2 + 3] = 0x06;
    trigger[21 + 4] = 0x80; // reply std_id 0x680
    trigger[21 + 3] = 0x06;
    const Hw_Trigger_Record r = decode_hw_trigger(trigger);
    QVERIFY(r.enabled);
    QCOMPARE(r.match.std_id, 0x681U);
    QCOMPARE(r.reply.std_id, 0x680U);
}

QTEST_APPLESS_MAIN(Tst_Protocol)
#include "tst_protocol.moc"
