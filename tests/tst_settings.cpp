// The settings file and the autostart entry: every key restored and kept, the places of the
// files, writes that fail or are cut short, and the entry the session starts the program from.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <memory>
#include <sys/resource.h>

#include "app/autostart.h"
#include "app/settings_file.h"
#include "app/storage_paths.h"
#include "app/widget.h"
#include "settings_fixture.h"

namespace {

QByteArray file_bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A window whose settings file and log are in a folder of the test's own.
struct Settings_Window {
    explicit Settings_Window(const QString& settings_file) {
        window = std::make_unique<Widget>(
            Storage_Places{settings_file, QFileInfo(settings_file).absolutePath()});
        window->tray_available = [] { return true; };
        window->watch_enabled = false;
    }

    template <typename T> T* control(const char* name) const {
        T* c = window->findChild<T*>(QString::fromLatin1(name));
        if (c == nullptr) {
            qFatal("no control %s", name);
        }
        return c;
    }
    QTimer* timer(int n) const {
        return window->findChild<QTimer*>(QStringLiteral("can_timer_%1").arg(n));
    }
    QLabel* status_line() const { return control<QLabel>("settings_status_label"); }

    std::unique_ptr<Widget> window;
};

// A folder of the test's own with the settings file's path in it.
struct Settings_Folder {
    QTemporaryDir dir;
    QString file() const { return dir.filePath(QStringLiteral("config.ini")); }
};

// An Exec value read back as the session reads it: the string escapes undone, then the quoting,
// then the doubled %. One argument is expected.
QStringList exec_arguments(const QString& value) {
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char('\\') || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const QChar next = value[++i];
        const QString known = QStringLiteral("\\\\n\nt\tr\rs ");
        const qsizetype at = known.indexOf(next);
        if (at >= 0 && at % 2 == 0) {
            text += known[at + 1];
        } else {
            text += QLatin1Char('\\');
            text += next;
        }
    }
    QStringList arguments;
    QString word;
    bool in_quotes = false;
    bool in_word = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (in_quotes) {
            if (c == QLatin1Char('\\') && i + 1 < text.size()) {
                word += text[++i];
            } else if (c == QLatin1Char('"')) {
                in_quotes = false;
            } else {
                word += c;
            }
        } else if (c == QLatin1Char('"')) {
            in_quotes = in_word = true;
        } else if (c == QLatin1Char(' ')) {
            if (in_word) {
                arguments << word;
            }
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word) {
        arguments << word;
    }
    for (QString& argument : arguments) {
        argument.replace(QStringLiteral("%%"), QStringLiteral("%"));
    }
    return arguments;
}

// Puts an environment variable back as it was when the test leaves its scope.
class Environment_Scope {
public:
    Environment_Scope(const char* name, const QByteArray& value)
        : name(name), old(qgetenv(name)), had(qEnvironmentVariableIsSet(name)) {
        qputenv(name, value);
    }
    ~Environment_Scope() {
        if (had) {
            qputenv(name, old);
        } else {
            qunsetenv(name);
        }
    }
    Environment_Scope(const Environment_Scope&) = delete;
    Environment_Scope& operator=(const Environment_Scope&) = delete;

private:
    const char* name;
    QByteArray old;
    bool had;
};

} // namespace

Q_DECLARE_METATYPE(Stored_Keys)

class Tst_Settings : public QObject {
    Q_OBJECT

private slots:
    void round_trip_of_every_key();
    void start_without_a_file();
    void trigger_lists_data();
    void trigger_lists();
    void button_rows_of_eight();
    void rows_kept_through_language_change();
    void timer_enabled_at_load();
    void head_unit_mode_at_load();
    void log_view_follows_its_switch_data();
    void log_view_follows_its_switch();
    void numbers_clamped_data();
    void numbers_clamped();
    void places_beside_or_per_user();
    void unwritable_file_reported();
    void write_cut_short_leaves_old_file();
    void exec_argument_data();
    void exec_argument();
    void autostart_follows_check_box();
    void autostart_untouched_by_loading();
    void autostart_unwritable_reported();
};

// Every key through the controls and back; unknown keys stay; saving again changes no byte.
void Tst_Settings::round_trip_of_every_key() {
    Settings_Folder folder;
    write_ini(folder.file(), all_keys_changed() + unknown_keys());
    {
        const Settings_Window w(folder.file()); // loads, and saves when it ends
    }
    compare_ini(folder.file(), all_keys_changed() + unknown_keys());
    const QSettings ini(folder.file(), QSettings::IniFormat);
    QCOMPARE(ini.allKeys().size(), all_keys_changed().size() + unknown_keys().size());
    const QByteArray first = file_bytes(folder.file());

    {
        Settings_Window w(folder.file());
        w.control<QPushButton>("save_settings_pushButton")->click();
        QCOMPARE(file_bytes(folder.file()), first);
        w.control<QPushButton>("save_settings_pushButton")->click();
        QCOMPARE(file_bytes(folder.file()), first);
        QVERIFY(w.status_line()->isHidden());
    }
    QCOMPARE(file_bytes(folder.file()), first);
}

void Tst_Settings::start_without_a_file() {
    Settings_Folder folder;
    {
        Settings_Window w(folder.file());
        QCOMPARE(w.control<QTreeWidget>("canButtons_combinations_treeWidget")->topLevelItemCount(),
                 0);
        QCOMPARE(w.control<QListWidget>("can_trigger_listWidget")->count(), 0);
        QVERIFY(w.control<QCheckBox>("can_all_triggers_enabled_checkBox")->isChecked());
        for (int n = 1; n <= 3; ++n) {
            QVERIFY(!w.timer(n)->isActive());
            QCOMPARE(w.timer(n)->interval(), 100);
        }
        QCOMPARE(w.control<QSpinBox>("can_timer_2_interval_spinBox")->value(), 100);
        QCOMPARE(w.control<QSpinBox>("canButtons_dblPush_delay_spinBox")->value(), 500);
        QCOMPARE(w.control<QSpinBox>("canButtons_longPush_delay_spinBox")->value(), 500);
        QCOMPARE(w.control<QSpinBox>("canButtons_start_byte_spinBox")->value(), 0);
        QVERIFY(!w.control<QCheckBox>("udpObdSend_checkBox")->isChecked());
        QVERIFY(!w.control<QCheckBox>("can_write_log_checkBox")->isChecked());
        QVERIFY(!w.control<QCheckBox>("autoload_checkBox")->isChecked());
    }
    // Hot keys have no control: the file the run leaves shows them.
    compare_ini(folder.file(), {{"HotKeys/volume_up_fsModifiers", 3},
                                {"HotKeys/volume_up_global_hot_key", 66},
                                {"HotKeys/volume_down_fsModifiers", 3},
                                {"HotKeys/volume_down_global_hot_key", 67},
                                {"can_log_active", true},
                                {"canButtons_mode", 0}});
}

void Tst_Settings::trigger_lists_data() {
    QTest::addColumn<Stored_Keys>("stored");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("one_shot_saved");
    const Stored_Keys three = {{"triggers_name", QStringList{"A", "B", "C"}},
                               {"triggers_enabled", QStringList{"true", "0", "yes"}},
                               {"triggers_recv", QStringList{"1", "2", "3"}}};
    QTest::newRow("one-shot list missing: none is one-shot")
        << three + Stored_Keys{{"triggers_send", QStringList{"x", "y", "z"}}}
        << QStringList{"A", "B", "C"} << QStringList{"false", "false", "false"};
    QTest::newRow("three names, two replies: no trigger")
        << three + Stored_Keys{{"triggers_send", QStringList{"x", "y"}}} << QStringList{}
        << QStringList{};
    QTest::newRow("all five agree")
        << three + Stored_Keys{{"triggers_send", QStringList{"x", "y", "z"}},
                               {"triggers_one_shot", QStringList{"", "false", "1"}}}
        << QStringList{"A", "B", "C"} << QStringList{"false", "false", "true"};
}

void Tst_Settings::trigger_lists() {
    QFETCH(Stored_Keys, stored);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, one_shot_saved);
    Settings_Folder folder;
    write_ini(folder.file(), stored);
    {
        Settings_Window w(folder.file());
        const QListWidget* list = w.control<QListWidget>("can_trigger_listWidget");
        QStringList names;
        for (int row = 0; row < list->count(); ++row) {
            names << list->item(row)->text();
        }
        QCOMPARE(names, shown);
    }
    const QSettings ini(folder.file(), QSettings::IniFormat);
    QCOMPARE(ini.value("triggers_name").toStringList(), shown);
    QCOMPARE(ini.value("triggers_one_shot").toStringList(), one_shot_saved);
}

// Rows of 8; the last one short.
void Tst_Settings::button_rows_of_eight() {
    Settings_Folder folder;
    QStringList cells;
    for (int k = 0; k < 11; ++k) {
        cells << QStringLiteral("ячейка %1").arg(k);
    }
    write_ini(folder.file(), {{"canButtons_str_list", cells}});
    {
        Settings_Window w(folder.file());
        const QTreeWidget* tree = w.control<QTreeWidget>("canButtons_combinations_treeWidget");
        QCOMPARE(tree->topLevelItemCount(), 2);
        QCOMPARE(tree->topLevelItem(0)->text(7), cells[7]);
        QCOMPARE(tree->topLevelItem(1)->text(0), cells[8]);
        QCOMPARE(tree->topLevelItem(1)->text(2), cells[10]);
        QVERIFY(tree->topLevelItem(1)->text(3).isEmpty());
        QVERIFY(tree->topLevelItem(1)->flags() & Qt::ItemIsEditable);
    }
    // Saved whole rows: the short one with its empty cells.
    const QSettings ini(folder.file(), QSettings::IniFormat);
    QCOMPARE(ini.value("canButtons_str_list").toStringList(), cells + QStringList(5, QString()));
}

// Re-applying the form's texts leaves the restored rows alone, and an empty tree too.
void Tst_Settings::rows_kept_through_language_change() {
    Settings_Folder folder;
    const QStringList cells{"свой", "0x1", "0x2", "0x0", "a", "b", "c", "0"};
    write_ini(folder.file(), {{"canButtons_str_list", cells}});
    Settings_Window w(folder.file());
    auto* tree = w.control<QTreeWidget>("canButtons_combinations_treeWidget");
    QEvent change(QEvent::LanguageChange);
    QCoreApplication::sendEvent(w.window.get(), &change);
    QCOMPARE(tree->topLevelItemCount(), 1);
    QCOMPARE(tree->topLevelItem(0)->text(0), cells[0]);
    QCOMPARE(tree->topLevelItem(0)->text(4), cells[4]);
    tree->clear();
    QCoreApplication::sendEvent(w.window.get(), &change);
    QCOMPARE(tree->topLevelItemCount(), 0);
}

void Tst_Settings::timer_enabled_at_load() {
    Settings_Folder folder;
    write_ini(folder.file(), {{"can_timer_1_enabled", true}, {"can_timer_1_interval", 300}});
    Settings_Window w(folder.file());
    QVERIFY(w.timer(1)->isActive());
    QCOMPARE(w.timer(1)->interval(), 300);
    QVERIFY(!w.control<QPlainTextEdit>("can_timer_1_send_msg_plainTextEdit")->isEnabled());
    QVERIFY(!w.timer(2)->isActive());
    QVERIFY(w.control<QPlainTextEdit>("can_timer_2_send_msg_plainTextEdit")->isEnabled());
}

// Mode 1 checks the head-unit box but does not put the head unit's preset in place.
void Tst_Settings::head_unit_mode_at_load() {
    Settings_Folder folder;
    write_ini(folder.file(), {{"canButtons_mode", 1},
                              {"triggers_name", QStringList{"own"}},
                              {"triggers_enabled", QStringList{"true"}},
                              {"triggers_recv", QStringList{"r"}},
                              {"triggers_send", QStringList{"s"}}});
    Settings_Window w(folder.file());
    QVERIFY(w.control<QCheckBox>("can_head_unit_checkBox")->isChecked());
    const QListWidget* list = w.control<QListWidget>("can_trigger_listWidget");
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), QStringLiteral("own"));
    QVERIFY(!w.timer(1)->isActive());
}

void Tst_Settings::log_view_follows_its_switch_data() {
    QTest::addColumn<bool>("active");
    QTest::newRow("view off") << false;
    QTest::newRow("view on") << true;
}

void Tst_Settings::log_view_follows_its_switch() {
    QFETCH(bool, active);
    Settings_Folder folder;
    write_ini(folder.file(), {{"can_log_active", active}});
    {
        Settings_Window w(folder.file());
        QCOMPARE(w.control<QGroupBox>("can_log_groupBox")->isChecked(), active);
    }
    compare_ini(folder.file(), {{"can_log_active", active}});
}

void Tst_Settings::numbers_clamped_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("spin_box");
    QTest::addColumn<int>("shown");
    const char* dbl = "canButtons_dblPush_delay_spinBox";
    const char* lng = "canButtons_longPush_delay_spinBox";
    QTest::newRow("double press below") << "cB_dblPush_delay"
                                        << "50" << dbl << 100;
    QTest::newRow("double press above") << "cB_dblPush_delay"
                                        << "20000" << dbl << 10000;
    QTest::newRow("double press unreadable") << "cB_dblPush_delay"
                                             << "fast" << dbl << 100;
    QTest::newRow("long press negative") << "cB_longPush_delay"
                                         << "-1" << lng << 100;
    QTest::newRow("long press past int") << "cB_longPush_delay"
                                         << "4294967295" << lng << 10000;
    QTest::newRow("timer below") << "can_timer_1_interval"
                                 << "5"
                                 << "can_timer_1_interval_spinBox" << 10;
    QTest::newRow("timer negative") << "can_timer_2_interval"
                                    << "-40"
                                    << "can_timer_2_interval_spinBox" << 10;
    QTest::newRow("timer above") << "can_timer_3_interval"
                                 << "99999"
                                 << "can_timer_3_interval_spinBox" << 10000;
    QTest::newRow("timer unreadable") << "can_timer_2_interval"
                                      << "0x20"
                                      << "can_timer_2_interval_spinBox" << 10;
    QTest::newRow("start byte above") << "canButtons_start_byte"
                                      << "9"
                                      << "canButtons_start_byte_spinBox" << 7;
    QTest::newRow("start byte unreadable") << "canButtons_start_byte"
                                           << "two"
                                           << "canButtons_start_byte_spinBox" << 0;
}

// The spin boxes clamp what was stored; the run keeps what they show.
void Tst_Settings::numbers_clamped() {
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, spin_box);
    QFETCH(int, shown);
    Settings_Folder folder;
    write_ini(folder.file(), {{key, stored}});
    {
        Settings_Window w(folder.file());
        QCOMPARE(w.control<QSpinBox>(qPrintable(spin_box))->value(), shown);
        if (key.startsWith(QLatin1String("can_timer_"))) {
            QCOMPARE(w.timer(key.mid(10, 1).toInt())->interval(), shown);
        }
    }
    compare_ini(folder.file(), {{key, shown}});
}

// Beside the executable when that folder can be written, else the user's own folders, both
// under one program name. The unusable folder lies below a regular file: it can be neither
// made nor written, not even by root.
void Tst_Settings::places_beside_or_per_user() {
    QStandardPaths::setTestModeEnabled(false); // the user's folders of this test's environment
    const auto test_mode_back = qScopeGuard([] { QStandardPaths::setTestModeEnabled(true); });
    Settings_Folder folder;
    QCOMPARE(storage_places_beside(folder.dir.path()),
             (Storage_Places{folder.file(), folder.dir.path()}));

    QFile blocker(folder.dir.filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    const Storage_Places places =
        storage_places_beside(blocker.fileName() + QStringLiteral("/bin"));
    const QString config_dir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    const QString data_dir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QVERIFY2(config_dir.endsWith(QLatin1String("/Zentravo/Tabrix")), qPrintable(config_dir));
    QVERIFY2(data_dir.endsWith(QLatin1String("/Zentravo/Tabrix")), qPrintable(data_dir));
    QCOMPARE(places, (Storage_Places{config_dir + QStringLiteral("/config.ini"), data_dir}));
    QVERIFY(QFileInfo(data_dir).isDir());

    // Read from where it is written.
    QFile::remove(places.settings_file);
    write_ini(places.settings_file, {{"can_mass_send_text", QStringLiteral("из папки")}});
    {
        Widget w(places);
        QCOMPARE(w.findChild<QPlainTextEdit*>(QStringLiteral("can_mass_send_plainTextEdit"))
                     ->toPlainText(),
                 QStringLiteral("из папки"));
    }
    compare_ini(places.settings_file,
                {{"can_mass_send_text", QStringLiteral("из папки")}, {"canButtons_mode", 0}});
    QVERIFY(QFile::exists(data_dir + QStringLiteral("/can_log.txt")));
    QFile::remove(places.settings_file);
}

// Said once on the debug channel and on the status line, never in a box; the program goes on,
// and a later write that succeeds clears the line.
void Tst_Settings::unwritable_file_reported() {
    Settings_Folder folder;
    const QString blocker = folder.dir.filePath(QStringLiteral("blocker"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString path = blocker + QStringLiteral("/config.ini");
    const QRegularExpression said(QStringLiteral("Настройки не сохранены.*blocker/config.ini"));

    Settings_Window w(path);
    auto* save = w.control<QPushButton>("save_settings_pushButton");
    QTest::ignoreMessage(QtWarningMsg, said);
    save->click();
    QVERIFY(!w.status_line()->isHidden());
    QVERIFY2(w.status_line()->toolTip().contains(path), qPrintable(w.status_line()->toolTip()));
    QVERIFY(save->isEnabled());

    QTest::failOnWarning(said);
    save->click();
    QVERIFY(!w.status_line()->isHidden());

    QVERIFY(QFile::remove(blocker));
    QVERIFY(QDir().mkpath(blocker));
    save->click();
    QVERIFY(w.status_line()->isHidden());
    QVERIFY(QFile::exists(path));
}

// The writer is ended by the kernel the moment its file grows past a limit, in the middle of
// writing: the old file stays whole. Without the limit the same write completes and is larger
// than the limit, so the cut came inside it.
void Tst_Settings::write_cut_short_leaves_old_file() {
    constexpr rlim_t cut_at_bytes = 64 * 1024;
    Settings_Folder folder;
    Host_Settings old;
    old.can_mass_send_text = QStringLiteral("старый текст");
    QCOMPARE(save_settings_file(folder.file(), old), QSettings::NoError);
    const QByteArray before = file_bytes(folder.file());
    const QStringList arguments{folder.file(), QStringLiteral("20000")}; // over a megabyte

    QProcess cut;
    cut.setChildProcessModifier([] {
        const rlimit file_size{cut_at_bytes, cut_at_bytes};
        const rlimit no_core{0, 0};
        setrlimit(RLIMIT_FSIZE, &file_size);
        setrlimit(RLIMIT_CORE, &no_core);
    });
    cut.start(QStringLiteral(TABRIX_SETTINGS_WRITER), arguments);
    QVERIFY(cut.waitForFinished(30000));
    QCOMPARE(cut.exitStatus(), QProcess::CrashExit);
    QCOMPARE(file_bytes(folder.file()), before);
    QCOMPARE(load_settings_file(folder.file()).can_mass_send_text, old.can_mass_send_text);

    QProcess whole;
    whole.start(QStringLiteral(TABRIX_SETTINGS_WRITER), arguments);
    QVERIFY(whole.waitForFinished(30000));
    QCOMPARE(whole.exitStatus(), QProcess::NormalExit);
    QCOMPARE(whole.exitCode(), 0);
    QVERIFY(QFileInfo(folder.file()).size() > static_cast<qint64>(cut_at_bytes));
}

void Tst_Settings::exec_argument_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("exec");
    QTest::newRow("plain") << "/usr/bin/tabrix"
                           << "/usr/bin/tabrix";
    QTest::newRow("spaces") << "/opt/Korvantexa Tabrix/tabrix"
                            << "\"/opt/Korvantexa Tabrix/tabrix\"";
    QTest::newRow("Cyrillic") << "/home/водитель/tabrix"
                              << "/home/водитель/tabrix";
    QTest::newRow("percent") << "/opt/100%/tabrix"
                             << "/opt/100%%/tabrix";
    QTest::newRow("escaped in quotes") << "/opt/a\"b`c$d\\e/tabrix"
                                       << "\"/opt/a\\\\\"b\\\\`c\\\\$d\\\\\\\\e/tabrix\"";
    QTest::newRow("shell characters") << "/opt/a;b&c|d(e)*?#~<>'/tabrix"
                                      << "\"/opt/a;b&c|d(e)*?#~<>'/tabrix\"";
    QTest::newRow("line feed and tab") << "/opt/a\nb\tc/tabrix"
                                       << "\"/opt/a\\nb\\tc/tabrix\"";
}

// The Exec line as the format wants it, read back as the session reads it, and the whole entry
// accepted by the desktop-entry validator.
void Tst_Settings::exec_argument() {
    QFETCH(QString, program);
    QFETCH(QString, exec);
    QCOMPARE(desktop_exec_argument(program), exec);
    QCOMPARE(exec_arguments(exec), QStringList{program});

    const QString text = autostart_entry_text(program);
    QVERIFY(text.startsWith(QLatin1String("[Desktop Entry]\n")));
    const QStringList lines = text.split(QLatin1Char('\n'));
    QVERIFY(lines.contains(QStringLiteral("Type=Application")));
    QVERIFY(lines.contains(QStringLiteral("Name=Korvantexa Tabrix")));
    QVERIFY(lines.contains(QStringLiteral("Exec=") + exec));

    Settings_Folder folder;
    const Autostart entry{folder.dir.path(), program};
    QCOMPARE(entry.write_entry(), QString());
    QCOMPARE(QString::fromUtf8(file_bytes(entry.entry_path())), text);
    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    QVERIFY2(!validator.isEmpty(), "desktop-file-validate (Debian: desktop-file-utils) is needed");
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(validator, {entry.entry_path()});
    QVERIFY(validate.waitForFinished(30000));
    const QByteArray said = validate.readAll();
    QVERIFY2(validate.exitCode() == 0 && said.isEmpty(), said.constData());
}

void Tst_Settings::autostart_follows_check_box() {
    Settings_Folder folder;
    const QString entry = Autostart{autostart_directory(), {}}.entry_path();
    QFile::remove(entry);
    {
        Settings_Window w(folder.file());
        auto* box = w.control<QCheckBox>("autoload_checkBox");
        box->click();
        const QString text = QString::fromUtf8(file_bytes(entry));
        QVERIFY2(text.contains(QStringLiteral("\nExec=") +
                               desktop_exec_argument(QCoreApplication::applicationFilePath()) +
                               QLatin1Char('\n')),
                 qPrintable(text));
        box->click();
        QVERIFY(!QFile::exists(entry));
        box->setChecked(true);
        QVERIFY(QFile::remove(entry)); // another tool took it away
        box->click();
        QVERIFY(w.status_line()->isHidden());
        box->click();
    }
    QVERIFY(QFile::exists(entry));
    compare_ini(folder.file(), {{"autoload", true}});
    QVERIFY(QFile::remove(entry));
}

// A stored choice checks the box; the entry is written only when the user clicks.
void Tst_Settings::autostart_untouched_by_loading() {
    Settings_Folder folder;
    const QString entry = Autostart{autostart_directory(), {}}.entry_path();
    QFile::remove(entry);
    write_ini(folder.file(), {{"autoload", true}});
    {
        Settings_Window w(folder.file());
        QVERIFY(w.control<QCheckBox>("autoload_checkBox")->isChecked());
        QVERIFY(!QFile::exists(entry));
    }
    QVERIFY(!QFile::exists(entry));
    compare_ini(folder.file(), {{"autoload", true}});
}

void Tst_Settings::autostart_unwritable_reported() {
    Settings_Folder folder;
    QFile blocker(folder.dir.filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    const Environment_Scope config_home("XDG_CONFIG_HOME", blocker.fileName().toUtf8());
    Settings_Window w(folder.file());
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("Автозагрузка не изменена.*blocker")));
    auto* box = w.control<QCheckBox>("autoload_checkBox");
    box->click();
    QVERIFY(box->isChecked()); // the user's choice stands
    QVERIFY(!w.status_line()->isHidden());
    QVERIFY(w.status_line()->toolTip().contains(QStringLiteral("blocker/autostart")));
}

QTEST_MAIN(Tst_Settings)
#include "tst_settings.moc"
