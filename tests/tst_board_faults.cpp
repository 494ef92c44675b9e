// The program against a virtual board that answers slowly, late, or breaks its report
// framing: it must end promptly on a termination signal and find a broken board again.
#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>
#include <csignal>

#include "process_fixture.h"

namespace {

constexpr int process_start_ms = 5000;
constexpr int board_serving_ms = 5000;
constexpr int connect_ms = 5000;
constexpr int first_connect_ms = 500;
// A pass with frames waiting is under way when the signal comes.
constexpr int slow_cycle_running_ms = 4000;
// One exchange's bound: the read's 3000 ms time-out and the settling after a failed one.
constexpr qint64 end_within_ms = 3500;
constexpr int reconnect_ms = 10000;

// The virtual board and the program, each in the same home of its own.
struct Board_And_Program {
    Board_And_Program() {
        board.process.setProcessEnvironment(home.environment());
        board.process.start(
            QStringLiteral(TABRIX_VIRTUAL_BOARD),
            {QStringLiteral("--scenario"), QStringLiteral("idle"), QStringLiteral("--can-active")});
        QProcessEnvironment env = home.environment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.process.setProcessEnvironment(env);
        program.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }

    bool start() {
        if (!board.process.waitForStarted(process_start_ms) ||
            !QTest::qWaitFor([this] { return home.board_serving(); }, board_serving_ms)) {
            return false;
        }
        program.process.start(home.program(QStringLiteral(TABRIX_EXECUTABLE)), {});
        return program.process.waitForStarted(process_start_ms) &&
               QTest::qWaitFor([this] { return board_connected(); }, connect_ms);
    }

    bool board_connected() { return command("status").contains(" connected=yes"); }

    QByteArray command(const QByteArray& line) { return board_command(board.process, line); }

    // Reads the board's own lines until `line` comes; false when it does not in time.
    bool board_says(const QByteArray& line, int within_ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < within_ms) {
            if (board.process.canReadLine()) {
                if (board.process.readLine().trimmed() == line) {
                    return true;
                }
                continue;
            }
            board.process.waitForReadyRead(100);
        }
        return false;
    }

    Program_Home home;
    Child_Process board;
    Child_Process program;
};

} // namespace

class Tst_Board_Faults : public QObject {
    Q_OBJECT

private slots:
    void termination_within_one_exchange_data();
    void termination_within_one_exchange();
    void broken_framing_is_found_again_data();
    void broken_framing_is_found_again();
};

void Tst_Board_Faults::termination_within_one_exchange_data() {
    QTest::addColumn<int>("reply_ms");
    QTest::newRow("replies just inside the bound") << 2900;
    QTest::newRow("replies late past the bound") << 3200;
}

void Tst_Board_Faults::termination_within_one_exchange() {
    QFETCH(int, reply_ms);
    Board_And_Program run;
    QVERIFY(run.start());
    QTest::qWait(first_connect_ms);
    QVERIFY(run.command("delay " + QByteArray::number(reply_ms)).startsWith("ok"));
    QTest::qWait(slow_cycle_running_ms);
    QVERIFY(run.command("status").contains(" queue=64")); // a full backlog waits meanwhile

    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(run.program.process.processId()), SIGTERM);
    QVERIFY(run.program.process.waitForFinished(reconnect_ms));
    const qint64 took = clock.elapsed();
    qInfo("ended after %lld ms", static_cast<long long>(took));
    QVERIFY2(took < end_within_ms, qPrintable(QStringLiteral("ended after %1 ms").arg(took)));
    QCOMPARE(run.program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.program.process.exitCode(), 0);
}

void Tst_Board_Faults::broken_framing_is_found_again_data() {
    QTest::addColumn<QByteArray>("fault");
    QTest::newRow("a reply cut short") << QByteArray("short 1");
    QTest::newRow("junk after a reply") << QByteArray("junk 1");
}

void Tst_Board_Faults::broken_framing_is_found_again() {
    QFETCH(QByteArray, fault);
    Board_And_Program run;
    QVERIFY(run.start());
    QVERIFY(run.command(fault).startsWith("ok"));
    // The program lets go of the board as if it had been unplugged, and the watch opens it anew.
    QVERIFY(run.board_says("host disconnected", reconnect_ms));
    QVERIFY(run.board_says("host connected", reconnect_ms));
    QTRY_VERIFY_WITH_TIMEOUT(run.board_connected(), connect_ms);
    QVERIFY(run.program.process.state() == QProcess::Running);
}

QTEST_GUILESS_MAIN(Tst_Board_Faults)
#include "tst_board_faults.moc"
