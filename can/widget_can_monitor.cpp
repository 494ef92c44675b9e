// The bus monitor: activation and the bit-rate scan, the status handler with the receive
// loop, the dispatch of every received frame, the view, the identifier lists, the log file
// and UDP forwarding.
#include "app/widget.h"

#include "ui_widget.h"

#include <QDateTime>
#include <QDebug>
#include <cstring>

#include "app/text_fields.h"
#include "can/can_text.h"
#include "protocol/can_wire.h"
#include "protocol/commands.h"

namespace {

constexpr int frames_per_read_three = 3;
constexpr int read_one_at_most = 2; // with this many waiting or fewer, read them one by one
// Once a cycle has run this long, the frames still waiting are left to the next cycle: a slow
// board must not hold the window for a whole backlog. A healthy board fetches 255 frames in a
// few milliseconds and never reaches it.
constexpr std::int64_t receive_budget_ms = 500;
constexpr int view_max_lines = 500;
constexpr std::int64_t view_refresh_ms = 100;
constexpr const char* log_file_name = "/can_log.txt";
constexpr const char* previous_log_suffix = ".1";

const QString log_prefix_sent = QStringLiteral("SEND    >>  ");
const QString log_prefix_received = QStringLiteral("RECV  <<    ");

} // namespace

// Activation and scan.

void Widget::can_send_activation(bool on, int prescaler, int mode) {
    request_buffer[activate_byte::on] = on ? 1 : 0;
    put_u16(request_buffer, activate_byte::prescaler, static_cast<std::uint16_t>(prescaler));
    request_buffer[activate_byte::mode] = static_cast<std::uint8_t>(mode);
    hid.exchange(CMD_CAN_ACTIVATE, nullptr, &request_buffer);
}

void Widget::on_can_activate_pushButton_clicked() {
    if (!hid.connected) {
        return;
    }
    // Enabled again by the next poll cycle; only the board's report changes the state shown.
    ui->can_activate_pushButton->setEnabled(false);
    can_send_activation(!can_active, ui->can_prescaler_spinBox->value(),
                        ui->can_mode_comboBox->currentIndex());
}

void Widget::on_canScan_pushButton_clicked() {
    can_scan.request();
    ui->canScan_pushButton->setEnabled(false);
}

void Widget::can_scan_step() {
    if (can_scan.idle()) {
        ui->canScan_pushButton->setEnabled(true);
        return;
    }
    const Bitrate_Scan::Step step =
        can_scan.step(monitor_clock(), ui->canScanTime_spinBox->value());
    constexpr int normal_mode = 0;
    if (step.deactivate) {
        ui->can_activate_pushButton->setEnabled(false);
        can_send_activation(false, step.deactivate_prescaler, normal_mode);
    }
    if (step.activate) {
        ui->can_activate_pushButton->setEnabled(false);
        can_send_activation(true, step.activate_prescaler, normal_mode);
    }
}

void Widget::on_can_prescaler_spinBox_valueChanged(int value) {
    ui->can_speed_lineEdit->setText(can_speed_text(value));
}

// Status handler and receive loop; false when an exchange failed and the cycle ends.

bool Widget::can_status_handler() {
    can_active = can_status.active;
    can_scan_step();
    if (!can_active) {
        set_text_if_changed(ui->can_status_lineEdit, QStringLiteral("NON ACTIVE"));
        ui->can_activate_pushButton->setText(tr("Activate"));
        ui->can_activate_pushButton->setEnabled(true);
        ui->can_setup_groupBox->setEnabled(true);
        ui->can_send_groupBox->setEnabled(false);
        ui->can_mass_send_pushButton->setEnabled(false);
        can_max_pending = 0;
        set_text_if_changed(ui->can_max_messages_lineEdit, QStringLiteral("0"));
        vehicle.head_unit_start_pending = true;
        return true;
    }
    set_text_if_changed(ui->can_status_lineEdit, QStringLiteral("ACTIVE"));
    ui->can_activate_pushButton->setText(tr("Deactivate"));
    ui->can_activate_pushButton->setEnabled(true);
    ui->can_setup_groupBox->setEnabled(false);
    ui->can_prescaler_spinBox->setValue(can_status.prescaler);
    ui->can_send_groupBox->setEnabled(true);
    ui->can_mass_send_pushButton->setEnabled(true);
    ui->can_mode_comboBox->setCurrentIndex(can_status.mode);
    if (vehicle.vehicle_mode == vehicle_volkswagen && vehicle.head_unit_start_pending) {
        head_unit_start_sequence();
    }

    const int waiting = can_status.waiting;
    if (waiting == 0) {
        button_press_step();
        return true;
    }
    can_scan.count_received(waiting);
    if (waiting > can_max_pending) {
        can_max_pending = waiting;
        ui->can_max_messages_lineEdit->setText(QString::number(waiting));
    }
    return can_fetch_frames(waiting);
}

bool Widget::can_fetch_frames(int waiting) {
    bool fetched = false;
    while (waiting > 0 && !(fetched && poll_clock() - poll_cycle.started_ms >= receive_budget_ms)) {
        fetched = true;
        const int batch = waiting <= read_one_at_most ? 1 : frames_per_read_three;
        if (!command(batch == 1 ? CMD_CAN_READ_ONE : CMD_CAN_READ_THREE, false, true)) {
            return false;
        }
        const Reply_Bytes reply = reply_payload();
        for (int i = 0; i < batch; ++i) {
            can_receive_frame(decode_can_wire_frame(reply.data() + static_cast<std::size_t>(i) *
                                                                       can_wire::frame_size));
            button_press_step();
        }
        waiting -= batch;
    }
    button_press_step();
    return true;
}

// Dispatch.

void Widget::can_receive_frame(const CanFrame& frame) {
    const std::optional<std::uint32_t> id = can_frame_id(frame);
    if (!id) {
        return;
    }
    const bool blocked = can_blocked_ids.contains(*id);
    if (!blocked && !can_known_ids.contains(*id)) {
        if (can_known_ids.size() < can_id_list_capacity) {
            can_known_ids.insert(*id);
            ui->can_id_known_listWidget->addItem(can_id_text(*id)); // the list keeps itself sorted
        } else {
            ++can_shortfalls.unlisted_frames;
        }
    }
    const QString text = can_frame_to_text(frame);
    if (can_frame_is_logged_on_receive(*id)) {
        can_log_write(text, Log_Direction::received);
    }
    can_triggers_check(text, frame); // blocked or not
    vehicle_frame_reaction(frame, *id, text);
    if (!blocked) {
        can_view_append(text);
    }
    if (udp_send_enabled) {
        can_udp_send(*id, frame);
    }
}

// View: lines are gathered during a cycle and go into the view in one append, so a full
// view costs no more per frame than an empty one.

void Widget::can_view_append(const QString& text) {
    if (!can_log_view_active) {
        return;
    }
    if (can_one_line) {
        can_view_pending.clear();
        can_view_clear_first = true;
    } else if (can_view_pending.size() >= view_max_lines) {
        can_view_pending.removeFirst(); // the view would drop it anyway
    }
    can_view_pending.append(text);
}

void Widget::can_dispatch_flush() {
    udp_forwarder.flush();
    if (udp_forwarder.take_failure_report()) {
        // Said once each time forwarding starts to fail; the page keeps the count.
        qDebug().noquote() << "UDP forwarding: datagrams not sent:"
                           << QString::fromLocal8Bit(std::strerror(udp_forwarder.last_error()));
    }
    can_show_monitor_notes();
    QPlainTextEdit* view = ui->can_recieved_plainTextEdit;
    // Lines wait while nobody can see the view (the window in the tray, another tab), and
    // the view is refreshed at a pace a reader can follow; the newest 500 are kept meanwhile.
    if (can_view_pending.isEmpty() || !view->isVisible()) {
        return;
    }
    const std::int64_t now = monitor_clock();
    if (now - can_view_shown_ms < view_refresh_ms) {
        return;
    }
    can_view_shown_ms = now;
    if (can_view_clear_first) {
        view->clear();
        can_view_clear_first = false;
    }
    view->appendPlainText(can_view_pending.join(QLatin1Char('\n')));
    can_view_pending.clear();
}

// What the monitor could not do, shown only once it happened.
void Widget::can_show_monitor_notes() {
    can_shortfalls.udp_failed = udp_forwarder.failed();
    if (can_shortfalls == can_shortfalls_shown) {
        return;
    }
    can_shortfalls_shown = can_shortfalls;
    QStringList notes;
    QStringList explained;
    if (can_shortfalls.unlisted_frames > 0) {
        notes << tr("Кадров вне списков: %1").arg(can_shortfalls.unlisted_frames);
        explained << tr("Списки Known и Blocked вмещают до %1 идентификаторов каждый; кадры "
                        "остальных показываются, пишутся в журнал и пересылаются, но в списки "
                        "не попадают.")
                         .arg(can_id_list_capacity);
    }
    if (can_shortfalls.udp_failed > 0) {
        notes << tr("Не отправлено по UDP: %1").arg(can_shortfalls.udp_failed);
        explained
            << tr("Датаграммы, которые система не приняла к отправке на порт %1.").arg(udp_port);
    }
    ui->can_monitor_notes_label->setText(notes.join(QStringLiteral("   ")));
    ui->can_monitor_notes_label->setToolTip(explained.join(QLatin1Char('\n')));
    ui->can_monitor_notes_label->setVisible(!notes.isEmpty());
}

void Widget::on_can_clear_pushButton_clicked() {
    ui->can_recieved_plainTextEdit->clear();
    can_view_pending.clear();
}

void Widget::on_can_one_line_checkBox_toggled(bool checked) {
    can_one_line = checked;
}

void Widget::on_can_log_groupBox_toggled(bool checked) {
    can_log_view_active = checked;
}

void Widget::on_can_write_log_checkBox_toggled(bool checked) {
    can_log_write_enabled = checked;
}

void Widget::on_udpObdSend_checkBox_toggled(bool checked) {
    udp_send_enabled = checked;
}

// Identifier lists: the list widgets are the master copy; the sets follow them.

void Widget::can_id_lists_rebuild() {
    can_known_ids.clear();
    can_blocked_ids.clear();
    for (int row = 0; row < ui->can_id_known_listWidget->count(); ++row) {
        can_known_ids.insert(parse_hex(ui->can_id_known_listWidget->item(row)->text()).value);
    }
    for (int row = 0; row < ui->can_id_blocked_listWidget->count(); ++row) {
        can_blocked_ids.insert(parse_hex(ui->can_id_blocked_listWidget->item(row)->text()).value);
    }
}

// A move stops where the receiving list is full; the rest stays where it was.
void Widget::can_id_move_all(QListWidget* from, QListWidget* to) {
    while (from->count() > 0 && to->count() < can_id_list_capacity) {
        std::unique_ptr<QListWidgetItem> item(from->takeItem(0));
        to->addItem(item->text());
    }
    can_id_lists_rebuild();
}

void Widget::can_id_move_selected(QListWidget* from, QListWidget* to) {
    for (QListWidgetItem* selected : from->selectedItems()) {
        if (to->count() >= can_id_list_capacity) {
            break;
        }
        to->addItem(selected->text());
        delete from->takeItem(from->row(selected));
    }
    can_id_lists_rebuild();
}

void Widget::on_can_id_add_all_to_blocked_pushButton_clicked() {
    can_id_move_all(ui->can_id_known_listWidget, ui->can_id_blocked_listWidget);
}

void Widget::on_can_id_add_all_to_known_pushButton_clicked() {
    can_id_move_all(ui->can_id_blocked_listWidget, ui->can_id_known_listWidget);
}

void Widget::on_can_id_add_to_blocked_pushButton_clicked() {
    can_id_move_selected(ui->can_id_known_listWidget, ui->can_id_blocked_listWidget);
}

void Widget::on_can_id_add_to_known_pushButton_clicked() {
    can_id_move_selected(ui->can_id_blocked_listWidget, ui->can_id_known_listWidget);
}

void Widget::on_can_id_known_listWidget_doubleClicked(const QModelIndex&) {
    on_can_id_add_to_blocked_pushButton_clicked();
}

void Widget::on_can_id_blocked_listWidget_doubleClicked(const QModelIndex&) {
    on_can_id_add_to_known_pushButton_clicked();
}

// Log file and UDP.

void Widget::can_log_open(const QString& directory) {
    can_log_stream.setDevice(nullptr);
    can_log_file.close();
    const QString path = directory + QLatin1String(log_file_name);
    can_log_file.setFileName(path);
    // The previous run's log is kept beside the new one; where it cannot be moved aside, the
    // new run goes on at its end rather than replacing it.
    QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate;
    if (QFile::exists(path)) {
        const QString previous = path + QLatin1String(previous_log_suffix);
        QFile::remove(previous);
        if (!QFile::rename(path, previous)) {
            mode = QIODevice::WriteOnly | QIODevice::Text | QIODevice::Append;
        }
    }
    can_log_file_open = can_log_file.open(mode);
    if (!can_log_file_open) {
        return;
    }
    can_log_stream.setDevice(&can_log_file);
    can_log_stream << "Log started at: " << QDateTime::currentDateTime().toString(Qt::TextDate)
                   << "\n\n";
    can_log_stream.flush();
}

void Widget::can_log_write(QStringView text, Log_Direction direction) {
    if (!can_log_write_enabled || !can_log_file_open) {
        return;
    }
    can_log_stream << (direction == Log_Direction::sent ? log_prefix_sent : log_prefix_received)
                   << text << '\n';
    can_log_stream.flush();
}

void Widget::can_udp_send(std::uint32_t id, const CanFrame& frame) {
    fill_udp_datagram(id, frame, udp_datagram);
    udp_forwarder.queue(udp_datagram);
}
