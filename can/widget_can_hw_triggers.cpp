// The board's two hardware triggers: read at every connection, written on Apply.
#include "app/widget.h"

#include "ui_widget.h"

#include "can/can_text.h"
#include "protocol/commands.h"

Widget::Hw_Trigger_Controls Widget::hw_trigger_controls(std::size_t trigger) const {
    if (trigger == 0) {
        return {ui->can_hw_trigger_1_enabled_checkBox, ui->can_hw_trgger_1_recv_msg_lineEdit,
                ui->can_hw_trigger_1_send_msg_lineEdit, ui->can_hw_trigger_1_note_label};
    }
    return {ui->can_hw_trigger_2_enabled_checkBox, ui->can_hw_trgger_2_recv_msg_lineEdit,
            ui->can_hw_trigger_2_send_msg_lineEdit, ui->can_hw_trigger_2_note_label};
}

void Widget::fill_hw_trigger_controls(std::size_t trigger) {
    const Hw_Trigger_Record& record = hw_triggers[trigger];
    const Hw_Trigger_Controls c = hw_trigger_controls(trigger);
    c.enabled->setChecked(record.enabled);
    c.received->setText(can_frame_to_text(record.match));
    c.sent->setText(can_frame_to_text(record.reply));
}

void Widget::mark_hw_triggers_changed() {
    if (!updating_controls) {
        ui->can_hw_triggers_apply_pushButton->setEnabled(true);
    }
}

void Widget::on_can_hw_trigger_1_enabled_checkBox_clicked() {
    mark_hw_triggers_changed();
}

void Widget::on_can_hw_trigger_2_enabled_checkBox_clicked() {
    mark_hw_triggers_changed();
}

void Widget::on_can_hw_trigger_1_send_msg_lineEdit_textChanged(const QString&) {
    mark_hw_triggers_changed();
}

void Widget::on_can_hw_trigger_2_send_msg_lineEdit_textChanged(const QString&) {
    mark_hw_triggers_changed();
}

void Widget::on_can_hw_trgger_1_recv_msg_lineEdit_textChanged(const QString&) {
    mark_hw_triggers_changed();
}

void Widget::on_can_hw_trgger_2_recv_msg_lineEdit_textChanged(const QString&) {
    mark_hw_triggers_changed();
}

// Both triggers from the first valid frame line of each field. A trigger missing one of its
// two frames stays as the board has it and says so: no undefined frame goes to the board.
void Widget::on_can_hw_triggers_apply_pushButton_clicked() {
    ui->can_hw_triggers_apply_pushButton->setEnabled(false);
    if (!hid.connected) {
        return;
    }
    for (std::size_t n = 0; n < hw_triggers.size(); ++n) {
        const Hw_Trigger_Controls c = hw_trigger_controls(n);
        const std::optional<CanFrame> match = can_text_first_frame(c.received->text());
        const std::optional<CanFrame> reply = can_text_first_frame(c.sent->text());
        c.note->setVisible(!match || !reply);
        if (!match || !reply) {
            c.note->setText(tr("Нет верной строки кадра: триггер не записан."));
            continue;
        }
        encode_hw_trigger(static_cast<std::uint8_t>(n), {c.enabled->isChecked(), *match, *reply},
                          request_buffer);
        hid.exchange(CMD_WRITE_HW_TRIGGER, nullptr, &request_buffer);
    }
}
