// The bus monitor and sending against the in-process board: the receive loop, dispatch to
// the lists, view, log and UDP, the bit-rate scan, and the "Send Message" and mass send.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QNetworkDatagram>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>
#include <cerrno>
#include <sys/socket.h>

#include "can/can_monitor.h"
#include "can/can_text.h"
#include "can/udp_forwarder.h"
#include "frame_fixture.h"
#include "poll_fixture.h"
#include "protocol/commands.h"

namespace {

constexpr int prescaler_100_kbit = 40;
constexpr int can_tab = 5;

// A connected window, past its first cycle, whose board's bus runs at 100 kbit/s.
struct Monitor_Fixture : Poll_Fixture {
    Monitor_Fixture() {
        // The view is refreshed only while it can be seen, at most every 100 ms.
        window.monitor_clock = [this] { return clock_ms += 1000; };
        control<QTabWidget>("tabWidget")->setCurrentIndex(can_tab);
        window.show();
        cycle();
        window.can_log_open(log_dir.path());
    }

    std::int64_t clock_ms = 0;

    void activate_bus(int prescaler = prescaler_100_kbit) {
        board::Report r{};
        r[1] = CMD_CAN_ACTIVATE;
        r[2] = 1;
        r[3] = static_cast<std::uint8_t>(prescaler >> 8);
        r[4] = static_cast<std::uint8_t>(prescaler & 0xFF);
        QVERIFY(board->model.answer(r, board->now_ms));
    }

    // A vehicle node sends `frame`; the board's time runs on while the bus carries it.
    void on_bus(const CanFrame& frame, int times = 1) {
        constexpr int bus_ms_per_frame = 2; // more than a frame takes at 100 kbit/s
        for (int i = 0; i < times; ++i) {
            board->model.put_on_bus(frame);
            board->now_ms += bus_ms_per_frame;
            board->model.advance(board->now_ms);
        }
    }

    QStringList view_lines() const {
        const QString text = control<QPlainTextEdit>("can_recieved_plainTextEdit")->toPlainText();
        return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }

    QStringList list_items(const char* name) const {
        QStringList items;
        auto* list = control<QListWidget>(name);
        for (int i = 0; i < list->count(); ++i) {
            items << list->item(i)->text();
        }
        return items;
    }

    QStringList log_lines() const {
        QFile f(log_dir.filePath(QStringLiteral("can_log.txt")));
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
            return {};
        }
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    }

    QTemporaryDir log_dir;
};

const Codes status_part{CMD_READ_POWER, CMD_WRITE_SOUND, CMD_READ_PWM, CMD_CAN_STATUS};

Codes with(Codes tail) {
    Codes c = status_part;
    c.insert(c.end(), tail.begin(), tail.end());
    return c;
}

} // namespace

class Tst_Can_Monitor : public QObject {
    Q_OBJECT

private slots:
    void receive_loop_data();
    void receive_loop();
    void view_waits_while_out_of_sight();
    void inactive_bus_reads_nothing();
    void blocked_identifier_skips_view_and_known_list();
    void lists_move_and_stay_sorted();
    void one_line_view_and_cap();
    void log_file_lines();
    void udp_datagram();
    void identifier_lists_are_bounded();
    void udp_batch_tries_every_datagram();
    void previous_log_is_kept();
    void scan_without_traffic();
    void scan_finds_the_bus();
    void send_message_payload_data();
    void send_message_payload();
    void speed_text_data();
    void speed_text();
};

void Tst_Can_Monitor::receive_loop_data() {
    QTest::addColumn<int>("waiting");
    QTest::addColumn<Codes>("codes");
    QTest::newRow("7") << 7 << with({CMD_CAN_READ_THREE, CMD_CAN_READ_THREE, CMD_CAN_READ_ONE});
    QTest::newRow("5") << 5 << with({CMD_CAN_READ_THREE, CMD_CAN_READ_ONE, CMD_CAN_READ_ONE});
    QTest::newRow("2") << 2 << with({CMD_CAN_READ_ONE, CMD_CAN_READ_ONE});
    QTest::newRow("0") << 0 << status_part;
}

void Tst_Can_Monitor::receive_loop() {
    QFETCH(int, waiting);
    QFETCH(Codes, codes);
    Monitor_Fixture f;
    f.activate_bus();
    for (int i = 0; i < waiting; ++i) {
        f.on_bus(
            standard(0x100 + static_cast<std::uint32_t>(i), 1, {static_cast<std::uint8_t>(i)}));
    }
    QCOMPARE(f.cycle(), codes);
    QCOMPARE(f.control<QLineEdit>("can_status_lineEdit")->text(), QStringLiteral("ACTIVE"));
    QCOMPARE(f.control<QPushButton>("can_activate_pushButton")->text(),
             QStringLiteral("Deactivate"));
    const QStringList lines = f.view_lines();
    QCOMPARE(lines.size(), waiting);
    if (waiting > 0) {
        // Dispatched in the board's order.
        QCOMPARE(lines.front(), QStringLiteral("ID: STD=0x100   RTR: DATA   DLC: 1   DATA: 0x0"));
        QCOMPARE(lines.back(),
                 can_frame_to_text(standard(0x100 + static_cast<std::uint32_t>(waiting - 1), 1,
                                            {static_cast<std::uint8_t>(waiting - 1)})));
    }
    QCOMPARE(f.control<QLineEdit>("can_max_messages_lineEdit")->text(), QString::number(waiting));
    QCOMPARE(f.list_items("can_id_known_listWidget").size(), waiting);
}

void Tst_Can_Monitor::view_waits_while_out_of_sight() {
    Monitor_Fixture f;
    f.activate_bus();
    f.control<QTabWidget>("tabWidget")->setCurrentIndex(0);
    f.on_bus(standard(0x400, 0), 3);
    f.cycle();
    f.control<QTabWidget>("tabWidget")->setCurrentIndex(can_tab);
    QVERIFY(f.view_lines().isEmpty());
    f.cycle(); // nothing new on the bus: the waiting lines come in now
    QCOMPARE(f.view_lines().size(), 3);

    // Within 100 ms of the last refresh the view waits too.
    f.window.monitor_clock = [] { return std::int64_t{0}; };
    f.on_bus(standard(0x401, 0));
    f.cycle();
    QCOMPARE(f.view_lines().size(), 3);
    f.window.monitor_clock = [] { return std::int64_t{1'000'000}; };
    f.cycle();
    QCOMPARE(f.view_lines().size(), 4);
}

void Tst_Can_Monitor::inactive_bus_reads_nothing() {
    Monitor_Fixture f;
    f.on_bus(standard(0x123, 0), 3); // not heard: the controller is off
    QCOMPARE(f.cycle(), status_part);
    QCOMPARE(f.control<QLineEdit>("can_status_lineEdit")->text(), QStringLiteral("NON ACTIVE"));
    QCOMPARE(f.control<QLineEdit>("can_max_messages_lineEdit")->text(), QStringLiteral("0"));
    QVERIFY(!f.control<QWidget>("can_send_groupBox")->isEnabled());
    QVERIFY(f.control<QWidget>("can_setup_groupBox")->isEnabled());

    // Activate from the button: the request is the opposite of the reported state.
    f.control<QSpinBox>("can_prescaler_spinBox")->setValue(prescaler_100_kbit);
    f.control<QComboBox>("can_mode_comboBox")->setCurrentIndex(2);
    f.control<QPushButton>("can_activate_pushButton")->click();
    const auto& sent = f.last(CMD_CAN_ACTIVATE).payload;
    QCOMPARE(int{sent[0]}, 1);
    QCOMPARE(int{sent[1]}, 0);
    QCOMPARE(int{sent[2]}, prescaler_100_kbit);
    QCOMPARE(int{sent[3]}, 2);
    QVERIFY(!f.control<QPushButton>("can_activate_pushButton")->isEnabled());
    f.cycle();
    QCOMPARE(f.control<QLineEdit>("can_status_lineEdit")->text(), QStringLiteral("ACTIVE"));
    QVERIFY(f.control<QWidget>("can_send_groupBox")->isEnabled());
}

void Tst_Can_Monitor::blocked_identifier_skips_view_and_known_list() {
    Monitor_Fixture f;
    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress::LocalHost, udp_port));
    f.control<QCheckBox>("udpObdSend_checkBox")->setChecked(true);
    f.activate_bus();
    f.on_bus(standard(0x200, 1, {0x01}));
    f.cycle();
    QCOMPARE(f.list_items("can_id_known_listWidget"), QStringList{"0x200"});
    auto* known = f.control<QListWidget>("can_id_known_listWidget");
    known->item(0)->setSelected(true);
    f.control<QPushButton>("can_id_add_to_blocked_pushButton")->click();
    QCOMPARE(f.list_items("can_id_blocked_listWidget"), QStringList{"0x200"});
    f.control<QPushButton>("can_clear_pushButton")->click();
    QTRY_VERIFY(receiver.hasPendingDatagrams());
    while (receiver.hasPendingDatagrams()) {
        receiver.receiveDatagram();
    }

    f.on_bus(standard(0x200, 1, {0x02}));
    f.cycle();
    QVERIFY(f.view_lines().isEmpty());
    QVERIFY(f.list_items("can_id_known_listWidget").isEmpty());
    QTRY_VERIFY(receiver.hasPendingDatagrams()); // still forwarded
    QCOMPARE(int{static_cast<std::uint8_t>(receiver.receiveDatagram().data()[4])}, 0x02);
}

void Tst_Can_Monitor::lists_move_and_stay_sorted() {
    Monitor_Fixture f;
    f.activate_bus();
    for (std::uint32_t id : {0x20U, 0x100U, 0x7U}) {
        f.on_bus(standard(id, 0));
    }
    f.cycle();
    QCOMPARE(f.list_items("can_id_known_listWidget"), (QStringList{"0x100", "0x20", "0x7"}));
    auto* known = f.control<QListWidget>("can_id_known_listWidget");
    known->item(1)->setSelected(true);
    f.control<QPushButton>("can_id_add_to_blocked_pushButton")->click();
    QCOMPARE(f.list_items("can_id_known_listWidget"), (QStringList{"0x100", "0x7"}));
    f.control<QListWidget>("can_id_blocked_listWidget")->item(0)->setSelected(true);
    f.control<QPushButton>("can_id_add_to_known_pushButton")->click();
    QCOMPARE(f.list_items("can_id_known_listWidget"), (QStringList{"0x100", "0x20", "0x7"}));
    f.control<QPushButton>("can_id_add_all_to_blocked_pushButton")->click();
    QCOMPARE(f.list_items("can_id_blocked_listWidget"), (QStringList{"0x100", "0x20", "0x7"}));
    QVERIFY(f.list_items("can_id_known_listWidget").isEmpty());
    f.control<QPushButton>("can_clear_pushButton")->click();
    f.on_bus(standard(0x7, 0));
    f.cycle();
    QVERIFY(f.view_lines().isEmpty()); // all blocked now
    f.control<QPushButton>("can_id_add_all_to_known_pushButton")->click();
    QCOMPARE(f.list_items("can_id_known_listWidget").size(), 3);
}

void Tst_Can_Monitor::one_line_view_and_cap() {
    Monitor_Fixture f;
    f.activate_bus();
    for (int round = 0; round < 9; ++round) {
        for (int i = 0; i < 60; ++i) {
            f.on_bus(standard(0x300, 1, {static_cast<std::uint8_t>(i)}));
        }
        f.cycle();
    }
    QCOMPARE(f.view_lines().size(), 500);
    QCOMPARE(f.view_lines().back(), can_frame_to_text(standard(0x300, 1, {59})));

    f.control<QCheckBox>("can_one_line_checkBox")->setChecked(true);
    f.on_bus(standard(0x301, 0), 4);
    f.on_bus(standard(0x302, 0));
    f.cycle();
    QCOMPARE(f.view_lines(), QStringList{can_frame_to_text(standard(0x302, 0))});

    f.control<QCheckBox>("can_one_line_checkBox")->setChecked(false);
    f.control<QWidget>("can_log_groupBox")->setProperty("checked", false);
    f.on_bus(standard(0x303, 0));
    f.cycle();
    QCOMPARE(f.view_lines().size(), 1); // the view no longer takes frames
}

void Tst_Can_Monitor::log_file_lines() {
    Monitor_Fixture f;
    f.control<QCheckBox>("can_write_log_checkBox")->setChecked(true);
    f.activate_bus();
    f.on_bus(standard(0x5C1, 1, {0x06}));
    f.on_bus(standard(0x123, 1, {0x06}));
    f.cycle();
    auto* mass = f.control<QPlainTextEdit>("can_mass_send_plainTextEdit");
    mass->setPlainText(QStringLiteral(
        "ID: STD=0x661   RTR: DATA   DLC: 8   DATA: 0x80 0x0 0x0 0x0 0x0 0x0 0x0 0x0\n"
        "prose\n"
        "ID: STD=0X662   RTR: DATA   DLC: 2   DATA: 0x01 0x02\n"
        "ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xa3\n"
        "ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xa4"));
    const std::size_t before = f.board->exchanges.size();
    f.control<QPushButton>("can_mass_send_pushButton")->click();
    QCOMPARE(f.board->exchanges.size() - before, 4U);
    QCOMPARE(f.board->exchanges[before + 1].payload[4], std::uint8_t{0x62});

    const QStringList lines = f.log_lines();
    QVERIFY(lines[0].startsWith(QStringLiteral("Log started at: ")));
    const QStringList expected{
        QString(), QStringLiteral("RECV  <<    ID: STD=0x5c1   RTR: DATA   DLC: 1   DATA: 0x6"),
        QStringLiteral("SEND    >>  ID: STD=0X662   RTR: DATA   DLC: 2   DATA: 0x01 0x02"),
        QStringLiteral("SEND    >>  ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xa4"), QString()};
    QCOMPARE(lines.mid(1), expected);
}

void Tst_Can_Monitor::udp_datagram() {
    Monitor_Fixture f;
    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress::LocalHost, udp_port));
    f.control<QCheckBox>("udpObdSend_checkBox")->setChecked(true);
    f.activate_bus();
    f.on_bus(standard(0x7DF, 2, {0x02, 0x01, 0xAA}));
    CanFrame ext;
    ext.ide = CanFrame::ide_extended;
    ext.ext_id = 0x18DAF110;
    ext.dlc = 1;
    f.on_bus(ext);
    f.cycle();
    QTRY_VERIFY(receiver.hasPendingDatagrams());
    QCOMPARE(receiver.receiveDatagram().data().toHex(' '),
             QByteArray("88 07 df 02 02 01 aa 00 00 00 00 00"));
    QTRY_VERIFY(receiver.hasPendingDatagrams());
    QCOMPARE(receiver.receiveDatagram().data().left(4).toHex(' '), QByteArray("88 f1 10 01"));
}

// A bus of ever-new identifiers: the lists stop at their capacity, the frames still go
// everywhere else, and the page says how many frames found no place.
void Tst_Can_Monitor::identifier_lists_are_bounded() {
    Monitor_Fixture f;
    f.control<QCheckBox>("can_write_log_checkBox")->setChecked(true);
    auto* known = f.control<QListWidget>("can_id_known_listWidget");
    auto* blocked = f.control<QListWidget>("can_id_blocked_listWidget");
    auto* notes = f.control<QLabel>("can_monitor_notes_label");
    QVERIFY(!notes->isVisible());
    const auto flood = [&f](std::uint32_t first, int count) {
        for (int i = 0; i < count; ++i) {
            CanFrame frame;
            frame.ide = CanFrame::ide_extended;
            frame.ext_id = first + static_cast<std::uint32_t>(i);
            f.window.can_receive_frame(frame);
        }
        f.window.can_dispatch_flush();
    };
    flood(0x10000, 10'000);
    QCOMPARE(known->count(), can_id_list_capacity);
    QVERIFY(notes->isVisible());
    QCOMPARE(notes->text(), QStringLiteral("Кадров вне списков: 5904"));
    CanFrame last;
    last.ide = CanFrame::ide_extended;
    last.ext_id = 0x10000 + 9'999;
    QCOMPARE(f.view_lines().back(), can_frame_to_text(last)); // still dispatched

    // A log frame beyond the capacity is still logged.
    f.window.can_receive_frame(standard(0x5C1, 1, {0x06}));
    QVERIFY(f.log_lines().contains(
        QStringLiteral("RECV  <<    ID: STD=0x5c1   RTR: DATA   DLC: 1   DATA: 0x6")));

    // Moves stop where the receiving list is full.
    f.control<QPushButton>("can_id_add_all_to_blocked_pushButton")->click();
    QCOMPARE(blocked->count(), can_id_list_capacity);
    QCOMPARE(known->count(), 0);
    flood(0x20000, can_id_list_capacity + 1);
    QCOMPARE(known->count(), can_id_list_capacity);
    f.control<QPushButton>("can_id_add_all_to_blocked_pushButton")->click();
    QCOMPARE(blocked->count(), can_id_list_capacity);
    QCOMPARE(known->count(), can_id_list_capacity);
}

// One datagram of a batch that the system refuses does not take the rest with it.
void Tst_Can_Monitor::udp_batch_tries_every_datagram() {
    Udp_Forwarder forwarder(udp_host, udp_port);
    std::vector<char> sent; // first byte of each datagram taken
    int calls = 0;
    bool refuse_second = true;
    forwarder.set_sender([&](int, mmsghdr* messages, unsigned count) {
        ++calls;
        for (unsigned i = 0; i < count; ++i) {
            const auto* part = messages[i].msg_hdr.msg_iov;
            const char first = static_cast<const char*>(part->iov_base)[0];
            if (refuse_second && first == 2) {
                errno = EAGAIN;
                return i == 0 ? -1 : static_cast<int>(i);
            }
            sent.push_back(first);
        }
        return static_cast<int>(count);
    });
    for (char n = 1; n <= 5; ++n) {
        Udp_Forwarder::Datagram d{};
        d[0] = n;
        forwarder.queue(d);
    }
    forwarder.flush();
    QCOMPARE(sent, (std::vector<char>{1, 3, 4, 5}));
    QCOMPARE(forwarder.failed(), std::uint64_t{1});
    QCOMPARE(forwarder.last_error(), EAGAIN);
    QVERIFY(forwarder.take_failure_report());
    QVERIFY(!forwarder.take_failure_report()); // said once

    // Still failing: counted, not said again; after a good batch a new failure is said.
    Udp_Forwarder::Datagram two{};
    two[0] = 2;
    forwarder.queue(two);
    forwarder.flush();
    QCOMPARE(forwarder.failed(), std::uint64_t{2});
    QVERIFY(!forwarder.take_failure_report());
    refuse_second = false;
    forwarder.queue(two);
    forwarder.flush();
    refuse_second = true;
    forwarder.queue(two);
    forwarder.flush();
    QCOMPARE(forwarder.failed(), std::uint64_t{3});
    QVERIFY(forwarder.take_failure_report());
}

void Tst_Can_Monitor::previous_log_is_kept() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("can_log.txt"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("the previous run\n");
    old.close();
    Poll_Fixture f;
    f.window.can_log_open(dir.path());
    QFile kept(path + QStringLiteral(".1"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("the previous run\n"));
    QFile fresh(path);
    QVERIFY(fresh.open(QIODevice::ReadOnly));
    QVERIFY(fresh.readAll().startsWith("Log started at: "));

    // The next start keeps only the run before it.
    f.window.can_log_open(dir.path());
    kept.close();
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QVERIFY(kept.readAll().startsWith("Log started at: "));
}

void Tst_Can_Monitor::scan_without_traffic() {
    Monitor_Fixture f;
    std::int64_t now = 0;
    f.window.monitor_clock = [&now] { return now; };
    f.control<QPushButton>("canScan_pushButton")->click();
    QVERIFY(!f.control<QPushButton>("canScan_pushButton")->isEnabled());
    const std::size_t before = f.board->exchanges.size();
    for (int i = 0; i < 2000 && !f.control<QPushButton>("canScan_pushButton")->isEnabled(); ++i) {
        now += 50;
        f.board->now_ms = now;
        f.cycle();
    }
    std::vector<std::pair<int, int>> activations; // (on, prescaler)
    for (std::size_t i = before; i < f.board->exchanges.size(); ++i) {
        const auto& e = f.board->exchanges[i];
        if (e.command == CMD_CAN_ACTIVATE) {
            activations.emplace_back(e.payload[0], e.payload[1] << 8 | e.payload[2]);
            QCOMPARE(int{e.payload[3]}, 0); // always the normal mode
        }
    }
    std::vector<std::pair<int, int>> expected;
    for (int p = 4; p <= 250; ++p) {
        expected.emplace_back(1, p);
        expected.emplace_back(0, p);
    }
    QCOMPARE(activations, expected);
    QVERIFY(!f.board->model.can_active());
    f.cycle();
    QCOMPARE(f.control<QLineEdit>("can_status_lineEdit")->text(), QStringLiteral("NON ACTIVE"));
    QVERIFY(f.control<QPushButton>("canScan_pushButton")->isEnabled());
}

void Tst_Can_Monitor::scan_finds_the_bus() {
    Monitor_Fixture f;
    std::int64_t now = 0;
    f.window.monitor_clock = [&now] { return now; };
    f.board->model.set_bus_bitrate_kbit(125);
    QVERIFY(f.board->model.load_scenario("idle", now));
    f.control<QSpinBox>("canScanTime_spinBox")->setValue(300);
    f.control<QPushButton>("canScan_pushButton")->click();
    for (int i = 0; i < 2000 && !f.control<QPushButton>("canScan_pushButton")->isEnabled(); ++i) {
        now += 50;
        f.board->now_ms = now;
        f.cycle();
    }
    QVERIFY(f.board->model.can_active());
    QCOMPARE(int{f.board->model.prescaler()}, 32);
    QCOMPARE(f.control<QSpinBox>("can_prescaler_spinBox")->value(), 32);
    QCOMPARE(f.control<QLineEdit>("can_speed_lineEdit")->text(), QStringLiteral("125.0 kbit/s"));
    QVERIFY(!f.view_lines().isEmpty());
}

void Tst_Can_Monitor::send_message_payload_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("extended");
    QTest::addColumn<int>("dlc");
    QTest::addColumn<QString>("data1");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("id_after");
    QTest::newRow("ext 1fffffff, dlc 2, eight fields")
        << "1fffffff" << true << 2 << "0x5"
        << QByteArray("04 00000000 1fffffff 00 02 8305000000000000") << "1fffffff";
    QTest::newRow("word corrected to 0x0")
        << "hello" << false << 8 << "zz"
        << QByteArray("00 00000000 00000000 00 08 8300000000000000") << "0x0";
}

void Tst_Can_Monitor::send_message_payload() {
    QFETCH(QString, id);
    QFETCH(bool, extended);
    QFETCH(int, dlc);
    QFETCH(QString, data1);
    QFETCH(QByteArray, payload);
    QFETCH(QString, id_after);
    Monitor_Fixture f;
    f.activate_bus();
    f.cycle(); // the group is enabled while the bus is active
    f.control<QLineEdit>("can_send_id_lineEdit")->setText(id);
    f.control<QRadioButton>(extended ? "can_send_ExtID_radioButton" : "can_send_StdID_radioButton")
        ->setChecked(true);
    f.control<QSpinBox>("can_send_dlc_spinBox")->setValue(dlc);
    f.control<QLineEdit>("can_send_data1_lineEdit")->setText(data1);
    f.control<QPushButton>("can_send_pushButton")->click();
    const auto& sent = f.last(CMD_CAN_SEND).payload;
    const QByteArray bytes(reinterpret_cast<const char*>(sent.data()), 19);
    QCOMPARE(bytes.toHex(), QByteArray::fromHex(payload.replace(' ', "")).toHex());
    QCOMPARE(f.control<QLineEdit>("can_send_id_lineEdit")->text(), id_after);
    if (data1 == QLatin1String("zz")) {
        QCOMPARE(f.control<QLineEdit>("can_send_data1_lineEdit")->text(), QStringLiteral("0x0"));
    }
}

void Tst_Can_Monitor::speed_text_data() {
    QTest::addColumn<int>("prescaler");
    QTest::addColumn<QString>("text");
    QTest::newRow("40") << 40 << "100.0 kbit/s";
    QTest::newRow("1") << 1 << "4000.0 kbit/s";
    QTest::newRow("3") << 3 << "1333.3 kbit/s";
    QTest::newRow("255") << 255 << "15.7 kbit/s";
}

void Tst_Can_Monitor::speed_text() {
    QFETCH(int, prescaler);
    QFETCH(QString, text);
    QCOMPARE(can_speed_text(prescaler), text);
}

QTEST_MAIN(Tst_Can_Monitor)
#include "tst_can_monitor.moc"
