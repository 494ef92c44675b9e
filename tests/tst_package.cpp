// The Debian package built from this build tree: its name, the files it installs and where,
// the libraries it depends on, and that the menu entry and the software-centre description
// pass their validators.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "app/board_access.h"

namespace {

constexpr int tool_timeout_ms = 120000;
const QString app_id = QStringLiteral("org.korvantexa.tabrix");

struct Run {
    int exit_code = -1;
    QString out;
};

Run run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(tool_timeout_ms) || process.exitStatus() != QProcess::NormalExit) {
        return {};
    }
    return {process.exitCode(), QString::fromUtf8(process.readAll())};
}

} // namespace

class Tst_Package : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void file_name();
    void holds_data();
    void holds();
    void depends_data();
    void depends();
    void desktop_entry_is_valid();
    void metainfo_is_valid();
    void udev_rule_grants_the_board();

private:
    QString installed(const QString& path) const { return root + path; }

    QTemporaryDir dir;
    QString deb;
    QString root;
    QString contents;
    QString depends_field;
};

void Tst_Package::initTestCase() {
    QVERIFY(dir.isValid());
    // Into a directory of the test's own: the build tree is left as it was.
    const Run packed = run(QStringLiteral(TABRIX_CPACK),
                           {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                            QStringLiteral(TABRIX_BUILD_DIR "/CPackConfig.cmake"),
                            QStringLiteral("-B"), dir.path()});
    QVERIFY2(packed.exit_code == 0, qPrintable(packed.out));
    const QStringList debs = QDir(dir.path()).entryList({QStringLiteral("*.deb")}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    deb = dir.filePath(debs.front());

    const Run listed = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
    QCOMPARE(listed.exit_code, 0);
    contents = listed.out;
    const Run field =
        run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QStringLiteral("Depends")});
    QCOMPARE(field.exit_code, 0);
    depends_field = field.out;
    root = dir.filePath(QStringLiteral("root"));
    QCOMPARE(run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, root}).exit_code, 0);
}

void Tst_Package::file_name() {
    const Run arch = run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")});
    QCOMPARE(arch.exit_code, 0);
    QCOMPARE(
        QFileInfo(deb).fileName(),
        QStringLiteral("tabrix_%1_%2.deb").arg(QStringLiteral(TABRIX_VERSION), arch.out.trimmed()));
    const Run name =
        run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QStringLiteral("Package")});
    QCOMPARE(name.out.trimmed(), QStringLiteral("tabrix"));
}

void Tst_Package::holds_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("the tool") << "/usr/bin/tabrix";
    QTest::newRow("the virtual board") << "/usr/bin/tabrix-virtual-board";
    QTest::newRow("menu entry") << "/usr/share/applications/" + app_id + ".desktop";
    QTest::newRow("software-centre description")
        << "/usr/share/metainfo/" + app_id + ".metainfo.xml";
    QTest::newRow("udev rule") << QString::fromLatin1(board_udev_rule_path);
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1x%1").arg(size);
        QTest::addRow("icon %s", qPrintable(folder))
            << "/usr/share/icons/hicolor/" + folder + "/apps/" + app_id + ".png";
    }
}

void Tst_Package::holds() {
    QFETCH(QString, path);
    QVERIFY2(contents.contains(QStringLiteral(" .") + path + QLatin1Char('\n')),
             qPrintable(contents));
    QVERIFY(QFileInfo(installed(path)).size() > 0);
}

void Tst_Package::depends_data() {
    QTest::addColumn<QString>("package");
    QTest::newRow("widgets") << "libqt6widgets6";
    QTest::newRow("USB HID") << "libhidapi-hidraw0";
    QTest::newRow("key strokes") << "libxdo3";
    QTest::newRow("C++ runtime") << "libstdc++6";
}

void Tst_Package::depends() {
    QFETCH(QString, package);
    // Found by dpkg-shlibdeps from the executables: "name (>= version)" entries.
    const QRegularExpression entry(
        QStringLiteral("(^|, )%1( \\(|,|$)").arg(QRegularExpression::escape(package)),
        QRegularExpression::MultilineOption);
    QVERIFY2(entry.match(depends_field.trimmed()).hasMatch(), qPrintable(depends_field));
}

void Tst_Package::desktop_entry_is_valid() {
    const QString entry = installed("/usr/share/applications/" + app_id + ".desktop");
    const Run check = run(QStringLiteral("desktop-file-validate"), {entry});
    QVERIFY2(check.exit_code == 0 && check.out.isEmpty(), qPrintable(check.out));
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QVERIFY(lines.contains(QStringLiteral("Exec=tabrix")));
    // Its icon is the one the package puts into the icon theme.
    QVERIFY(lines.contains("Icon=" + app_id));
}

void Tst_Package::metainfo_is_valid() {
    const QString metainfo = installed("/usr/share/metainfo/" + app_id + ".metainfo.xml");
    const Run check =
        run(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                             QStringLiteral("--pedantic"), metainfo});
    QVERIFY2(check.exit_code == 0, qPrintable(check.out));
    QFile file(metainfo);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY(text.contains("<launchable type=\"desktop-id\">" + app_id + ".desktop</launchable>"));
    QVERIFY(text.contains(QStringLiteral("<release version=\"" TABRIX_VERSION "\"")));
}

void Tst_Package::udev_rule_grants_the_board() {
    const QFileInfo rule(installed(QString::fromLatin1(board_udev_rule_path)));
    // uaccess takes effect in 73-seat-late.rules: a rule after it grants nothing.
    QVERIFY(rule.fileName() < QStringLiteral("73-seat-late.rules"));
    QFile file(rule.filePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList rules;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1Char('#')) && !line.trimmed().isEmpty()) {
            rules << line;
        }
    }
    QCOMPARE(rules.size(), 1);
    for (const char* key : {"SUBSYSTEM==\"hidraw\"", "ATTRS{idVendor}==\"8d88\"",
                            "ATTRS{idProduct}==\"00cc\"", "TAG+=\"uaccess\""}) {
        QVERIFY2(rules.front().contains(QLatin1String(key)), key);
    }
}

QTEST_MAIN(Tst_Package)
#include "tst_package.moc"
