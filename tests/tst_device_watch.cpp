// The tool's side of a virtual board: the real virtual board program serves the board on
// its socket, and the window's device watch and the board object talk to it.
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include "app/widget.h"
#include "hid/hid_device.h"
#include "hid/virtual_backend.h"
#include "process_fixture.h"
#include "protocol/commands.h"

namespace {

constexpr int short_timeout_ms = 300;

// The virtual board program, driven through its standard input.
class Virtual_Board : public Child_Process {
public:
    explicit Virtual_Board(const QStringList& options = {}) {
        process.start(QStringLiteral(TABRIX_VIRTUAL_BOARD), options);
    }

    QByteArray command(const QByteArray& line) { return board_command(process, line); }

    bool serving() const { return !Virtual_Backend().enumerate().empty(); }
};

// A board object with no watch thread, searching only the virtual devices.
struct Plain_Device {
    Plain_Device() : device(Hid_Backends{std::make_shared<Virtual_Backend>()}) {
        device.init(0x8D88, 0x00CC, 0, 0);
        device.set_io_timeout_ms(short_timeout_ms);
    }
    Hid_Device device;
};

std::uint16_t battery_count(const Hid_Device::Reply& reply) {
    return static_cast<std::uint16_t>(reply[16] << 8 | reply[17]); // payload bytes 15..16
}

} // namespace

class Tst_Device_Watch : public QObject {
    Q_OBJECT

private slots:
    void watch_follows_unplug_and_plug();
    void lost_reply_ends_within_time_out();
    void late_reply_is_discarded();
    void write_to_a_gone_board_reports_the_error();
    void trigger_set_in_the_window_answers_the_bus();
};

void Tst_Device_Watch::watch_follows_unplug_and_plug() {
    Virtual_Board board;
    QVERIFY(board.process.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(board.serving(), 5000);

    Widget window;
    QTRY_VERIFY_WITH_TIMEOUT(window.hid.connected, 2000);
    Hid_Device::Reply reply{};
    QVERIFY(window.hid.exchange(CMD_IDENTIFY, &reply, nullptr));
    QCOMPARE(reply[0], std::uint8_t{CMD_IDENTIFY});
    QCOMPARE(reply[1], std::uint8_t{2});
    window.hid.identify_pending = false;

    QVERIFY(board.command("unplug").startsWith("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(!window.hid.connected, 1000);
    QVERIFY(window.hid.identify_pending);
    QVERIFY(!window.hid.exchange(CMD_IDENTIFY, &reply, nullptr));

    QVERIFY(board.command("plug").startsWith("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(window.hid.connected, 2000);
    QVERIFY(window.hid.exchange(CMD_IDENTIFY, &reply, nullptr));
}

void Tst_Device_Watch::lost_reply_ends_within_time_out() {
    Virtual_Board board;
    QTRY_VERIFY_WITH_TIMEOUT(board.serving(), 5000);
    Plain_Device d;
    QVERIFY(d.device.open());
    QVERIFY(board.command("drop 1").startsWith("ok"));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!d.device.exchange(CMD_IDENTIFY, nullptr, nullptr));
    QVERIFY(clock.elapsed() >= short_timeout_ms - 20);
    QVERIFY(clock.elapsed() < 3 * short_timeout_ms);
    QVERIFY(d.device.exchange(CMD_IDENTIFY, nullptr, nullptr));
}

void Tst_Device_Watch::late_reply_is_discarded() {
    Virtual_Board board;
    QTRY_VERIFY_WITH_TIMEOUT(board.serving(), 5000);
    Plain_Device d;
    QVERIFY(d.device.open());
    Hid_Device::Reply reply{};
    QVERIFY(board.command("battery 12").startsWith("ok"));
    QVERIFY(d.device.exchange(CMD_READ_POWER, &reply, nullptr));
    const std::uint16_t at_12_volts = battery_count(reply);

    QVERIFY(board.command("delay 500").startsWith("ok"));
    QVERIFY(!d.device.exchange(CMD_READ_POWER, &reply, nullptr));
    QVERIFY(board.command("delay 0").startsWith("ok"));
    QVERIFY(board.command("battery 14").startsWith("ok"));
    QTest::qWait(400); // the late answer, still saying 12 V, is in by now

    QVERIFY(d.device.exchange(CMD_READ_POWER, &reply, nullptr));
    QVERIFY(battery_count(reply) > at_12_volts);
}

void Tst_Device_Watch::write_to_a_gone_board_reports_the_error() {
    Virtual_Board board;
    QTRY_VERIFY_WITH_TIMEOUT(board.serving(), 5000);
    Plain_Device d;
    QVERIFY(d.device.open());
    QVERIFY(board.command("unplug").startsWith("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(!board.serving(), 2000);
    QTest::ignoreMessage(QtDebugMsg, "HID Write GetLastError() ==  32 ");
    QVERIFY(!d.device.exchange(CMD_IDENTIFY, nullptr, nullptr));
}

// A software trigger made on the window's page answers a frame a vehicle node puts on the
// board's bus; the board's record of what it sent shows the answer.
void Tst_Device_Watch::trigger_set_in_the_window_answers_the_bus() {
    Virtual_Board board({QStringLiteral("--can-active")});
    QTRY_VERIFY_WITH_TIMEOUT(board.serving(), 5000);
    Widget window;
    QTRY_VERIFY_WITH_TIMEOUT(window.hid.connected && !window.hid.identify_pending, 5000);

    window.findChild<QPushButton*>(QStringLiteral("can_trigger_add_pushButton"))->click();
    window.findChild<QListWidget*>(QStringLiteral("can_trigger_listWidget"))->setCurrentRow(0);
    window.findChild<QLineEdit*>(QStringLiteral("can_trgger_recv_msg_lineEdit"))
        ->setText(QStringLiteral("ID: STD=0x123   RTR: DATA   DLC: 1   DATA: 0x1"));
    window.findChild<QPlainTextEdit*>(QStringLiteral("can_trigger_send_msg_plainTextEdit"))
        ->setPlainText(QStringLiteral("ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xb6"));
    window.findChild<QCheckBox*>(QStringLiteral("can_trigger_enabled_checkBox"))->click();
    QVERIFY(board.command("sent clear").startsWith("ok"));

    QVERIFY(board.command("frame 123 01").startsWith("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(board.command("sent 1"), QByteArray("ok sent 1 of 1"), 5000);
    QVERIFY(board.process.canReadLine() || board.process.waitForReadyRead(2000));
    QCOMPARE(board.process.readLine().trimmed(),
             QByteArray("sent ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xb6"));
}

QTEST_MAIN(Tst_Device_Watch)
#include "tst_device_watch.moc"
