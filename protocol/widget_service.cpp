// Service and device information: the ADC reference, the EEPROM reset and the board's
// part of saving the settings.
#include "app/widget.h"

#include "ui_widget.h"

#include "protocol/commands.h"

void Widget::on_adc_voltage_reference_doubleSpinBox_valueChanged(double) {
    if (!updating_controls) {
        ui->service_apply_pushButton->setEnabled(true);
    }
}

void Widget::on_service_apply_pushButton_clicked() {
    ui->service_apply_pushButton->setEnabled(false);
    adc_reference_code = reference_code(ui->adc_voltage_reference_doubleSpinBox->value());
    if (hid.connected) {
        request_buffer[0] = adc_reference_code;
        hid.exchange(CMD_WRITE_SERVICE, nullptr, &request_buffer);
    }
}

void Widget::on_reset_eeprom_pushButton_clicked() {
    if (hid.connected) {
        hid.exchange(CMD_RESET_EEPROM, nullptr, nullptr);
    }
}

// The sniffer variant keeps its power configuration only when it is saved with the
// program's settings.
void Widget::on_save_settings_pushButton_clicked() {
    ui->save_settings_pushButton->setEnabled(false);
    save_settings();
    if (hardware_version == sniffer_hardware_version) {
        apply_power_config();
    }
    ui->save_settings_pushButton->setEnabled(true);
}
