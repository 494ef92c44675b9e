#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

// One running copy per executable and user. The first copy listens on a local socket
// whose name is derived from the user and the executable's absolute path; a later copy
// finds it listening, hands it a message and leaves.
class Single_Instance : public QObject {
    Q_OBJECT

public:
    // `server_path` is the socket's file path; default_server_path() gives the usual one.
    explicit Single_Instance(const QString& server_path, QObject* parent = nullptr);

    // The socket path for this user and executable, in the user's runtime directory.
    static QString default_server_path(const QString& executable_path);

    // True when another copy already runs. Otherwise this object now serves the name.
    // Decided under a lock file, so two copies started together never both serve.
    bool is_running();

    // Hands `message` to the running copy and waits at most `timeout_ms` for it to be taken.
    bool send_message(const QString& message, int timeout_ms);

    const QString& server_path() const { return path; }

signals:
    void message_received(const QString& message);

private:
    void take_connection();
    bool try_connect(int timeout_ms) const;
    bool listen();

    QString path;
    QLocalServer server;
};
