#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QStandardPaths>
#include <unistd.h>

namespace {

constexpr int connect_timeout_ms = 500;
constexpr int lock_timeout_ms = 5000;
constexpr qint64 max_message_bytes = 4096;
constexpr char message_end = '\n';
constexpr char taken_reply = '+';

} // namespace

Single_Instance::Single_Instance(const QString& server_path, QObject* parent)
    : QObject(parent), path(server_path) {
    server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server, &QLocalServer::newConnection, this, &Single_Instance::take_connection);
}

QString Single_Instance::default_server_path(const QString& executable_path) {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) {
        dir = QDir::tempPath();
    }
    const QByteArray key = QByteArray::number(static_cast<qulonglong>(getuid())) + '\0' +
                           QFileInfo(executable_path).absoluteFilePath().toUtf8();
    const QByteArray digest =
        QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16);
    return dir + QStringLiteral("/tabrix-") + QString::fromLatin1(digest) + QStringLiteral(".sock");
}

bool Single_Instance::try_connect(int timeout_ms) const {
    QLocalSocket socket;
    socket.connectToServer(path);
    return socket.waitForConnected(timeout_ms);
}

bool Single_Instance::listen() {
    if (server.listen(path)) {
        return true;
    }
    // Nobody answered on this name, so the socket file was left by a copy that died.
    QLocalServer::removeServer(path);
    return server.listen(path);
}

bool Single_Instance::is_running() {
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(lock_timeout_ms);
    // Without the lock (a copy hung while deciding) go on regardless: being reachable
    // beats being alone.
    // The lock is released when it goes out of scope.
    lock.tryLock(lock_timeout_ms);
    if (try_connect(connect_timeout_ms)) {
        return true;
    }
    listen();
    return false;
}

bool Single_Instance::send_message(const QString& message, int timeout_ms) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeout_ms)) {
        return false;
    }
    socket.write(message.toUtf8() + message_end);
    if (!socket.waitForBytesWritten(timeout_ms)) {
        return false;
    }
    // The reply says the running copy has taken the message.
    return socket.waitForReadyRead(timeout_ms) && socket.read(1) == QByteArray(1, taken_reply);
}

void Single_Instance::take_connection() {
    while (QLocalSocket* socket = server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                // A peer that sends a long text without an end is cut off.
                if (socket->bytesAvailable() > max_message_bytes) {
                    socket->abort();
                }
                return;
            }
            QByteArray line = socket->readLine();
            line.chop(1);
            const QString message = QString::fromUtf8(line);
            socket->write(QByteArray(1, taken_reply));
            socket->flush();
            socket->disconnectFromServer();
            emit message_received(message);
        });
    }
}
