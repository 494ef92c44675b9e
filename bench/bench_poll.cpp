// What the regular poll costs: one steady-state pass of the window against the in-process
// board (the host's own work), the same pass against the virtual board program over its
// socket, and one exchange over that socket beside a bare round trip on it. Run by hand;
// README.md beside this file says how.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include "app/widget.h"
#include "hid/hid_device.h"
#include "hid/virtual_backend.h"
#include "process_fixture.h"
#include "protocol/commands.h"
#include "tests/test_board.h"

namespace {

constexpr std::int32_t board_vendor_id = 0x8D88;
constexpr std::int32_t board_product_id = 0x00CC;
constexpr int process_start_ms = 5000;
constexpr int board_serving_ms = 5000;
constexpr int connect_ms = 3000;    // the device watch looks every 500 ms
constexpr int socket_timeout_s = 3; // a bare round trip waits as long as an exchange may
constexpr std::size_t device_ids_size = 4;
constexpr std::size_t command_byte = 1;
constexpr int retry_step_ms = 20;

// Asks `ready` until it holds or `timeout_ms` has passed, keeping the event loop going.
template <typename Predicate> bool eventually(Predicate ready, int timeout_ms) {
    QElapsedTimer clock;
    clock.start();
    while (!ready()) {
        if (clock.elapsed() >= timeout_ms) {
            return false;
        }
        QTest::qWait(retry_step_ms);
    }
    return true;
}

// A window that has found its board and run the first-connect sequence, so that every
// further form_update is one steady-state pass and its tail. The device watch finds the
// board as it does in the program; the poll timer is stopped so passes run only when asked.
struct Connected_Window {
    Connected_Window() {
        window.show_error = [this](const QString& text) { errors << text; };
        window.exit_application = [](int) {};
    }

    QTimer* timer() const { return window.findChild<QTimer*>(QStringLiteral("poll_timer")); }

    // One poll cycle. The tail arms the timer again; without an event loop it would not fire,
    // but it is stopped so nothing else runs between passes.
    void pass() {
        QMetaObject::invokeMethod(&window, "form_update", Qt::DirectConnection);
        timer()->stop();
    }

    // True once the board is open and identified.
    bool connect() {
        eventually([this] { return window.hid.connected.load(); }, connect_ms);
        timer()->stop();
        pass();
        return window.hid.connected && !window.hid.identify_pending && errors.isEmpty();
    }

    Widget window;
    QStringList errors;
};

// The virtual board program on the runtime directory of this run.
class Board_Program : public Child_Process {
public:
    Board_Program() {
        process.start(QStringLiteral(TABRIX_VIRTUAL_BOARD),
                      {QStringLiteral("--scenario"), QStringLiteral("none")});
    }

    // The board's socket once it serves, else empty.
    std::string wait_serving() {
        if (!process.waitForStarted(process_start_ms)) {
            return {};
        }
        std::vector<std::string> sockets;
        eventually([&] { return !(sockets = Virtual_Backend().enumerate()).empty(); },
                   board_serving_ms);
        return sockets.empty() ? std::string() : sockets.front();
    }

    QProcess process;
};

// A plain blocking connection to a virtual device, past its vendor and product IDs.
class Raw_Socket {
public:
    explicit Raw_Socket(const std::string& path) : fd(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un addr{};
        if (fd < 0 || path.size() >= sizeof addr.sun_path) {
            return;
        }
        const timeval timeout{socket_timeout_s, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        addr.sun_family = AF_UNIX;
        std::copy(path.begin(), path.end(), addr.sun_path);
        std::array<std::uint8_t, device_ids_size> ids{};
        ready = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 &&
                transfer(ids.data(), ids.size(), false);
    }
    ~Raw_Socket() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Raw_Socket(const Raw_Socket&) = delete;
    Raw_Socket& operator=(const Raw_Socket&) = delete;

    // One output report out, one input report back.
    bool round_trip(Hid_Report& out, Hid_Report& in) {
        return transfer(out.data(), out.size(), true) && transfer(in.data(), in.size(), false);
    }

    bool ready = false;

private:
    bool transfer(std::uint8_t* data, std::size_t size, bool sending) {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = sending ? ::send(fd, data + done, size - done, MSG_NOSIGNAL)
                                      : ::recv(fd, data + done, size - done, 0);
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    int fd;
};

} // namespace

class Bench_Poll : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void steady_state_pass_in_process();
    void steady_state_pass_virtual_board();
    void exchange_virtual_board();
    void bare_round_trip_virtual_board();
    void cleanupTestCase();

private:
    std::unique_ptr<Board_Program> board_program;
    std::string board_socket;
};

void Bench_Poll::initTestCase() {
    board_program = std::make_unique<Board_Program>();
    board_socket = board_program->wait_serving();
    QVERIFY2(!board_socket.empty(), "the virtual board program does not serve");
}

void Bench_Poll::steady_state_pass_in_process() {
    auto board = Test_Board::create();
    Connected_Window w;
    w.window.hid.set_backends(Hid_Backends{board});
    QVERIFY(w.connect());
    QBENCHMARK {
        w.pass();
        board->exchanges.clear(); // the record would only grow
    }
    // What was measured is a whole pass: it went on to the CAN status read.
    w.pass();
    QVERIFY(!board->exchanges.empty());
    QCOMPARE(board->exchanges.back().command, std::uint8_t{CMD_CAN_STATUS});
}

void Bench_Poll::steady_state_pass_virtual_board() {
    Connected_Window w;
    QVERIFY(w.connect());
    QBENCHMARK {
        w.pass();
    }
    QVERIFY(w.window.hid.connected);
}

void Bench_Poll::exchange_virtual_board() {
    Hid_Device device(Hid_Backends{std::make_shared<Virtual_Backend>()});
    device.init(board_vendor_id, board_product_id, 0, 0);
    // The board serves one host at a time: the window of the last benchmark may only just
    // have let it go.
    QVERIFY(eventually([&] { return device.open(); }, connect_ms));
    Hid_Device::Reply reply{};
    bool answered = true;
    QBENCHMARK {
        answered = device.exchange(CMD_READ_POWER, &reply, nullptr) && answered;
    }
    QVERIFY(answered);
}

void Bench_Poll::bare_round_trip_virtual_board() {
    std::unique_ptr<Raw_Socket> socket;
    QVERIFY(eventually(
        [&] {
            socket = std::make_unique<Raw_Socket>(board_socket);
            return socket->ready;
        },
        connect_ms));
    Hid_Report out{};
    Hid_Report in{};
    out[command_byte] = CMD_READ_POWER;
    bool answered = true;
    QBENCHMARK {
        answered = socket->round_trip(out, in) && answered;
    }
    QVERIFY(answered);
    QCOMPARE(in[command_byte], std::uint8_t{CMD_READ_POWER});
}

void Bench_Poll::cleanupTestCase() {
    board_program.reset();
}

int main(int argc, char** argv) {
    // Directories of its own: the board's socket, settings and data stay out of the user's,
    // and no board the user runs is found.
    QTemporaryDir home;
    if (!home.isValid() || !QDir(home.path()).mkpath(QStringLiteral("run")) ||
        !QFile::setPermissions(home.filePath(QStringLiteral("run")), QFileDevice::ReadOwner |
                                                                         QFileDevice::WriteOwner |
                                                                         QFileDevice::ExeOwner)) {
        qCritical("no temporary directory");
        return 1;
    }
    qputenv("XDG_RUNTIME_DIR", home.filePath(QStringLiteral("run")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Bench_Poll bench;
    return QTest::qExec(&bench, argc, argv);
}

#include "bench_poll.moc"
