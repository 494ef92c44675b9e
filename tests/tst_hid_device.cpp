// The board object: exchanges, the search for the board, and the device watch, against
// the board model in-process.
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "app/board_access.h"
#include "app/widget.h"
#include "hid/device_watch.h"
#include "hid/hid_device.h"
#include "hid/hidapi_backend.h"
#include "hid/report_writer.h"
#include "hid/virtual_backend.h"
#include "poll_fixture.h"
#include "protocol/commands.h"
#include "test_board.h"

namespace {

// The debug lines written while it lives.
class Debug_Capture {
public:
    Debug_Capture() {
        lines().clear();
        previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString& text) {
                if (type == QtDebugMsg) {
                    lines() << text;
                }
            });
    }
    ~Debug_Capture() { qInstallMessageHandler(previous); }
    Debug_Capture(const Debug_Capture&) = delete;
    Debug_Capture& operator=(const Debug_Capture&) = delete;

    static QStringList& lines() {
        static QStringList captured;
        return captured;
    }

private:
    QtMessageHandler previous = nullptr;
};

// A board object that found the in-process board.
struct Open_Board {
    Open_Board() : board(Test_Board::create()), device(Hid_Backends{board}) {
        device.init(0x8D88, 0x00CC, 0, 0);
        device.set_clock([b = board.get()] { return b->now_ms; });
        device.open();
    }
    std::shared_ptr<Test_Board> board;
    Hid_Device device;
};

Hid_Device::Payload payload_of(std::initializer_list<std::uint8_t> bytes) {
    Hid_Device::Payload p{};
    std::copy(bytes.begin(), bytes.end(), p.begin());
    return p;
}

enum class Fault { none, wrong_echo, lost, late, closed };

enum class Framing { short_reply, junk_after_reply };

// A virtual device of the test's own that breaks its report framing on its first
// connection and answers properly on the next: each request gets its echo back.
class Fake_Device {
public:
    static constexpr std::size_t cut_size = 30;
    static constexpr std::size_t junk_size = 10;

    Fake_Device(const QString& directory, Framing framing) : framing(framing) {
        const std::string path = (directory + QStringLiteral("/fake.sock")).toStdString();
        listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::copy(path.begin(), path.end(), addr.sun_path);
        ok = ::bind(listener, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 &&
             ::listen(listener, 4) == 0;
        server = std::thread([this] { serve(); });
    }
    ~Fake_Device() {
        stop = true;
        server.join();
        ::close(listener);
    }
    Fake_Device(const Fake_Device&) = delete;
    Fake_Device& operator=(const Fake_Device&) = delete;

    bool ok = false;
    std::atomic<int> connections{0};

private:
    bool wait_readable(int fd) {
        while (!stop) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                return true;
            }
        }
        return false;
    }

    void serve() {
        while (wait_readable(listener)) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            const bool faulty = connections++ == 0;
            const std::array<std::uint8_t, 4> ids{0x8D, 0x88, 0x00, 0xCC};
            [[maybe_unused]] ssize_t n = ::send(fd, ids.data(), ids.size(), MSG_NOSIGNAL);
            Hid_Report request{};
            std::size_t got = 0;
            while (wait_readable(fd)) {
                const ssize_t r = ::recv(fd, request.data() + got, request.size() - got, 0);
                if (r <= 0) {
                    break;
                }
                got += static_cast<std::size_t>(r);
                if (got < request.size()) {
                    continue;
                }
                got = 0;
                std::vector<std::uint8_t> reply(request.begin(), request.end());
                if (faulty && framing == Framing::short_reply) {
                    reply.resize(cut_size);
                } else if (faulty) {
                    reply.insert(reply.end(), junk_size, 0x55);
                }
                n = ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
            }
            ::close(fd);
        }
    }

    Framing framing;
    int listener = -1;
    std::atomic<bool> stop{false};
    std::thread server;
};

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Framing)

class Tst_Hid_Device : public QObject {
    Q_OBJECT

private slots:
    void exchange_data();
    void exchange();
    void payload_absent_repeats_previous();
    void late_reply_of_same_command_is_not_taken_data();
    void late_reply_of_same_command_is_not_taken();
    void broken_framing_closes_until_found_again_data();
    void broken_framing_closes_until_found_again();
    void write_is_bounded_by_its_time_out();
    void other_device_is_opened_read_and_closed_first();
    void search_stops_after_64_interfaces_data();
    void search_stops_after_64_interfaces();
    void second_pair_counts_only_when_both_set_data();
    void second_pair_counts_only_when_both_set();
    void unplugged_board_is_closed_by_next_open();
    void suspend_closes_and_skips_one_pass();
    void watch_thread_finds_and_loses_the_board();
    void refused_board_is_reported_until_it_opens();
    void refused_other_device_is_not_reported();
    void window_says_why_the_board_cannot_be_opened();
    void hidraw_ids_from_uevent_line_data();
    void hidraw_ids_from_uevent_line();
};

void Tst_Hid_Device::exchange_data() {
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("writes");
    QTest::newRow("answered") << Fault::none << true << 1;
    QTest::newRow("wrong echo: false, reply untouched") << Fault::wrong_echo << false << 1;
    QTest::newRow("lost reply: false, reply untouched") << Fault::lost << false << 1;
    QTest::newRow("late reply: false, reply untouched") << Fault::late << false << 1;
    QTest::newRow("closed: nothing sent") << Fault::closed << false << 0;
}

void Tst_Hid_Device::exchange() {
    QFETCH(Fault, fault);
    QFETCH(bool, result);
    QFETCH(int, writes);
    Open_Board b;
    QVERIFY(b.device.connected);
    switch (fault) {
    case Fault::none:
        break;
    case Fault::wrong_echo:
        b.board->faults.wrong_echo_replies = 1;
        break;
    case Fault::lost:
        b.board->faults.drop_replies = 1;
        break;
    case Fault::late:
        b.board->faults.delay_ms = 5000;
        break;
    case Fault::closed:
        b.device.close();
        break;
    }
    Hid_Device::Reply reply;
    reply.fill(0xEE);
    const Hid_Device::Payload request = payload_of({});
    QCOMPARE(b.device.exchange(CMD_IDENTIFY, &reply, &request), result);
    QCOMPARE(static_cast<int>(b.board->exchanges.size()), writes);
    if (result) {
        QCOMPARE(reply[0], std::uint8_t{CMD_IDENTIFY});
        QCOMPARE(reply[1], std::uint8_t{2}); // board type
    } else {
        QVERIFY(std::all_of(reply.begin(), reply.end(), [](std::uint8_t v) { return v == 0xEE; }));
    }

    // A failed exchange does not close the device: the next one goes through.
    if (fault != Fault::closed) {
        b.board->faults = {};
        QVERIFY(b.device.connected);
        QVERIFY(b.device.exchange(CMD_IDENTIFY, &reply, nullptr));
        QCOMPARE(reply[0], std::uint8_t{CMD_IDENTIFY});
    }
}

void Tst_Hid_Device::payload_absent_repeats_previous() {
    Open_Board b;
    const Hid_Device::Payload first = payload_of({0x01, 0x00, 0x28, 0x02});
    QVERIFY(b.device.exchange(CMD_CAN_ACTIVATE, nullptr, &first));
    QVERIFY(b.device.exchange(CMD_CAN_STATUS, nullptr, nullptr));
    QCOMPARE(b.board->exchanges.size(), std::size_t{2});
    QCOMPARE(b.board->exchanges[1].command, std::uint8_t{CMD_CAN_STATUS});
    QVERIFY(b.board->exchanges[1].payload == first);
}

void Tst_Hid_Device::late_reply_of_same_command_is_not_taken_data() {
    QTest::addColumn<int>("delay_ms");
    QTest::addColumn<int>("pause_ms"); // between the failed exchange and the next
    QTest::newRow("3.2 s late, next exchange at once") << 3200 << 0;
    QTest::newRow("3.2 s late, after a poll interval") << 3200 << 50;
    QTest::newRow("just inside the settle time") << 3000 + Hid_Device::settle_quiet_ms - 1 << 0;
    QTest::newRow("already waiting") << 3200 << 1000;
}

void Tst_Hid_Device::late_reply_of_same_command_is_not_taken() {
    QFETCH(int, delay_ms);
    QFETCH(int, pause_ms);
    Open_Board b;
    Hid_Device::Reply reply{};
    const Hid_Device::Payload code_130 = payload_of({130});
    const Hid_Device::Payload code_200 = payload_of({200});
    QVERIFY(b.device.exchange(CMD_WRITE_SERVICE, nullptr, &code_130));

    b.board->faults.delay_ms = delay_ms;
    QVERIFY(!b.device.exchange(CMD_READ_SERVICE, &reply, nullptr));
    QCOMPARE(b.board->now_ms, std::int64_t{Hid_Device::default_io_timeout_ms});
    b.board->faults.delay_ms = 0;
    b.board->now_ms += pause_ms;

    // The board changes meanwhile; the next read must show the new code, not the old answer
    // that arrives after the request.
    board::Report change{};
    change[1] = CMD_WRITE_SERVICE;
    change[2] = code_200[0];
    QVERIFY(b.board->model.answer(change, b.board->now_ms));
    // A late reply that came well into the settling may fail one more exchange; none takes it.
    bool answered = false;
    for (int attempt = 0; attempt < 2 && !answered; ++attempt) {
        answered = b.device.exchange(CMD_READ_SERVICE, &reply, nullptr);
        QVERIFY(answered || reply[1] == 0);
    }
    QVERIFY(answered);
    QCOMPARE(reply[1], std::uint8_t{200});
    QVERIFY(b.board->input.empty());

    // Once settled, exchanges cost the board's time nothing again.
    const std::int64_t settled = b.board->now_ms;
    QVERIFY(b.device.exchange(CMD_READ_SERVICE, &reply, nullptr));
    QCOMPARE(b.board->now_ms, settled);
}

void Tst_Hid_Device::broken_framing_closes_until_found_again_data() {
    QTest::addColumn<Framing>("framing");
    QTest::addColumn<int>("good_exchanges"); // before the break shows
    QTest::newRow("reply cut short") << Framing::short_reply << 0;
    QTest::newRow("junk after a reply") << Framing::junk_after_reply << 1;
}

void Tst_Hid_Device::broken_framing_closes_until_found_again() {
    QFETCH(Framing, framing);
    QFETCH(int, good_exchanges);
    QTemporaryDir dir;
    Fake_Device fake(dir.path(), framing);
    QVERIFY(fake.ok);
    Hid_Device device(Hid_Backends{std::make_shared<Virtual_Backend>(dir.path().toStdString())});
    device.init(0x8D88, 0x00CC, 0, 0);
    device.set_io_timeout_ms(200);
    QVERIFY(device.open());
    device.identify_pending = false;

    Hid_Device::Reply reply{};
    for (int i = 0; i < good_exchanges; ++i) {
        QVERIFY(device.exchange(CMD_READ_POWER, &reply, nullptr));
    }
    // Every later report would be read out of step: the device is closed as if unplugged.
    QVERIFY(!device.exchange(CMD_READ_POWER, &reply, nullptr));
    QVERIFY(!device.connected);
    QVERIFY(device.identify_pending);

    // The watch finds it again, and the new connection starts on a report boundary.
    QVERIFY(device.open());
    QCOMPARE(fake.connections.load(), 2);
    QVERIFY(device.exchange(CMD_READ_POWER, &reply, nullptr));
    QCOMPARE(reply[0], std::uint8_t{CMD_READ_POWER});
    QVERIFY(device.exchange(CMD_CAN_STATUS, &reply, nullptr));
    QCOMPARE(reply[0], std::uint8_t{CMD_CAN_STATUS});
}

// hidraw's write waits for the USB transfer with no bound of its own: the writer bounds it.
void Tst_Hid_Device::write_is_bounded_by_its_time_out() {
    std::mutex held;
    std::unique_lock blocked(held);
    std::atomic<int> written{0};
    Report_Writer writer([&](const Hid_Report&) {
        const std::lock_guard wait_for_release(held);
        ++written;
        return 0;
    });
    const Hid_Report report{};
    QCOMPARE(writer.write(report, 50), ETIMEDOUT);
    QCOMPARE(writer.write(report, 50), ETIMEDOUT); // the first is still under way
    blocked.unlock();
    QCOMPARE(writer.write(report, 5000), 0);
    QCOMPARE(written.load(), 2);

    Report_Writer failing([](const Hid_Report&) { return EPIPE; });
    QCOMPARE(failing.write(report, 5000), EPIPE);
}

void Tst_Hid_Device::other_device_is_opened_read_and_closed_first() {
    auto board = Test_Board::create();
    board->add_other_device({0x046D, 0xC52B});
    Hid_Device device(Hid_Backends{board});
    device.init(0x8D88, 0x00CC, 0, 0);
    QVERIFY(device.open());
    QVERIFY(device.connected);
    QVERIFY(device.identify_pending);
    const std::vector<std::string> expected{"open other-0", "close other-0", "open test-board"};
    QCOMPARE(board->events, expected);
}

void Tst_Hid_Device::search_stops_after_64_interfaces_data() {
    QTest::addColumn<int>("others");
    QTest::addColumn<bool>("found");
    QTest::newRow("board is the 64th") << 63 << true;
    QTest::newRow("board is the 65th") << 64 << false;
}

void Tst_Hid_Device::search_stops_after_64_interfaces() {
    QFETCH(int, others);
    QFETCH(bool, found);
    auto board = Test_Board::create();
    for (int i = 0; i < others; ++i) {
        board->add_other_device({0x1234, static_cast<std::uint16_t>(i)});
    }
    Hid_Device device(Hid_Backends{board});
    device.init(0x8D88, 0x00CC, 0, 0);
    QCOMPARE(device.open(), found);
    QCOMPARE(device.connected.load(), found);
    Hid_Device::Reply reply{};
    QCOMPARE(device.exchange(CMD_IDENTIFY, &reply, nullptr), found);
}

void Tst_Hid_Device::second_pair_counts_only_when_both_set_data() {
    QTest::addColumn<int>("vendor_2");
    QTest::addColumn<int>("product_2");
    QTest::addColumn<bool>("found");
    QTest::newRow("second pair matches") << 0x8D88 << 0x00CC << true;
    QTest::newRow("second product 0") << 0x8D88 << 0 << false;
    QTest::newRow("second pair other") << 0x8D88 << 0x00CD << false;
}

void Tst_Hid_Device::second_pair_counts_only_when_both_set() {
    QFETCH(int, vendor_2);
    QFETCH(int, product_2);
    QFETCH(bool, found);
    auto board = Test_Board::create();
    Hid_Device device(Hid_Backends{board});
    device.init(0x1111, 0x2222, vendor_2, product_2);
    QCOMPARE(device.open(), found);
}

void Tst_Hid_Device::unplugged_board_is_closed_by_next_open() {
    Open_Board b;
    QVERIFY(b.device.connected);
    b.device.identify_pending = false; // as after a first-connect sequence
    QVERIFY(b.device.open());          // still there: kept as it is
    QCOMPARE(b.board->events.size(), std::size_t{1});

    b.board->plugged = false;
    QVERIFY(!b.device.open());
    QVERIFY(!b.device.connected);
    QVERIFY(b.device.identify_pending);
    QVERIFY(!b.device.exchange(CMD_IDENTIFY, nullptr, nullptr));

    b.board->plugged = true;
    QVERIFY(b.device.open());
    QVERIFY(b.device.identify_pending);
}

void Tst_Hid_Device::suspend_closes_and_skips_one_pass() {
    Open_Board b;
    std::atomic<bool> enabled{true};
    std::atomic<int> skip{0};
    b.device.identify_pending = false;

    suspend_watch(b.device, enabled, skip);
    QVERIFY(!b.device.connected);
    QVERIFY(b.device.identify_pending);
    run_watch_pass(b.device, enabled, skip); // asleep: the watch does nothing
    QVERIFY(!b.device.connected);

    resume_watch(enabled);
    resume_watch(enabled); // a second resume message changes nothing
    run_watch_pass(b.device, enabled, skip);
    QVERIFY(!b.device.connected);
    QCOMPARE(skip.load(), 0);
    run_watch_pass(b.device, enabled, skip);
    QVERIFY(b.device.connected);
}

void Tst_Hid_Device::watch_thread_finds_and_loses_the_board() {
    auto board = Test_Board::create();
    board->plugged = false;
    Widget window;
    window.hid.set_backends(Hid_Backends{board});
    QVERIFY(!window.hid.connected);

    board->plugged = true;
    QTRY_VERIFY_WITH_TIMEOUT(window.hid.connected, 1200);
    window.hid.identify_pending = false;

    board->plugged = false;
    QTRY_VERIFY_WITH_TIMEOUT(!window.hid.connected, 700);
    QVERIFY(window.hid.identify_pending);
}

void Tst_Hid_Device::refused_board_is_reported_until_it_opens() {
    auto board = Test_Board::create();
    board->refuse_open = EACCES;
    Hid_Device device(Hid_Backends{board});
    device.init(0x8D88, 0x00CC, 0, 0);
    const Debug_Capture debug;

    QVERIFY(!device.open());
    QVERIFY(!device.open());
    QVERIFY(!device.connected);
    const Hid_Device::Refusal expected{Test_Board::board_path, EACCES};
    QCOMPARE(device.refusal(), std::optional(expected));
    // Told once, though the watch tries again and again.
    QCOMPARE(Debug_Capture::lines().size(), 1);
    QVERIFY(Debug_Capture::lines().front().contains(QLatin1String(Test_Board::board_path)));
    QVERIFY(Debug_Capture::lines().front().contains(QString::fromLocal8Bit(std::strerror(EACCES))));

    board->refuse_open = 0;
    QVERIFY(device.open());
    QVERIFY(!device.refusal());
    QCOMPARE(Debug_Capture::lines().size(), 1);
}

void Tst_Hid_Device::refused_other_device_is_not_reported() {
    auto board = Test_Board::create();
    board->refuse_open = EACCES;
    Hid_Device device(Hid_Backends{board});
    device.init(0x1234, 0x5678, 0, 0); // the listed board is not the one sought
    QVERIFY(!device.open());
    QVERIFY(!device.refusal());
}

void Tst_Hid_Device::window_says_why_the_board_cannot_be_opened() {
    Poll_Fixture f;
    auto* indicator = f.control<QLabel>("status_label");
    f.board->refuse_open = EACCES;
    f.window.hid.close();
    f.window.hid.open();
    f.cycle();

    const QString expected =
        board_refusal_text(QString::fromLatin1(Test_Board::board_path), EACCES);
    QVERIFY(expected.contains(QString::fromLocal8Bit(std::strerror(EACCES))));
    QVERIFY(expected.contains(QLatin1String(board_udev_rule_path)));
    QCOMPARE(indicator->toolTip(), expected);
    auto* note = f.control<QLabel>("board_access_label");
    QVERIFY(note != nullptr);
    QCOMPARE(note->text(), expected);
    QVERIFY(!note->isHidden());
    QVERIFY(note->isEnabled()); // the rest of the Info page is disabled without a board

    f.board->refuse_open = 0;
    QVERIFY(f.window.hid.open());
    f.cycle();
    QCOMPARE(indicator->toolTip(), QString());
    QVERIFY(note->isHidden());
}

void Tst_Hid_Device::hidraw_ids_from_uevent_line_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("vendor"); // -1: not an ID line
    QTest::addColumn<int>("product");
    QTest::newRow("the board on USB") << "HID_ID=0003:00008D88:000000CC" << 0x8D88 << 0x00CC;
    QTest::newRow("lower case") << "HID_ID=0003:0000046d:0000c52b" << 0x046D << 0xC52B;
    QTest::newRow("another key") << "HID_NAME=Board" << -1 << -1;
    QTest::newRow("IDs cut short") << "HID_ID=0003:00008D88" << -1 << -1;
    QTest::newRow("ID beyond 16 bits") << "HID_ID=0003:00018D88:000000CC" << -1 << -1;
    QTest::newRow("trailing junk") << "HID_ID=0003:00008D88:000000CCzz" << -1 << -1;
}

void Tst_Hid_Device::hidraw_ids_from_uevent_line() {
    QFETCH(QString, line);
    QFETCH(int, vendor);
    QFETCH(int, product);
    const std::optional<Hid_Attributes> ids = parse_hid_id(line.toStdString());
    QCOMPARE(ids.has_value(), vendor >= 0);
    if (ids) {
        QCOMPARE(int{ids->vendor_id}, vendor);
        QCOMPARE(int{ids->product_id}, product);
    }
}

QTEST_MAIN(Tst_Hid_Device)
#include "tst_hid_device.moc"
