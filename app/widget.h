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
#include "protocol/layouts.h"
#include "protocol/status_text.h"

class QAction;
class QLineEdit;
class QTimer;
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
    // The identification failures: a modal message box, then the end of the program.
    std::function<void(const QString& text)> show_error;
    std::function<void(int code)> exit_application;

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
    // The poll cycle.
    void form_update();
    void on_usb_pollTime_spinBox_valueChanged(int value);

    // Power sequencing.
    void on_acc_on_delay_spinBox_valueChanged(int);
    void on_vkl_pc_delay_spinBox_valueChanged(int);
    void on_os_load_time_spinBox_valueChanged(int);
    void on_akb_off_delay_spinBox_valueChanged(int);
    void on_acc_off_delay_spinBox_valueChanged(int);
    void on_os_shutdown_time_delay_spinBox_valueChanged(int);
    void on_akb_min_doubleSpinBox_valueChanged(double);
    void on_vkl_akb_min_doubleSpinBox_valueChanged(double);
    void on_check_PC_ON_checkBox_toggled(bool);
    void on_sleep_mode_checkBox_toggled(bool);
    void on_monitor_on_delay_spinBox_valueChanged(int);
    void on_monitor_off_delay_spinBox_valueChanged(int);
    void on_apply_pushButton_clicked();

    // Service and device information.
    void on_adc_voltage_reference_doubleSpinBox_valueChanged(double);
    void on_service_apply_pushButton_clicked();
    void on_reset_eeprom_pushButton_clicked();
    void on_save_settings_pushButton_clicked();

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

    // Poll cycle steps; false when the cycle has ended early.
    bool first_connect_sequence();
    bool steady_state_pass();
    void poll_tail();
    bool end_cycle();
    bool command(std::uint8_t code, bool with_request, bool read_reply);
    Reply_Bytes reply_payload() const;
    void identification_failed(const QString& text, int exit_code);
    bool read_filters_into_table();
    bool read_hw_timers_and_triggers();
    bool steer_brightness();
    static void show_identification_error(const QString& text);
    void present_connection();
    void show_vehicle_mode();

    // Power sequencing and service.
    void fill_power_controls();
    void show_monitor_controls(bool shown);
    void mark_power_changed();
    void apply_power_config();
    void status_display();
    Power_Settings power_settings_from_controls() const;
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
    bool indicator_connected = false;

    // The poll cycle and what it reads from the board.
    QTimer* poll_timer = nullptr;
    bool hotkeys_registered = false;
    int board_type = 0;
    std::uint8_t hardware_version = 0;
    std::uint8_t firmware_version = 0;
    Hid_Device::Reply reply_buffer{};
    Hid_Device::Payload request_buffer{};
    Power_Config power_config{};
    Power_Status power_status;
    Voltage_Average akb_average;
    Voltage_Average uout_average;
    Pwm_Image pwm_image{};
    Sound_Image sound_image{};
    bool sound_image_read = false; // never write back an image not read in this connection
    Filter_Table filters{};
    std::array<Hw_Timer_Record, 2> hw_timers{};
    std::array<Hw_Trigger_Record, 2> hw_triggers{};
    Can_Status can_status;
    std::uint8_t adc_reference_code = 0;
    int vehicle_mode = 0; // 0 Generic, 1 Volkswagen, 2 Opel, 3 Volvo
};
