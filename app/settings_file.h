#pragma once

// The host-side settings: everything the user sets that the board does not keep itself. One
// INI file, read once at start and written by the save button and at the end of every run.

#include <QSettings>
#include <QString>
#include <QStringList>
#include <array>

#include "buttons/hot_key_table.h"
#include "can/can_trigger.h"

struct Software_Timer_Settings {
    QString message;       // frame text sent on every tick
    int interval_ms = 100; // as stored: the spin box clamps it
    bool enabled = false;
};

// Every key of the file, with its default when the key is missing. Numbers are kept as stored;
// the window's spin boxes clamp them to their ranges.
struct Host_Settings {
    static constexpr std::size_t software_timers = 3;

    bool autoload = false;
    bool can_log_active = true; // the monitor's view shows the received frames
    QString can_mass_send_text;
    int vehicle_mode = 0;
    bool can_write_to_log = false;
    QStringList button_cells; // the combination rows' cells, 8 per row, row by row
    int dbl_push_delay_ms = 500;
    int long_push_delay_ms = 500;
    int trigger_name_counter = 0;
    Trigger_Lists triggers;
    bool all_triggers_enabled = true;
    std::array<Software_Timer_Settings, software_timers> timers{};
    Hot_Key_Settings hot_keys;
    bool udp_send = false;
    int buttons_start_byte = 0;
};

// Reads every key. A value of another kind converts as QVariant converts it: an unreadable
// number is 0; the unsigned ones above the range of int are taken as its largest value.
// Without a stored one-shot list every trigger reads as not one-shot.
Host_Settings read_host_settings(const QSettings& file);

// Writes every key; keys of the file that the program does not know stay as they are.
void write_host_settings(QSettings& file, const Host_Settings& values);

// The settings file at `path`: a missing or empty path reads as all defaults.
Host_Settings load_settings_file(const QString& path);

// Writes the file at `path` whole or not at all: the new text goes to a temporary file that
// replaces the old one only once it is complete, so a crash or power loss mid-write leaves
// the old file as it was. Returns QSettings' status after the write: AccessError when the file
// could not be written (a missing directory that cannot be made, no permission, a full disk);
// FormatError when it was written but the old file held lines that could not be read, which
// are not kept.
QSettings::Status save_settings_file(const QString& path, const Host_Settings& values);
