#pragma once

// A settings file as another program would write it: every key the tool keeps, none at its
// default, Cyrillic texts among them, and keys the tool does not know.

#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <QtTest>
#include <utility>

using Stored_Keys = QList<std::pair<QString, QVariant>>;

// The keys in the file's order; values a whole run leaves as they are.
inline Stored_Keys all_keys_changed() {
    const QString frame = QStringLiteral("ID: STD=0x123   RTR: DATA   DLC: 1   DATA: 0x1");
    return {
        {"autoload", true},
        {"can_log_active", false},
        {"can_mass_send_text", QStringLiteral("%1\n%1\nПривет, «мир»; 50%").arg(frame)},
        {"canButtons_mode", 3},
        {"can_write_to_log", true},
        {"canButtons_str_list",
         QStringList{"Громкость +", "0x5c1", "0x6", "0x0", "{SndAmp_VOL_UP}", "", "^{UP}", "0",
                     "Next", "0x5c1", "0x2 0x1", "N/A", "{MEDIA_NEXT}", "", "", "300"}},
        {"cB_dblPush_delay", 750U},
        {"cB_longPush_delay", 1200U},
        {"can_triggers_counter", 7U},
        {"triggers_name", QStringList{"Trigger 3", "Ответ, второй"}},
        {"triggers_enabled", QStringList{"true", "false"}},
        {"triggers_recv", QStringList{"ID: STD=0x7ab   RTR: DATA", "ID: EXT=0x1abcdef{i}"}},
        {"triggers_send", QStringList{frame, ""}},
        {"triggers_one_shot", QStringList{"false", "true"}},
        {"can_all_triggers_enabled_checkBox", false},
        {"can_timer_1_msg", frame},
        {"can_timer_1_interval", 250},
        {"can_timer_1_enabled", true},
        {"can_timer_2_msg", QStringLiteral("Текст таймера")},
        {"can_timer_2_interval", 2000},
        {"can_timer_2_enabled", false},
        {"can_timer_3_msg", QStringLiteral("%1\n%1").arg(frame)},
        {"can_timer_3_interval", 10000},
        {"can_timer_3_enabled", true},
        {"HotKeys/volume_up_fsModifiers", 6U},
        {"HotKeys/volume_up_global_hot_key", 0x26U},
        {"HotKeys/volume_down_fsModifiers", 10U},
        {"HotKeys/volume_down_global_hot_key", 0x28U},
        {"udpObdSend", true},
        {"canButtons_start_byte", 3U},
    };
}

inline const Stored_Keys& unknown_keys() {
    static const Stored_Keys keys{{"zz_kept_by_the_tool", QStringLiteral("оставить")},
                                  {"Elsewhere/kept", 42}};
    return keys;
}

inline void write_ini(const QString& path, const Stored_Keys& keys) {
    QSettings ini(path, QSettings::IniFormat);
    for (const auto& [key, value] : keys) {
        ini.setValue(key, value);
    }
    ini.sync();
    QCOMPARE(ini.status(), QSettings::NoError);
}

// Each key holds what `keys` says, read as another program reads it: lists as lists, the rest
// as their text.
inline void compare_ini(const QString& path, const Stored_Keys& keys) {
    const QSettings ini(path, QSettings::IniFormat);
    QCOMPARE(ini.status(), QSettings::NoError);
    for (const auto& [key, value] : keys) {
        QVERIFY2(ini.contains(key), qPrintable(key));
        if (value.typeId() == QMetaType::QStringList) {
            QCOMPARE(ini.value(key).toStringList(), value.toStringList());
        } else {
            QCOMPARE(ini.value(key).toString(), value.toString());
        }
    }
}

// The keys of the file: the tool's and the unknown ones, nothing else.
inline QStringList sorted_keys(const Stored_Keys& keys) {
    QStringList names;
    for (const auto& key : keys) {
        names << key.first;
    }
    names.sort();
    return names;
}
