#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

#include "hid/check_device_thread.h"
#include "hid/hid_data_thread.h"
#include "hid/hid_device.h"

class QAction;
class Sleep_Watch;
class QMenu;

namespace Ui {
class Widget;
}

// The program's only window and the owner of all its state. It starts hidden and lives
// in the system tray; closing it only hides it, the tray menu's quit entry ends the program.
class Widget : public QWidget {
    Q_OBJECT

public:
    explicit Widget(QWidget* parent = nullptr);
    ~Widget() override;

    Widget(const Widget&) = delete;
    Widget& operator=(const Widget&) = delete;

    // Ends the program as the tray menu's quit entry does (used for termination signals).
    void request_quit();

    // Shows and raises the window when the desktop has no system tray, so the program
    // can always be reached.
    void show_if_no_tray();

    // The desktop services the tray handling asks for; tests put their own in.
    std::function<bool()> tray_available = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    std::function<void(QSystemTrayIcon&, const QString& title, const QString& text)> show_balloon;

    // Shared with the worker threads: written on the GUI thread, read there once per pass.
    Hid_Device hid;
    std::atomic<bool> watch_enabled{true};
    std::atomic<int> watch_skip_rounds{0};
    std::atomic<int> poll_interval_ms{50};

public slots:
    void message_arrived(const QString& message);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private slots:
    void check_hid_device();
    void system_suspending();
    void system_resumed();
    void show_hide_slot();
    void quit_slot();
    void tray_icon_Activated(QSystemTrayIcon::ActivationReason reason);

private:
    void setup_form();
    void create_actions();
    void create_tray_icon();
    void show_window();
    void hide_window();
    void fill_sound_combo_boxes();
    void wait_for_threads();

    std::unique_ptr<Ui::Widget> ui;
    Check_Device_Thread check_device_thread;
    Hid_Data_Thread hid_data_thread;

    QPixmap green_pixmap;
    QPixmap red_pixmap;
    QIcon app_icon;

    Sleep_Watch* sleep_watch = nullptr;
    QSystemTrayIcon* tray_icon = nullptr;
    QMenu* tray_menu = nullptr;
    QAction* show_hide_action = nullptr;
    QAction* quit_action = nullptr;

    bool quit_requested = false;
    bool updating_controls = false;
    int board_type = 0;
    bool indicator_connected = false;
};
