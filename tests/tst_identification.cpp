// A board the program cannot accept, end to end: the real program against the virtual board
// program on an X server of the test's own. The error box must stay up until it is answered,
// and the program must then end with the exit code of the failure.
#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include "process_fixture.h"
#include "xvfb_fixture.h"

namespace {

constexpr int process_start_ms = 5000;
constexpr int board_serving_ms = 5000;
// The program finds the board within one watch round (500 ms) and identifies it on the
// next poll; the rest is room for a loaded machine.
constexpr int box_appears_ms = 15000;
constexpr int poll_step_ms = 100; // between looks at a process or the screen
// How long the program must keep running with its box open and unanswered.
constexpr int box_dwell_ms = 500;
constexpr int exit_after_answer_ms = 5000;
constexpr int xdotool_ms = 5000;

const QString main_window_title = QStringLiteral("Korvantexa Tabrix R44");

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
        tool.waitForFinished(Child_Process::stop_ms);
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
    Child_Process board;
    board.process.setProcessEnvironment(home.environment());
    board.process.start(QStringLiteral(TABRIX_VIRTUAL_BOARD), board_options);
    QVERIFY(board.process.waitForStarted(process_start_ms));
    QTRY_VERIFY_WITH_TIMEOUT(home.board_serving(), board_serving_ms);
    if (!fault.isEmpty()) {
        QVERIFY(board_command(board.process, fault).startsWith("ok"));
    }

    Child_Process program;
    QProcessEnvironment env = home.environment();
    env.insert(QStringLiteral("DISPLAY"), xvfb.display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // Without a session bus the program keeps to the X server the test gave it.
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    program.process.setProcessEnvironment(env);
    program.process.setProcessChannelMode(QProcess::ForwardedChannels);
    program.process.start(home.program(QStringLiteral(TABRIX_EXECUTABLE)), {});
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
