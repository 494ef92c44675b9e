#pragma once

#include <QStandardPaths>
#include <QString>

// Where the program keeps a file of its own: next to the executable when that directory is
// writable (a portable install), otherwise in the user's `fallback` location, created as
// needed, so an installed program keeps its files too.
QString program_file_directory(QStandardPaths::StandardLocation fallback);
