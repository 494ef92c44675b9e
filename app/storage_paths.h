#pragma once

#include <QStandardPaths>
#include <QString>

// The program's identity, which names its per-user folders. Set before any of them is asked
// for, so the settings and the log share one name.
void set_program_identity();

// Where the program keeps a file of its own: `beside` (the executable's directory) when that
// directory is writable, a portable install; otherwise the user's `fallback` location, created
// as needed, so an installed program keeps its files too.
QString program_file_directory(const QString& beside, QStandardPaths::StandardLocation fallback);

// The settings file and the directory of the CAN log. An empty path: nothing is read or written.
struct Storage_Places {
    QString settings_file;
    QString log_directory;

    friend bool operator==(const Storage_Places&, const Storage_Places&) = default;
};

inline constexpr QStringView settings_file_name = u"config.ini";

// Both files beside the executable in `program_directory` when it is writable, else in the
// user's configuration (settings) and data (log) folders of this program. Sets the identity.
Storage_Places storage_places_beside(const QString& program_directory);

// The running program's places. Auto tests run in Qt's test mode: there a window keeps no files
// unless its test names them, so no test reads what another one left behind.
Storage_Places program_storage_places();
