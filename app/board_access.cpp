#include "app/board_access.h"

#include <QCoreApplication>
#include <cstring>

QString board_refusal_text(const QString& path, int error) {
    return QCoreApplication::translate("Widget",
                                       "Плата найдена (%1), но открыть её нельзя: %2.\n"
                                       "Установите правило udev %3 и подключите плату заново.")
        .arg(path, QString::fromLocal8Bit(std::strerror(error)),
             QString::fromLatin1(board_udev_rule_path));
}
