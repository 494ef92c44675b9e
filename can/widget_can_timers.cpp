// CAN timers: three software timers that send their frame texts while the bus is active,
// and the board's two hardware timers, read at every connection and written on Apply.
#include "app/widget.h"

#include "ui_widget.h"

#include <QTimer>

#include "can/can_text.h"
#include "protocol/commands.h"

namespace {
constexpr std::size_t software_timers = 3;
} // namespace

void Widget::create_can_timers() {
    const std::array<QSpinBox*, software_timers> intervals{ui->can_timer_1_interval_spinBox,
                                                           ui->can_timer_2_interval_spinBox,
                                                           ui->can_timer_3_interval_spinBox};
    const std::array<void (Widget::*)(), software_timers> handlers{
        &Widget::can_timer_1_handler, &Widget::can_timer_2_handler, &Widget::can_timer_3_handler};
    for (std::size_t n = 0; n < software_timers; ++n) {
        can_timers[n] = new QTimer(this);
        can_timers[n]->setObjectName(QStringLiteral("can_timer_%1").arg(n + 1));
        can_timers[n]->setInterval(intervals[n]->value());
        connect(can_timers[n], &QTimer::timeout, this, handlers[n]);
    }
}

QPlainTextEdit* Widget::can_timer_text(std::size_t timer) const {
    const std::array<QPlainTextEdit*, software_timers> texts{
        ui->can_timer_1_send_msg_plainTextEdit, ui->can_timer_2_send_msg_plainTextEdit,
        ui->can_timer_3_send_msg_plainTextEdit};
    return texts.at(timer);
}

// A tick while the board is away or the bus inactive is dropped; the timer runs on.
void Widget::can_timer_tick(std::size_t timer) {
    if (!can_active || !hid.connected) {
        return;
    }
    can_send_text(can_timer_text(timer)->toPlainText());
}

void Widget::can_timer_1_handler() {
    can_timer_tick(0);
}

void Widget::can_timer_2_handler() {
    can_timer_tick(1);
}

void Widget::can_timer_3_handler() {
    can_timer_tick(2);
}

// A running timer's text cannot be edited: what it sends is what the box shows.
void Widget::can_timer_enable(std::size_t timer, bool on) {
    can_timer_text(timer)->setEnabled(!on);
    if (on) {
        can_timers[timer]->start();
    } else {
        can_timers[timer]->stop();
    }
}

void Widget::on_can_timer_1_enabled_checkBox_clicked(bool checked) {
    can_timer_enable(0, checked);
}

void Widget::on_can_timer_2_enabled_checkBox_clicked(bool checked) {
    can_timer_enable(1, checked);
}

void Widget::on_can_timer_3_enabled_checkBox_clicked(bool checked) {
    can_timer_enable(2, checked);
}

// QTimer::setInterval restarts a running timer: its next tick comes one new interval on.
void Widget::can_timer_interval(std::size_t timer, int ms) {
    if (can_timers[timer] != nullptr) {
        can_timers[timer]->setInterval(ms);
    }
}

void Widget::on_can_timer_1_interval_spinBox_valueChanged(int value) {
    can_timer_interval(0, value);
}

void Widget::on_can_timer_2_interval_spinBox_valueChanged(int value) {
    can_timer_interval(1, value);
}

void Widget::on_can_timer_3_interval_spinBox_valueChanged(int value) {
    can_timer_interval(2, value);
}

// Hardware timers.

Widget::Hw_Timer_Controls Widget::hw_timer_controls(std::size_t timer) const {
    if (timer == 0) {
        return {ui->can_hw_timer_1_enabled_checkBox, ui->can_hw_timer_1_interval_spinBox,
                ui->can_hw_timer_1_send_msg_plainTextEdit, ui->can_hw_timer_1_note_label};
    }
    return {ui->can_hw_timer_2_enabled_checkBox, ui->can_hw_timer_2_interval_spinBox,
            ui->can_hw_timer_2_send_msg_plainTextEdit, ui->can_hw_timer_2_note_label};
}

void Widget::fill_hw_timer_controls(std::size_t timer) {
    const Hw_Timer_Record& record = hw_timers[timer];
    const Hw_Timer_Controls c = hw_timer_controls(timer);
    c.enabled->setChecked(record.enabled);
    c.interval->setValue(record.interval);
    c.frame->setPlainText(can_frame_to_text(record.frame));
}

void Widget::mark_hw_timers_changed() {
    if (!updating_controls) {
        ui->can_hw_timers_apply_pushButton->setEnabled(true);
    }
}

void Widget::on_can_hw_timer_1_enabled_checkBox_toggled(bool) {
    mark_hw_timers_changed();
}

void Widget::on_can_hw_timer_2_enabled_checkBox_toggled(bool) {
    mark_hw_timers_changed();
}

void Widget::on_can_hw_timer_1_interval_spinBox_valueChanged(int) {
    mark_hw_timers_changed();
}

void Widget::on_can_hw_timer_2_interval_spinBox_valueChanged(int) {
    mark_hw_timers_changed();
}

void Widget::on_can_hw_timer_1_send_msg_plainTextEdit_textChanged() {
    mark_hw_timers_changed();
}

void Widget::on_can_hw_timer_2_send_msg_plainTextEdit_textChanged() {
    mark_hw_timers_changed();
}

// Both timers from their first valid frame line. A box without one leaves its timer as the
// board has it and says so beside the box: no undefined frame goes to the board.
void Widget::on_can_hw_timers_apply_pushButton_clicked() {
    ui->can_hw_timers_apply_pushButton->setEnabled(false);
    if (!hid.connected) {
        return;
    }
    for (std::size_t n = 0; n < hw_timers.size(); ++n) {
        const Hw_Timer_Controls c = hw_timer_controls(n);
        const std::optional<CanFrame> frame = can_text_first_frame(c.frame->toPlainText());
        c.note->setVisible(!frame);
        if (!frame) {
            c.note->setText(tr("Нет ни одной верной строки кадра: таймер не записан."));
            continue;
        }
        const Hw_Timer_Record record{c.enabled->isChecked(),
                                     static_cast<std::uint16_t>(c.interval->value()), *frame};
        encode_hw_timer(static_cast<std::uint8_t>(n), record, request_buffer);
        hid.exchange(CMD_WRITE_HW_TIMER, nullptr, &request_buffer);
    }
}
