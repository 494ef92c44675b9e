// The "CAN Buttons" page: the combination table and its delays, the timing of presses, the
// action texts they run, and the global hot keys that reach the sound controls.
#include "app/widget.h"

#include "ui_widget.h"

#include <QTreeWidget>

#include "buttons/global_hot_keys.h"
#include "buttons/key_sender.h"
#include "protocol/commands.h"

namespace {

const QString token_volume_up = QStringLiteral("{SndAmp_VOL_UP}");
const QString token_volume_down = QStringLiteral("{SndAmp_VOL_DOWN}");
const QString token_player_volume_up = QStringLiteral("{PL_VOL_UP}");
const QString token_player_volume_down = QStringLiteral("{PL_VOL_DOWN}");

} // namespace

void Widget::create_button_controls() {
    button_press.dbl_push_delay_ms = ui->canButtons_dblPush_delay_spinBox->value();
    button_press.long_push_delay_ms = ui->canButtons_longPush_delay_spinBox->value();
    can_buttons_start_byte = ui->canButtons_start_byte_spinBox->value();
    can_buttons_rebuild();
    vehicle_effects.display_queue_send = [this] { return can_text_queue_send(); };
    vehicle_effects.execute_key_action = [this](const QString& text) { execute_key_action(text); };
    key_sender = Key_Sender::open();
    if (key_sender) {
        send_keys = [sender = key_sender.get()](QStringView text) { sender->send(text); };
    }
}

// The tree is what the user edits; the table is what the receive path reads.
void Widget::can_buttons_rebuild() {
    const QTreeWidget* tree = ui->canButtons_combinations_treeWidget;
    std::vector<Button_Cells> rows;
    rows.reserve(static_cast<std::size_t>(tree->topLevelItemCount()));
    for (int index = 0; index < tree->topLevelItemCount(); ++index) {
        const QTreeWidgetItem* item = tree->topLevelItem(index);
        Button_Cells cells;
        for (int column = 0; column < button_column_count; ++column) {
            cells[static_cast<std::size_t>(column)] = item->text(column);
        }
        rows.push_back(cells);
    }
    can_buttons.set_rows(std::move(rows));
}

void Widget::on_canButtons_add_pushButton_clicked() {
    QTreeWidget* tree = ui->canButtons_combinations_treeWidget;
    auto* item = new QTreeWidgetItem(); // owned by the tree from the next line on
    tree->addTopLevelItem(item);
    const Button_Cells cells = new_button_cells();
    const QSignalBlocker quiet(tree); // one rebuild, not one per cell
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    for (int column = 0; column < button_column_count; ++column) {
        item->setText(column, cells[static_cast<std::size_t>(column)]);
    }
    can_buttons_rebuild();
}

void Widget::on_canButtons_delete_pushButton_clicked() {
    const QList<QTreeWidgetItem*> selected =
        ui->canButtons_combinations_treeWidget->selectedItems();
    qDeleteAll(selected);
    can_buttons_rebuild();
}

void Widget::on_canButtons_combinations_treeWidget_itemChanged(QTreeWidgetItem*, int) {
    can_buttons_rebuild();
}

void Widget::on_canButtons_dblPush_delay_spinBox_valueChanged(int value) {
    button_press.dbl_push_delay_ms = value;
}

void Widget::on_canButtons_longPush_delay_spinBox_valueChanged(int value) {
    button_press.long_push_delay_ms = value;
}

// Runs after every received frame and once per receive step, while the bus is active.
void Widget::button_press_step() {
    const Press_Timing::Actions actions = button_press.step(can_buttons, poll_clock());
    for (int k = 0; k < actions.count; ++k) {
        const Press_Action& action = actions.list[static_cast<std::size_t>(k)];
        execute_key_action(can_buttons.cell(action.row, action.column));
    }
}

void Widget::execute_key_action(const QString& text) {
    if (text.isEmpty() || text == token_player_volume_up || text == token_player_volume_down) {
        return;
    }
    if (text == token_volume_up) {
        volume_step(+1);
    } else if (text == token_volume_down) {
        volume_step(-1);
    } else if (send_keys) {
        send_keys(text);
    }
}

// The rear outputs playing the secondary source move with the front ones instead of the master
// volume, all five together or none.
void Widget::volume_step(int step) {
    constexpr std::uint8_t rear_plays_secondary = 1;
    constexpr std::uint8_t last_secondary_input = 4; // codes above it mute the secondary source
    if (sound_fields.rear_source_index != rear_plays_secondary ||
        sound_fields.second_input_code > last_secondary_input) {
        ui->volume_horizontalSlider->setValue(ui->volume_horizontalSlider->value() + step);
        return;
    }
    const std::array<QSlider*, 5> outputs{ui->fl_horizontalSlider, ui->fr_horizontalSlider,
                                          ui->rl_horizontalSlider, ui->rr_horizontalSlider,
                                          ui->sub_horizontalSlider};
    for (const QSlider* slider : outputs) {
        if (slider->value() == (step > 0 ? slider->maximum() : slider->minimum())) {
            return;
        }
    }
    for (QSlider* slider : outputs) {
        slider->setValue(slider->value() + step);
    }
}

void Widget::subwoofer_step(int step) {
    ui->sub_horizontalSlider->setValue(ui->sub_horizontalSlider->value() + step);
}

// Once per run; a key another program holds is left to it, the others still work.
void Widget::register_hot_keys() {
    if (hot_keys == nullptr) {
        hot_keys = new Global_Hot_Keys(this);
        connect(hot_keys, &Global_Hot_Keys::pressed, this, &Widget::hot_key_pressed);
        if (!hot_keys->open()) {
            return; // no X11 display: no hot keys, nothing to report
        }
    }
    for (const Hot_Key& key : hot_key_table(hot_key_settings)) {
        hot_keys->register_hot_key(key.id, key.modifiers, key.key);
    }
}

void Widget::hot_key_pressed(int id) {
    if (!hid.connected || updating_controls) {
        return;
    }
    switch (id) {
    case hot_key_volume_up:
        volume_step(+1);
        break;
    case hot_key_volume_down:
        volume_step(-1);
        break;
    case hot_key_subwoofer_up:
        subwoofer_step(+1);
        break;
    case hot_key_subwoofer_down:
        subwoofer_step(-1);
        break;
    case hot_key_hard_mute:
        ui->hard_mute_checkBox->toggle();
        break;
    default:
        break;
    }
}
