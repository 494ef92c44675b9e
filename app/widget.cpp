#include "app/widget.h"

#include "ui_widget.h"

#include "app/compact_tab_style.h"
#include "app/storage_paths.h"
#include "buttons/key_sender.h"
#include "hid/sleep_watch.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTabBar>
#include <QTimer>
#include <algorithm>
#include <array>

namespace {

constexpr std::int32_t board_vendor_id = 0x8D88;
constexpr std::int32_t board_product_id = 0x00CC;
constexpr int filter_count = 24;
constexpr int default_poll_interval_ms = 50;
constexpr int default_send_dlc = 8;
constexpr std::array<int, 8> combination_column_widths{100, 60, 60, 60, 100, 100, 100, 50};

// The destructor waits for the worker threads in steps of 10 ms, at most 100 steps for both.
constexpr int thread_wait_budget = 100;
constexpr unsigned long thread_wait_step_ms = 10;

} // namespace

// The images are compiled into a static library; make sure they are registered. Must stand
// outside any namespace, as the resource's initialiser does.
static void init_images() {
    Q_INIT_RESOURCE(images);
}

Widget::Widget(QWidget* parent) : Widget(program_storage_places(), parent) {}

Widget::Widget(const Storage_Places& places, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::Widget>()) {
    // First: the identity names the per-user folders of the settings and the log.
    set_program_identity();
    storage = places;
    autostart.directory = autostart_directory();
    autostart.program = QCoreApplication::applicationFilePath();
    show_error = &Widget::show_identification_error;
    exit_application = [](int code) { QCoreApplication::exit(code); };
    init_images();
    setup_form();
    create_actions();
    create_tray_icon();
    quit_requested = false;
    connect(tray_icon, &QSystemTrayIcon::activated, this, &Widget::tray_icon_Activated);
    tray_icon->setVisible(true);
    setWindowIcon(app_icon);
    // Only minimise and close in the title bar; the window can still be resized.
    setWindowFlags((windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                    Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                    Qt::WindowCloseButtonHint) &
                   ~Qt::WindowMaximizeButtonHint);
    ui->invisible_groupBox->hide();
    ui->settings_status_label->hide();

    hid.init(board_vendor_id, board_product_id, 0, 0);
    watch_enabled = true;
    watch_skip_rounds = 0;
    sleep_watch = new Sleep_Watch(this);
    connect(sleep_watch, &Sleep_Watch::suspending, this, &Widget::system_suspending);
    connect(sleep_watch, &Sleep_Watch::resumed, this, &Widget::system_resumed);
    updating_controls = false;
    board_type = 0;

    ui->temperature_label->hide();
    ui->temperature_lineEdit->hide();
    red_pixmap.load(QStringLiteral(":/images/red-button.png"));
    green_pixmap.load(QStringLiteral(":/images/green-button.png"));
    indicator_connected = false;

    fill_sound_combo_boxes();
    create_curve_plot();
    create_power_plot();

    can_active = false;
    can_one_line = false;
    can_log_view_active = true;
    ui->can_recieved_plainTextEdit->clear();
    ui->can_send_dlc_spinBox->setValue(default_send_dlc);
    vehicle.vehicle_mode = vehicle_generic;

    for (int k = 0; k < filter_count; ++k) {
        ui->can_filters_listWidget->addItem(tr("Filter ") + QString::number(k));
    }
    for (int column = 0; column < static_cast<int>(combination_column_widths.size()); ++column) {
        ui->canButtons_combinations_treeWidget->setColumnWidth(
            column, combination_column_widths[static_cast<std::size_t>(column)]);
    }
    create_button_controls();

    create_can_timers();
    can_trigger_sender = [this](QStringView reply) { can_send_text(reply); };
    can_log_file_open = false;
    if (!storage.log_directory.isEmpty()) {
        can_log_open(storage.log_directory);
    }
    monitor_clock = [clock = std::make_shared<QElapsedTimer>()] {
        if (!clock->isValid()) {
            clock->start();
        }
        return static_cast<std::int64_t>(clock->elapsed());
    };

    poll_clock = [clock = std::make_shared<QElapsedTimer>()] {
        if (!clock->isValid()) {
            clock->start();
        }
        return static_cast<std::int64_t>(clock->elapsed());
    };
    poll_interval_ms = default_poll_interval_ms;
    poll_timer = new QTimer(this);
    poll_timer->setObjectName(QStringLiteral("poll_timer"));
    connect(poll_timer, &QTimer::timeout, this, &Widget::form_update);
    poll_timer->setSingleShot(true);
    // A coarse timer may come 5 % late; a steering-wheel press waits for the poll that fetches it.
    poll_timer->setTimerType(Qt::PreciseTimer);
    poll_timer->setInterval(poll_interval_ms);
    poll_timer->start();

    load_settings();

    check_device_thread.stop_requested = false;
    check_device_thread.owner = this;
    check_device_thread.start(QThread::InheritPriority);
    hid_data_thread.stop_requested = false;
    hid_data_thread.owner = this;
}

Widget::~Widget() {
    check_device_thread.request_stop();
    hid_data_thread.stop_requested = true;
    // Every end of a run comes here: the tray's quit entry, a termination signal, a failed
    // identification.
    save_settings();
    ui.reset();
    wait_for_threads();
}

void Widget::setup_form() {
    // Builds every control, sets the texts, selects the first pages and binds the
    // on_<object>_<signal> slots by name.
    ui->setupUi(this);
    // Ten captions share the page's width: keep the tabs tight so every one stays in view.
    auto* tab_style = new Compact_Tab_Style();
    tab_style->setParent(ui->tabWidget->tabBar());
    ui->tabWidget->tabBar()->setStyle(tab_style);
    // The controls outside the tabs have fixed sizes; a wider font than the one they were
    // drawn for would cut their captions, so they grow to fit, keeping their places.
    for (QWidget* top : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (top != ui->tabWidget) {
            top->resize(std::max(top->width(), top->minimumSizeHint().width()), top->height());
        }
    }
}

void Widget::fill_sound_combo_boxes() {
    ui->bass_cf_comboBox->insertItems(0, {tr("60 Hz"), tr("80 Hz"), tr("100 Hz"), tr("200 Hz")});
    ui->bass_qf_comboBox->insertItems(0, {tr("1.0"), tr("1.25"), tr("1.5"), tr("2.0")});
    ui->middle_cf_comboBox->insertItems(
        0, {tr("500 Hz"), tr("1000 Hz"), tr("1500 Hz"), tr("2500 Hz")});
    ui->middle_qf_comboBox->insertItems(0, {tr("0.5"), tr("0.75"), tr("1"), tr("1.25")});
    ui->treble_cf_comboBox->insertItems(
        0, {tr("10.0 kHz"), tr("12.5 kHz"), tr("15.0 kHz"), tr("17.5 kHz")});
    ui->sub_cut_off_comboBox->insertItems(0, {tr("flat"), tr("80 Hz"), tr("120 Hz"), tr("160 Hz")});
}

void Widget::wait_for_threads() {
    int budget = thread_wait_budget;
    for (QThread* thread :
         {static_cast<QThread*>(&check_device_thread), static_cast<QThread*>(&hid_data_thread)}) {
        while (thread->isRunning() && budget > 0) {
            QThread::msleep(thread_wait_step_ms);
            --budget;
        }
    }
    // A thread object must not be destroyed while its loop runs; a loop that is still
    // busy ends after its current pass, so waiting for it is bounded too.
    check_device_thread.wait();
    hid_data_thread.wait();
}

void Widget::closeEvent(QCloseEvent* event) {
    if (quit_requested) {
        event->accept();
        // The tray keeps the program alive without a visible window, so the event loop is
        // ended here rather than by the last window closing.
        QCoreApplication::exit(0);
        return;
    }
    hide_window();
    event->ignore();
}

void Widget::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange && ui) {
        ui->retranslateUi(this);
    }
}
