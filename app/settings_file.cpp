#include "app/settings_file.h"

#include <algorithm>
#include <climits>

namespace {

// The keys in the order they are read and written.
const QString key_autoload = QStringLiteral("autoload");
const QString key_can_log_active = QStringLiteral("can_log_active");
const QString key_mass_send_text = QStringLiteral("can_mass_send_text");
const QString key_buttons_mode = QStringLiteral("canButtons_mode");
const QString key_write_to_log = QStringLiteral("can_write_to_log");
const QString key_button_cells = QStringLiteral("canButtons_str_list");
const QString key_dbl_push_delay = QStringLiteral("cB_dblPush_delay");
const QString key_long_push_delay = QStringLiteral("cB_longPush_delay");
const QString key_triggers_counter = QStringLiteral("can_triggers_counter");
const QString key_triggers_name = QStringLiteral("triggers_name");
const QString key_triggers_enabled = QStringLiteral("triggers_enabled");
const QString key_triggers_recv = QStringLiteral("triggers_recv");
const QString key_triggers_send = QStringLiteral("triggers_send");
const QString key_triggers_one_shot = QStringLiteral("triggers_one_shot");
const QString key_all_triggers_enabled = QStringLiteral("can_all_triggers_enabled_checkBox");
const QString key_volume_up_modifiers = QStringLiteral("HotKeys/volume_up_fsModifiers");
const QString key_volume_up_key = QStringLiteral("HotKeys/volume_up_global_hot_key");
const QString key_volume_down_modifiers = QStringLiteral("HotKeys/volume_down_fsModifiers");
const QString key_volume_down_key = QStringLiteral("HotKeys/volume_down_global_hot_key");
const QString key_udp_send = QStringLiteral("udpObdSend");
const QString key_start_byte = QStringLiteral("canButtons_start_byte");

QString timer_key(std::size_t timer, const char* what) {
    return QStringLiteral("can_timer_%1_%2").arg(timer + 1).arg(QLatin1String(what));
}

// The file keeps these numbers unsigned; the controls take an int.
int unsigned_value(const QSettings& file, const QString& key, int fallback) {
    const unsigned stored = file.value(key, static_cast<unsigned>(fallback)).toUInt();
    return static_cast<int>(std::min<unsigned>(stored, INT_MAX));
}

QVariant as_unsigned(int value) {
    return static_cast<unsigned>(std::max(value, 0));
}

} // namespace

Host_Settings read_host_settings(const QSettings& file) {
    const Host_Settings d; // the defaults
    Host_Settings s;
    s.autoload = file.value(key_autoload, d.autoload).toBool();
    s.can_log_active = file.value(key_can_log_active, d.can_log_active).toBool();
    s.can_mass_send_text = file.value(key_mass_send_text, d.can_mass_send_text).toString();
    s.vehicle_mode = file.value(key_buttons_mode, d.vehicle_mode).toInt();
    s.can_write_to_log = file.value(key_write_to_log, d.can_write_to_log).toBool();
    s.button_cells = file.value(key_button_cells).toStringList();
    s.dbl_push_delay_ms = unsigned_value(file, key_dbl_push_delay, d.dbl_push_delay_ms);
    s.long_push_delay_ms = unsigned_value(file, key_long_push_delay, d.long_push_delay_ms);
    s.trigger_name_counter = unsigned_value(file, key_triggers_counter, d.trigger_name_counter);
    s.triggers.names = file.value(key_triggers_name).toStringList();
    s.triggers.enabled = file.value(key_triggers_enabled).toStringList();
    s.triggers.recv = file.value(key_triggers_recv).toStringList();
    s.triggers.send = file.value(key_triggers_send).toStringList();
    const QStringList not_one_shot(s.triggers.names.size(), can_trigger_flag_text(false));
    s.triggers.one_shot = file.value(key_triggers_one_shot, not_one_shot).toStringList();
    s.all_triggers_enabled = file.value(key_all_triggers_enabled, d.all_triggers_enabled).toBool();
    for (std::size_t n = 0; n < s.timers.size(); ++n) {
        Software_Timer_Settings& t = s.timers[n];
        t.message = file.value(timer_key(n, "msg"), d.timers[n].message).toString();
        t.interval_ms = file.value(timer_key(n, "interval"), d.timers[n].interval_ms).toInt();
        t.enabled = file.value(timer_key(n, "enabled"), d.timers[n].enabled).toBool();
    }
    Hot_Key_Settings& h = s.hot_keys;
    h.volume_up_modifiers = file.value(key_volume_up_modifiers, h.volume_up_modifiers).toUInt();
    h.volume_up_key = file.value(key_volume_up_key, h.volume_up_key).toUInt();
    h.volume_down_modifiers =
        file.value(key_volume_down_modifiers, h.volume_down_modifiers).toUInt();
    h.volume_down_key = file.value(key_volume_down_key, h.volume_down_key).toUInt();
    s.udp_send = file.value(key_udp_send, d.udp_send).toBool();
    s.buttons_start_byte = unsigned_value(file, key_start_byte, d.buttons_start_byte);
    return s;
}

void write_host_settings(QSettings& file, const Host_Settings& s) {
    file.setValue(key_autoload, s.autoload);
    file.setValue(key_can_log_active, s.can_log_active);
    file.setValue(key_mass_send_text, s.can_mass_send_text);
    file.setValue(key_buttons_mode, s.vehicle_mode);
    file.setValue(key_write_to_log, s.can_write_to_log);
    file.setValue(key_button_cells, s.button_cells);
    file.setValue(key_dbl_push_delay, as_unsigned(s.dbl_push_delay_ms));
    file.setValue(key_long_push_delay, as_unsigned(s.long_push_delay_ms));
    file.setValue(key_triggers_counter, as_unsigned(s.trigger_name_counter));
    file.setValue(key_triggers_name, s.triggers.names);
    file.setValue(key_triggers_enabled, s.triggers.enabled);
    file.setValue(key_triggers_recv, s.triggers.recv);
    file.setValue(key_triggers_send, s.triggers.send);
    file.setValue(key_triggers_one_shot, s.triggers.one_shot);
    file.setValue(key_all_triggers_enabled, s.all_triggers_enabled);
    for (std::size_t n = 0; n < s.timers.size(); ++n) {
        file.setValue(timer_key(n, "msg"), s.timers[n].message);
        file.setValue(timer_key(n, "interval"), s.timers[n].interval_ms);
        file.setValue(timer_key(n, "enabled"), s.timers[n].enabled);
    }
    file.setValue(key_volume_up_modifiers, s.hot_keys.volume_up_modifiers);
    file.setValue(key_volume_up_key, s.hot_keys.volume_up_key);
    file.setValue(key_volume_down_modifiers, s.hot_keys.volume_down_modifiers);
    file.setValue(key_volume_down_key, s.hot_keys.volume_down_key);
    file.setValue(key_udp_send, s.udp_send);
    file.setValue(key_start_byte, as_unsigned(s.buttons_start_byte));
}

Host_Settings load_settings_file(const QString& path) {
    if (path.isEmpty()) {
        return {};
    }
    const QSettings file(path, QSettings::IniFormat);
    return read_host_settings(file);
}

QSettings::Status save_settings_file(const QString& path, const Host_Settings& values) {
    QSettings file(path, QSettings::IniFormat);
    // Asked first: once the old file gave a FormatError, the status no longer shows a failed write.
    if (!file.isWritable()) {
        return QSettings::AccessError;
    }
    file.setAtomicSyncRequired(true); // never write into the old file in place
    write_host_settings(file, values);
    file.sync();
    return file.status();
}
