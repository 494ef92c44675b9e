// The board's two hardware triggers: read at every connection, written on Apply.
#include "app/widget.h"

#include "ui_widget.h"

#include "can/can_text.h"
#include "protocol/commands.h"

void Widget::fill_hw_trigger_controls(std::size_t trigger) {
    const Hw_Trigger_Record& record = hw_triggers[trigger];
    const std::array<QCheckBox*, 2> enabled{ui->can_hw_trigger_1_enabled_checkBox,
                                            ui->can_hw_trigger_2_enabled_checkBox};
    const std::array<QLineEdit*, 2> received{ui->can_hw_trgger_1_recv_msg_lineEdit,
                                             ui->can_hw_trgger_2_recv_msg_lineEdit};
    const std::array<QLineEdit*, 2> sent{ui->can_hw_trigger_1_send_msg_lineEdit,
                                         ui->can_hw_trigger_2_send_msg_lineEdit};
    enabled[trigger]->setChecked(record.enabled);
    received[trigger]->setText(can_frame_to_text(record.match));
    sent[trigger]->setText(can_frame_to_text(record.reply));
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
    const std::array<QCheckBox*, 2> enabled{ui->can_hw_trigger_1_enabled_checkBox,
                                            ui->can_hw_trigger_2_enabled_checkBox};
    const std::array<QLineEdit*, 2> received{ui->can_hw_trgger_1_recv_msg_lineEdit,
                                             ui->can_hw_trgger_2_recv_msg_lineEdit};
    const std::array<QLineEdit*, 2> sent{ui->can_hw_trigger_1_send_msg_lineEdit,
                                         ui->can_hw_trigger_2_send_msg_lineEdit};
    const std::array<QLabel*, 2> notes{ui->can_hw_trigger_1_note_label,
                                       ui->can_hw_trigger_2_note_label};
    for (std::size_t n = 0; n < hw_triggers.size(); ++n) {
        const std::optional<CanFrame> match = can_text_first_frame(received[n]->text());
        const std::optional<CanFrame> reply = can_text_first_frame(sent[n]->text());
        notes[n]->setVisible(!match || !reply);
        if (!match || !reply) {
            notes[n]->setText(tr("Нет верной строки кадра: триггер не записан."));
            continue;
        }
        encode_hw_trigger(static_cast<std::uint8_t>(n), {enabled[n]->isChecked(), *match, *reply},
                          request_buffer);
        hid.exchange(CMD_WRITE_HW_TRIGGER, nullptr, &request_buffer);
    }
}
