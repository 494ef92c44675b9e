#pragma once

#include <QFile>
#include <QIcon>
#include <QPixmap>
#include <QSet>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTextStream>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

#include "app/autostart.h"
#include "app/storage_paths.h"
#include "brightness/brightness_curve.h"
#include "buttons/button_table.h"
#include "buttons/hot_key_table.h"
#include "buttons/vehicle_profile.h"
#include "can/can_monitor.h"
#include "can/can_trigger.h"
#include "can/display_text.h"
#include "can/udp_forwarder.h"
#include "hid/check_device_thread.h"
#include "hid/hid_data_thread.h"
#include "hid/hid_device.h"
#include "protocol/layouts.h"
#include "protocol/power_history.h"
#include "protocol/status_text.h"
#include "sound/sound_codec.h"

class Curve_Plot;
class Power_History_Plot;
struct Host_Settings;
class Global_Hot_Keys;
class Key_Sender;
class Sleep_Watch;
class QAction;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QLineEdit;
class QListWidget;
class QMenu;
class QModelIndex;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTimer;
class QTreeWidgetItem;

namespace Ui {
class Widget;
}

// The program's only window and the owner of all its state. It starts hidden and lives
// in the system tray; closing it only hides it, the tray menu's quit entry ends the program.
class Widget : public QWidget {
    Q_OBJECT

public:
    explicit Widget(QWidget* parent = nullptr);
    // Keeps the settings file and the CAN log in `places` instead of the program's own.
    explicit Widget(const Storage_Places& places, QWidget* parent = nullptr);
    ~Widget() override;

    Widget(const Widget&) = delete;
    Widget& operator=(const Widget&) = delete;

    // Ends the program as the tray menu's quit entry does (used for termination signals).
    void request_quit();
    // Writes the host-side settings to the settings file (also when the session ends).
    void save_settings();

    // Shows and raises the window when the desktop has no system tray, so the program
    // can always be reached.
    void show_if_no_tray();

    // The desktop services the tray handling asks for; tests put their own in.
    std::function<bool()> tray_available = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    std::function<void(QSystemTrayIcon&, const QString& title, const QString& text)> show_balloon;
    // The identification failures: a modal message box, then the end of the program.
    std::function<void(const QString& text)> show_error;
    std::function<void(int code)> exit_application;
    // True once a termination signal has come in, before the event loop has seen it: the
    // poll looks at it between two exchanges. Set by main; nothing by default.
    std::function<bool()> termination_signalled = [] { return false; };
    // The poll cycle's clock in milliseconds (the receive budget, when a slow cycle lets the
    // window work); tests put their own in.
    std::function<std::int64_t()> poll_clock;
    // Types an action text into the window that has the focus; empty when there is no X11
    // display to type into. Tests put their own in.
    std::function<void(QStringView text)> send_keys;

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

    // CAN monitor and sending.
    void on_can_activate_pushButton_clicked();
    void on_canScan_pushButton_clicked();
    void on_can_prescaler_spinBox_valueChanged(int value);
    void on_can_clear_pushButton_clicked();
    void on_can_one_line_checkBox_toggled(bool checked);
    void on_can_log_groupBox_toggled(bool checked);
    void on_can_write_log_checkBox_toggled(bool checked);
    void on_udpObdSend_checkBox_toggled(bool checked);
    void on_can_id_add_all_to_blocked_pushButton_clicked();
    void on_can_id_add_all_to_known_pushButton_clicked();
    void on_can_id_add_to_blocked_pushButton_clicked();
    void on_can_id_add_to_known_pushButton_clicked();
    void on_can_id_known_listWidget_doubleClicked(const QModelIndex&);
    void on_can_id_blocked_listWidget_doubleClicked(const QModelIndex&);
    void on_can_send_pushButton_clicked();
    void on_can_mass_send_pushButton_clicked();

    // CAN timers: three software timers, the board's two hardware timers.
    void can_timer_1_handler();
    void can_timer_2_handler();
    void can_timer_3_handler();
    void on_can_timer_1_enabled_checkBox_clicked(bool checked);
    void on_can_timer_2_enabled_checkBox_clicked(bool checked);
    void on_can_timer_3_enabled_checkBox_clicked(bool checked);
    void on_can_timer_1_interval_spinBox_valueChanged(int value);
    void on_can_timer_2_interval_spinBox_valueChanged(int value);
    void on_can_timer_3_interval_spinBox_valueChanged(int value);
    void on_can_hw_timers_apply_pushButton_clicked();
    void on_can_hw_timer_1_enabled_checkBox_toggled(bool);
    void on_can_hw_timer_2_enabled_checkBox_toggled(bool);
    void on_can_hw_timer_1_interval_spinBox_valueChanged(int);
    void on_can_hw_timer_2_interval_spinBox_valueChanged(int);
    void on_can_hw_timer_1_send_msg_plainTextEdit_textChanged();
    void on_can_hw_timer_2_send_msg_plainTextEdit_textChanged();

    // CAN hardware triggers.
    void on_can_hw_triggers_apply_pushButton_clicked();
    void on_can_hw_trigger_1_enabled_checkBox_clicked();
    void on_can_hw_trigger_2_enabled_checkBox_clicked();
    void on_can_hw_trigger_1_send_msg_lineEdit_textChanged(const QString&);
    void on_can_hw_trigger_2_send_msg_lineEdit_textChanged(const QString&);
    void on_can_hw_trgger_1_recv_msg_lineEdit_textChanged(const QString&);
    void on_can_hw_trgger_2_recv_msg_lineEdit_textChanged(const QString&);

    // CAN filters.
    void on_can_filters_listWidget_currentRowChanged(int row);
    void on_can_filters_apply_pushButton_clicked();

    // CAN software triggers.
    void on_can_trigger_add_pushButton_clicked();
    void on_can_trigger_del_pushButton_clicked();
    void on_can_trigger_listWidget_currentRowChanged(int row);
    void on_can_trigger_enabled_checkBox_clicked(bool checked);
    void on_can_trigger_one_shot_checkBox_toggled(bool checked);
    void on_can_trgger_recv_msg_lineEdit_textChanged(const QString& text);
    void on_can_trigger_send_msg_plainTextEdit_textChanged();
    void on_can_trigger_enable_all_one_shots_pushButton_clicked();

    // CAN display text.
    void on_can_text_uni_send_pushButton_clicked();
    void on_can_text_1_send_pushButton_clicked();
    void on_can_text_2_send_pushButton_clicked();
    void on_can_text_double_send_pushButton_clicked();

    // Steering-wheel buttons, vehicle profiles, hot keys.
    void on_canButtons_add_pushButton_clicked();
    void on_canButtons_delete_pushButton_clicked();
    void on_canButtons_dblPush_delay_spinBox_valueChanged(int value);
    void on_canButtons_longPush_delay_spinBox_valueChanged(int value);
    void on_canButtons_combinations_treeWidget_itemChanged(QTreeWidgetItem*, int);
    void on_canGenericMode_pushButton_clicked();
    void on_canVolkswagenMode_pushButton_clicked();
    void on_canOpelMode_pushButton_clicked();
    void on_canVolvoMode_pushButton_clicked();
    void on_can_head_unit_checkBox_toggled(bool checked);
    void hot_key_pressed(int id);

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
    void on_autoload_checkBox_toggled(bool checked);

    // Sound tab.
    void on_volume_horizontalSlider_valueChanged(int value);
    void on_volume_mute_checkBox_toggled(bool checked);
    void on_hard_mute_checkBox_toggled(bool checked);
    void on_soft_mute_checkBox_toggled(bool checked);
    void on_input_gain_horizontalSlider_valueChanged(int value);
    void on_input_1_radioButton_clicked();
    void on_input_2_radioButton_clicked();
    void on_input_3_radioButton_clicked();
    void on_input_4_radioButton_clicked();
    void on_autozero_checkBox_toggled(bool checked);
    void on_sec_input_1_radioButton_clicked();
    void on_sec_input_2_radioButton_clicked();
    void on_sec_input_3_radioButton_clicked();
    void on_sec_input_4_radioButton_clicked();
    void on_sec_input_mute_radioButton_clicked();
    void on_sec_input_gain_horizontalSlider_valueChanged(int value);
    void on_rear_speaker_source_comboBox_currentIndexChanged(int index);
    void on_fl_horizontalSlider_valueChanged(int value);
    void on_fr_horizontalSlider_valueChanged(int value);
    void on_rl_horizontalSlider_valueChanged(int value);
    void on_rr_horizontalSlider_valueChanged(int value);
    void on_sub_horizontalSlider_valueChanged(int value);
    void on_fl_mute_checkBox_toggled(bool checked);
    void on_fr_mute_checkBox_toggled(bool checked);
    void on_rl_mute_checkBox_toggled(bool checked);
    void on_rr_mute_checkBox_toggled(bool checked);
    void on_sub_mute_checkBox_toggled(bool checked);
    void on_treble_gain_horizontalSlider_valueChanged(int value);
    void on_middle_gain_horizontalSlider_valueChanged(int value);
    void on_bass_gain_horizontalSlider_valueChanged(int value);
    void on_treble_cf_comboBox_currentIndexChanged(int index);
    void on_middle_cf_comboBox_currentIndexChanged(int index);
    void on_middle_qf_comboBox_currentIndexChanged(int index);
    void on_bass_cf_comboBox_currentIndexChanged(int index);
    void on_bass_qf_comboBox_currentIndexChanged(int index);
    void on_sub_cut_off_comboBox_currentIndexChanged(int index);

    // Brightness tab.
    void on_auto_1_light_spinBox_valueChanged(int);
    void on_auto_2_light_spinBox_valueChanged(int);
    void on_auto_3_light_spinBox_valueChanged(int);
    void on_auto_4_light_spinBox_valueChanged(int);
    void on_auto_5_light_spinBox_valueChanged(int);
    void on_auto_6_light_spinBox_valueChanged(int);
    void on_auto_7_light_spinBox_valueChanged(int);
    void on_auto_1_verticalSlider_valueChanged(int value);
    void on_auto_2_verticalSlider_valueChanged(int value);
    void on_auto_3_verticalSlider_valueChanged(int value);
    void on_auto_4_verticalSlider_valueChanged(int value);
    void on_auto_5_verticalSlider_valueChanged(int value);
    void on_auto_6_verticalSlider_valueChanged(int value);
    void on_auto_7_verticalSlider_valueChanged(int value);
    void on_pwm_step_delay_spinBox_valueChanged(int);
    void on_pwm_slide_delay_spinBox_valueChanged(int);
    void on_pwm_smooth_alg_checkBox_toggled(bool checked);
    void on_pwm_apply_pushButton_clicked();
    void on_pwm_groupBox_toggled(bool checked);

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
    bool poll_may_go_on();
    bool quit_pending() const;
    Reply_Bytes reply_payload() const;
    void identification_failed(const QString& text, int exit_code);
    bool read_filters_into_table();
    bool read_hw_timers_and_triggers();
    bool steer_brightness();
    static void show_identification_error(const QString& text);
    void present_connection();
    void present_board_access();
    void show_vehicle_mode();

    // Power sequencing and service.
    void fill_power_controls();
    void show_monitor_controls(bool shown);
    void mark_power_changed();
    void apply_power_config();
    void status_display();
    Power_Settings power_settings_from_controls() const;
    void create_power_plot();
    void power_history_step(bool pass_done);
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
    struct Poll_Cycle_State {
        bool running = false;        // form_update is under way
        bool window_working = false; // it lets the window work between two exchanges
        std::int64_t started_ms = 0;
    } poll_cycle;
    bool indicator_connected = false;
    // A board that is plugged in but cannot be opened, on the Info page; its text is also
    // the indicator's tool tip.
    QLabel* board_access_label = nullptr;
    QString shown_board_access;

    // CAN monitor and sending.
public:
    // Receives every frame the board fetched: lists, log, triggers, vehicle, view, UDP.
    void can_receive_frame(const CanFrame& frame);
    // Hands the frames dispatched since the last call to the view, in one append (when the
    // view can be seen), and to the UDP port.
    void can_dispatch_flush();
    // Sends one frame (command 0x40) while the board is connected.
    void can_send_frame(const CanFrame& frame);
    // Sends every frame line of `text` in order, each logged unless it is a quiet one.
    void can_send_text(QStringView text);
    // Opens can_log.txt in `directory`, replacing it, and writes its header.
    void can_log_open(const QString& directory);
    // Sends the next block of the queued display text; true while lines remain after it.
    bool can_text_queue_send();
    // The monitor's clock in milliseconds (the scan, the view's refresh); tests put their own in.
    std::function<std::int64_t()> monitor_clock;

private:
    enum class Log_Direction { sent, received };
    void can_log_write(QStringView text, Log_Direction direction);
    bool can_status_handler();
    bool can_fetch_frames(int waiting);
    void can_scan_step();
    void can_send_activation(bool on, int prescaler, int mode);
    void can_view_append(const QString& text);
    void can_udp_send(std::uint32_t id, const CanFrame& frame);
    void can_id_lists_rebuild();
    void can_id_move_all(QListWidget* from, QListWidget* to);
    void can_id_move_selected(QListWidget* from, QListWidget* to);
    void can_show_monitor_notes();

    // CAN timers, hardware triggers and filters.
    void create_can_timers();
    void can_timer_tick(std::size_t timer);
    void can_timer_enable(std::size_t timer, bool on);
    void can_timer_interval(std::size_t timer, int ms);
    struct Hw_Timer_Controls {
        QCheckBox* enabled;
        QSpinBox* interval;
        QPlainTextEdit* frame;
        QLabel* note;
    };
    struct Hw_Trigger_Controls {
        QCheckBox* enabled;
        QLineEdit* received;
        QLineEdit* sent;
        QLabel* note;
    };
    Hw_Timer_Controls hw_timer_controls(std::size_t timer) const;
    Hw_Trigger_Controls hw_trigger_controls(std::size_t trigger) const;
    QPlainTextEdit* can_timer_text(std::size_t timer) const;
    void fill_hw_timer_controls(std::size_t timer);
    void fill_hw_trigger_controls(std::size_t trigger);
    void mark_hw_timers_changed();
    void mark_hw_triggers_changed();
    void can_filters_send();
    void can_triggers_check(QStringView text, const CanFrame& frame);
    void show_trigger_controls();
    void edit_current_trigger(const std::function<void(CanTrigger&)>& change);

    // Steering-wheel buttons, vehicle profiles, key actions and hot keys.
    void create_button_controls();
    void can_buttons_rebuild();
    void button_press_step();
    void vehicle_frame_reaction(const CanFrame& frame, std::uint32_t id, QStringView text);
    void apply_vehicle_mode(int mode);
    void select_vehicle_mode(int mode, QPushButton* clicked);
    void head_unit_start_sequence();
    void execute_key_action(const QString& text);
    void volume_step(int step);
    void subwoofer_step(int step);
    void register_hot_keys();

    bool can_active = false;
    bool can_log_view_active = true;
    bool can_one_line = false;
    bool can_log_write_enabled = false;
    bool can_log_file_open = false;
    QFile can_log_file;
    QTextStream can_log_stream;
    bool udp_send_enabled = false;
    Udp_Forwarder udp_forwarder{udp_host, udp_port};
    Udp_Forwarder::Datagram udp_datagram{};
    int can_max_pending = 0;
    Bitrate_Scan can_scan;
    QSet<std::uint32_t> can_known_ids;
    QSet<std::uint32_t> can_blocked_ids;
    Monitor_Shortfalls can_shortfalls;
    Monitor_Shortfalls can_shortfalls_shown;
    QStringList can_view_pending; // lines of this cycle, not yet in the view
    bool can_view_clear_first = false;
    std::int64_t can_view_shown_ms = 0;

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
    Power_History power_history; // the last hour, one point a second, for the plot
    Power_History_Plot* power_plot = nullptr;
    Pwm_Image pwm_image{};
    Sound_Image sound_image{};
    bool sound_image_read = false; // never write back an image not read in this connection
    Filter_Table filters{};
    std::array<Hw_Timer_Record, 2> hw_timers{};
    std::array<QTimer*, 3> can_timers{}; // the software timers, children of the window
    Trigger_List can_triggers;
    Trigger_List::Reply_Sink can_trigger_sender; // built once: the receive path allocates nothing
    Display_Text can_text;
    std::array<Hw_Trigger_Record, 2> hw_triggers{};
    Can_Status can_status;
    std::uint8_t adc_reference_code = 0;
    // Sound tab.
    Sound_Fields sound_fields{}; // the one source of the bytes the sound tab edits
    void fill_sound_controls();
    void edit_sound(const std::function<void(Sound_Fields&)>& change,
                    std::initializer_list<std::size_t> registers);
    void edit_sound_index(std::uint8_t Sound_Fields::*field, int index,
                          std::initializer_list<std::size_t> registers);
    void edit_output_level(Sound_Output output, QLineEdit* field, int db);
    void edit_output_mute(Sound_Output output, bool mute);
    void edit_main_input(std::uint8_t code);
    void edit_second_input(std::uint8_t code);
    void show_db(QLineEdit* field, int value);
    std::array<QRadioButton*, 4> main_input_buttons() const;
    std::array<QRadioButton*, 4> second_input_buttons() const;

    // Brightness tab.
    Curve_Plot* curve_plot = nullptr;
    void create_curve_plot();
    void fill_brightness_controls();
    void show_present_brightness();
    void refresh_curve_plot();
    void mark_curve_changed();
    void curve_light_edited();
    void curve_point_moved(std::size_t point, int value);
    Curve_Settings curve_from_controls() const;
    std::array<QSlider*, curve_points> curve_sliders() const;
    std::array<QSpinBox*, curve_points> curve_light_spin_boxes() const;
    std::array<QLineEdit*, curve_points> curve_percent_fields() const;

    // Steering-wheel buttons and vehicle profiles.
    Button_Table can_buttons;                 // the combination tree's rows, read once per edit
    int can_buttons_start_byte = 0;           // taken from its spin box when the settings are saved
    Press_Timing button_press;                // the held row and the timing of its presses
    Vehicle_Profile vehicle;                  // the profile and its head-unit emulation
    Vehicle_Profile::Effects vehicle_effects; // built once: the receive path allocates nothing
    Hot_Key_Settings hot_key_settings;
    std::unique_ptr<Key_Sender> key_sender; // null without an X11 display
    Global_Hot_Keys* hot_keys = nullptr;    // made at registration; a child of the window

    // The settings file and the session's autostart entry.
    void load_settings();
    Host_Settings host_settings_from_controls();
    void show_button_rows(const QStringList& cells);
    void autoload_set(bool on);
    struct File_Problems {
        QString settings;  // the settings file could not be written
        QString autostart; // the autostart entry could not be written or removed
    };
    void report_file_problem(QString File_Problems::*which, const QString& problem);

    Storage_Places storage;      // chosen once at start: reading takes the file writing will use
    Autostart autostart;         // the entry, and the user's choice
    File_Problems file_problems; // shown on the status line until a later write succeeds
};
