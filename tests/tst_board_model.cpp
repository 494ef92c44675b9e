// The board model: every command's reply layout, and the board's behaviour behind them
// (power sequencing, voltages, brightness, the CAN controller and the simulated vehicle bus).
#include <QtTest>

#include "board/board_model.h"
#include "protocol/can_wire.h"
#include "protocol/commands.h"
#include "protocol/status_text.h"

using board::Board_Model;
using board::Report;

Q_DECLARE_METATYPE(CanFrame)

namespace {

constexpr std::size_t reply_size = 64; // echo and payload
constexpr std::uint32_t heartbeat_id = 0x1A0;

// Reply layout sizes of the commands that carry reply data; every other byte stays zero.
std::size_t reply_layout_size(std::uint8_t code) {
    switch (code) {
    case CMD_IDENTIFY:
        return 4;
    case CMD_READ_POWER:
        return 22;
    case CMD_READ_SOUND:
    case CMD_READ_PWM:
        return 37;
    case CMD_CAN_READ_ONE:
        return 19;
    case CMD_CAN_STATUS:
        return 5;
    case CMD_CAN_READ_THREE:
        return 57;
    case CMD_READ_FILTERS:
        return 26;
    case CMD_READ_SERVICE:
        return 1;
    case CMD_READ_HW_TIMER:
        return 22;
    case CMD_READ_HW_TRIGGER:
        return 40;
    default:
        return 0;
    }
}

Report make_request(const QByteArray& bytes) {
    Report r{};
    for (qsizetype i = 0; i < bytes.size() && i + 1 < qsizetype(r.size()); ++i) {
        r[std::size_t(i) + 1] = std::uint8_t(bytes[i]);
    }
    return r;
}

// `hex`: the command code and its request payload.
std::optional<Report> exchange(Board_Model& m, const QString& hex, qint64 now_ms = 0) {
    return m.answer(make_request(QByteArray::fromHex(hex.toLatin1())), now_ms);
}

QByteArray echo_and_payload(const Report& r) {
    return QByteArray(reinterpret_cast<const char*>(r.data()) + 1, qsizetype(reply_size));
}

std::uint8_t payload(const Report& r, std::size_t k) {
    return r[k + 2];
}

CanFrame std_frame(std::uint32_t id, std::initializer_list<std::uint8_t> bytes) {
    CanFrame f;
    f.std_id = id;
    f.dlc = std::uint8_t(bytes.size());
    std::copy(bytes.begin(), bytes.end(), f.data.begin());
    return f;
}

CanFrame ext_frame(std::uint32_t id, std::initializer_list<std::uint8_t> bytes) {
    CanFrame f = std_frame(0, bytes);
    f.ide = CanFrame::ide_extended;
    f.ext_id = id;
    return f;
}

QString wire_hex(const CanFrame& f) {
    std::array<std::uint8_t, can_wire::frame_size> bytes{};
    encode_can_wire_frame(f, bytes);
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())).toHex());
}

void send(Board_Model& m, const CanFrame& f, qint64 now_ms) {
    exchange(m, QStringLiteral("40") + wire_hex(f), now_ms);
}

void activate(Board_Model& m, int prescaler, int mode, qint64 now_ms = 0) {
    exchange(m,
             QStringLiteral("3f01%1%2")
                 .arg(prescaler, 4, 16, QLatin1Char('0'))
                 .arg(mode, 2, 16, QLatin1Char('0')),
             now_ms);
}

int waiting(Board_Model& m, qint64 now_ms) {
    return payload(*exchange(m, QStringLiteral("42"), now_ms), 1);
}

// Every frame the board holds at `now_ms`, through the read command, oldest first.
std::vector<CanFrame> drain(Board_Model& m, qint64 now_ms) {
    std::vector<CanFrame> frames;
    for (int n = waiting(m, now_ms); n > 0; --n) {
        const Report r = *exchange(m, QStringLiteral("41"), now_ms);
        frames.push_back(decode_can_wire_frame(r.data() + 2));
    }
    return frames;
}

// The same without the vehicle's heartbeat frame.
std::vector<CanFrame> drain_dialogue(Board_Model& m, qint64 now_ms) {
    std::vector<CanFrame> frames = drain(m, now_ms);
    std::erase_if(frames, [](const CanFrame& f) { return f.std_id == heartbeat_id; });
    return frames;
}

void write_trigger(Board_Model& m, int index, const CanFrame& match, const CanFrame& reply) {
    exchange(m, QStringLiteral("4c %1 01 00").arg(index, 2, 16, QLatin1Char('0')) +
                    wire_hex(match) + wire_hex(reply));
}

// Two hardware triggers that both answer the volkswagen display's `display` frame with
// `head_unit`, which the display answers with `display` again: every round doubles the
// frames. Started by one display frame at 0 ms on a 100 kbit/s bus.
Board_Model trigger_storm(const CanFrame& display, const CanFrame& head_unit) {
    Board_Model m;
    m.load_scenario("volkswagen", 0);
    write_trigger(m, 0, display, head_unit);
    write_trigger(m, 1, display, head_unit);
    activate(m, 40, 0);
    m.put_on_bus(display);
    return m;
}

QByteArray data_of(const CanFrame& f) {
    return QByteArray(reinterpret_cast<const char*>(f.data.data()), std::min<int>(f.dlc, 8));
}

const QString factory_power_config = "03 00 3c 6e 02 01 0a 1e 00 76 00 05 00 01 05";
const QString factory_sound = "00 03 00 00 00 ff 00 24 00 80 00 80 00 80 00 07 00 00 00 00 00 90"
                              "00 90 00 90 00 90 00 00 00 90 00 00 00 00 00";
const QString factory_curve = "0000 0032 0064 00c8 0190 02bc 03e8 0038 0064 00aa 0118 0190 01f4"
                              "0234 02 05 01 00";
const QString zero_frame = QString(2 * can_wire::frame_size, QLatin1Char('0'));
// 0x5C1, data frame, length 1, data 06.
const QString frame_a = "00 000005c1 00000000 00 01 06 00 00 00 00 00 00 00";
// 0x1ABCDEF0 extended, remote, length 2, data 11 22.
const QString frame_b = "04 00000000 1abcdef0 02 02 11 22 00 00 00 00 00 00";

} // namespace

class Tst_Board_Model : public QObject {
    Q_OBJECT

private slots:
    void command_replies_data();
    void command_replies();
    void identity_data();
    void identity();
    void power_sequence_data();
    void power_sequence();
    void battery_counts_data();
    void battery_counts();
    void temperature_bytes_data();
    void temperature_bytes();
    void brightness_curve_data();
    void brightness_curve();
    void eeprom_reset_restores_factory_values();
    void wire_frame_data();
    void wire_frame();
    void acceptance_filters_data();
    void acceptance_filters();
    void receive_queue_is_bounded();
    void controller_modes_data();
    void controller_modes();
    void bus_bit_rate_gates_reception_data();
    void bus_bit_rate_gates_reception();
    void bit_rate_scan_finds_the_bus();
    void hardware_timers_send_while_active();
    void hardware_trigger_answers_data();
    void hardware_trigger_answers();
    void trigger_reply_does_not_trigger_again();
    void steering_wheel_buttons_data();
    void steering_wheel_buttons();
    void unknown_buttons_are_refused();
    void volkswagen_display_dialogue();
    void opel_display_frames();
    void same_result_however_time_is_stepped();
    void bus_capacity_data();
    void bus_capacity();
    void frames_wait_for_the_bus();
    void deactivating_aborts_frames_waiting_for_the_bus();
    void trigger_storm_saturates_the_bus_data();
    void trigger_storm_saturates_the_bus();
    void catching_up_takes_bounded_steps();
};

void Tst_Board_Model::command_replies_data() {
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QString>("expected"); // echo and payload; empty: no reply at all

    const QString battery_12_6 = "08ba"; // 12.6 V under the 3.30 V reference
    QTest::newRow("0x36 identify") << QStringList{"36"} << "36 02 00 04 2c";
    QTest::newRow("0x37 factory power")
        << QStringList{"37"} << "37" + factory_power_config + battery_12_6 + "00 0000 1900";
    QTest::newRow("0x38 config read back whole, bytes 1 and 10 included")
        << QStringList{"38 01 aa 02 03 04 05 06 07 08 09 bb 0b 0c 0d 0e", "37"}
        << "37 01 aa 02 03 04 05 06 07 08 09 bb 0b 0c 0d 0e" + battery_12_6 + "00 0000 1900";
    QTest::newRow("0x39 factory sound") << QStringList{"39"} << "39" + factory_sound;
    QTest::newRow("0x3a sound stored as written, hard mute included")
        << QStringList{"3a 40 41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50 51 52 53 54 55 56"
                       "57 58 59 5a 5b 5c 5d 5e 5f 60 61 62 63 01",
                       "39"}
        << "39 40 41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50 51 52 53 54 55 56 57 58 59 5a"
           "5b 5c 5d 5e 5f 60 61 62 63 01";
    QTest::newRow("0x3b factory brightness at light 600")
        << QStringList{"3b"} << "3b 01d3 0258 00" + factory_curve;
    QTest::newRow("0x3c curve stored, bytes 0..4 stay the board's")
        << QStringList{"3c ffff ffff 07 0000 0064 00c8 012c 0190 01f4 0258 0000 0032 0064 0096"
                       "00c8 00fa 012c 09 08 00 5a",
                       "3b"}
        << "3b 012c 0258 00 0000 0064 00c8 012c 0190 01f4 0258 0000 0032 0064 0096 00c8 00fa"
           "012c 09 08 00 5a";
    QTest::newRow("0x3e manual starts at the present value")
        << QStringList{"3e 01", "3b"} << "3b 01d3 0258 01";
    QTest::newRow("0x3d 564 as 141, 0")
        << QStringList{"3e 01", "3d 8d 00", "3b"} << "3b 0234 0258 01";
    QTest::newRow("0x3d 563 as 140, 3")
        << QStringList{"3e 01", "3d 8c 03", "3b"} << "3b 0233 0258 01";
    QTest::newRow("0x3d 10 as 2, 2") << QStringList{"3e 01", "3d 02 02", "3b"} << "3b 000a 0258 01";
    QTest::newRow("0x3d above full scale is limited")
        << QStringList{"3e 01", "3d ff 03", "3b"} << "3b 0234 0258 01";
    QTest::newRow("0x3e back to the curve")
        << QStringList{"3e 01", "3d 02 02", "3e 00", "3b"} << "3b 01d3 0258 00";
    QTest::newRow("0x3e other mode values kept, curve applies")
        << QStringList{"3e 02", "3b"} << "3b 01d3 0258 02";
    QTest::newRow("0x42 factory status") << QStringList{"42"} << "42 00 00 0028 00";
    QTest::newRow("0x3f activate") << QStringList{"3f 01 0008 03", "42"} << "42 01 00 0008 03";
    QTest::newRow("0x3f prescaler 0 refused")
        << QStringList{"3f 01 0000 00", "42"} << "42 00 00 0028 00";
    QTest::newRow("0x3f mode 4 refused")
        << QStringList{"3f 01 0010 04", "42"} << "42 00 00 0028 00";
    QTest::newRow("0x3f deactivate")
        << QStringList{"3f 01 0010 01", "3f 00 0010 01", "42"} << "42 00 00 0010 01";
    QTest::newRow("0x40 counted in status")
        << QStringList{"3f 01 0028 03", "40" + frame_a, "40" + frame_b, "42"} << "42 01 02 0028 03";
    QTest::newRow("0x41 one frame")
        << QStringList{"3f 01 0028 03", "40" + frame_a, "41"} << "41" + frame_a;
    QTest::newRow("0x41 empty queue") << QStringList{"41"} << "41";
    QTest::newRow("0x43 two of three waiting")
        << QStringList{"3f 01 0028 03", "40" + frame_a, "40" + frame_b, "43"}
        << "43" + frame_a + frame_b + zero_frame;
    QTest::newRow("0x45 factory pair") << QStringList{"45 00"}
                                       << "45 00 00 0000 0000 0000 0000 00 00 01"
                                          "   00 00 0000 0000 0000 0000 00 01 01";
    QTest::newRow("0x46 pair read back byte for byte")
        << QStringList{"46 04 01 07 b820 1234 ffe0 5678 09 0a 0b 00 01 d020 0000 fe00 0000 02 05 "
                       "00",
                       "45 04"}
        << "45 01 07 b820 1234 ffe0 5678 09 0a 0b 00 01 d020 0000 fe00 0000 02 05 00";
    QTest::newRow("0x45 past the last entry")
        << QStringList{"45 17"} << "45 00 00 0000 0000 0000 0000 00 17 01";
    QTest::newRow("0x47 factory reference") << QStringList{"47"} << "47 82";
    QTest::newRow("0x48 reference stored") << QStringList{"48 fe", "47"} << "47 fe";
    QTest::newRow("0x49 factory timer") << QStringList{"49 01"} << "49 00 03e8";
    QTest::newRow("0x4a timer read back")
        << QStringList{"4a 01 01 2710" + frame_b, "49 01"} << "49 01 2710" + frame_b;
    QTest::newRow("0x49 no such timer") << QStringList{"49 02"} << "49";
    QTest::newRow("0x4a no such timer leaves both")
        << QStringList{"4a 02 01 2710" + frame_b, "49 00"} << "49 00 03e8";
    QTest::newRow("0x4c trigger read back")
        << QStringList{"4c 00 01 00" + frame_a + frame_b, "4b 00"}
        << "4b 01 00" + frame_a + frame_b;
    QTest::newRow("0x4b factory trigger") << QStringList{"4b 01"} << "4b";
    QTest::newRow("0x4b no such trigger") << QStringList{"4b 02"} << "4b";
    QTest::newRow("0x44 echo only") << QStringList{"44"} << "44";
    QTest::newRow("0x44 restores the reference") << QStringList{"48 80", "44", "47"} << "47 82";
    QTest::newRow("0x35 below the set: no reply") << QStringList{"35"} << "";
    QTest::newRow("0x4d above the set: no reply") << QStringList{"4d"} << "";
}

void Tst_Board_Model::command_replies() {
    QFETCH(QStringList, requests);
    QFETCH(QString, expected);
    Board_Model m;
    std::optional<Report> reply;
    for (const QString& r : requests) {
        reply = exchange(m, r);
    }
    const QByteArray want = QByteArray::fromHex(expected.toLatin1());
    if (want.isEmpty()) {
        QVERIFY(!reply);
        return;
    }
    QVERIFY(reply);
    QCOMPARE((*reply)[0], std::uint8_t(0));
    const QByteArray got = echo_and_payload(*reply);
    QCOMPARE(got.left(want.size()).toHex(' '), want.toHex(' '));
    const std::size_t layout_end = 1 + reply_layout_size(std::uint8_t(want[0]));
    const qsizetype zero_from = std::max<qsizetype>(want.size(), qsizetype(layout_end));
    QCOMPARE(got.mid(zero_from), QByteArray(qsizetype(reply_size) - zero_from, '\0'));
}

void Tst_Board_Model::identity_data() {
    QTest::addColumn<int>("board_type");
    QTest::addColumn<int>("hardware");
    QTest::addColumn<int>("firmware");
    QTest::newRow("sniffer") << 2 << 100 << 50;
    QTest::newRow("wrong type") << 3 << 4 << 44;
}

void Tst_Board_Model::identity() {
    QFETCH(int, board_type);
    QFETCH(int, hardware);
    QFETCH(int, firmware);
    const board::Identity id{std::uint8_t(board_type), std::uint8_t(hardware),
                             std::uint8_t(firmware)};
    Board_Model built(id);
    Board_Model changed;
    changed.set_identity(id);
    for (Board_Model* m : {&built, &changed}) {
        const Report r = *exchange(*m, "36");
        QCOMPARE(int(payload(r, 0)), board_type);
        QCOMPARE(int(payload(r, 2)), hardware);
        QCOMPARE(int(payload(r, 3)), firmware);
    }
}

// Script steps, separated by "; ": "cfg byte=value,..." writes the configuration (changed
// from factory values), "acc 0|1", "bat <volts>", "at <ms> <state name>" reads the state at
// that time, "uout on|off" checks the output voltage's count, "monitor on|off" the monitor.
void Tst_Board_Model::power_sequence_data() {
    QTest::addColumn<QString>("script");
    // ACC ON 2 s, VKL PC 1 s, R_OUT 3 s, ACC OFF 5 s, AKB OFF 4 s, OS SHUTDOWN 6 s; the
    // monitor's factory delays: on 1 s, off 5 s.
    const QString cfg = "cfg 0=2,4=1,11=3,6=5,8=0,7=4,2=6,5=0,12=0; ";
    const QString to_pc_on = cfg + "acc 1; at 6000 PC_ON; ";
    const QString to_sleep = "cfg 0=2,4=1,11=3,6=5,8=0,7=4,2=6,5=0,12=1; acc 1; "
                             "at 6000 PC_ON; acc 0; at 11000 R_OUT_DELAY_STATE; "
                             "at 14000 SLEEP_STATE; ";

    QTest::newRow("start-up") << cfg + "at 0 IDLE; acc 1; at 0 ACC_ON_DELAY; "
                                       "at 1999 ACC_ON_DELAY; uout off; at 2000 VKL_PC_DELAY; "
                                       "uout on; monitor off; at 3000 OS_LOAD_TIME; monitor on; "
                                       "at 5999 OS_LOAD_TIME; at 6000 PC_ON";
    QTest::newRow("shutdown") << to_pc_on + "acc 0; at 6000 ACC_OFF_DELAY; at 10999 ACC_OFF_DELAY; "
                                            "at 11000 R_OUT_DELAY_STATE; at 14000 PC_SHUTDOWN; "
                                            "at 15000 OS_SHUTDOWN_TIME; at 19999 OS_SHUTDOWN_TIME; "
                                            "monitor on; at 20000 OS_SHUTDOWN_TIME; monitor off; "
                                            "uout on; at 21000 IDLE; uout off";
    QTest::newRow("check PC_ON") << cfg + "cfg 5=1; acc 1; at 3000 CHECK_PC_ON_DELAY_STATE; "
                                          "at 5000 OS_LOAD_TIME; at 8000 PC_ON";
    QTest::newRow("one long step passes every state on the way") << cfg + "acc 1; at 100000 PC_ON";
    QTest::newRow("ACC gone during ACC ON delay")
        << cfg + "acc 1; at 1000 ACC_ON_DELAY; acc 0; at 1000 IDLE; at 9000 IDLE";
    QTest::newRow("ACC back during ACC OFF delay")
        << to_pc_on + "acc 0; at 8000 ACC_OFF_DELAY; acc 1; at 8000 PC_ON; at 30000 PC_ON";
    QTest::newRow("low battery while running")
        << to_pc_on + "bat 10.9; at 6000 AKB_OFF_DELAY; at 10000 R_OUT_DELAY_STATE; "
                      "at 13000 PC_SHUTDOWN; at 14000 OS_SHUTDOWN_TIME; at 20000 IDLE";
    QTest::newRow("battery recovers")
        << to_pc_on + "bat 10.9; at 7000 AKB_OFF_DELAY; bat 11.0; at 7000 PC_ON";
    QTest::newRow("too weak to start")
        << cfg + "bat 11.7; acc 1; at 5000 IDLE; bat 11.8; at 5000 ACC_ON_DELAY";
    QTest::newRow("weakening during ACC ON delay")
        << cfg + "acc 1; at 1000 ACC_ON_DELAY; bat 11.7; at 1000 IDLE";
    QTest::newRow("sleep and wake")
        << to_sleep + "uout on; monitor off; acc 1; at 14000 ACC_ON_SLEEP_DELAY; acc 0; "
                      "at 15000 SLEEP_STATE; acc 1; at 17000 OS_LOAD_TIME; monitor on; "
                      "at 20000 PC_ON";
    QTest::newRow("low battery in sleep")
        << to_sleep + "bat 10.0; at 14000 SLEEP_AKB_OFF_DELAY_STATE; at 18000 PC_SHUTDOWN; "
                      "at 19000 OS_SHUTDOWN_TIME; at 25000 IDLE";
    QTest::newRow("low battery shuts down even in sleep mode")
        << "cfg 0=2,4=1,11=3,6=5,8=0,7=4,2=6,5=0,12=1; acc 1; at 6000 PC_ON; bat 10.0; "
           "at 10000 R_OUT_DELAY_STATE; at 13000 PC_SHUTDOWN";
}

void Tst_Board_Model::power_sequence() {
    QFETCH(QString, script);
    Board_Model m;
    qint64 now = 0;
    for (const QString& step : script.split(QStringLiteral("; "))) {
        const QStringList w = step.split(' ');
        if (w[0] == "cfg") {
            board::Power_Config c = m.power_config();
            for (const QString& kv : w[1].split(',')) {
                c[kv.section('=', 0, 0).toUInt()] = std::uint8_t(kv.section('=', 1, 1).toUInt());
            }
            QString hex = "38";
            for (const std::uint8_t b : c) {
                hex += QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0'));
            }
            exchange(m, hex, now);
        } else if (w[0] == "acc") {
            m.set_acc(w[1] == "1");
        } else if (w[0] == "bat") {
            m.set_battery_voltage(w[1].toDouble());
        } else if (w[0] == "at") {
            now = w[1].toLongLong();
            const Report r = *exchange(m, "37", now);
            QCOMPARE(power_state_name(static_cast<std::uint8_t>(payload(r, 17))), w[2]);
        } else if (w[0] == "uout") {
            const Report r = *exchange(m, "37", now);
            const int count = payload(r, 18) << 8 | payload(r, 19);
            QVERIFY2((count != 0) == (w[1] == "on"), qPrintable(step));
        } else if (w[0] == "monitor") {
            QVERIFY2(m.monitor_on() == (w[1] == "on"), qPrintable(step));
        } else {
            QFAIL(qPrintable("unknown step " + step));
        }
    }
}

void Tst_Board_Model::battery_counts_data() {
    QTest::addColumn<int>("reference_code");
    QTest::addColumn<double>("volts");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("shown");
    QTest::newRow("3.30 V reference, 11.55 V") << 130 << 11.55 << 2047 << "11.55";
    QTest::newRow("3.30 V reference, 12.6 V") << 130 << 12.6 << 2234 << "12.60";
    QTest::newRow("4.54 V reference, 12 V") << 254 << 12.0 << 1546 << "12.00";
    QTest::newRow("2.00 V reference, 12 V") << 0 << 12.0 << 3510 << "12.00";
    QTest::newRow("above the range") << 130 << 30.0 << 4095 << "23.10";
    QTest::newRow("none") << 130 << 0.0 << 0 << "0.00";
}

void Tst_Board_Model::battery_counts() {
    QFETCH(int, reference_code);
    QFETCH(double, volts);
    QFETCH(int, count);
    QFETCH(QString, shown);
    Board_Model m;
    exchange(m, QStringLiteral("48%1").arg(reference_code, 2, 16, QLatin1Char('0')));
    // Every delay 0, so ACC on switches the supply on at once.
    exchange(m, "38 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
    m.set_battery_voltage(volts);
    m.set_acc(true);
    const Report r = *exchange(m, "37", 10);
    const int battery = payload(r, 15) << 8 | payload(r, 16);
    const int output = payload(r, 18) << 8 | payload(r, 19);
    QCOMPARE(battery, count);
    QCOMPARE(output, volts > 0 ? count : 0);
    // The host's scaling.
    const float factor = float(reference_code / 100.0 + 2.0) * 7.0F / 4095.0F;
    QCOMPARE(QString::number(double(factor * float(battery)), 'f', 2), shown);
}

void Tst_Board_Model::temperature_bytes_data() {
    QTest::addColumn<double>("celsius");
    QTest::addColumn<QString>("bytes");
    QTest::newRow("23") << 23.0 << "17 00";
    QTest::newRow("23.5") << 23.5 << "17 80";
    QTest::newRow("-4.5") << -4.5 << "fb 80";
    QTest::newRow("-0.5") << -0.5 << "ff 80";
    QTest::newRow("-5") << -5.0 << "fb 00";
    QTest::newRow("nearest half") << 23.3 << "17 80";
    QTest::newRow("above a byte") << 300.0 << "7f 80";
    QTest::newRow("below a byte") << -300.0 << "80 00";
}

void Tst_Board_Model::temperature_bytes() {
    QFETCH(double, celsius);
    QFETCH(QString, bytes);
    Board_Model m;
    m.set_temperature(celsius);
    const Report r = *exchange(m, "37");
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(r.data()) + 2 + 20, 2).toHex(' '),
             bytes.toLatin1());
}

void Tst_Board_Model::brightness_curve_data() {
    QTest::addColumn<bool>("linear");
    QTest::addColumn<int>("light");
    QTest::addColumn<int>("pwm");
    // Points (100, 10) (200, 110) ... (600, 510) (700, 600 limited to 564).
    QTest::newRow("linear, below the first point") << true << 0 << 10;
    QTest::newRow("linear, at a point") << true << 200 << 110;
    QTest::newRow("linear, between points") << true << 150 << 60;
    QTest::newRow("linear, rounded") << true << 199 << 109;
    QTest::newRow("linear, towards the limited point") << true << 650 << 537;
    QTest::newRow("linear, above the last point") << true << 1023 << 564;
    QTest::newRow("steps, between points") << false << 150 << 10;
    QTest::newRow("steps, just below a point") << false << 199 << 10;
    QTest::newRow("steps, at a point") << false << 200 << 110;
    QTest::newRow("steps, above the last point") << false << 1000 << 564;
}

void Tst_Board_Model::brightness_curve() {
    QFETCH(bool, linear);
    QFETCH(int, light);
    QFETCH(int, pwm);
    Board_Model m;
    // The points out of order: the board takes them by light threshold.
    exchange(m, QStringLiteral("3c 0000000000 02bc 0064 00c8 012c 0190 01f4 0258 "
                               "0258 000a 006e 00d2 0136 019a 01fe 00 00 %1 00")
                    .arg(linear ? "01" : "00"));
    m.set_light_level(light);
    const Report r = *exchange(m, "3b");
    QCOMPARE(payload(r, 0) << 8 | payload(r, 1), pwm);
    QCOMPARE(payload(r, 2) << 8 | payload(r, 3), light);
}

void Tst_Board_Model::eeprom_reset_restores_factory_values() {
    // The reads of what the writes below change, then those of the untouched filter pairs.
    const QStringList changed = {"37",    "39",    "3b",    "47",    "49 00",
                                 "49 01", "4b 00", "4b 01", "45 00", "45 16"};
    QStringList reads = changed;
    for (int k = 2; k < 22; k += 2) {
        reads << QStringLiteral("45%1").arg(k, 2, 16, QLatin1Char('0'));
    }
    Board_Model factory;
    Board_Model m;
    const QString filter_pair =
        "01 01 b820 0000 ffe0 0000 00 00 01 01 02 b820 0000 ffe0 0000 01 01 01";
    for (const QString& w : QStringList{
             "38 01 aa 02 03 04 05 06 07 08 09 bb 0b 0c 0d 0e", "3a 11 22 33 44 55 01",
             "3c 0000000000 0001 0002 0003 0004 0005 0006 0007 0011 0012 0013 0014 0015 0016 "
             "0017 09 08 00 5a",
             "3e 01", "48 10", "4a 00 01 0064" + frame_a, "4a 01 01 0200" + frame_b,
             "4c 00 01 00" + frame_a + frame_b, "4c 01 01 00" + frame_b + frame_a,
             "46 00" + filter_pair, "46 16" + filter_pair, "3f 01 0008 01"}) {
        exchange(m, w);
    }
    for (const QString& r : changed) {
        QVERIFY2(echo_and_payload(*exchange(m, r)) != echo_and_payload(*exchange(factory, r)),
                 qPrintable(r));
    }
    exchange(m, "44");
    for (const QString& r : reads) {
        QCOMPARE(echo_and_payload(*exchange(m, r)).toHex(' '),
                 echo_and_payload(*exchange(factory, r)).toHex(' '));
    }
    // The controller runs on as it was.
    QCOMPARE(echo_and_payload(*exchange(m, "42")).left(6).toHex(' '),
             QByteArray("42 01 00 00 08 01"));
}

void Tst_Board_Model::wire_frame_data() {
    QTest::addColumn<CanFrame>("frame");
    QTest::addColumn<QString>("hex");
    QTest::newRow("standard data") << std_frame(0x661, {0x80, 0, 0, 0, 0, 0, 0, 0})
                                   << "00 00000661 00000000 00 08 80 00 00 00 00 00 00 00";
    CanFrame ext = ext_frame(0x1FFFFFFF, {});
    ext.rtr = CanFrame::rtr_remote;
    QTest::newRow("extended remote") << ext << "04 00000000 1fffffff 02 00 00 00 00 00 00 00 00 00";
    CanFrame odd = std_frame(0x7FF, {1, 2, 3, 4, 5, 6, 7, 8});
    odd.dlc = 12;
    odd.ext_id = 0x01020304;
    QTest::newRow("every field carried as it is")
        << odd << "00 000007ff 01020304 00 0c 01 02 03 04 05 06 07 08";
}

void Tst_Board_Model::wire_frame() {
    QFETCH(CanFrame, frame);
    QFETCH(QString, hex);
    QCOMPARE(wire_hex(frame), QString::fromLatin1(QByteArray::fromHex(hex.toLatin1()).toHex()));
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    QVERIFY(decode_can_wire_frame(reinterpret_cast<const std::uint8_t*>(bytes.data())) == frame);
}

// Entries "k:id:mask" enabled, "-k:id:mask" written but disabled.
void Tst_Board_Model::acceptance_filters_data() {
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<CanFrame>("frame");
    QTest::addColumn<bool>("passes");
    const CanFrame f5c1 = std_frame(0x5C1, {6});
    QTest::newRow("no entry enabled") << QStringList{} << std_frame(0x123, {}) << true;
    QTest::newRow("disabled entry ignored")
        << QStringList{"-3:5c1:7ff"} << std_frame(0x123, {}) << true;
    QTest::newRow("exact identifier") << QStringList{"0:5c1:7ff"} << f5c1 << true;
    QTest::newRow("exact identifier blocks another")
        << QStringList{"0:5c1:7ff"} << std_frame(0x5C2, {}) << false;
    QTest::newRow("mask lets a range in")
        << QStringList{"0:680:7f0"} << std_frame(0x681, {}) << true;
    QTest::newRow("mask keeps the rest out")
        << QStringList{"0:680:7f0"} << std_frame(0x690, {}) << false;
    QTest::newRow("any enabled entry will do")
        << QStringList{"0:5c1:7ff", "13:681:7ff"} << std_frame(0x681, {}) << true;
    QTest::newRow("empty mask takes all")
        << QStringList{"7:000:000"} << std_frame(0x7FF, {}) << true;
    QTest::newRow("extended frame by its top eleven bits")
        << QStringList{"0:5c1:7ff"} << ext_frame(0x5C1U << 18, {}) << true;
    QTest::newRow("extended frame with other top bits")
        << QStringList{"0:5c1:7ff"} << ext_frame(0x5C1, {}) << false;
}

void Tst_Board_Model::acceptance_filters() {
    QFETCH(QStringList, entries);
    QFETCH(CanFrame, frame);
    QFETCH(bool, passes);
    Board_Model m;
    for (const QString& e : entries) {
        const QStringList p = e.split(':');
        const bool enabled = !p[0].startsWith('-');
        const int k = std::abs(p[0].toInt());
        // Read the pair, change the one entry the way the host does, write the pair back.
        QByteArray pair =
            echo_and_payload(
                *exchange(m, QStringLiteral("45%1").arg(k & ~1, 2, 16, QLatin1Char('0'))))
                .mid(1, 26);
        const qsizetype at = (k & 1) * 13;
        const quint16 id = quint16(p[1].toUInt(nullptr, 16) << 5);
        const quint16 mask = quint16(p[2].toUInt(nullptr, 16) << 5);
        pair[at] = enabled ? 1 : 0;
        pair[at + 2] = char(id >> 8);
        pair[at + 3] = char(id);
        pair[at + 6] = char(mask >> 8);
        pair[at + 7] = char(mask);
        exchange(m, QStringLiteral("46%1").arg(k & ~1, 2, 16, QLatin1Char('0')) +
                        QString::fromLatin1(pair.toHex()));
    }
    activate(m, 40, 0);
    m.put_on_bus(frame);
    QCOMPARE(waiting(m, 0), passes ? 1 : 0);
}

void Tst_Board_Model::receive_queue_is_bounded() {
    Board_Model m;
    activate(m, 40, 0);
    for (std::uint32_t i = 0; i < 70; ++i) {
        QVERIFY(m.put_on_bus(std_frame(0x100 + i, {})));
    }
    // 70 frames take 33 ms of the bus; all of them reach the board, 64 fit its queue.
    QCOMPARE(waiting(m, 100), 64);
    QCOMPARE(m.dropped_frames(), std::uint64_t(6));
    QCOMPARE(m.bus_dropped_frames(), std::uint64_t(0));
    const Report three = *exchange(m, "43");
    for (std::size_t i = 0; i < 3; ++i) {
        QCOMPARE(decode_can_wire_frame(three.data() + 2 + 19 * i).std_id, std::uint32_t(0x100 + i));
    }
    const std::vector<CanFrame> rest = drain(m, 0);
    QCOMPARE(rest.size(), std::size_t(61));
    QCOMPARE(rest.back().std_id, 0x100U + 63);
    QCOMPARE(echo_and_payload(*exchange(m, "41")).mid(1, 19), QByteArray(19, '\0'));
}

void Tst_Board_Model::controller_modes_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("own_frames_back");
    QTest::addColumn<bool>("on_bus");
    QTest::addColumn<bool>("hears_bus");
    QTest::newRow("normal") << 0 << false << true << true;
    QTest::newRow("loopback") << 1 << true << true << false;
    QTest::newRow("silent") << 2 << false << false << true;
    QTest::newRow("silent loopback") << 3 << true << false << false;
}

void Tst_Board_Model::controller_modes() {
    QFETCH(int, mode);
    QFETCH(bool, own_frames_back);
    QFETCH(bool, on_bus);
    QFETCH(bool, hears_bus);
    Board_Model m;
    const CanFrame own = std_frame(0x661, {0x80});
    send(m, own, 0); // inactive: goes nowhere
    activate(m, 40, mode);
    QCOMPARE(waiting(m, 0), 0);
    QVERIFY(m.transmitted().empty());
    send(m, own, 0);
    QCOMPARE(m.transmitted().size(), std::size_t(on_bus ? 1 : 0));
    if (on_bus) {
        QVERIFY(m.transmitted().front() == own);
    }
    const std::vector<CanFrame> back = drain(m, 0);
    QCOMPARE(back.size(), std::size_t(own_frames_back ? 1 : 0));
    if (own_frames_back) {
        QVERIFY(back.front() == own);
    }
    m.put_on_bus(std_frame(0x5C1, {6}));
    QCOMPARE(waiting(m, 0), hears_bus ? 1 : 0);
}

void Tst_Board_Model::bus_bit_rate_gates_reception_data() {
    QTest::addColumn<int>("prescaler");
    QTest::addColumn<int>("kbit");
    QTest::addColumn<bool>("received");
    QTest::newRow("40 at 100 kbit/s") << 40 << 100 << true;
    QTest::newRow("39 at 100 kbit/s") << 39 << 100 << false;
    QTest::newRow("41 at 100 kbit/s") << 41 << 100 << false;
    QTest::newRow("8 at 500 kbit/s") << 8 << 500 << true;
    QTest::newRow("16 at 250 kbit/s") << 16 << 250 << true;
    QTest::newRow("32 at 125 kbit/s") << 32 << 125 << true;
    QTest::newRow("42 at 95 kbit/s, integer division") << 42 << 95 << true;
    QTest::newRow("no bus") << 40 << 0 << false;
}

void Tst_Board_Model::bus_bit_rate_gates_reception() {
    QFETCH(int, prescaler);
    QFETCH(int, kbit);
    QFETCH(bool, received);
    Board_Model m;
    m.set_bus_bitrate_kbit(kbit);
    m.load_scenario("idle", 0);
    activate(m, prescaler, 0);
    QCOMPARE(waiting(m, 1000) > 0, received);
}

// The tool's scan: each prescaler from 4 on for 100 ms until frames arrive.
void Tst_Board_Model::bit_rate_scan_finds_the_bus() {
    Board_Model m;
    m.set_bus_bitrate_kbit(125);
    QVERIFY(m.load_scenario("idle", 0));
    qint64 now = 0;
    int found = 0;
    for (int p = 4; p <= 250 && found == 0; ++p) {
        activate(m, p, 0, now);
        now += 100;
        if (waiting(m, now) > 0) {
            found = p;
        } else {
            exchange(m, QStringLiteral("3f00%1 00").arg(p, 4, 16, QLatin1Char('0')), now);
        }
    }
    QCOMPARE(found, 32);
}

void Tst_Board_Model::hardware_timers_send_while_active() {
    Board_Model m;
    exchange(m, "4a 00 01 0064" + wire_hex(std_frame(0x439, {0x0b, 1, 0, 0, 0, 0})));
    exchange(m, "4a 01 01 00fa" + wire_hex(std_frame(0x661, {0x80})));
    m.advance(999);
    QVERIFY(m.transmitted().empty());
    activate(m, 40, 0, 1000);
    m.advance(1500);
    std::vector<std::uint32_t> ids;
    for (const CanFrame& f : m.transmitted()) {
        ids.push_back(f.std_id);
    }
    // 100 ms and 250 ms from activation; at the same moment timer 0 goes first.
    QCOMPARE(ids, (std::vector<std::uint32_t>{0x439, 0x439, 0x661, 0x439, 0x439, 0x439, 0x661}));
    QVERIFY(m.transmitted().front() == std_frame(0x439, {0x0b, 1, 0, 0, 0, 0}));
    exchange(m, "3f 00 0028 00", 1500);
    m.advance(5000);
    QCOMPARE(m.transmitted().size(), ids.size());
}

void Tst_Board_Model::hardware_trigger_answers_data() {
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<CanFrame>("incoming");
    QTest::addColumn<bool>("answers");
    const CanFrame match = std_frame(0x681, {0xb1, 0x22});
    CanFrame beyond = match;
    beyond.data[5] = 0x77;
    CanFrame remote = match;
    remote.rtr = CanFrame::rtr_remote;
    CanFrame longer = match;
    longer.dlc = 3;
    QTest::newRow("equal frame") << true << match << true;
    QTest::newRow("bytes beyond the length not compared") << true << beyond << true;
    QTest::newRow("other data") << true << std_frame(0x681, {0xb1, 0x23}) << false;
    QTest::newRow("other length") << true << longer << false;
    QTest::newRow("other identifier") << true << std_frame(0x682, {0xb1, 0x22}) << false;
    QTest::newRow("remote frame") << true << remote << false;
    QTest::newRow("extended frame of the same number")
        << true << ext_frame(0x681, {0xb1, 0x22}) << false;
    QTest::newRow("trigger disabled") << false << match << false;
}

void Tst_Board_Model::hardware_trigger_answers() {
    QFETCH(bool, enabled);
    QFETCH(CanFrame, incoming);
    QFETCH(bool, answers);
    Board_Model m;
    const CanFrame reply = std_frame(0x680, {0xb2});
    exchange(m, QStringLiteral("4c 01 %1 00").arg(enabled ? "01" : "00") +
                    wire_hex(std_frame(0x681, {0xb1, 0x22})) + wire_hex(reply));
    activate(m, 40, 0);
    m.put_on_bus(incoming);
    QCOMPARE(m.transmitted().size(), std::size_t(answers ? 1 : 0));
    if (answers) {
        QVERIFY(m.transmitted().front() == reply);
    }
    QCOMPARE(waiting(m, 0), 1); // the frame itself is received either way
}

void Tst_Board_Model::trigger_reply_does_not_trigger_again() {
    Board_Model m;
    const CanFrame echo = std_frame(0x123, {1});
    exchange(m, "4c 00 01 00" + wire_hex(echo) + wire_hex(echo));
    activate(m, 40, 3);
    send(m, echo, 0);
    QCOMPARE(waiting(m, 0), 2); // the host's frame and the trigger's one reply
}

void Tst_Board_Model::steering_wheel_buttons_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QList<int>>("holds");  // <ms> [<pause> <ms>]..., one press
    QTest::addColumn<int>("again_at");      // a second press of the same, ms after the first
    QTest::addColumn<CanFrame>("pressed");  // with byte 0 0 where a counter runs
    QTest::addColumn<CanFrame>("released"); // likewise
    QTest::addColumn<bool>("counter");      // byte 0 counts the button frames from 0
    QTest::addColumn<QString>("expected");  // P pressed, R released, at ms after the press

    const CanFrame vw_up = std_frame(0x5C1, {0x06});
    const CanFrame release = std_frame(0x5C1, {0x00});
    const CanFrame volvo_up = std_frame(0x3B0, {0, 0, 0, 0, 0, 0, 0, 0x08});
    const CanFrame volvo_release = std_frame(0x3B0, {0, 0, 0, 0, 0, 0, 0, 0x00});
    QTest::newRow("short") << "buttons"
                           << "vol_up" << QList<int>{250} << -1 << vw_up << release << false
                           << "P0 P100 P200 R250";
    QTest::newRow("tap") << "buttons"
                         << "next" << QList<int>{0} << -1 << std_frame(0x5C1, {0x22}) << release
                         << false << "P0 R0";
    QTest::newRow("held") << "buttons"
                          << "prev" << QList<int>{1000} << -1 << std_frame(0x5C1, {0x23}) << release
                          << false << "P0 P100 P200 P300 P400 P500 P600 P700 P800 P900 R1000";
    QTest::newRow("double") << "buttons"
                            << "vol_up" << QList<int>{100, 200, 100} << -1 << vw_up << release
                            << false << "P0 R100 P300 R400";
    QTest::newRow("triple, pauses of their own")
        << "buttons"
        << "vol_up" << QList<int>{50, 150, 50, 300, 50} << -1 << vw_up << release << false
        << "P0 R50 P200 R250 P550 R600";
    QTest::newRow("second press after the release")
        << "buttons"
        << "vol_up" << QList<int>{100} << 300 << vw_up << release << false << "P0 R100 P300 R400";
    QTest::newRow("second press replaces the held one")
        << "buttons"
        << "vol_up" << QList<int>{100, 200, 100} << 50 << vw_up << release << false
        << "P0 P50 R150 P350 R450";
    QTest::newRow("volkswagen") << "volkswagen"
                                << "mode" << QList<int>{100} << -1 << std_frame(0x5C1, {0x28})
                                << release << false << "P0 R100";
    QTest::newRow("opel") << "opel"
                          << "mute" << QList<int>{150} << -1 << std_frame(0x206, {0x01, 0x16, 0x00})
                          << std_frame(0x206, {0x00, 0x16, 0x00}) << false << "P0 P100 R150";
    QTest::newRow("volvo") << "volvo"
                           << "vol_up" << QList<int>{250} << -1 << volvo_up << volvo_release << true
                           << "P0 P100 P200 R250";
    QTest::newRow("volvo double, the counter runs on")
        << "volvo"
        << "mute" << QList<int>{100, 200, 100} << -1
        << std_frame(0x3B0, {0, 0, 0, 0, 0, 0, 0, 0x20}) << volvo_release << true
        << "P0 R100 P300 R400";
}

void Tst_Board_Model::steering_wheel_buttons() {
    QFETCH(QString, scenario);
    QFETCH(QString, button);
    QFETCH(QList<int>, holds);
    QFETCH(int, again_at);
    QFETCH(CanFrame, pressed);
    QFETCH(CanFrame, released);
    QFETCH(bool, counter);
    QFETCH(QString, expected);
    std::vector<board::Button_Hold> more;
    for (qsizetype i = 1; i + 1 < holds.size(); i += 2) {
        more.push_back({.pause_ms = holds[i], .hold_ms = holds[i + 1]});
    }

    Board_Model m;
    QVERIFY(m.load_scenario(scenario.toStdString(), 0));
    activate(m, 40, 0);
    const qint64 start = 1000;
    const qint64 end = start + 2000;
    QVERIFY(m.press_button(button.toStdString(), holds.front(), start, more));
    QStringList seen;
    std::uint8_t count = 0;
    for (qint64 t = start; t <= end; ++t) {
        if (again_at >= 0 && t == start + again_at) {
            QVERIFY(m.press_button(button.toStdString(), holds.front(), t, more));
        }
        for (CanFrame f : drain(m, t)) {
            if (f.std_id != pressed.std_id) {
                continue;
            }
            if (counter) {
                QCOMPARE(f.data[0], count++);
                f.data[0] = 0;
            }
            const QString at = QString::number(t - start);
            seen << (f == pressed ? "P" + at : f == released ? "R" + at : "?" + at);
        }
    }
    QCOMPARE(seen.join(' '), expected);
}

void Tst_Board_Model::unknown_buttons_are_refused() {
    Board_Model m;
    QVERIFY(!m.press_button("vol_up", 100, 0)); // "none" has no buttons
    QVERIFY(m.load_scenario("idle", 0));
    QVERIFY(!m.press_button("vol_up", 100, 0));
    QVERIFY(m.load_scenario("buttons", 0));
    QVERIFY(!m.press_button("horn", 100, 0));
    QVERIFY(!m.load_scenario("tractor", 0));
    QCOMPARE(m.scenario(), std::string("buttons"));
}

// The tool's head-unit side played by hand: its start-up frame, the frames of its preset
// triggers, the source announcement, the display text it then sends block by block (counter
// 4 after the start-up) and the display's status frames.
void Tst_Board_Model::volkswagen_display_dialogue() {
    Board_Model m;
    QVERIFY(m.load_scenario("volkswagen", 0));
    activate(m, 40, 0);
    const auto dialogue = [&](qint64 t) {
        QList<QByteArray> out;
        for (const CanFrame& f : drain_dialogue(m, t)) {
            out << QByteArray::number(f.std_id, 16) + ':' + data_of(f).toHex(' ');
        }
        return out;
    };

    send(m, std_frame(0x680, {0xa0, 0x0f, 0x59, 0xff, 0x32, 0xff}), 100);
    QCOMPARE(dialogue(109), QList<QByteArray>{});
    QCOMPARE(dialogue(110), QList<QByteArray>{"681:a1 04 8a ff 32 ff"});
    send(m, std_frame(0x680, {0x10, 0x00, 0x52, 0x00, 0xff}), 200);
    QCOMPARE(dialogue(250), QList<QByteArray>{"681:b1"});
    send(m, std_frame(0x661, {0x88, 0, 0, 0, 0, 0, 0, 0}), 300);
    send(m, std_frame(0x361, {0x22, 0xc6, 0xec, 0xf7, 0x39}), 300);
    send(m, std_frame(0x680, {0x11, 0x00, 0x52, 0x00, 0xff}), 300);
    QCOMPARE(dialogue(350), QList<QByteArray>{"681:b2"});
    send(m, std_frame(0x680, {0x22, 0x02, 0x70, 0x52, 0x12, 0x41, 0x75, 0x64}), 400);
    send(m, std_frame(0x680, {0x13, 0x69, 0x6f}), 400);
    QCOMPARE(dialogue(449), QList<QByteArray>{"681:b4"});
    QCOMPARE(dialogue(450), QList<QByteArray>{"681:10 23 00 01 00"});
    send(m, std_frame(0x680, {0xb1}), 460);
    const std::array<std::vector<CanFrame>, 3> blocks = {{
        {std_frame(0x680, {0x24, 0x09, 0x00, 0x60, 0x09, 0x00, 0x00, 0x00}),
         std_frame(0x680, {0x25, 0x00, 0x00, 0x6e, 0x00, 0x5b, 0x00, 0x61}),
         std_frame(0x680, {0x26, 0x13, 0x00, 0x00, 0x13, 0x00, 0x47, 0x00}),
         std_frame(0x680, {0x07, 0x4b, 0x6f, 0x72, 0x76, 0x61, 0x6e, 0x74})},
        {std_frame(0x680, {0x28, 0x65, 0x78, 0x61, 0x20, 0x20, 0x20, 0x60}),
         std_frame(0x680, {0x29, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10}),
         std_frame(0x680, {0x2a, 0x00, 0x10, 0x00, 0x61, 0x0b, 0x01, 0x00}),
         std_frame(0x680, {0x0b, 0x20, 0x00, 0x15, 0x00, 0x43, 0x61, 0x72})},
        {std_frame(0x680, {0x1c, 0x50, 0x43, 0x08})},
    }};
    const std::array<QByteArray, 3> acknowledgements = {"681:b8", "681:bc", "681:bd"};
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const qint64 at = 500 + 100 * qint64(i);
        for (const CanFrame& f : blocks[i]) {
            send(m, f, at);
        }
        QCOMPARE(dialogue(at + 9), QList<QByteArray>{});
        QCOMPARE(dialogue(at + 10), QList<QByteArray>{acknowledgements[i]});
    }
    QCOMPARE(dialogue(1449), QList<QByteArray>{});
    QCOMPARE(dialogue(2450), (QList<QByteArray>{"681:11 02 00 00", "681:12 02 00 00"}));
    send(m, std_frame(0x680, {0xa3}), 2500);
    QCOMPARE(dialogue(2600), QList<QByteArray>{"681:a1 04 8a ff 32 ff"});

    // A head unit at another bit rate is not heard.
    m.set_bus_bitrate_kbit(125);
    send(m, std_frame(0x680, {0xa3}), 2700);
    m.set_bus_bitrate_kbit(100);
    QCOMPARE(dialogue(2800), QList<QByteArray>{});
}

void Tst_Board_Model::opel_display_frames() {
    Board_Model m;
    QVERIFY(m.load_scenario("opel", 0));
    activate(m, 40, 0);
    const CanFrame screen_on = std_frame(0x6C1, {0x10, 0x22, 0xc0, 0x00, 0x1f, 0x03, 0x10, 0x0e});
    const CanFrame screen_off = std_frame(0x6C1, {0x10, 0x3a, 0x40, 0x00, 0x37, 0x03, 0x10, 0x1a});
    std::vector<CanFrame> display = drain_dialogue(m, 150);
    QCOMPARE(display.size(), std::size_t(5));
    QVERIFY(display[0] == screen_on);
    for (std::size_t i = 1; i < display.size(); ++i) {
        QCOMPARE(display[i].std_id, 0x6C1U);
        QCOMPARE(display[i].dlc, std::uint8_t(8));
        QCOMPARE(display[i].data[0], std::uint8_t(0x20 + i));
    }
    QVERIFY(drain_dialogue(m, 2099).empty());
    display = drain_dialogue(m, 2100);
    QCOMPARE(display.size(), std::size_t(1));
    QVERIFY(display[0] == screen_on);

    // Switched off while the screen-on continuations are due: those are dropped, the
    // screen-off frame and its eight continuations follow at once, then every 2000 ms.
    QVERIFY(m.set_head_unit_screen(false, 2105));
    display = drain_dialogue(m, 2300);
    QCOMPARE(display.size(), std::size_t(9));
    QVERIFY(display[0] == screen_off);
    for (std::size_t i = 1; i < display.size(); ++i) {
        QCOMPARE(display[i].dlc, std::uint8_t(8));
        QCOMPARE(display[i].data[0], std::uint8_t(0x20 + i));
    }
    QCOMPARE(data_of(display.back()), QByteArray("\x28RIX\0\0\0\0", 8)); // 52 bytes: padded
    QVERIFY(drain_dialogue(m, 4104).empty());
    display = drain_dialogue(m, 4105);
    QCOMPARE(display.size(), std::size_t(1));
    QVERIFY(display[0] == screen_off);
    QCOMPARE(drain_dialogue(m, 4499).size(), std::size_t(8));

    QVERIFY(m.set_head_unit_screen(true, 4500));
    display = drain_dialogue(m, 4500);
    QCOMPARE(display.size(), std::size_t(1));
    QVERIFY(display[0] == screen_on);

    for (const char* other : {"none", "idle", "volkswagen", "volvo", "buttons"}) {
        QVERIFY(m.load_scenario(other, 5000));
        QVERIFY2(!m.set_head_unit_screen(false, 5000), other);
    }
}

void Tst_Board_Model::same_result_however_time_is_stepped() {
    const auto run = [](int step_ms) {
        Board_Model m;
        m.load_scenario("idle", 0);
        exchange(m, "4a 00 01 0021" + wire_hex(std_frame(0x439, {1})));
        activate(m, 40, 0);
        for (qint64 t = 0; t <= 3000; t += step_ms) {
            m.advance(t);
        }
        std::vector<CanFrame> frames = drain(m, 3000);
        frames.insert(frames.end(), m.transmitted().begin(), m.transmitted().end());
        return frames;
    };
    const std::vector<CanFrame> fine = run(1);
    QCOMPARE(fine.size(), std::size_t(48 + 90));
    QVERIFY(fine == run(3000));
    QVERIFY(fine == run(7));
}

void Tst_Board_Model::bus_capacity_data() {
    QTest::addColumn<int>("kbit");
    QTest::addColumn<CanFrame>("frame");
    QTest::addColumn<int>("bits"); // the frame's length on the wire

    const CanFrame eight = std_frame(0x439, {1, 2, 3, 4, 5, 6, 7, 8});
    CanFrame remote = ext_frame(0x18DAF110, {1, 2, 3, 4, 5, 6, 7, 8});
    remote.rtr = CanFrame::rtr_remote;
    QTest::newRow("100 kbit/s, standard, 8 bytes") << 100 << eight << 111;
    QTest::newRow("100 kbit/s, extended remote, DLC 8") << 100 << remote << 67;
    QTest::newRow("50 kbit/s, standard, no data") << 50 << std_frame(0x439, {}) << 47;
    QTest::newRow("20 kbit/s, extended, 8 bytes")
        << 20 << ext_frame(0x18DAF110, {1, 2, 3, 4, 5, 6, 7, 8}) << 131;
    QTest::newRow("1000 kbit/s carries it all") << 1000 << eight << 111;
}

// Both hardware timers send every millisecond for a second. The wire carries no more than its
// capacity (plus the burst allowance); what it cannot carry waits, at most
// bus_queue_capacity frames, and the rest is dropped and counted.
void Tst_Board_Model::bus_capacity() {
    QFETCH(int, kbit);
    QFETCH(CanFrame, frame);
    QFETCH(int, bits);
    constexpr std::uint64_t span_ms = 1000;
    Board_Model m;
    m.set_bus_bitrate_kbit(kbit);
    exchange(m, "4a 00 01 0001" + wire_hex(frame));
    exchange(m, "4a 01 01 0001" + wire_hex(frame));
    activate(m, 4000 / kbit, 0);
    for (qint64 t = 10; t <= qint64(span_ms); t += 10) {
        m.advance(t);
    }
    const std::uint64_t offered = 2 * span_ms;
    const std::uint64_t capacity = span_ms * std::uint64_t(kbit) / std::uint64_t(bits);
    const std::uint64_t carried = m.bus_carried_frames();
    const QByteArray counts = QByteArray::number(qulonglong(carried)) + " carried, capacity " +
                              QByteArray::number(qulonglong(capacity));
    QVERIFY2(carried <= capacity + std::uint64_t(board::bus_burst_bits / bits) + 2, counts);
    QVERIFY2(carried + 2 >= std::min(offered, capacity), counts); // the wire was kept busy
    QCOMPARE(carried + m.bus_queue_size() + m.bus_dropped_frames(), offered);
    if (offered > carried) {
        QCOMPARE(m.bus_queue_size(), board::bus_queue_capacity);
    }
}

// A few frames at once take effect at once; more wait for the wire and go at its pace (an
// 8-byte frame every 1.11 ms at 100 kbit/s), and what does not fit the wait is lost.
void Tst_Board_Model::frames_wait_for_the_bus() {
    constexpr int sent = 100;
    constexpr int bits = 111;
    constexpr int at_once = board::bus_burst_bits / bits + 1;
    constexpr int accepted = at_once + int(board::bus_queue_capacity);
    constexpr int kbit = 100;
    constexpr int first_read_ms = 40;
    Board_Model m;
    activate(m, 40, 0);
    int taken = 0;
    for (int i = 0; i < sent; ++i) {
        taken += m.put_on_bus(std_frame(0x5C1, {1, 2, 3, 4, 5, 6, 7, std::uint8_t(i)})) ? 1 : 0;
    }
    QCOMPARE(taken, accepted);
    QCOMPARE(m.bus_dropped_frames(), std::uint64_t(sent - accepted));
    QCOMPARE(waiting(m, 0), at_once);
    std::vector<CanFrame> received = drain(m, first_read_ms);
    QCOMPARE(int(received.size()), (first_read_ms * kbit + board::bus_burst_bits) / bits + 1);
    const std::vector<CanFrame> rest = drain(m, 100);
    received.insert(received.end(), rest.begin(), rest.end());
    QCOMPARE(int(received.size()), accepted);
    for (int i = 0; i < accepted; ++i) {
        QCOMPARE(int(received[std::size_t(i)].data[7]), i); // in the order they were sent
    }
}

void Tst_Board_Model::deactivating_aborts_frames_waiting_for_the_bus() {
    Board_Model m;
    activate(m, 40, 0);
    const CanFrame f = std_frame(0x661, {1, 2, 3, 4, 5, 6, 7, 8});
    for (int i = 0; i < 20; ++i) {
        send(m, f, 0);
    }
    const std::size_t at_once = m.transmitted().size();
    QCOMPARE(m.bus_queue_size(), 20 - at_once);
    exchange(m, "3f 00 0028 00", 0);
    QCOMPARE(m.bus_queue_size(), std::size_t(0));
    m.advance(100);
    QCOMPARE(m.transmitted().size(), at_once);
    QCOMPARE(m.bus_carried_frames(), std::uint64_t(at_once));
}

void Tst_Board_Model::trigger_storm_saturates_the_bus_data() {
    QTest::addColumn<CanFrame>("display");
    QTest::addColumn<CanFrame>("head_unit");
    QTest::newRow("block ends") << std_frame(0x681, {0xb1}) << std_frame(0x680, {0x10});
    QTest::newRow("channel tests")
        << std_frame(0x681, {0xa1, 0x04, 0x8a, 0xff, 0x32, 0xff}) << std_frame(0x680, {0xa3});
}

// Frames that answer each other fill the bus, not the board's time: ten seconds of a storm
// are run in steps that each finish, carry no more than the bus can, and count what is lost.
void Tst_Board_Model::trigger_storm_saturates_the_bus() {
    QFETCH(CanFrame, display);
    QFETCH(CanFrame, head_unit);
    constexpr qint64 span_ms = 10'000;
    constexpr qint64 step_ms = 10;
    constexpr int shortest_frame_bits = 47;
    constexpr int longest_frame_here_bits = 111; // the vehicle's heartbeat
    Board_Model m = trigger_storm(display, head_unit);
    std::uint64_t dropped_before_last_second = 0;
    for (qint64 t = step_ms; t <= span_ms; t += step_ms) {
        m.advance(t);
        if (m.now_ms() != t) {
            QFAIL(qPrintable(QStringLiteral("fell behind at %1 ms").arg(t)));
        }
        if (t == span_ms - 1000) {
            dropped_before_last_second = m.bus_dropped_frames();
        }
    }
    const std::uint64_t carried = m.bus_carried_frames();
    QVERIFY2(carried <= std::uint64_t(span_ms * 100 / shortest_frame_bits),
             QByteArray::number(qulonglong(carried)));
    QVERIFY2(carried >= std::uint64_t((span_ms - 1000) * 100 / longest_frame_here_bits),
             QByteArray::number(qulonglong(carried)));
    QVERIFY(m.bus_dropped_frames() > dropped_before_last_second); // still at it, and counted
    QVERIFY(m.bus_queue_size() <= board::bus_queue_capacity);
    QVERIFY(m.transmitted().back() == head_unit);
}

// A board far behind (its process was stopped) catches up in calls of bounded work and ends
// where a board stepped all along is.
void Tst_Board_Model::catching_up_takes_bounded_steps() {
    const CanFrame display = std_frame(0x681, {0xb1});
    const CanFrame head_unit = std_frame(0x680, {0x10});
    constexpr qint64 span_ms = 10'000;
    Board_Model stepped = trigger_storm(display, head_unit);
    for (qint64 t = 10; t <= span_ms; t += 10) {
        stepped.advance(t);
    }
    Board_Model late = trigger_storm(display, head_unit);
    int calls = 0;
    while (late.now_ms() < span_ms && calls < 1000) {
        const std::uint64_t before = late.bus_carried_frames();
        late.advance(span_ms);
        QVERIFY(late.bus_carried_frames() - before <= board::advance_event_budget);
        ++calls;
    }
    QCOMPARE(late.now_ms(), span_ms);
    QVERIFY2(calls > 1, "the budget never ran out");
    QCOMPARE(late.bus_carried_frames(), stepped.bus_carried_frames());
    QCOMPARE(late.bus_dropped_frames(), stepped.bus_dropped_frames());
    QVERIFY(late.transmitted() == stepped.transmitted());
}

QTEST_APPLESS_MAIN(Tst_Board_Model)
#include "tst_board_model.moc"
