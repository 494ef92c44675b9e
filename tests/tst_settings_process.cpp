// The program's settings over a whole run against the virtual board: what another program wrote
// into its settings file is there again, key by key, after a termination signal ended it.
#include <QProcess>
#include <QtTest>
#include <csignal>
#include <sys/stat.h>

#include "process_fixture.h"
#include "settings_fixture.h"
#include "xvfb_fixture.h"

namespace {

constexpr int process_start_ms = 5000;
constexpr int board_serving_ms = 5000;
constexpr int connect_ms = 5000;
constexpr int end_ms = 10000;

// The program is run from a folder of its own, so its settings file beside it is this test's.
struct Run_Folder {
    Run_Folder() {
        QDir(home.path()).mkpath(QStringLiteral("bin"));
        copied = QFile::copy(QStringLiteral(TABRIX_EXECUTABLE), program()) &&
                 QFile::setPermissions(program(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner);
    }
    QString program() const { return home.path() + QStringLiteral("/bin/tabrix"); }
    QString settings_file() const { return home.path() + QStringLiteral("/bin/config.ini"); }

    Program_Home home;
    bool copied = false;
};

// How a run ends: a signal sent to the program, or its X server going away (a log-out that
// ends the server first).
struct Run_End {
    int signal_number = 0; // 0: the X server goes
};

// Starts the board and the program, waits until the program has found the board (its start,
// and with it the loading of the settings, is over), then ends the run. True when the program
// ended by itself: with exit code 0 after a signal.
bool run_until(const Run_Folder& folder, Run_End end) {
    Child_Process board;
    Child_Process program;
    board.process.setProcessEnvironment(folder.home.environment());
    board.process.start(
        QStringLiteral(TABRIX_VIRTUAL_BOARD),
        {QStringLiteral("--scenario"), QStringLiteral("idle"), QStringLiteral("--can-active")});
    if (!board.process.waitForStarted(process_start_ms) ||
        !QTest::qWaitFor([&] { return folder.home.board_serving(); }, board_serving_ms)) {
        return false;
    }
    QProcessEnvironment env = folder.home.environment();
    Xvfb_Server xvfb;
    if (end.signal_number != 0) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("DISPLAY")); // no hot keys grabbed on a desktop the test runs on
    } else {
        const QString display = xvfb.start();
        if (display.isEmpty()) {
            return false;
        }
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), display);
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    }
    program.process.setProcessEnvironment(env);
    program.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.process.start(folder.program(), {});
    if (!program.process.waitForStarted(process_start_ms) ||
        !QTest::qWaitFor(
            [&] { return board_command(board.process, "status").contains(" connected=yes"); },
            connect_ms)) {
        return false;
    }
    if (end.signal_number == 0) {
        xvfb.stop(); // the program goes down with its X connection
        return program.process.waitForFinished(end_ms) &&
               program.process.exitStatus() == QProcess::NormalExit;
    }
    ::kill(static_cast<pid_t>(program.process.processId()), end.signal_number);
    return program.process.waitForFinished(end_ms) &&
           program.process.exitStatus() == QProcess::NormalExit && program.process.exitCode() == 0;
}

// The file's inode: a new one once the file has been replaced by a complete new one.
ino_t inode(const QString& path) {
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

QByteArray file_bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class Tst_Settings_Process : public QObject {
    Q_OBJECT

private slots:
    void kept_at_termination_data();
    void kept_at_termination();
};

void Tst_Settings_Process::kept_at_termination_data() {
    QTest::addColumn<int>("signal_number"); // 0: the X server goes away
    QTest::newRow("SIGTERM") << int{SIGTERM};
    QTest::newRow("SIGINT") << int{SIGINT};
    QTest::newRow("SIGHUP") << int{SIGHUP};
    if (missing_tools({"Xvfb"}).isEmpty()) {
        QTest::newRow("X server gone") << 0;
    }
}

// Each key as written by another program, the unknown keys too; a second run leaves the same
// bytes as the first.
void Tst_Settings_Process::kept_at_termination() {
    QFETCH(int, signal_number);
    const Run_Folder folder;
    QVERIFY(folder.home.valid() && folder.copied);
    write_ini(folder.settings_file(), all_keys_changed() + unknown_keys());
    const ino_t written = inode(folder.settings_file());

    QVERIFY(run_until(folder, {signal_number}));
    QVERIFY(inode(folder.settings_file()) != written); // saved, not just left as it was
    const QByteArray first = file_bytes(folder.settings_file());
    compare_ini(folder.settings_file(), all_keys_changed() + unknown_keys());
    const QSettings ini(folder.settings_file(), QSettings::IniFormat);
    QCOMPARE(ini.allKeys().size(), all_keys_changed().size() + unknown_keys().size());

    QVERIFY(run_until(folder, {signal_number}));
    QCOMPARE(file_bytes(folder.settings_file()), first);
}

QTEST_MAIN(Tst_Settings_Process)
#include "tst_settings_process.moc"
