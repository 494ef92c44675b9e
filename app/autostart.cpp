#include "app/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

namespace {

// Characters that make an Exec argument need quotes, and those escaped inside the quotes.
constexpr QStringView exec_reserved = u" \t\n\"'\\><~|&;$*?#()`";
constexpr QStringView exec_escaped_in_quotes = u"\"`$\\";

} // namespace

QString autostart_directory() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QDir::isRelativePath(config)) {
        config = QDir::homePath() + QStringLiteral("/.config");
    }
    return config + QStringLiteral("/autostart");
}

QString desktop_exec_argument(QStringView argument) {
    const bool quoted = std::any_of(argument.begin(), argument.end(),
                                    [](QChar c) { return exec_reserved.contains(c); });
    QString word;
    if (quoted) {
        word += QLatin1Char('"');
        for (const QChar c : argument) {
            if (exec_escaped_in_quotes.contains(c)) {
                word += QLatin1Char('\\');
            }
            word += c;
        }
        word += QLatin1Char('"');
    } else {
        word = argument.toString();
    }
    QString value;
    for (const QChar c : std::as_const(word)) {
        switch (c.unicode()) {
        case '\\':
            value += QStringLiteral("\\\\");
            break;
        case '\n':
            value += QStringLiteral("\\n");
            break;
        case '\t':
            value += QStringLiteral("\\t");
            break;
        case '\r':
            value += QStringLiteral("\\r");
            break;
        case '%':
            value += QStringLiteral("%%");
            break;
        default:
            value += c;
        }
    }
    return value;
}

QString autostart_entry_text(const QString& program) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Version=1.0\n"
                          "Name=%1\n"
                          "Exec=%2\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(autostart_entry_name, desktop_exec_argument(program));
}

QString Autostart::entry_path() const {
    return directory + QLatin1Char('/') + autostart_file_name.toString();
}

QString Autostart::write_entry() const {
    if (!QDir().mkpath(directory)) {
        return QStringLiteral("%1: the folder cannot be made")
            .arg(QDir::toNativeSeparators(directory));
    }
    QSaveFile file(entry_path());
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(autostart_entry_text(program).toUtf8()) < 0 || !file.commit()) {
        return QDir::toNativeSeparators(entry_path()) + QStringLiteral(": ") + file.errorString();
    }
    return {};
}

QString Autostart::remove_entry() const {
    QFile file(entry_path());
    if (file.remove()) {
        return {};
    }
    const QFileInfo left(entry_path());
    if (!left.exists() && !left.isSymLink()) {
        return {}; // there was none
    }
    return QDir::toNativeSeparators(entry_path()) + QStringLiteral(": ") + file.errorString();
}
