// One copy per user: the name server in-process, and real starts of the program.
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "app/single_instance.h"
#include "process_fixture.h"

namespace {

// Leaves a socket file behind that nobody listens on, as a crashed copy does.
bool make_stale_socket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray bytes = path.toLocal8Bit();
    if (static_cast<std::size_t>(bytes.size()) >= sizeof addr.sun_path) {
        ::close(fd);
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), addr.sun_path);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return bound && QFileInfo::exists(path);
}

QStringList tree_listing(const QString& root) {
    QStringList files;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString entry = it.next();
        files << entry + QLatin1Char(' ') + QString::number(QFileInfo(entry).size());
    }
    files.sort();
    return files;
}

// The program started in a home of its own.
class Program_Start : public Program_Home {
public:
    std::unique_ptr<QProcess> start() const {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program(QStringLiteral(TABRIX_EXECUTABLE)), {});
        return process;
    }

    // True once a copy serves the single-instance name and has finished deciding (its lock
    // file is gone again).
    bool serving() const {
        const QDir run(run_dir());
        return !run.entryList({QStringLiteral("tabrix-*.sock")}, QDir::System).isEmpty() &&
               run.entryList({QStringLiteral("*.lock")}, QDir::Files | QDir::Hidden).isEmpty();
    }
};

} // namespace

class Tst_Single_Instance : public QObject {
    Q_OBJECT

private slots:
    void second_copy_delivers_message();
    void stale_socket_is_taken_over();
    void name_depends_on_user_and_executable();
    void second_start_exits_fast_first_keeps_running();
    void two_starts_at_once_leave_one_running();
    void termination_signal_ends_cleanly_data();
    void termination_signal_ends_cleanly();

private:
    QTemporaryDir dir;
};

void Tst_Single_Instance::second_copy_delivers_message() {
    const QString path = dir.filePath(QStringLiteral("a.sock"));
    Single_Instance first(path);
    QVERIFY(!first.is_running());
    QSignalSpy received(&first, &Single_Instance::message_received);

    Single_Instance second(path);
    QVERIFY(second.is_running());
    // The receiver must take the message on its own event loop; deliver from a thread.
    QThread* sender =
        QThread::create([&] { second.send_message(QStringLiteral("Rise up!"), 5000); });
    sender->start();
    QTRY_COMPARE(received.size(), 1);
    QCOMPARE(received[0][0].toString(), QStringLiteral("Rise up!"));
    sender->wait();
    delete sender;
}

void Tst_Single_Instance::stale_socket_is_taken_over() {
    const QString path = dir.filePath(QStringLiteral("stale.sock"));
    QVERIFY(make_stale_socket(path));
    Single_Instance first(path);
    QVERIFY(!first.is_running());
    Single_Instance second(path);
    QVERIFY(second.is_running());
}

void Tst_Single_Instance::name_depends_on_user_and_executable() {
    const QString a = Single_Instance::default_server_path(QStringLiteral("/opt/a/tabrix"));
    QCOMPARE(Single_Instance::default_server_path(QStringLiteral("/opt/a/tabrix")), a);
    QVERIFY(Single_Instance::default_server_path(QStringLiteral("/opt/b/tabrix")) != a);
    QVERIFY(a.startsWith(QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"))));
    // Socket paths are limited to 108 bytes; the name must leave room for the directory.
    QVERIFY(QFileInfo(a).fileName().size() < 40);
}

void Tst_Single_Instance::second_start_exits_fast_first_keeps_running() {
    Program_Start home;
    auto first = home.start();
    QVERIFY(first->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(home.serving(), 10000);
    // The first copy's window opens its log beside it once built; only then is its start over.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(home.path() + QStringLiteral("/bin/can_log.txt")),
                             10000);

    const QStringList before = tree_listing(home.path());
    QElapsedTimer clock;
    clock.start();
    auto second = home.start();
    QVERIFY(second->waitForFinished(5000));
    const qint64 took = clock.elapsed();
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QVERIFY2(took < 1000, qPrintable(QStringLiteral("second start took %1 ms").arg(took)));
    QCOMPARE(tree_listing(home.path()), before);

    QVERIFY(!first->waitForFinished(300));
    QCOMPARE(first->state(), QProcess::Running);
    first->terminate();
    QVERIFY(first->waitForFinished(5000));
    QCOMPARE(first->exitCode(), 0);
}

void Tst_Single_Instance::two_starts_at_once_leave_one_running() {
    Program_Start home;
    auto a = home.start();
    auto b = home.start();
    QVERIFY(a->waitForStarted());
    QVERIFY(b->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(
        a->state() == QProcess::NotRunning || b->state() == QProcess::NotRunning, 10000);
    QProcess* gone = a->state() == QProcess::NotRunning ? a.get() : b.get();
    QProcess* kept = gone == a.get() ? b.get() : a.get();
    QCOMPARE(gone->exitStatus(), QProcess::NormalExit);
    QCOMPARE(gone->exitCode(), 0);
    QVERIFY(!kept->waitForFinished(500));
    kept->terminate();
    QVERIFY(kept->waitForFinished(5000));
    QCOMPARE(kept->exitCode(), 0);
}

void Tst_Single_Instance::termination_signal_ends_cleanly_data() {
    QTest::addColumn<int>("signal_number");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void Tst_Single_Instance::termination_signal_ends_cleanly() {
    QFETCH(int, signal_number);
    Program_Start home;
    auto program = home.start();
    QVERIFY(program->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(home.serving(), 10000);
    ::kill(static_cast<pid_t>(program->processId()), signal_number);
    QVERIFY(program->waitForFinished(5000));
    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->exitCode(), 0);
}

QTEST_GUILESS_MAIN(Tst_Single_Instance)
#include "tst_single_instance.moc"
