// Writes a settings file through the program's own writer: `tabrix-settings-writer PATH LINES`
// stores a mass-send text of LINES frame lines. A test ends it in the middle of the write.
#include <QCoreApplication>
#include <QStringList>

#include "app/settings_file.h"

int main(int argc, char* argv[]) {
    const QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        return 2;
    }
    Host_Settings values;
    values.can_mass_send_text =
        QStringLiteral(
            "ID: STD=0x661   RTR: DATA   DLC: 8   DATA: 0x80 0x0 0x0 0x0 0x0 0x0 0x0 0x0\n")
            .repeated(args[2].toInt());
    return save_settings_file(args[1], values) == QSettings::NoError ? 0 : 1;
}
