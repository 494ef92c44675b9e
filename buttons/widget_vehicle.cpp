// Vehicle profiles: the four mode buttons, the head-unit emulation's preset and start-up, and
// the profile's reading of every received frame.
#include "app/widget.h"

#include "ui_widget.h"

#include <QTimer>

void Widget::select_vehicle_mode(int mode, QPushButton* clicked) {
    apply_vehicle_mode(mode);
    clicked->setEnabled(false); // the poll tail enables the others
}

void Widget::on_canGenericMode_pushButton_clicked() {
    select_vehicle_mode(vehicle_generic, ui->canGenericMode_pushButton);
}

void Widget::on_canVolkswagenMode_pushButton_clicked() {
    select_vehicle_mode(vehicle_volkswagen, ui->canVolkswagenMode_pushButton);
}

void Widget::on_canOpelMode_pushButton_clicked() {
    select_vehicle_mode(vehicle_opel, ui->canOpelMode_pushButton);
}

void Widget::on_canVolvoMode_pushButton_clicked() {
    select_vehicle_mode(vehicle_volvo, ui->canVolvoMode_pushButton);
}

void Widget::on_can_head_unit_checkBox_toggled(bool checked) {
    if (updating_controls) {
        return;
    }
    apply_vehicle_mode(checked ? vehicle_volkswagen : vehicle_generic);
}

// Another profile leaves the triggers, timers and display queue as they are; Volkswagen puts its
// preset in their place.
void Widget::apply_vehicle_mode(int mode) {
    vehicle.vehicle_mode = mode;
    if (mode != vehicle_volkswagen) {
        vehicle.head_unit_start_pending = true;
        return;
    }
    ui->can_trigger_listWidget->clear();
    can_triggers.clear();
    ui->can_trgger_recv_msg_lineEdit->clear();
    ui->can_trigger_send_msg_plainTextEdit->clear();
    ui->can_trigger_enabled_checkBox->setChecked(false);
    ui->can_trigger_one_shot_checkBox->setChecked(false);
    for (const CanTrigger& trigger : volkswagen_preset_triggers()) {
        can_triggers.append(trigger);
        ui->can_trigger_listWidget->addItem(trigger.name);
    }
    ui->can_all_triggers_enabled_checkBox->setChecked(true);
    on_can_trigger_enable_all_one_shots_pushButton_clicked();

    const std::array<QCheckBox*, 3> enabled{ui->can_timer_1_enabled_checkBox,
                                            ui->can_timer_2_enabled_checkBox,
                                            ui->can_timer_3_enabled_checkBox};
    const std::array<QSpinBox*, 3> intervals{ui->can_timer_1_interval_spinBox,
                                             ui->can_timer_2_interval_spinBox,
                                             ui->can_timer_3_interval_spinBox};
    const auto& timers = volkswagen_preset_timers();
    for (std::size_t n = 0; n < timers.size(); ++n) {
        can_timer_text(n)->setPlainText(timers[n].frame.toString());
        intervals[n]->setValue(timers[n].interval_ms);
        can_timers[n]->setInterval(timers[n].interval_ms);
        enabled[n]->setChecked(true);
        can_timer_enable(n, true);
    }
    vehicle.head_unit_start_pending = true;
}

// Once each time the bus becomes active: the dialogue with the display starts over.
void Widget::head_unit_start_sequence() {
    on_can_trigger_enable_all_one_shots_pushButton_clicked();
    vehicle.vw_source_active = false;
    can_send_text(head_unit_start_frame);
    can_text.set_counter(head_unit_start_counter);
    vehicle.head_unit_start_pending = false;
}

void Widget::vehicle_frame_reaction(const CanFrame& frame, std::uint32_t id, QStringView text) {
    vehicle.frame_reaction(frame, id, text,
                           {can_buttons, can_buttons_start_byte, button_press, can_text},
                           vehicle_effects);
}
