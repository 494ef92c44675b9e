// A board the program cannot accept, end to end: the real program against the virtual board
// program on an X server of the test's own. The error box must stay up until it is answered,
// and the program must then end with the exit code of the failure.
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "xvfb_fixture.h"

namespace {

constexpr int process_start_ms = 5000;
constexpr int board_serving_ms = 5000;
constexpr int board_answer_ms = 5000;
// The program finds the board within one watch round (500 ms) and identifies it on the
// next poll; the rest is room for a loaded machine.
constexpr int box_appears_ms = 15000;
constexpr int poll_step_ms = 100; // between looks at a process or the screen
// How long the program must keep running with its box open and unanswered.
constexpr int box_dwell_ms = 500;
constexpr int exit_after_answer_ms = 5000;
constexpr int xdotool_ms = 5000;
constexpr int stop_ms = 3000;

const QString main_window_title = QStringLiteral("Korvantexa Tabrix R44");

// A child process that is ended on every way out of the test.
class Child {
public:
    Child() = default;
    ~Child() {
        if (process.state() == QProcess::NotRunning) {
            return;
        }
        process.terminate();
        if (!process.waitForFinished(stop_ms)) {
            process.kill();
            process.waitForFinished(stop_ms);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    QProcess process;
};

// Runtime, config, data and home directories of their own for the board and the program.
class Program_Home {
public:
    Program_Home() {
        QDir(dir.path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(dir.filePath(QStringLiteral("run")), QFileDevice::ReadOwner |
                                                                       QFileDevice::WriteOwner |
                                                                       QFileDevice::ExeOwner);
    }

    bool valid() const { return dir.isValid(); }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("HOME"), dir.path());
        return env;
    }

    // True once a virtual board serves its socket here.
    bool board_serving() const {
        return !QDir(dir.filePath(QStringLiteral("run/virtual-hid")))
                    .entryList({QStringLiteral("*.sock")}, QDir::System)
                    .isEmpty();
    }

private:
    QTemporaryDir dir;
};

// Sends one command line to the virtual board and returns its answer; the board's own
// "host ..." event lines are passed over.
QByteArray board_command(QProcess& board, const QByteArray& line) {
    board.write(line + '\n');
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < board_answer_ms) {
        if (!board.canReadLine()) {
            board.waitForReadyRead(poll_step_ms);
            continue;
        }
        const QByteArray answer = board.readLine().trimmed();
        if (!answer.startsWith("host ")) {
            return answer;
        }
    }
    return {};
}

struct Tool_Result {
    int exit_code = -1;
    QString output;
};

Tool_Result xdotool(const QString& display, const QStringList& arguments) {
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(xdotool_ms)) {
        tool.kill();
        tool.waitForFinished(stop_ms);
        return {};
    }
    return {tool.exitCode(), QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed()};
}

// The visible window of `program` that is not its main window: the error box. The main window
// is up from the start (Xvfb has no tray) and the box has no name to search by, so the
// program's windows are listed until a second one shows. Empty when none shows in time or
// the program ends first.
QString find_error_box(QProcess& program, const QString& display) {
    const QString pid = QString::number(program.processId());
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < box_appears_ms && program.state() == QProcess::Running) {
        const Tool_Result listed =
            xdotool(display, {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                              QStringLiteral("--pid"), pid});
        for (const QString& window : listed.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const Tool_Result name = xdotool(display, {QStringLiteral("getwindowname"), window});
            if (name.exit_code == 0 && name.output != main_window_title) {
                return window;
            }
        }
        program.waitForFinished(poll_step_ms);
    }
    return {};
}

} // namespace

class Tst_Identification : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void failure_shows_box_then_exits_data();
    void failure_shows_box_then_exits();

private:
    Xvfb_Server xvfb;
};

void Tst_Identification::initTestCase() {
    const QStringList missing = missing_tools({"Xvfb", "xdotool"});
    if (!missing.isEmpty()) {
        QSKIP(qPrintable(QStringLiteral("needs an X server and xdotool; not installed: ") +
                         missing.join(QLatin1Char(' '))));
    }
    QVERIFY2(!xvfb.start().isEmpty(), "Xvfb did not start");
}

void Tst_Identification::failure_shows_box_then_exits_data() {
    QTest::addColumn<QStringList>("board_options");
    QTest::addColumn<QByteArray>("fault"); // played on the board before the program starts
    QTest::addColumn<int>("exit_code");
    // The first exchange of a connection is the identification.
    QTest::newRow("no identification") << QStringList{} << QByteArray("wrong-echo 1") << 1;
    QTest::newRow("wrong board type")
        << QStringList{QStringLiteral("--board-type"), QStringLiteral("3")} << QByteArray() << 2;
}

void Tst_Identification::failure_shows_box_then_exits() {
    QFETCH(QStringList, board_options);
    QFETCH(QByteArray, fault);
    QFETCH(int, exit_code);

    Program_Home home;
    QVERIFY(home.valid());
    Child board;
    board.process.setProcessEnvironment(home.environment());
    board.process.start(QStringLiteral(TABRIX_VIRTUAL_BOARD), board_options);
    QVERIFY(board.process.waitForStarted(process_start_ms));
    QTRY_VERIFY_WITH_TIMEOUT(home.board_serving(), board_serving_ms);
    if (!fault.isEmpty()) {
        QVERIFY(board_command(board.process, fault).startsWith("ok"));
    }

    Child program;
    QProcessEnvironment env = home.environment();
    env.insert(QStringLiteral("DISPLAY"), xvfb.display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // Without a session bus the program keeps to the X server the test gave it.
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    program.process.setProcessEnvironment(env);
    program.process.setProcessChannelMode(QProcess::ForwardedChannels);
    program.process.start(QStringLiteral(TABRIX_EXECUTABLE), {});
    QVERIFY(program.process.waitForStarted(process_start_ms));

    const QString box = find_error_box(program.process, xvfb.display());
    QVERIFY2(!box.isEmpty(),
             qPrintable(program.process.state() == QProcess::Running
                            ? QStringLiteral("no error box appeared")
                            : QStringLiteral("the program ended with %1 before any error box")
                                  .arg(program.process.exitCode())));
    const bool ended = program.process.waitForFinished(box_dwell_ms);
    QVERIFY2(!ended && program.process.state() == QProcess::Running,
             "the program ended while its error box was still open");

    // The box takes Return on the key press and closes; a key release would then go to a
    // window that is gone, so only the press is sent.
    const Tool_Result pressed =
        xdotool(xvfb.display(), {QStringLiteral("keydown"), QStringLiteral("--window"), box,
                                 QStringLiteral("Return")});
    QCOMPARE(pressed.exit_code, 0);
    QVERIFY2(program.process.waitForFinished(exit_after_answer_ms),
             "the program kept running after its error box was answered");
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), exit_code);
}

QTEST_GUILESS_MAIN(Tst_Identification)
#include "tst_identification.moc"
