// Software triggers: the list page and its edit controls, and the matching of every received
// frame. Edits take effect at once; there is no Apply for software triggers.
#include "app/widget.h"

#include "ui_widget.h"

void Widget::can_triggers_check(QStringView text, const CanFrame& frame) {
    if (can_triggers.check(text, frame, ui->can_all_triggers_enabled_checkBox->isChecked(),
                           can_trigger_sender)) {
        show_trigger_controls(); // a one-shot switched itself off
    }
}

// Shows the current row's trigger in the edit controls.
void Widget::show_trigger_controls() {
    const int row = ui->can_trigger_listWidget->currentRow();
    if (row < 0 || row >= can_triggers.size()) {
        return;
    }
    const CanTrigger trigger = can_triggers.at(row); // the controls' slots edit the list
    ui->can_trigger_enabled_checkBox->setChecked(trigger.enabled);
    ui->can_trigger_one_shot_checkBox->setChecked(trigger.one_shot);
    ui->can_trgger_recv_msg_lineEdit->setText(trigger.recv_msg);
    ui->can_trigger_send_msg_plainTextEdit->setPlainText(trigger.send_msg);
}

void Widget::edit_current_trigger(const std::function<void(CanTrigger&)>& change) {
    const int row = ui->can_trigger_listWidget->currentRow();
    if (row < 0 || row >= can_triggers.size()) {
        return;
    }
    CanTrigger trigger = can_triggers.at(row);
    change(trigger);
    can_triggers.replace(row, trigger);
}

void Widget::on_can_trigger_add_pushButton_clicked() {
    const qsizetype row = can_triggers.add_new();
    ui->can_trigger_listWidget->addItem(can_triggers.at(row).name);
}

void Widget::on_can_trigger_del_pushButton_clicked() {
    QListWidget* list = ui->can_trigger_listWidget;
    const int row = list->currentRow();
    if (row < 0 || list->selectedItems().isEmpty() || row >= can_triggers.size()) {
        return;
    }
    can_triggers.remove(row); // first: taking the item moves the current row
    delete list->takeItem(row);
    show_trigger_controls();
    if (can_triggers.empty()) {
        ui->can_trgger_recv_msg_lineEdit->clear();
        ui->can_trigger_send_msg_plainTextEdit->clear();
        ui->can_trigger_enabled_checkBox->setChecked(false);
        ui->can_trigger_one_shot_checkBox->setChecked(false);
    }
}

void Widget::on_can_trigger_listWidget_currentRowChanged(int) {
    show_trigger_controls();
}

void Widget::on_can_trigger_enabled_checkBox_clicked(bool checked) {
    edit_current_trigger([checked](CanTrigger& t) { t.enabled = checked; });
}

void Widget::on_can_trigger_one_shot_checkBox_toggled(bool checked) {
    edit_current_trigger([checked](CanTrigger& t) { t.one_shot = checked; });
}

void Widget::on_can_trgger_recv_msg_lineEdit_textChanged(const QString& text) {
    edit_current_trigger([&text](CanTrigger& t) { t.recv_msg = text; });
}

void Widget::on_can_trigger_send_msg_plainTextEdit_textChanged() {
    const QString text = ui->can_trigger_send_msg_plainTextEdit->toPlainText();
    edit_current_trigger([&text](CanTrigger& t) { t.send_msg = text; });
}

void Widget::on_can_trigger_enable_all_one_shots_pushButton_clicked() {
    if (can_triggers.enable_all_one_shots()) {
        show_trigger_controls();
    }
}
