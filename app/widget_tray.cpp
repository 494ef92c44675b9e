#include "app/widget.h"

#include <QAction>
#include <QMenu>

namespace {
const QString rise_up_message = QStringLiteral("Rise up!");
constexpr int balloon_ms = 2000;
} // namespace

void Widget::create_actions() {
    show_hide_action = new QAction(tr("Показать"), this);
    connect(show_hide_action, &QAction::triggered, this, &Widget::show_hide_slot);
    quit_action = new QAction(tr("Выход"), this);
    connect(quit_action, &QAction::triggered, this, &Widget::quit_slot);
}

void Widget::create_tray_icon() {
    tray_menu = new QMenu(this);
    tray_menu->addAction(show_hide_action);
    tray_menu->addSeparator();
    tray_menu->addAction(quit_action);

    tray_icon = new QSystemTrayIcon(this);
    tray_icon->setContextMenu(tray_menu);
    app_icon = QIcon(QStringLiteral(":/images/Tabrix.png"));
    tray_icon->setIcon(app_icon);
    tray_icon->setToolTip(tr("Korvantexa Tabrix"));

    show_balloon = [](QSystemTrayIcon& icon, const QString& title, const QString& text) {
        icon.showMessage(title, text, QSystemTrayIcon::Information, balloon_ms);
    };
}

void Widget::show_window() {
    showNormal();
    activateWindow();
    raise();
    show_hide_action->setText(tr("Спрятать"));
}

void Widget::hide_window() {
    setVisible(false);
    show_hide_action->setText(tr("Показать"));
}

void Widget::show_if_no_tray() {
    if (!tray_available()) {
        show_window();
    }
}

void Widget::show_hide_slot() {
    // A minimised window is still visible: hiding it is what the user asked for.
    if (isVisible()) {
        hide_window();
    } else {
        show_window();
    }
}

void Widget::tray_icon_Activated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) {
        show_window();
    }
}

void Widget::quit_slot() {
    quit_requested = true;
    close();
}

void Widget::request_quit() {
    quit_slot();
}

void Widget::message_arrived(const QString& message) {
    if (message != rise_up_message) {
        return;
    }
    if (show_balloon) {
        show_balloon(*tray_icon, tr("Korvantexa Tabrix"), tr("Программа уже запущена."));
    }
    // Without a tray the window is the only way in: bring it up.
    if (!tray_available()) {
        show_window();
    }
}
