// The tray on a real X server: the test starts its own Xvfb and a trayer panel, puts the
// program's window up, and clicks its tray icon with a real pointer event.
#include <QApplication>
#include <QPointer>
#include <QProcess>
#include <QTabWidget>
#include <QtTest>

#include "app/widget.h"
#include "xvfb_fixture.h"

namespace {

constexpr int trayer_start_ms = 5000;
constexpr int tray_wait_ms = 10000;
constexpr int settle_ms = 200; // lets the panel embed a freshly made icon window
constexpr int show_wait_ms = 3000;
constexpr int click_attempts = 3;

QStringList g_missing_tools;

// Qt's window for the tray icon. Qt may delete it and make a new one while the test waits
// (when the panel's tray changes, for one), so it is looked up again right before each use
// and never held across a wait.
QPointer<QWidget> tray_icon_window() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qstrcmp(w->metaObject()->className(), "QSystemTrayIconSys") == 0 && w->isVisible()) {
            return w;
        }
    }
    return nullptr;
}

} // namespace

class Tst_Tray_X11 : public QObject {
    Q_OBJECT

private slots:
    void click_on_tray_icon_shows_window();
};

void Tst_Tray_X11::click_on_tray_icon_shows_window() {
    if (!g_missing_tools.isEmpty()) {
        QSKIP(
            qPrintable(QStringLiteral("not installed: ") + g_missing_tools.join(QLatin1Char(' '))));
    }
    QProcess trayer;
    trayer.start(QStringLiteral("trayer"),
                 {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                  QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                  QStringLiteral("--width"), QStringLiteral("200"), QStringLiteral("--height"),
                  QStringLiteral("32")});
    QVERIFY(trayer.waitForStarted(trayer_start_ms));
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), tray_wait_ms);

    Widget window;
    QVERIFY(!window.isVisible());

    // A click the panel has not yet routed to the icon (a busy machine), or one that went to
    // an icon window Qt replaced meanwhile, is made again.
    int rc = -1;
    for (int attempt = 0; attempt < click_attempts && !window.isVisible(); ++attempt) {
        QTRY_VERIFY_WITH_TIMEOUT(!tray_icon_window().isNull(), tray_wait_ms);
        QTest::qWait(settle_ms);
        const QPointer<QWidget> icon = tray_icon_window();
        if (icon.isNull()) {
            continue;
        }
        // Only its id and size go to the click; the window itself may be gone by then.
        const WId id = icon->winId();
        const QSize size = icon->size();
        rc = QProcess::execute(QStringLiteral("xdotool"),
                               {QStringLiteral("mousemove"), QStringLiteral("--window"),
                                QString::number(id), QString::number(size.width() / 2),
                                QString::number(size.height() / 2), QStringLiteral("click"),
                                QStringLiteral("1")});
        if (QTest::qWaitFor([&] { return window.isVisible(); }, show_wait_ms)) {
            break;
        }
    }
    QVERIFY2(window.isVisible(), qPrintable(QStringLiteral("last xdotool exit code %1").arg(rc)));
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    QVERIFY(tabs);
    QCOMPARE(tabs->tabText(tabs->currentIndex()), QStringLiteral("CAN Buttons"));

    trayer.terminate();
    trayer.waitForFinished(3000);
}

int main(int argc, char** argv) {
    g_missing_tools = missing_tools({"Xvfb", "trayer", "xdotool"});
    Xvfb_Server xvfb;
    if (g_missing_tools.isEmpty()) {
        if (!start_own_display(xvfb)) {
            return 1;
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
        // A session bus would route the tray through a status notifier; use the X tray.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    int code = 0;
    {
        QApplication app(argc, argv);
        Tst_Tray_X11 test;
        code = QTest::qExec(&test, argc, argv);
    }
    return code;
}

#include "tst_tray_x11.moc"
