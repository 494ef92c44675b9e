// Display text: the "CAN Text" page queues a byte stream for the vehicle's display; the
// head-unit emulation sends it a block at a time as the display acknowledges.
#include "app/widget.h"

#include "ui_widget.h"

void Widget::on_can_text_uni_send_pushButton_clicked() {
    can_text.queue_text(ui->can_text_uni_plainTextEdit->toPlainText());
}

bool Widget::can_text_queue_send() {
    const Display_Block block = can_text.send_block();
    if (!block.frames.isEmpty()) {
        can_send_text(block.frames);
    }
    return block.more;
}

void Widget::on_can_text_1_send_pushButton_clicked() {
    can_send_text(can_text.direct_text(ui->can_text_1_plainTextEdit->toPlainText()));
}

void Widget::on_can_text_2_send_pushButton_clicked() {
    can_send_text(can_text.direct_text(ui->can_text_2_plainTextEdit->toPlainText()));
}

void Widget::on_can_text_double_send_pushButton_clicked() {
    on_can_text_1_send_pushButton_clicked();
    can_text.set_more_pending(true);
}
