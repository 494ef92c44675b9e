#pragma once

// Pieces shared by the tests that run the real programs: a child process that is ended on
// every way out of a test, a home of its own for the programs, and the virtual board's
// command line.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

// A child process, ended (politely, then not) when the test leaves its scope.
class Child_Process {
public:
    static constexpr int stop_ms = 3000;

    Child_Process() = default;
    ~Child_Process() {
        if (process.state() == QProcess::NotRunning) {
            return;
        }
        process.terminate();
        if (!process.waitForFinished(stop_ms)) {
            process.kill();
            process.waitForFinished(stop_ms);
        }
    }
    Child_Process(const Child_Process&) = delete;
    Child_Process& operator=(const Child_Process&) = delete;

    QProcess process;
};

// Runtime (mode 0700), config, data and home directories of their own, so programs started
// by parallel tests never see each other's sockets or files.
class Program_Home {
public:
    Program_Home() {
        QDir(dir.path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(run_dir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ExeOwner);
    }

    bool valid() const { return dir.isValid(); }
    QString path() const { return dir.path(); }
    QString run_dir() const { return dir.filePath(QStringLiteral("run")); }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), run_dir());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("HOME"), dir.path());
        return env;
    }

    // A copy of `executable` in a folder of this home, made at the first call: the program
    // keeps its settings file beside itself, so each test's run has its own.
    QString program(const QString& executable) const {
        const QString copy =
            dir.filePath(QStringLiteral("bin/") + QFileInfo(executable).fileName());
        if (!QFileInfo::exists(copy)) {
            QDir(dir.path()).mkpath(QStringLiteral("bin"));
            QFile::copy(executable, copy);
            QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ExeOwner);
        }
        return copy;
    }

    // True once a virtual board serves its socket here.
    bool board_serving() const {
        return !QDir(run_dir() + QStringLiteral("/virtual-hid"))
                    .entryList({QStringLiteral("*.sock")}, QDir::System)
                    .isEmpty();
    }

private:
    QTemporaryDir dir;
};

// Sends one command line to the virtual board and returns its answer line; the board's own
// "host ..." event lines are passed over. Empty when no answer comes in time.
inline QByteArray board_command(QProcess& board, const QByteArray& line) {
    constexpr int answer_ms = 5000;
    constexpr int look_ms = 100;
    board.write(line + '\n');
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < answer_ms) {
        if (!board.canReadLine()) {
            board.waitForReadyRead(look_ms);
            continue;
        }
        const QByteArray answer = board.readLine().trimmed();
        if (!answer.startsWith("host ")) {
            return answer;
        }
    }
    return {};
}
