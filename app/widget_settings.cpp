// The settings file and the autostart entry: what the user sets on this side survives a restart,
// and the program can start with the desktop session.
#include "app/widget.h"

#include "ui_widget.h"

#include <QDir>
#include <QTimer>
#include <QTreeWidget>

#include "app/settings_file.h"

namespace {

constexpr std::size_t software_timers = Host_Settings::software_timers;

} // namespace

// Restores the controls and members; the slots that act on a change (autostart, head unit)
// ignore what loading does.
void Widget::load_settings() {
    const Host_Settings s = load_settings_file(storage.settings_file);
    updating_controls = true;

    autostart.enabled = s.autoload;
    ui->autoload_checkBox->setChecked(s.autoload);
    can_log_view_active = s.can_log_active;
    ui->can_log_groupBox->setChecked(s.can_log_active); // the view and its switch agree
    ui->can_mass_send_plainTextEdit->setPlainText(s.can_mass_send_text);
    vehicle.vehicle_mode = s.vehicle_mode;
    if (s.vehicle_mode == vehicle_volkswagen) {
        ui->can_head_unit_checkBox->setChecked(true);
    }
    can_log_write_enabled = s.can_write_to_log;
    ui->can_write_log_checkBox->setChecked(s.can_write_to_log);
    show_button_rows(s.button_cells);

    // The spin boxes clamp; the members take what they show, also when the value did not move.
    ui->canButtons_dblPush_delay_spinBox->setValue(s.dbl_push_delay_ms);
    button_press.dbl_push_delay_ms = ui->canButtons_dblPush_delay_spinBox->value();
    ui->canButtons_longPush_delay_spinBox->setValue(s.long_push_delay_ms);
    button_press.long_push_delay_ms = ui->canButtons_longPush_delay_spinBox->value();

    ui->can_trigger_listWidget->clear();
    can_triggers.set_from_lists(s.triggers); // all five lists agree, or no trigger
    can_triggers.set_name_counter(s.trigger_name_counter);
    for (const CanTrigger& trigger : can_triggers.all()) {
        ui->can_trigger_listWidget->addItem(trigger.name);
    }
    ui->can_all_triggers_enabled_checkBox->setChecked(s.all_triggers_enabled);

    const std::array<QSpinBox*, software_timers> intervals{ui->can_timer_1_interval_spinBox,
                                                           ui->can_timer_2_interval_spinBox,
                                                           ui->can_timer_3_interval_spinBox};
    const std::array<QCheckBox*, software_timers> enabled{ui->can_timer_1_enabled_checkBox,
                                                          ui->can_timer_2_enabled_checkBox,
                                                          ui->can_timer_3_enabled_checkBox};
    // Setting a check box does not emit clicked: its slot starts or stops the timer.
    const std::array<void (Widget::*)(bool), software_timers> enabled_clicked{
        &Widget::on_can_timer_1_enabled_checkBox_clicked,
        &Widget::on_can_timer_2_enabled_checkBox_clicked,
        &Widget::on_can_timer_3_enabled_checkBox_clicked};
    for (std::size_t n = 0; n < software_timers; ++n) {
        const Software_Timer_Settings& timer = s.timers[n];
        can_timer_text(n)->setPlainText(timer.message);
        intervals[n]->setValue(timer.interval_ms);
        can_timers[n]->setInterval(intervals[n]->value());
        enabled[n]->setChecked(timer.enabled);
        (this->*enabled_clicked[n])(timer.enabled);
    }

    hot_key_settings = s.hot_keys;
    udp_send_enabled = s.udp_send;
    ui->udpObdSend_checkBox->setChecked(s.udp_send);
    ui->canButtons_start_byte_spinBox->setValue(s.buttons_start_byte);
    can_buttons_start_byte = ui->canButtons_start_byte_spinBox->value();

    updating_controls = false;
}

// Rows of 8 cells; a list that ends inside a row leaves the rest of that row empty.
void Widget::show_button_rows(const QStringList& cells) {
    QTreeWidget* tree = ui->canButtons_combinations_treeWidget;
    {
        const QSignalBlocker quiet(tree); // one rebuild, not one per cell
        tree->clear();
        for (const Button_Cells& row : Button_Table::rows_from_list(cells)) {
            auto* item = new QTreeWidgetItem(tree); // owned by the tree
            item->setFlags(item->flags() | Qt::ItemIsEditable);
            for (int column = 0; column < button_column_count; ++column) {
                item->setText(column, row[static_cast<std::size_t>(column)]);
            }
        }
    }
    can_buttons_rebuild();
}

Host_Settings Widget::host_settings_from_controls() {
    can_buttons_start_byte = ui->canButtons_start_byte_spinBox->value();
    const std::array<const QSpinBox*, software_timers> intervals{ui->can_timer_1_interval_spinBox,
                                                                 ui->can_timer_2_interval_spinBox,
                                                                 ui->can_timer_3_interval_spinBox};
    const std::array<const QCheckBox*, software_timers> enabled{ui->can_timer_1_enabled_checkBox,
                                                                ui->can_timer_2_enabled_checkBox,
                                                                ui->can_timer_3_enabled_checkBox};
    Host_Settings s;
    s.autoload = autostart.enabled;
    s.can_log_active = can_log_view_active;
    s.can_mass_send_text = ui->can_mass_send_plainTextEdit->toPlainText();
    s.vehicle_mode = vehicle.vehicle_mode;
    s.can_write_to_log = can_log_write_enabled;
    s.button_cells = can_buttons.to_list();
    s.dbl_push_delay_ms = button_press.dbl_push_delay_ms;
    s.long_push_delay_ms = button_press.long_push_delay_ms;
    s.trigger_name_counter = can_triggers.name_counter();
    s.triggers = can_triggers.to_lists();
    s.all_triggers_enabled = ui->can_all_triggers_enabled_checkBox->isChecked();
    for (std::size_t n = 0; n < software_timers; ++n) {
        s.timers[n] = {can_timer_text(n)->toPlainText(), intervals[n]->value(),
                       enabled[n]->isChecked()};
    }
    s.hot_keys = hot_key_settings;
    s.udp_send = udp_send_enabled;
    s.buttons_start_byte = can_buttons_start_byte;
    return s;
}

void Widget::save_settings() {
    if (storage.settings_file.isEmpty()) {
        return;
    }
    const QSettings::Status status =
        save_settings_file(storage.settings_file, host_settings_from_controls());
    report_file_problem(&File_Problems::settings,
                        status == QSettings::AccessError
                            ? tr("Настройки не сохранены: нет доступа к %1")
                                  .arg(QDir::toNativeSeparators(storage.settings_file))
                            : QString());
}

void Widget::on_autoload_checkBox_toggled(bool checked) {
    if (updating_controls) {
        return;
    }
    autoload_set(checked);
}

// The user's choice stands even when the entry could not be changed; the status line says so.
void Widget::autoload_set(bool on) {
    const QString problem = on ? autostart.write_entry() : autostart.remove_entry();
    autostart.enabled = on;
    report_file_problem(&File_Problems::autostart,
                        problem.isEmpty() ? QString()
                                          : tr("Автозагрузка не изменена: %1").arg(problem));
}

// A problem is said once on the debug channel and stays on the status line until the same
// file is written again without one.
void Widget::report_file_problem(QString File_Problems::*which, const QString& problem) {
    QString& current = file_problems.*which;
    if (current == problem) {
        return;
    }
    current = problem;
    if (!problem.isEmpty()) {
        qWarning().noquote() << problem;
    }
    QStringList shown;
    for (const QString* text : {&file_problems.settings, &file_problems.autostart}) {
        if (!text->isEmpty()) {
            shown << *text;
        }
    }
    const QString text = shown.join(QStringLiteral("; "));
    QLabel* line = ui->settings_status_label;
    line->setToolTip(text);
    line->setText(line->fontMetrics().elidedText(text, Qt::ElideMiddle, line->width()));
    line->setVisible(!text.isEmpty());
}
