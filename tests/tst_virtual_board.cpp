// The virtual board program, driven as the tool drives a device: a raw socket in its own
// runtime directory, 65-byte reports, and commands on its standard input.
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <array>
#include <csignal>
#include <optional>
#include <poll.h>
#include <span>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include "board/board_model.h"
#include "board/fault_plan.h"
#include "board/unique_fd.h"
#include "protocol/can_wire.h"
#include "protocol/commands.h"

namespace {

constexpr std::size_t report_size = 65;
constexpr std::size_t attributes_size = 4;
constexpr std::size_t payload = 2; // payload byte k is report byte k + 2
constexpr std::size_t wire_frame_size = 19;
constexpr int answer_timeout_ms = 2000;
constexpr int console_timeout_ms = 5000;
constexpr int end_timeout_ms = 5000;
constexpr int silence_ms = 300; // long enough to tell a lost reply from a prompt one
constexpr int played_delay_ms = 400;
constexpr mode_t permission_bits = 0777;
// The board answers its console and ends within 100 ms at any load; the checks allow ten
// times that, so that a loaded machine does not fail them.
constexpr int responsive_ms = 1000;

using Report = std::array<std::uint8_t, report_size>;

Report request(std::uint8_t command) {
    Report report{};
    report[1] = command;
    return report;
}

int echo(const Report& reply) {
    return reply[1];
}

QByteArray bytes_of(const Report& report) {
    return QByteArray(reinterpret_cast<const char*>(report.data()),
                      static_cast<qsizetype>(report.size()));
}

// Hardware trigger `index`, enabled: request layout trigger, enabled, 0, match, reply.
Report write_trigger(std::uint8_t index, const CanFrame& match, const CanFrame& reply) {
    constexpr std::size_t enabled = 1;
    constexpr std::size_t match_at = 3;
    constexpr std::size_t reply_at = match_at + can_wire::frame_size;
    Report report = request(CMD_WRITE_HW_TRIGGER);
    const auto body = std::span(report).subspan(payload);
    body[0] = index;
    body[enabled] = 1;
    encode_can_wire_frame(match, body.subspan(match_at).first<can_wire::frame_size>());
    encode_can_wire_frame(reply, body.subspan(reply_at).first<can_wire::frame_size>());
    return report;
}

// The host puts `frame` on the bus.
Report send_frame(const CanFrame& frame) {
    Report report = request(CMD_CAN_SEND);
    encode_can_wire_frame(frame, std::span(report).subspan(payload).first<can_wire::frame_size>());
    return report;
}

CanFrame standard_frame(std::uint32_t id, std::uint8_t first_byte) {
    CanFrame frame;
    frame.std_id = id;
    frame.dlc = 1;
    frame.data[0] = first_byte;
    return frame;
}

int remaining(const QElapsedTimer& clock, int timeout_ms) {
    return std::max(0, timeout_ms - static_cast<int>(clock.elapsed()));
}

// A host on the raw socket. Every wait is bounded.
class Host {
public:
    explicit Host(const QString& path) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray name = path.toLocal8Bit();
        if (static_cast<std::size_t>(name.size()) >= sizeof addr.sun_path) {
            return;
        }
        std::copy(name.begin(), name.end(), addr.sun_path);
        board::Unique_Fd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
            fd = std::move(socket);
        }
    }

    bool connected() const { return fd.valid(); }
    bool at_end() const { return end_seen; }

    // Up to `size` bytes: fewer when the device closes or the time runs out.
    QByteArray read(std::size_t size, int timeout_ms) {
        QElapsedTimer clock;
        clock.start();
        QByteArray got;
        if (!fd.valid()) {
            return got;
        }
        while (static_cast<std::size_t>(got.size()) < size) {
            pollfd p{fd.get(), POLLIN, 0};
            if (::poll(&p, 1, remaining(clock, timeout_ms)) <= 0) {
                break;
            }
            std::array<char, report_size> chunk{};
            const std::size_t want =
                std::min(chunk.size(), size - static_cast<std::size_t>(got.size()));
            const ssize_t n = ::recv(fd.get(), chunk.data(), want, 0);
            if (n <= 0) {
                end_seen = true;
                break;
            }
            got.append(chunk.data(), n);
        }
        return got;
    }

    bool write(const QByteArray& data) {
        return ::send(fd.get(), data.data(), static_cast<std::size_t>(data.size()), MSG_NOSIGNAL) ==
               data.size();
    }
    bool send(const Report& report) { return write(bytes_of(report)); }

    std::optional<Report> reply(int timeout_ms = answer_timeout_ms) {
        const QByteArray got = read(report_size, timeout_ms);
        if (static_cast<std::size_t>(got.size()) != report_size) {
            return std::nullopt;
        }
        Report report{};
        std::copy(got.begin(), got.end(), report.begin());
        return report;
    }

    // True when the device closes the connection within the time.
    bool closed_by_device(int timeout_ms) {
        QElapsedTimer clock;
        clock.start();
        while (!end_seen && remaining(clock, timeout_ms) > 0) {
            read(report_size, remaining(clock, timeout_ms));
        }
        return end_seen;
    }

private:
    board::Unique_Fd fd;
    bool end_seen = false;
};

// One run of the program with a runtime directory of its own.
class Board_Process {
public:
    explicit Board_Process(const QStringList& arguments = {}) {
        QDir(home.path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(run_dir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), run_dir());
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(TABRIX_VIRTUAL_BOARD), arguments);
    }
    ~Board_Process() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(end_timeout_ms);
        }
    }
    Board_Process(const Board_Process&) = delete;
    Board_Process& operator=(const Board_Process&) = delete;

    QString run_dir() const { return home.filePath(QStringLiteral("run")); }
    QString device_dir() const { return run_dir() + QStringLiteral("/virtual-hid"); }
    QString socket_path() const { return device_dir() + QStringLiteral("/tabrix-board.sock"); }

    // True once the program answers: its device is served from then on, unless it was
    // started unplugged.
    bool started(bool plugged = true) {
        return command("status").startsWith(plugged ? QLatin1String("ok plugged=yes")
                                                    : QLatin1String("ok plugged=no"));
    }

    // The next line that is not an event, empty when none came in time.
    QString answer() {
        if (!answers.isEmpty()) {
            return answers.takeFirst();
        }
        QElapsedTimer clock;
        clock.start();
        while (remaining(clock, console_timeout_ms) > 0) {
            const QString line = next_line(remaining(clock, console_timeout_ms));
            if (!line.isNull() && !is_event(line)) {
                return line;
            }
        }
        return {};
    }

    // Sends one console line; its answer.
    QString command(const QByteArray& line) {
        process.write(line + '\n');
        return answer();
    }

    // Waits until `event` ("host connected", "host disconnected") has been seen `count` times.
    bool saw_event(const QString& event, int count) {
        QElapsedTimer clock;
        clock.start();
        while (events.count(event) < count && remaining(clock, console_timeout_ms) > 0) {
            const QString line = next_line(remaining(clock, console_timeout_ms));
            if (!line.isNull() && !is_event(line)) {
                answers << line;
            }
        }
        return events.count(event) >= count;
    }

    QProcess process;

private:
    static bool is_event(const QString& line) { return line.startsWith(QLatin1String("host ")); }

    // One line of output, events recorded; null on time-out.
    QString next_line(int timeout_ms) {
        QElapsedTimer clock;
        clock.start();
        while (!process.canReadLine()) {
            if (remaining(clock, timeout_ms) == 0 ||
                !process.waitForReadyRead(remaining(clock, timeout_ms))) {
                return {};
            }
        }
        const QString line = QString::fromUtf8(process.readLine()).trimmed();
        if (is_event(line)) {
            events << line;
        }
        return line;
    }

    QTemporaryDir home;
    QStringList events;
    QStringList answers; // answers read while waiting for an event
};

mode_t mode_of(const QString& path) {
    struct stat info {};
    return ::lstat(path.toLocal8Bit().constData(), &info) == 0 ? info.st_mode : 0;
}

const QByteArray default_attributes = QByteArray::fromHex("8d8800cc");

} // namespace

class Tst_Virtual_Board : public QObject {
    Q_OBJECT

private slots:
    void device_identity_data();
    void device_identity();
    void reports_split_and_joined();
    void one_host_at_a_time();
    void unplug_and_plug();
    void faults();
    void framing_faults();
    void trigger_storm();
    void console_lines_data();
    void console_lines();
    void sent_shows_the_boards_frames();
    void frame_reaches_the_board_data();
    void frame_reaches_the_board();
    void ends_cleanly_data();
    void ends_cleanly();
};

void Tst_Virtual_Board::device_identity_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("attributes");
    QTest::addColumn<int>("board_type");
    QTest::addColumn<int>("hardware_version");
    QTest::addColumn<int>("firmware_version");

    const int firmware = board::Identity{}.firmware_version;
    QTest::newRow("defaults") << QStringList{} << default_attributes << 2 << 4 << firmware;
    QTest::newRow("board type 3") << QStringList{QStringLiteral("--board-type"),
                                                 QStringLiteral("3")}
                                  << default_attributes << 3 << 4 << firmware;
    QTest::newRow("sniffer") << QStringList{QStringLiteral("--hardware-version"),
                                            QStringLiteral("100")}
                             << default_attributes << 2 << 100 << firmware;
    QTest::newRow("firmware 7") << QStringList{QStringLiteral("--firmware-version"),
                                               QStringLiteral("7")}
                                << default_attributes << 2 << 4 << 7;
    QTest::newRow("other ids") << QStringList{QStringLiteral("--vid"), QStringLiteral("1234"),
                                              QStringLiteral("--pid"), QStringLiteral("0xbeef")}
                               << QByteArray::fromHex("1234beef") << 2 << 4 << firmware;
}

void Tst_Virtual_Board::device_identity() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, attributes);
    QFETCH(int, board_type);
    QFETCH(int, hardware_version);
    QFETCH(int, firmware_version);

    Board_Process board(arguments);
    QVERIFY(board.started());
    QCOMPARE(mode_of(board.device_dir()) & permission_bits, mode_t{0700});
    QVERIFY(S_ISSOCK(mode_of(board.socket_path())));
    QCOMPARE(mode_of(board.socket_path()) & permission_bits, mode_t{0600});

    Host host(board.socket_path());
    QVERIFY(host.connected());
    QCOMPARE(host.read(attributes_size, answer_timeout_ms), attributes);
    QVERIFY(host.send(request(CMD_IDENTIFY)));
    const auto reply = host.reply();
    QVERIFY(reply);
    QCOMPARE(int((*reply)[0]), 0);
    QCOMPARE(echo(*reply), int(CMD_IDENTIFY));
    QCOMPARE(int((*reply)[payload + 0]), board_type);
    QCOMPARE(int((*reply)[payload + 2]), hardware_version);
    QCOMPARE(int((*reply)[payload + 3]), firmware_version);
}

void Tst_Virtual_Board::reports_split_and_joined() {
    Board_Process board;
    QVERIFY(board.started());
    Host host(board.socket_path());
    QCOMPARE(host.read(attributes_size, answer_timeout_ms), default_attributes);

    // One report in two writes with a pause between: one reply, once it is whole.
    const QByteArray identify = bytes_of(request(CMD_IDENTIFY));
    constexpr qsizetype first_part = 10;
    QVERIFY(host.write(identify.left(first_part)));
    QVERIFY(!host.reply(silence_ms));
    QVERIFY(host.write(identify.mid(first_part)));
    auto reply = host.reply();
    QVERIFY(reply);
    QCOMPARE(echo(*reply), int(CMD_IDENTIFY));

    // Two reports in one write: two replies, in order, and nothing more.
    QVERIFY(host.write(bytes_of(request(CMD_CAN_STATUS)) + identify));
    reply = host.reply();
    QVERIFY(reply);
    QCOMPARE(echo(*reply), int(CMD_CAN_STATUS));
    reply = host.reply();
    QVERIFY(reply);
    QCOMPARE(echo(*reply), int(CMD_IDENTIFY));
    QVERIFY(host.read(1, silence_ms).isEmpty());
}

void Tst_Virtual_Board::one_host_at_a_time() {
    Board_Process board;
    QVERIFY(board.started());

    auto first = std::make_unique<Host>(board.socket_path());
    QCOMPARE(first->read(attributes_size, answer_timeout_ms), default_attributes);
    QVERIFY(board.saw_event(QStringLiteral("host connected"), 1));

    Host second(board.socket_path());
    QVERIFY(second.read(attributes_size, answer_timeout_ms).isEmpty());
    QVERIFY(second.at_end());

    QVERIFY(first->send(request(CMD_IDENTIFY)));
    QVERIFY(first->reply());
    first.reset();
    QVERIFY(board.saw_event(QStringLiteral("host disconnected"), 1));

    // A host that only enumerates: attributes, then it closes.
    {
        Host enumerating(board.socket_path());
        QCOMPARE(enumerating.read(attributes_size, answer_timeout_ms), default_attributes);
    }
    QVERIFY(board.saw_event(QStringLiteral("host disconnected"), 2));

    Host next(board.socket_path());
    QCOMPARE(next.read(attributes_size, answer_timeout_ms), default_attributes);
    QVERIFY(next.send(request(CMD_IDENTIFY)));
    QVERIFY(next.reply());
}

void Tst_Virtual_Board::unplug_and_plug() {
    Board_Process board({QStringLiteral("--unplugged")});
    QVERIFY(board.started(false));
    QVERIFY(!QFileInfo::exists(board.socket_path()));
    QVERIFY(!Host(board.socket_path()).connected());

    QCOMPARE(board.command("plug"), QStringLiteral("ok plugged"));
    QCOMPARE(mode_of(board.socket_path()) & permission_bits, mode_t{0600});
    Host host(board.socket_path());
    QCOMPARE(host.read(attributes_size, answer_timeout_ms), default_attributes);
    QVERIFY(board.saw_event(QStringLiteral("host connected"), 1));

    QCOMPARE(board.command("unplug"), QStringLiteral("ok unplugged"));
    QVERIFY(host.closed_by_device(answer_timeout_ms));
    QVERIFY(board.saw_event(QStringLiteral("host disconnected"), 1));
    QVERIFY(!QFileInfo::exists(board.socket_path()));
    QVERIFY(!Host(board.socket_path()).connected());

    QCOMPARE(board.command("plug"), QStringLiteral("ok plugged"));
    Host again(board.socket_path());
    QCOMPARE(again.read(attributes_size, answer_timeout_ms), default_attributes);
    QVERIFY(again.send(request(CMD_IDENTIFY)));
    QVERIFY(again.reply());
}

void Tst_Virtual_Board::faults() {
    Board_Process board;
    QVERIFY(board.started());
    Host host(board.socket_path());
    QCOMPARE(host.read(attributes_size, answer_timeout_ms), default_attributes);

    // A lost reply: the next request gets its own answer, never the lost one.
    QCOMPARE(board.command("drop 1"), QStringLiteral("ok drop 1"));
    QVERIFY(host.send(request(CMD_IDENTIFY)));
    QVERIFY(!host.reply(silence_ms));
    QVERIFY(host.send(request(CMD_CAN_STATUS)));
    auto reply = host.reply();
    QVERIFY(reply);
    QCOMPARE(echo(*reply), int(CMD_CAN_STATUS));

    QCOMPARE(board.command("wrong-echo 1"), QStringLiteral("ok wrong-echo 1"));
    QVERIFY(host.send(request(CMD_IDENTIFY)));
    reply = host.reply();
    QVERIFY(reply);
    QCOMPARE(echo(*reply), int(board::Fault_Plan::wrong_code(CMD_IDENTIFY)));
    QVERIFY(host.send(request(CMD_IDENTIFY)));
    reply = host.reply();
    QVERIFY(reply);
    QCOMPARE(echo(*reply), int(CMD_IDENTIFY));

    // A slow board: the reply comes, late.
    QCOMPARE(board.command("delay " + QByteArray::number(played_delay_ms)),
             QStringLiteral("ok delay %1 ms").arg(played_delay_ms));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(host.send(request(CMD_IDENTIFY)));
    reply = host.reply();
    QVERIFY(reply);
    QVERIFY2(clock.elapsed() >= played_delay_ms * 3 / 4,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(echo(*reply), int(CMD_IDENTIFY));

    // A reply the host gave up on still arrives, before the answer to the next request.
    QVERIFY(host.send(request(CMD_IDENTIFY)));
    QVERIFY(!host.reply(played_delay_ms / 4));
    QCOMPARE(board.command("delay 0"), QStringLiteral("ok delay 0 ms"));
    QVERIFY(host.send(request(CMD_CAN_STATUS)));
    reply = host.reply();
    QVERIFY(reply);
    QCOMPARE(echo(*reply), int(CMD_IDENTIFY));
    reply = host.reply();
    QVERIFY(reply);
    QCOMPARE(echo(*reply), int(CMD_CAN_STATUS));
}

// A host reads whole reports; a reply cut short leaves it with a short read, trailing junk
// shifts the next report by the junk's length.
void Tst_Virtual_Board::framing_faults() {
    constexpr auto cut_size = qsizetype(board::Fault_Plan::short_reply_bytes);
    constexpr auto junk_size = qsizetype(board::Fault_Plan::junk_bytes);
    Board_Process board;
    QVERIFY(board.started());
    Host host(board.socket_path());
    QCOMPARE(host.read(attributes_size, answer_timeout_ms), default_attributes);

    QCOMPARE(board.command("short 1"), QStringLiteral("ok short 1"));
    QCOMPARE(board.command("junk 1"), QStringLiteral("ok junk 1"));
    QVERIFY(board.command("status").contains(QLatin1String(" short=1 junk=1 ")));

    QVERIFY(host.send(request(CMD_IDENTIFY)));
    const QByteArray cut = host.read(report_size, silence_ms);
    QCOMPARE(cut.size(), cut_size);

    QVERIFY(host.send(request(CMD_IDENTIFY)));
    const auto whole = host.reply();
    QVERIFY(whole);
    QCOMPARE(echo(*whole), int(CMD_IDENTIFY));
    QCOMPARE(cut, bytes_of(*whole).left(cut_size)); // the start of the same reply

    QVERIFY(host.send(request(CMD_CAN_STATUS)));
    const QByteArray shifted = host.read(report_size, answer_timeout_ms);
    QCOMPARE(shifted.size(), qsizetype(report_size));
    QCOMPARE(shifted.left(junk_size), QByteArray(junk_size, char(board::Fault_Plan::junk_byte)));
    QCOMPARE(int(shifted[junk_size]), 0); // the status reply's report ID and echo, late
    QCOMPARE(int(shifted[junk_size + 1]), int(CMD_CAN_STATUS));
    QCOMPARE(host.read(report_size, answer_timeout_ms).size(), junk_size); // its tail
    QVERIFY(host.read(1, silence_ms).isEmpty());
    QVERIFY(board.command("status").contains(QLatin1String(" short=0 junk=0 ")));
}

// Two hardware triggers answer the display's acknowledgement with a block end, which the
// volkswagen display acknowledges again 10 ms later: the frames double every round until
// the bus is full. The program still answers its console and its host, and ends on SIGTERM.
void Tst_Virtual_Board::trigger_storm() {
    Board_Process board({QStringLiteral("--scenario"), QStringLiteral("volkswagen"),
                         QStringLiteral("--bitrate"), QStringLiteral("1000"),
                         QStringLiteral("--can-active")});
    QVERIFY(board.started());
    Host host(board.socket_path());
    QCOMPARE(host.read(attributes_size, answer_timeout_ms), default_attributes);
    const CanFrame acknowledgement = standard_frame(0x681, 0xB1);
    const CanFrame block_end = standard_frame(0x680, 0x10);
    for (const std::uint8_t index : {0, 1}) {
        QVERIFY(host.send(write_trigger(index, acknowledgement, block_end)));
        QVERIFY(host.reply());
    }
    QVERIFY(board.command("frame 681 b1").startsWith(QLatin1String("ok frame ")));

    const QRegularExpression dropped_field(QStringLiteral(" bus-dropped=(\\d+)$"));
    QElapsedTimer clock;
    clock.start();
    qulonglong dropped = 0;
    while (dropped == 0 && clock.elapsed() < console_timeout_ms) {
        const QRegularExpressionMatch field = dropped_field.match(board.command("status"));
        QVERIFY(field.hasMatch());
        dropped = field.captured(1).toULongLong();
    }
    QVERIFY2(dropped > 0, "the bus never filled");

    clock.restart();
    QVERIFY(board.command("status").startsWith(QLatin1String("ok plugged=yes")));
    QVERIFY2(clock.elapsed() < responsive_ms, qPrintable(QString::number(clock.elapsed())));
    clock.restart();
    QVERIFY(host.send(request(CMD_CAN_STATUS)));
    const auto status = host.reply(responsive_ms);
    QVERIFY(status);
    QCOMPARE(echo(*status), int(CMD_CAN_STATUS));
    QVERIFY2(clock.elapsed() < responsive_ms, qPrintable(QString::number(clock.elapsed())));

    clock.restart();
    ::kill(static_cast<pid_t>(board.process.processId()), SIGTERM);
    QVERIFY(board.process.waitForFinished(end_timeout_ms));
    QVERIFY2(clock.elapsed() < responsive_ms, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(board.process.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(board.socket_path()));
}

void Tst_Virtual_Board::console_lines_data() {
    // Lines before the last set the scene and must answer ok.
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("answer"); // the start of the last answer; empty: no answer at all

    const QString error = QStringLiteral("error:");
    const QString ok = QStringLiteral("ok ");
    QTest::newRow("unknown command") << QByteArray("jump") << error;
    QTest::newRow("word for a number") << QByteArray("battery abc") << error;
    QTest::newRow("light out of range") << QByteArray("light 1024") << error;
    QTest::newRow("negative count") << QByteArray("drop -1") << error;
    QTest::newRow("short without a count") << QByteArray("short") << error;
    QTest::newRow("short with a word") << QByteArray("short some") << error;
    QTest::newRow("junk beyond the range") << QByteArray("junk 1000001") << error;
    QTest::newRow("missing argument") << QByteArray("acc") << error;
    QTest::newRow("extra argument") << QByteArray("status now") << error;
    QTest::newRow("bad data byte") << QByteArray("frame 5c1 zz") << error;
    QTest::newRow("standard id too big") << QByteArray("frame 800 01") << error;
    QTest::newRow("nine data bytes") << QByteArray("frame 5c1 1 2 3 4 5 6 7 8 9") << error;
    QTest::newRow("frame line with bad type")
        << QByteArray("frame ID: STD=0x5c1   RTR: MAYBE   DLC: 1   DATA: 0x6") << error;
    QTest::newRow("unknown scenario") << QByteArray("scenario nowhere") << error;
    QTest::newRow("unknown button") << QByteArray("press nosuch 100") << error;
    QTest::newRow("button in a scenario without buttons")
        << QByteArray("press vol_up 100") << error;
    QTest::newRow("press, a pause without its hold")
        << QByteArray("scenario buttons\npress vol_up 100 200") << error;
    QTest::newRow("press, pause 0")
        << QByteArray("scenario buttons\npress vol_up 100 0 100") << error;
    QTest::newRow("press, nine holds")
        << QByteArray("scenario buttons\npress vol_up 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1") << error;
    QTest::newRow("press, eight holds")
        << QByteArray("scenario buttons\npress vol_up 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1") << ok;
    QTest::newRow("short press") << QByteArray("scenario volvo\npress vol_up 100")
                                 << QStringLiteral("ok press vol_up 100 ms");
    QTest::newRow("long press") << QByteArray("scenario volvo\nPRESS Mode 1500")
                                << QStringLiteral("ok press mode 1500 ms");
    QTest::newRow("double press") << QByteArray("scenario opel\npress next 100 200 100")
                                  << QStringLiteral("ok press next 100 ms, pause 200 ms, 100 ms");
    QTest::newRow("screen off") << QByteArray("scenario opel\nscreen off")
                                << QStringLiteral("ok screen off");
    QTest::newRow("screen on") << QByteArray("scenario opel\nScreen ON")
                               << QStringLiteral("ok screen on");
    QTest::newRow("screen dimmed") << QByteArray("scenario opel\nscreen dim") << error;
    QTest::newRow("screen without a word") << QByteArray("scenario opel\nscreen") << error;
    QTest::newRow("screen without a scenario") << QByteArray("screen on") << error;
    QTest::newRow("screen in volkswagen") << QByteArray("scenario volkswagen\nscreen off")
                                          << QStringLiteral("error: no head-unit screen in "
                                                            "scenario volkswagen (only in opel)");
    QTest::newRow("very long line") << QByteArray(100000, 'a') << error;
    QTest::newRow("binary garbage") << QByteArray("\x01\xff\xfe\x00zz\x7f", 7) << error;
    QTest::newRow("empty line") << QByteArray("") << QString();
    QTest::newRow("blanks") << QByteArray(" \t \r") << QString();
    QTest::newRow("comment") << QByteArray("# a note") << QString();
    QTest::newRow("keyword in capitals") << QByteArray("ACC On") << ok;
    QTest::newRow("battery") << QByteArray("battery 12.6") << ok;
    QTest::newRow("temperature below zero") << QByteArray("temperature -20.5") << ok;
    QTest::newRow("short frame") << QByteArray("frame 5c1 06 00") << ok;
    QTest::newRow("help") << QByteArray("help") << ok;
    QTest::newRow("short") << QByteArray("short 3") << QStringLiteral("ok short 3");
    QTest::newRow("junk") << QByteArray("JUNK 2") << QStringLiteral("ok junk 2");
    // A fresh board has put nothing on the bus.
    QTest::newRow("sent") << QByteArray("sent") << QStringLiteral("ok sent 0 of 0");
    QTest::newRow("sent 3") << QByteArray("sent 3") << QStringLiteral("ok sent 0 of 0");
    QTest::newRow("sent, the whole record")
        << QByteArray("sent 1024") << QStringLiteral("ok sent 0 of 0");
    QTest::newRow("sent clear") << QByteArray("Sent CLEAR") << QStringLiteral("ok sent cleared 0");
    QTest::newRow("sent, negative count") << QByteArray("sent -1") << error;
    QTest::newRow("sent beyond the record") << QByteArray("sent 1025") << error;
    QTest::newRow("sent with a word") << QByteArray("sent all") << error;
    QTest::newRow("sent, two counts") << QByteArray("sent 3 4") << error;
    QTest::newRow("sent clear with a count") << QByteArray("sent clear 3") << error;
}

// Every line gets exactly its one answer, and the program goes on working.
void Tst_Virtual_Board::console_lines() {
    QFETCH(QByteArray, line);
    QFETCH(QString, answer);

    Board_Process board;
    QVERIFY(board.started());
    board.process.write(line + "\nstatus\n");
    for (qsizetype scene = line.count('\n'); scene > 0; --scene) {
        const QString got = board.answer();
        QVERIFY2(got.startsWith(QLatin1String("ok ")), qPrintable(got));
    }
    if (!answer.isEmpty()) {
        const QString got = board.answer();
        QVERIFY2(got.startsWith(answer), qPrintable(got));
    }
    const QString status = board.answer();
    QVERIFY2(status.startsWith(QLatin1String("ok plugged=yes")), qPrintable(status));
}

// What a host puts on the bus shows in `sent`, oldest first, until `sent clear`.
void Tst_Virtual_Board::sent_shows_the_boards_frames() {
    Board_Process board({QStringLiteral("--can-active")});
    QVERIFY(board.started());
    Host host(board.socket_path());
    QCOMPARE(host.read(attributes_size, answer_timeout_ms), default_attributes);
    for (const CanFrame& frame : {standard_frame(0x680, 0xB6), standard_frame(0x123, 0x01)}) {
        QVERIFY(host.send(send_frame(frame)));
        QVERIFY(host.reply());
    }
    const QString first = QStringLiteral("sent ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xb6");
    const QString last = QStringLiteral("sent ID: STD=0x123   RTR: DATA   DLC: 1   DATA: 0x1");

    QCOMPARE(board.command("sent"), QStringLiteral("ok sent 2 of 2"));
    QCOMPARE(board.answer(), first);
    QCOMPARE(board.answer(), last);
    QCOMPARE(board.command("sent 1"), QStringLiteral("ok sent 1 of 2"));
    QCOMPARE(board.answer(), last);
    QCOMPARE(board.command("sent clear"), QStringLiteral("ok sent cleared 2"));
    QCOMPARE(board.command("sent"), QStringLiteral("ok sent 0 of 0"));
    QVERIFY(board.started()); // the next line answers status: no frame line was left over
}

void Tst_Virtual_Board::frame_reaches_the_board_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("prescaler");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("wire"); // the frame as the board reports it

    const QByteArray standard_5c1 = QByteArray::fromHex("00"
                                                        "000005c1"
                                                        "00000000"
                                                        "00"
                                                        "02"
                                                        "0600000000000000");
    QTest::newRow("short form") << QStringList{} << 40 << QByteArray("frame 5c1 06 00")
                                << standard_5c1;
    QTest::newRow("frame line") << QStringList{} << 40
                                << QByteArray("FRAME ID: STD=0x5c1   RTR: DATA   DLC: 2   DATA: "
                                              "0x6 0x0")
                                << standard_5c1;
    QTest::newRow("extended, 125 kbit/s")
        << QStringList{QStringLiteral("--bitrate"), QStringLiteral("125")} << 32
        << QByteArray("frame 18daf110 EXT 02 10 03")
        << QByteArray::fromHex("04"
                               "00000000"
                               "18daf110"
                               "00"
                               "03"
                               "0210030000000000");
}

// The host activates the bus with the prescaler of its bit rate, a vehicle node sends, and
// the host reads the frame from the board.
void Tst_Virtual_Board::frame_reaches_the_board() {
    QFETCH(QStringList, arguments);
    QFETCH(int, prescaler);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, wire);

    Board_Process board(arguments);
    QVERIFY(board.started());
    Host host(board.socket_path());
    QCOMPARE(host.read(attributes_size, answer_timeout_ms), default_attributes);

    Report activate = request(CMD_CAN_ACTIVATE);
    activate[payload + 0] = 1;
    activate[payload + 1] = static_cast<std::uint8_t>(prescaler >> 8);
    activate[payload + 2] = static_cast<std::uint8_t>(prescaler);
    QVERIFY(host.send(activate));
    QVERIFY(host.reply());
    QVERIFY(board.command(command).startsWith(QLatin1String("ok frame ")));

    QElapsedTimer clock;
    clock.start();
    int waiting = 0;
    while (waiting == 0 && clock.elapsed() < answer_timeout_ms) {
        QVERIFY(host.send(request(CMD_CAN_STATUS)));
        const auto status = host.reply();
        QVERIFY(status);
        QVERIFY((*status)[payload + 0] != 0);
        waiting = (*status)[payload + 1];
    }
    QCOMPARE(waiting, 1);
    QVERIFY(host.send(request(CMD_CAN_READ_ONE)));
    const auto reply = host.reply();
    QVERIFY(reply);
    QCOMPARE(bytes_of(*reply).mid(payload, wire_frame_size), wire);
}

void Tst_Virtual_Board::ends_cleanly_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("quit") << QStringLiteral("quit");
    QTest::newRow("SIGTERM") << QStringLiteral("SIGTERM");
    QTest::newRow("SIGINT") << QStringLiteral("SIGINT");
    QTest::newRow("end of input, then SIGTERM") << QStringLiteral("eof");
}

// A host still connected sees the device go; the socket file goes with it.
void Tst_Virtual_Board::ends_cleanly() {
    QFETCH(QString, how);

    Board_Process board;
    QVERIFY(board.started());
    Host host(board.socket_path());
    QCOMPARE(host.read(attributes_size, answer_timeout_ms), default_attributes);

    const auto pid = static_cast<pid_t>(board.process.processId());
    if (how == QLatin1String("quit")) {
        QCOMPARE(board.command("quit"), QStringLiteral("ok bye"));
    } else if (how == QLatin1String("SIGINT")) {
        ::kill(pid, SIGINT);
    } else {
        if (how == QLatin1String("eof")) {
            board.process.closeWriteChannel();
            QVERIFY(!board.process.waitForFinished(silence_ms));
            QVERIFY(host.send(request(CMD_IDENTIFY)));
            QVERIFY(host.reply());
        }
        ::kill(pid, SIGTERM);
    }
    QVERIFY(board.process.waitForFinished(end_timeout_ms));
    QCOMPARE(board.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(board.process.exitCode(), 0);
    QVERIFY(host.closed_by_device(answer_timeout_ms));
    QVERIFY(!QFileInfo::exists(board.socket_path()));
}

QTEST_GUILESS_MAIN(Tst_Virtual_Board)
#include "tst_virtual_board.moc"
