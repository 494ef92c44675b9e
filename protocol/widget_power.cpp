// The power sequencing tab and the live status: the configuration read at each connection,
// edited by the user and applied, and the voltages, state and temperature on every cycle.
#include "app/widget.h"

#include "ui_widget.h"

#include "app/text_fields.h"
#include "protocol/commands.h"
#include "protocol/power_history_plot.h"

void Widget::fill_power_controls() {
    const Power_Settings s = decode_power_config(power_config);
    ui->acc_on_delay_spinBox->setValue(s.acc_on_delay);
    ui->vkl_pc_delay_spinBox->setValue(s.vkl_pc_delay);
    ui->os_load_time_spinBox->setValue(s.r_out_delay);
    ui->akb_off_delay_spinBox->setValue(s.akb_off_delay);
    ui->acc_off_delay_spinBox->setValue(s.acc_off_delay);
    ui->os_shutdown_time_delay_spinBox->setValue(s.os_shutdown_delay);
    ui->akb_min_doubleSpinBox->setValue(s.akb_min_volts);
    ui->vkl_akb_min_doubleSpinBox->setValue(s.vkl_akb_min_volts);
    ui->check_PC_ON_checkBox->setChecked(s.check_pc_on);
    ui->sleep_mode_checkBox->setChecked(s.sleep_mode);
    ui->monitor_on_delay_spinBox->setValue(s.monitor_on_delay);
    ui->monitor_off_delay_spinBox->setValue(s.monitor_off_delay);
}

Power_Settings Widget::power_settings_from_controls() const {
    Power_Settings s;
    s.acc_on_delay = ui->acc_on_delay_spinBox->value();
    s.vkl_pc_delay = ui->vkl_pc_delay_spinBox->value();
    s.r_out_delay = ui->os_load_time_spinBox->value();
    s.akb_off_delay = ui->akb_off_delay_spinBox->value();
    s.acc_off_delay = ui->acc_off_delay_spinBox->value();
    s.os_shutdown_delay = ui->os_shutdown_time_delay_spinBox->value();
    s.akb_min_volts = ui->akb_min_doubleSpinBox->value();
    s.vkl_akb_min_volts = ui->vkl_akb_min_doubleSpinBox->value();
    s.check_pc_on = ui->check_PC_ON_checkBox->isChecked();
    s.sleep_mode = ui->sleep_mode_checkBox->isChecked();
    s.monitor_on_delay = ui->monitor_on_delay_spinBox->value();
    s.monitor_off_delay = ui->monitor_off_delay_spinBox->value();
    return s;
}

// Only the variant with monitor control has the monitor delays; the group goes with them,
// so no empty frame is left on the other variants.
void Widget::show_monitor_controls(bool shown) {
    for (QWidget* w :
         {static_cast<QWidget*>(ui->label_59), static_cast<QWidget*>(ui->monitor_on_delay_spinBox),
          static_cast<QWidget*>(ui->label_60), static_cast<QWidget*>(ui->monitor_off_delay_spinBox),
          static_cast<QWidget*>(ui->power_monitor_groupBox)}) {
        w->setVisible(shown);
    }
}

void Widget::mark_power_changed() {
    if (!updating_controls) {
        ui->apply_pushButton->setEnabled(true);
    }
}

void Widget::on_acc_on_delay_spinBox_valueChanged(int) {
    mark_power_changed();
}
void Widget::on_vkl_pc_delay_spinBox_valueChanged(int) {
    mark_power_changed();
}
void Widget::on_os_load_time_spinBox_valueChanged(int) {
    mark_power_changed();
}
void Widget::on_akb_off_delay_spinBox_valueChanged(int) {
    mark_power_changed();
}
void Widget::on_acc_off_delay_spinBox_valueChanged(int) {
    mark_power_changed();
}
void Widget::on_os_shutdown_time_delay_spinBox_valueChanged(int) {
    mark_power_changed();
}
void Widget::on_akb_min_doubleSpinBox_valueChanged(double) {
    mark_power_changed();
}
void Widget::on_vkl_akb_min_doubleSpinBox_valueChanged(double) {
    mark_power_changed();
}
void Widget::on_check_PC_ON_checkBox_toggled(bool) {
    mark_power_changed();
}
void Widget::on_sleep_mode_checkBox_toggled(bool) {
    mark_power_changed();
}
void Widget::on_monitor_on_delay_spinBox_valueChanged(int) {
    mark_power_changed();
}
void Widget::on_monitor_off_delay_spinBox_valueChanged(int) {
    mark_power_changed();
}

void Widget::on_apply_pushButton_clicked() {
    apply_power_config();
}

// Bytes the host does not edit go back as the board reported them.
void Widget::apply_power_config() {
    ui->apply_pushButton->setEnabled(false);
    encode_power_config(power_settings_from_controls(), power_config);
    if (hid.connected) {
        std::copy(power_config.begin(), power_config.end(), request_buffer.begin());
        hid.exchange(CMD_WRITE_POWER_CONFIG, nullptr, &request_buffer);
    }
}

// Each run adds the latest readings to the averages; the voltages are shown with the
// reference in the service spin box at this moment.
void Widget::status_display() {
    power_status.akb_raw = akb_average.add(power_status.akb_raw);
    power_status.uout_raw = uout_average.add(power_status.uout_raw);
    const float scale = adc_scale(ui->adc_voltage_reference_doubleSpinBox->value());
    set_text_if_changed(ui->vAKB_lineEdit, voltage_text(scale, power_status.akb_raw));
    set_text_if_changed(ui->uout_volt_lineEdit, voltage_text(scale, power_status.uout_raw));
    set_text_if_changed(ui->vLIGHT_lineEdit, QString::number(pwm_light_value(pwm_image)));
    set_text_if_changed(ui->temperature_lineEdit, temperature_text(power_status.temperature_raw));
    set_text_if_changed(ui->state_lineEdit, power_state_name(power_status.power_state));
}

// Below the configuration and status, across the page: the frame above is disabled while
// the board is away, the history stays readable then.
void Widget::create_power_plot() {
    power_plot = new Power_History_Plot(power_history, ui->tab);
    power_plot->setObjectName(QStringLiteral("power_history_plot"));
    ui->power_page_verticalLayout->addWidget(power_plot, 1); // the room the controls leave
}

// After each poll cycle: a point a second from the averaged values the page shows, none
// while the board is away.
void Widget::power_history_step(bool pass_done) {
    const std::int64_t now = poll_clock();
    if (!hid.connected) {
        power_history.break_line();
    } else if (pass_done && power_history.due(now)) {
        const float scale = adc_scale(ui->adc_voltage_reference_doubleSpinBox->value());
        power_history.add(now, scale * static_cast<float>(power_status.akb_raw),
                          scale * static_cast<float>(power_status.uout_raw),
                          power_status.power_state);
    }
    power_plot->refresh(now);
}
