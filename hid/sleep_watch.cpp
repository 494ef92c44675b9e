#include "hid/sleep_watch.h"

#include <QDBusConnection>

Sleep_Watch::Sleep_Watch(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        return;
    }
    connected = bus.connect(QStringLiteral("org.freedesktop.login1"),
                            QStringLiteral("/org/freedesktop/login1"),
                            QStringLiteral("org.freedesktop.login1.Manager"),
                            QStringLiteral("PrepareForSleep"), this, SLOT(prepare_for_sleep(bool)));
}

void Sleep_Watch::prepare_for_sleep(bool going_to_sleep) {
    if (going_to_sleep) {
        emit suspending();
    } else {
        emit resumed();
    }
}
