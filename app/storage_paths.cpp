#include "app/storage_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

void set_program_identity() {
    QCoreApplication::setOrganizationName(QStringLiteral("Zentravo"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("zentravo.local"));
    QCoreApplication::setApplicationName(QStringLiteral("Tabrix"));
}

QString program_file_directory(const QString& beside, QStandardPaths::StandardLocation fallback) {
    const QFileInfo info(beside);
    if (info.isDir() && info.isWritable()) {
        return beside;
    }
    const QString own = QStandardPaths::writableLocation(fallback);
    QDir().mkpath(own); // a failure shows when a file is written there, and is reported then
    return own;
}

Storage_Places storage_places_beside(const QString& program_directory) {
    set_program_identity();
    const QString settings_directory =
        program_file_directory(program_directory, QStandardPaths::AppConfigLocation);
    return {settings_directory + QLatin1Char('/') + settings_file_name.toString(),
            program_file_directory(program_directory, QStandardPaths::AppLocalDataLocation)};
}

Storage_Places program_storage_places() {
    set_program_identity();
    if (QStandardPaths::isTestModeEnabled()) {
        return {};
    }
    return storage_places_beside(QCoreApplication::applicationDirPath());
}
