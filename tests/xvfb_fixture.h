#pragma once

// An X server of the test's own: Xvfb on a display it picks itself, so tests that ctest runs
// side by side never share one. Ends the server when it goes out of scope.

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <initializer_list>

class Xvfb_Server {
public:
    static constexpr int start_timeout_ms = 5000;
    static constexpr int display_timeout_ms = 10000;
    static constexpr int stop_timeout_ms = 3000;
    static constexpr const char* screen_geometry = "1024x768x24"; // width x height x depth

    Xvfb_Server() = default;
    ~Xvfb_Server() { stop(); }
    Xvfb_Server(const Xvfb_Server&) = delete;
    Xvfb_Server& operator=(const Xvfb_Server&) = delete;

    // Starts the server and returns its display name (":N"); empty when it did not come up.
    QString start() {
        process.start(QStringLiteral("Xvfb"),
                      {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                       QStringLiteral("0"), QString::fromLatin1(screen_geometry),
                       QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!process.waitForStarted(start_timeout_ms)) {
            return {};
        }
        // With -displayfd the server writes the display number and a line feed once it serves.
        QByteArray number;
        while (!number.contains('\n') && process.waitForReadyRead(display_timeout_ms)) {
            number += process.readAllStandardOutput();
        }
        number = number.trimmed();
        if (number.isEmpty()) {
            stop();
            return {};
        }
        name = QStringLiteral(":") + QString::fromLatin1(number);
        return name;
    }

    void stop() {
        if (process.state() == QProcess::NotRunning) {
            return;
        }
        process.terminate();
        if (!process.waitForFinished(stop_timeout_ms)) {
            process.kill();
            process.waitForFinished(stop_timeout_ms);
        }
    }

    QString display() const { return name; }

private:
    QProcess process;
    QString name;
};

// Starts `server` and points DISPLAY at it; false, said on the error channel, when it did not
// come up.
inline bool start_own_display(Xvfb_Server& server) {
    const QString display = server.start();
    if (display.isEmpty()) {
        qCritical("Xvfb did not start");
        return false;
    }
    qputenv("DISPLAY", display.toLocal8Bit());
    return true;
}

// The programs of `tools` that are not on the PATH.
inline QStringList missing_tools(std::initializer_list<const char*> tools) {
    QStringList missing;
    for (const char* tool : tools) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            missing << QString::fromLatin1(tool);
        }
    }
    return missing;
}
