#pragma once

// Starting the program with the user's desktop session: a desktop entry in the session's
// autostart folder, written when the user asks for it and removed when the user no longer does.

#include <QString>
#include <QStringView>

inline constexpr QStringView autostart_file_name = u"korvantexa-tabrix.desktop";
inline constexpr QStringView autostart_entry_name = u"Korvantexa Tabrix";

// $XDG_CONFIG_HOME/autostart, or ~/.config/autostart when the variable is unset, empty or not
// an absolute path.
QString autostart_directory();

// One argument of an entry's Exec line. An argument holding a character the Exec syntax
// reserves is put in double quotes, with `"`, `` ` ``, `$` and `\` escaped by a backslash;
// then the escapes of every string value apply (a backslash doubled, a line feed, tab or
// carriage return as \n, \t, \r), and a literal % is doubled.
QString desktop_exec_argument(QStringView argument);

// The whole entry that starts the program at the absolute path `program`.
QString autostart_entry_text(const QString& program);

// The program's entry in `directory`, and the user's last choice.
struct Autostart {
    QString directory;
    QString program;      // the executable the entry starts
    bool enabled = false; // kept with the settings; loading them never touches the entry

    QString entry_path() const;
    // Both return what went wrong, empty when nothing did. Writing replaces an earlier entry
    // whole; removing an entry that is not there is no fault.
    QString write_entry() const;
    QString remove_entry() const;
};
