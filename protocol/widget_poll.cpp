// The poll cycle: all regular traffic with the board, one cycle per run of the single-shot
// poll timer. After every connection the first cycle identifies the board and reads its
// settings into the window; every cycle then reads the live state and steers the board.
#include "app/widget.h"

#include "ui_widget.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QTimer>

#include "app/text_fields.h"
#include "protocol/commands.h"

namespace {

constexpr int exit_no_identification = 1;
constexpr int exit_wrong_board_type = 2;

constexpr std::size_t payload_offset = 1; // reply_buffer byte 0 is the echoed command
constexpr std::size_t filter_index_byte = 0;
constexpr std::size_t record_number_byte = 0;

// Main tab pages that need a board with the power, sound and brightness parts.
constexpr std::array<int, 3> board_function_tabs{1, 2, 3};

// A cycle that has run this long is held up by a slow board: between its exchanges the
// window, the tray and the signals get their turn.
constexpr std::int64_t slow_cycle_ms = 100;

} // namespace

Reply_Bytes Widget::reply_payload() const {
    return Reply_Bytes(reply_buffer).subspan(payload_offset);
}

bool Widget::command(std::uint8_t code, bool with_request, bool read_reply) {
    if (poll_cycle.running && !poll_may_go_on()) {
        return false;
    }
    return hid.exchange(code, read_reply ? &reply_buffer : nullptr,
                        with_request ? &request_buffer : nullptr);
}

bool Widget::quit_pending() const {
    return quit_requested || termination_signalled();
}

// Between two exchanges of a cycle. A quit request ends the cycle here, so the program ends
// within one exchange whatever the board does. Program-filled controls take no user input
// meanwhile: an edit made then would be overwritten unseen.
bool Widget::poll_may_go_on() {
    if (!poll_cycle.window_working && poll_clock() - poll_cycle.started_ms >= slow_cycle_ms) {
        poll_cycle.window_working = true;
        const Hid_Device::Payload request = request_buffer; // slots send commands of their own
        QCoreApplication::processEvents(updating_controls ? QEventLoop::ExcludeUserInputEvents
                                                          : QEventLoop::AllEvents);
        request_buffer = request;
        poll_cycle.window_working = false;
    }
    return !quit_pending();
}

bool Widget::end_cycle() {
    can_dispatch_flush();
    updating_controls = false;
    poll_timer->start();
    return false;
}

void Widget::form_update() {
    if (poll_cycle.running) {
        return; // started again from within its own wait; the running cycle re-arms the timer
    }
    poll_cycle.running = true;
    poll_cycle.started_ms = poll_clock();
    const bool whole = !hid.connected ||
                       ((!hid.identify_pending || first_connect_sequence()) && steady_state_pass());
    if (whole) {
        poll_tail();
    }
    power_history_step(whole && hid.connected);
    poll_cycle.running = false;
}

void Widget::identification_failed(const QString& text, int exit_code) {
    // The poll timer stays stopped: no further cycle runs.
    updating_controls = false;
    show_error(text);
    exit_application(exit_code);
}

bool Widget::first_connect_sequence() {
    if (!command(CMD_IDENTIFY, false, true)) {
        if (quit_pending()) {
            return end_cycle();
        }
        identification_failed(tr("Не удалось опознать устройство!"), exit_no_identification);
        return false;
    }
    const Board_Identity identity = decode_identity(reply_payload());
    board_type = identity.board_type;
    hardware_version = identity.hardware_version;
    if (hardware_version != sniffer_hardware_version && !hotkeys_registered) {
        register_hot_keys();
        hotkeys_registered = true;
    }
    firmware_version = identity.firmware_version;
    if (board_type != accepted_board_type) {
        identification_failed(tr("Неверная версия устройства! Требуется прошивка R34+"),
                              exit_wrong_board_type);
        return false;
    }
    hid.identify_pending = false;
    sound_image_read = false;
    power_history.break_line(); // a new connection: the board may have been away a while
    vehicle.head_unit_start_pending = true;

    if (!command(CMD_READ_POWER, false, true)) {
        return end_cycle();
    }
    std::copy_n(reply_payload().begin(), power_config.size(), power_config.begin());
    power_status = decode_power_status(reply_payload());

    updating_controls = true;
    fill_power_controls();
    show_monitor_controls(hardware_version == monitor_hardware_version);
    ui->tabrix_hardware_version_lineEdit->setText(hardware_version_text(hardware_version));
    ui->firmware_version_lineEdit->setText(firmware_version_text(firmware_version));
    status_display();
    ui->apply_pushButton->setEnabled(false);
    updating_controls = false;

    if (!command(CMD_READ_PWM, false, true)) {
        return end_cycle();
    }
    std::copy_n(reply_payload().begin(), pwm_image.size(), pwm_image.begin());
    updating_controls = true;
    fill_brightness_controls();

    if (!read_filters_into_table()) {
        return end_cycle();
    }
    ui->pwm_groupBox->setChecked(pwm_image[pwm_byte::mode] == pwm_mode_host);
    status_display();
    ui->pwm_apply_pushButton->setEnabled(false);
    updating_controls = false;

    if (!command(CMD_READ_SOUND, false, true)) {
        return end_cycle();
    }
    std::copy_n(reply_payload().begin(), sound_image.size(), sound_image.begin());
    sound_image_read = true;
    updating_controls = true;
    fill_sound_controls();

    if (!command(CMD_CAN_STATUS, false, true)) {
        return end_cycle();
    }
    can_status = decode_can_status(reply_payload());
    ui->can_prescaler_spinBox->setValue(can_status.prescaler);
    ui->can_mode_comboBox->setCurrentIndex(can_status.mode);
    const bool has_temperature = hardware_version == monitor_hardware_version;
    ui->temperature_label->setVisible(has_temperature);
    ui->temperature_lineEdit->setVisible(has_temperature);

    if (!command(CMD_READ_SERVICE, false, true)) {
        return end_cycle();
    }
    adc_reference_code = reply_payload()[0];
    ui->adc_voltage_reference_doubleSpinBox->setValue(reference_volts(adc_reference_code));
    for (const int tab : board_function_tabs) {
        ui->tabWidget->setTabEnabled(tab, hardware_version != sniffer_hardware_version);
    }

    if (!read_hw_timers_and_triggers()) {
        return end_cycle();
    }
    updating_controls = false;
    return true;
}

// Reads the 24 filter entries, two per exchange.
bool Widget::read_filters_into_table() {
    for (int k = 0; k < filter_entry_count; k += filters_per_exchange) {
        request_buffer[filter_index_byte] = static_cast<std::uint8_t>(k);
        if (!command(CMD_READ_FILTERS, true, true)) {
            return false;
        }
        const Reply_Bytes reply = reply_payload();
        std::copy_n(reply.begin(), filter_entry_size, filters[static_cast<std::size_t>(k)].begin());
        std::copy_n(reply.begin() + filter_entry_size, filter_entry_size,
                    filters[static_cast<std::size_t>(k + 1)].begin());
    }
    ui->can_filters_listWidget->setCurrentRow(0);
    on_can_filters_listWidget_currentRowChanged(0); // also when row 0 was current already
    return true;
}

// The two hardware timers, then the two hardware triggers. A failed trigger read does not
// end the cycle; the second trigger is read only when the first was.
bool Widget::read_hw_timers_and_triggers() {
    for (std::size_t n = 0; n < hw_timers.size(); ++n) {
        request_buffer[record_number_byte] = static_cast<std::uint8_t>(n);
        if (!command(CMD_READ_HW_TIMER, true, true)) {
            return false;
        }
        hw_timers[n] = decode_hw_timer(reply_payload());
        fill_hw_timer_controls(n);
    }
    for (std::size_t n = 0; n < hw_triggers.size(); ++n) {
        request_buffer[record_number_byte] = static_cast<std::uint8_t>(n);
        if (!command(CMD_READ_HW_TRIGGER, true, true)) {
            break;
        }
        hw_triggers[n] = decode_hw_trigger(reply_payload());
        fill_hw_trigger_controls(n);
    }
    return true;
}

bool Widget::steady_state_pass() {
    if (!command(CMD_READ_POWER, false, true)) {
        return end_cycle();
    }
    power_status = decode_power_status(reply_payload());
    status_display();

    if (sound_image_read) {
        std::copy(sound_image.begin(), sound_image.end(), request_buffer.begin());
        if (!command(CMD_WRITE_SOUND, true, false)) {
            return end_cycle();
        }
    }

    if (!command(CMD_READ_PWM, false, true)) {
        return end_cycle();
    }
    std::copy_n(reply_payload().begin(), pwm_byte::live_part_size, pwm_image.begin());
    status_display();
    show_present_brightness();
    if (!steer_brightness()) {
        return end_cycle();
    }

    if (!command(CMD_CAN_STATUS, false, true)) {
        return end_cycle();
    }
    can_status = decode_can_status(reply_payload());
    if (!can_status_handler()) {
        return end_cycle();
    }
    return true;
}

// Host-set brightness: switch the board to it until it reports the mode, and send the
// slider's value on every pass. Otherwise switch it back to the automatic curve.
bool Widget::steer_brightness() {
    const std::uint8_t board_mode = pwm_image[pwm_byte::mode];
    if (ui->pwm_groupBox->isChecked()) {
        if (board_mode != pwm_mode_host) {
            request_buffer[0] = pwm_mode_host;
            if (!command(CMD_SET_PWM_MODE, true, false)) {
                return false;
            }
        }
        const int value = ui->pwm_width_horizontalSlider->value();
        const std::array<std::uint8_t, 2> bytes = encode_set_pwm(value);
        std::copy(bytes.begin(), bytes.end(), request_buffer.begin());
        if (!command(CMD_SET_PWM, true, false)) {
            return false;
        }
        set_text_if_changed(ui->brightness_lineEdit, brightness_percent(value));
        return true;
    }
    if (board_mode != pwm_mode_curve) {
        request_buffer[0] = pwm_mode_curve;
        return command(CMD_SET_PWM_MODE, true, false);
    }
    return true;
}

void Widget::poll_tail() {
    can_dispatch_flush();
    show_vehicle_mode();
    present_connection();
    present_board_access();
    poll_timer->start();
}

void Widget::show_vehicle_mode() {
    const std::array<QPushButton*, 4> buttons{
        ui->canGenericMode_pushButton, ui->canVolkswagenMode_pushButton, ui->canOpelMode_pushButton,
        ui->canVolvoMode_pushButton};
    for (std::size_t mode = 0; mode < buttons.size(); ++mode) {
        buttons[mode]->setEnabled(static_cast<int>(mode) != vehicle.vehicle_mode);
    }
}

void Widget::present_connection() {
    const bool connected = hid.connected;
    if (connected != indicator_connected) {
        ui->status_label->setPixmap(connected ? green_pixmap : red_pixmap);
        indicator_connected = connected;
    }
    const std::array<QWidget*, 9> frames{
        ui->configuration_frame, ui->snd_amp_frame,       ui->pwm_configuration_frame,
        ui->can_frame,           ui->can_filters_frame,   ui->info_frame,
        ui->service_frame,       ui->can_hw_timers_frame, ui->can_hw_triggers_frame};
    for (QWidget* frame : frames) {
        frame->setEnabled(connected);
    }
    if (!connected) {
        const QString not_available = QStringLiteral("N/A");
        for (QLineEdit* field : {ui->temperature_lineEdit, ui->tabrix_hardware_version_lineEdit,
                                 ui->firmware_version_lineEdit, ui->state_lineEdit}) {
            set_text_if_changed(field, not_available);
        }
    }
}

void Widget::on_usb_pollTime_spinBox_valueChanged(int value) {
    poll_interval_ms = value;
    poll_timer->setInterval(value);
}

void Widget::show_identification_error(const QString& text) {
    QMessageBox box;
    box.setText(tr("Ошибка!"));
    box.setInformativeText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}
