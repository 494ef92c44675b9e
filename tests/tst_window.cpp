// The window's life in the tray: start hidden, show and hide from the tray, close to the
// tray, quit, and the balloon for a second start.
#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include "app/widget.h"

namespace {

struct Balloon {
    QString title;
    QString text;
};

// A window whose tray reports `has_tray` and whose balloons are recorded.
struct Window_Fixture {
    explicit Window_Fixture(bool has_tray) {
        window.tray_available = [has_tray] { return has_tray; };
        window.show_balloon = [this](QSystemTrayIcon&, const QString& title, const QString& text) {
            balloons.push_back({title, text});
        };
    }

    QAction* action(const QString& caption_now) const {
        for (QAction* a : window.findChildren<QAction*>()) {
            if (a->text() == caption_now) {
                return a;
            }
        }
        return nullptr;
    }

    QAction* show_hide() const {
        QMenu* menu = window.findChild<QMenu*>();
        return menu ? menu->actions().value(0) : nullptr;
    }

    Widget window;
    std::vector<Balloon> balloons;
};

} // namespace

class Tst_Window : public QObject {
    Q_OBJECT

private slots:
    void starts_hidden_with_tray_icon();
    void tray_menu_follows_visibility();
    void tray_click_shows_context_click_does_not_data();
    void tray_click_shows_context_click_does_not();
    void close_button_hides();
    void minimised_window_counts_as_visible();
    void quit_ends_event_loop();
    void rise_up_shows_balloon_only();
    void other_messages_are_ignored();
    void without_tray_window_is_reachable();
    void title_bar_has_no_maximise_button();
    void language_change_reapplies_form_texts();
};

void Tst_Window::starts_hidden_with_tray_icon() {
    Window_Fixture f(true);
    QVERIFY(!f.window.isVisible());
    auto* tray = f.window.findChild<QSystemTrayIcon*>();
    QVERIFY(tray);
    QCOMPARE(tray->toolTip(), QStringLiteral("Korvantexa Tabrix"));
    QVERIFY(!tray->icon().isNull());
    QVERIFY(tray->contextMenu());
    const QList<QAction*> entries = tray->contextMenu()->actions();
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries[0]->text(), QStringLiteral("Показать"));
    QVERIFY(entries[1]->isSeparator());
    QCOMPARE(entries[2]->text(), QStringLiteral("Выход"));
    QVERIFY(!f.window.windowIcon().isNull());
    f.window.show_if_no_tray();
    QVERIFY(!f.window.isVisible());
}

void Tst_Window::tray_menu_follows_visibility() {
    Window_Fixture f(true);
    QAction* entry = f.show_hide();
    QVERIFY(entry);
    entry->trigger();
    QVERIFY(f.window.isVisible());
    QCOMPARE(entry->text(), QStringLiteral("Спрятать"));
    entry->trigger();
    QVERIFY(!f.window.isVisible());
    QCOMPARE(entry->text(), QStringLiteral("Показать"));
}

void Tst_Window::tray_click_shows_context_click_does_not_data() {
    QTest::addColumn<int>("reason");
    QTest::addColumn<bool>("shown");
    QTest::newRow("single click") << int(QSystemTrayIcon::Trigger) << true;
    QTest::newRow("context click") << int(QSystemTrayIcon::Context) << false;
    QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << false;
    QTest::newRow("middle click") << int(QSystemTrayIcon::MiddleClick) << false;
}

void Tst_Window::tray_click_shows_context_click_does_not() {
    QFETCH(int, reason);
    QFETCH(bool, shown);
    Window_Fixture f(true);
    auto* tray = f.window.findChild<QSystemTrayIcon*>();
    emit tray->activated(static_cast<QSystemTrayIcon::ActivationReason>(reason));
    QCOMPARE(f.window.isVisible(), shown);
    QCOMPARE(f.show_hide()->text(),
             shown ? QStringLiteral("Спрятать") : QStringLiteral("Показать"));

    if (shown) {
        // A click on a shown window keeps it shown.
        emit tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(f.window.isVisible());
        QCOMPARE(f.window.findChild<QTabWidget*>("tabWidget")->currentIndex(), 4);
    }
}

void Tst_Window::close_button_hides() {
    Window_Fixture f(true);
    f.show_hide()->trigger();
    QVERIFY(f.window.isVisible());
    QVERIFY(!f.window.close());
    QVERIFY(!f.window.isVisible());
    QCOMPARE(f.show_hide()->text(), QStringLiteral("Показать"));
    // Still alive in the tray: it can be shown again.
    f.show_hide()->trigger();
    QVERIFY(f.window.isVisible());
}

void Tst_Window::minimised_window_counts_as_visible() {
    Window_Fixture f(true);
    f.show_hide()->trigger();
    f.window.showMinimized();
    QVERIFY(f.window.isVisible());
    f.show_hide()->trigger();
    QVERIFY(!f.window.isVisible());
    QCOMPARE(f.show_hide()->text(), QStringLiteral("Показать"));
    emit f.window.findChild<QSystemTrayIcon*>()->activated(QSystemTrayIcon::Trigger);
    QVERIFY(f.window.isVisible());
    QVERIFY(!f.window.isMinimized());
}

void Tst_Window::quit_ends_event_loop() {
    // Quit from a hidden window: the event loop must end with code 0.
    Window_Fixture f(true);
    QAction* quit = f.action(QStringLiteral("Выход"));
    QVERIFY(quit);
    QTimer::singleShot(0, quit, &QAction::trigger);
    bool watchdog_fired = false;
    QTimer::singleShot(5000, [&] {
        watchdog_fired = true;
        QCoreApplication::exit(99);
    });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!watchdog_fired);
    QVERIFY(!f.window.isVisible());
}

void Tst_Window::rise_up_shows_balloon_only() {
    Window_Fixture f(true);
    f.window.message_arrived(QStringLiteral("Rise up!"));
    QCOMPARE(f.balloons.size(), std::size_t{1});
    QCOMPARE(f.balloons[0].title, QStringLiteral("Korvantexa Tabrix"));
    QCOMPARE(f.balloons[0].text, QStringLiteral("Программа уже запущена."));
    // The window keeps its visibility.
    QVERIFY(!f.window.isVisible());
}

void Tst_Window::other_messages_are_ignored() {
    Window_Fixture f(false);
    for (const QString& text : {QStringLiteral("rise up!"), QStringLiteral("Rise up! "), QString(),
                                QStringLiteral("Показать")}) {
        f.window.message_arrived(text);
    }
    QVERIFY(f.balloons.empty());
    QVERIFY(!f.window.isVisible());
}

void Tst_Window::without_tray_window_is_reachable() {
    Window_Fixture f(false);
    QVERIFY(!f.window.isVisible());
    f.window.show_if_no_tray();
    QVERIFY(f.window.isVisible());
    f.window.close();
    QVERIFY(!f.window.isVisible());
    f.window.message_arrived(QStringLiteral("Rise up!"));
    QVERIFY(f.window.isVisible());
    QCOMPARE(f.balloons.size(), std::size_t{1});
}

void Tst_Window::title_bar_has_no_maximise_button() {
    Window_Fixture f(true);
    const Qt::WindowFlags flags = f.window.windowFlags();
    QVERIFY(flags.testFlag(Qt::Window));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
}

void Tst_Window::language_change_reapplies_form_texts() {
    Window_Fixture f(true);
    auto* tabs = f.window.findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    tabs->setTabText(4, QStringLiteral("changed"));
    f.window.setWindowTitle(QStringLiteral("changed"));
    QEvent change(QEvent::LanguageChange);
    QCoreApplication::sendEvent(&f.window, &change);
    QCOMPARE(tabs->tabText(4), QStringLiteral("CAN Buttons"));
    QCOMPARE(f.window.windowTitle(), QStringLiteral("Korvantexa Tabrix R44"));
}

QTEST_MAIN(Tst_Window)
#include "tst_window.moc"
