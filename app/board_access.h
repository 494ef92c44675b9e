#pragma once

#include <QString>

// The udev rule that gives the logged-in user the board's hidraw node; the package installs it
// into the system's rules directory.
inline constexpr char board_udev_rule_path[] = "/usr/lib/udev/rules.d/70-korvantexa-tabrix.rules";

// What the user is told when the board is plugged in but its node `path` cannot be opened,
// `error` being the OS error number of the open.
QString board_refusal_text(const QString& path, int error);
