#include "app/storage_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString program_file_directory(QStandardPaths::StandardLocation fallback) {
    const QString beside = QCoreApplication::applicationDirPath();
    if (QFileInfo(beside).isWritable()) {
        return beside;
    }
    const QString own = QStandardPaths::writableLocation(fallback);
    QDir().mkpath(own);
    return own;
}
