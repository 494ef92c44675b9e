// The filter page: the board's 24 acceptance filters, read at every connection; Apply
// stores the shown filter's edit and writes all 24 back.
#include "app/widget.h"

#include "ui_widget.h"

#include "can/can_filters.h"
#include "protocol/commands.h"

void Widget::on_can_filters_listWidget_currentRowChanged(int row) {
    if (row < 0 || row >= filter_entry_count) {
        return;
    }
    const Filter_View view = filter_view(filters[static_cast<std::size_t>(row)]);
    ui->can_filters_id_lineEdit->setText(view.id);
    ui->can_filters_mask_lineEdit->setText(view.mask);
    ui->can_filters_enabled_checkBox->setChecked(view.active);
}

void Widget::on_can_filters_apply_pushButton_clicked() {
    const int row = ui->can_filters_listWidget->currentRow();
    if (row < 0 || row >= filter_entry_count) {
        return;
    }
    const Filter_Edit_Result result = apply_filter_edit(
        filters[static_cast<std::size_t>(row)], ui->can_filters_id_lineEdit->text(),
        ui->can_filters_mask_lineEdit->text(), ui->can_filters_enabled_checkBox->isChecked());
    if (result.id_corrected) {
        ui->can_filters_id_lineEdit->setText(filter_id_corrected);
    }
    if (result.mask_corrected) {
        ui->can_filters_mask_lineEdit->setText(filter_mask_corrected);
    }
    can_filters_send();
}

// Every pair goes out, edited or not; a failed pair does not stop the others.
void Widget::can_filters_send() {
    if (!hid.connected) {
        return;
    }
    for (int first = 0; first < filter_entry_count; first += filters_per_exchange) {
        encode_filter_pair(filters, first, request_buffer);
        hid.exchange(CMD_WRITE_FILTERS, nullptr, &request_buffer);
    }
}
