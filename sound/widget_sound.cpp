// The sound tab: every control edits one field of the sound processor's registers and
// recomposes the bytes that hold it in sound_image; the poll writes the whole image back on
// every pass, so nothing is sent from here. The image is read back once per connection.
#include "app/widget.h"

#include "ui_widget.h"

namespace {

constexpr std::size_t input_4_button = 3; // Input 4 in a row of source buttons

} // namespace

// A user's change: the field changes and the registers that hold it are recomposed. While
// the program fills the controls itself, nothing changes.
void Widget::edit_sound(const std::function<void(Sound_Fields&)>& change,
                        std::initializer_list<std::size_t> registers) {
    if (updating_controls) {
        return;
    }
    change(sound_fields);
    for (const std::size_t byte : registers) {
        recompose_sound_byte(sound_fields, byte, sound_image);
    }
}

void Widget::edit_sound_index(std::uint8_t Sound_Fields::*field, int index,
                              std::initializer_list<std::size_t> registers) {
    if (index < 0) {
        return; // an emptied selector selects nothing
    }
    edit_sound([=](Sound_Fields& f) { f.*field = static_cast<std::uint8_t>(index); }, registers);
}

void Widget::show_db(QLineEdit* field, int value) {
    field->setText(QString::number(value) + tr(" db"));
}

void Widget::edit_output_level(Sound_Output output, QLineEdit* field, int db) {
    show_db(field, db);
    edit_sound([=](Sound_Fields& f) { f.output(output).code = encode_attenuation(db); },
               {output_register[static_cast<std::size_t>(output)]});
}

void Widget::edit_output_mute(Sound_Output output, bool mute) {
    edit_sound([=](Sound_Fields& f) { f.output(output).mute = mute; },
               {output_register[static_cast<std::size_t>(output)]});
}

void Widget::edit_main_input(std::uint8_t code) {
    edit_sound([=](Sound_Fields& f) { f.main_input_code = code; }, {sound_byte::main_source});
}

void Widget::edit_second_input(std::uint8_t code) {
    edit_sound([=](Sound_Fields& f) { f.second_input_code = code; }, {sound_byte::second_source});
}

std::array<QRadioButton*, 4> Widget::main_input_buttons() const {
    return {ui->input_1_radioButton, ui->input_2_radioButton, ui->input_3_radioButton,
            ui->input_4_radioButton};
}

std::array<QRadioButton*, 4> Widget::second_input_buttons() const {
    return {ui->sec_input_1_radioButton, ui->sec_input_2_radioButton, ui->sec_input_3_radioButton,
            ui->sec_input_4_radioButton};
}

// Runs inside the first-connect sequence with updating_controls set, right after the image
// was read: the slider handlers only refresh their texts, the soft-mute handler alone
// rewrites its byte.
void Widget::fill_sound_controls() {
    for (QWidget* w :
         {static_cast<QWidget*>(ui->pri_source_groupBox),
          static_cast<QWidget*>(ui->sec_source_groupBox), static_cast<QWidget*>(ui->sub_groupBox),
          static_cast<QWidget*>(ui->sec_source_gain_groupBox),
          static_cast<QWidget*>(ui->rear_speaker_source_comboBox)}) {
        w->setEnabled(true);
    }
    // Only inputs 2 and 3 are wired on the board; 1 and 4 stay out of reach for the run.
    for (const auto& buttons : {main_input_buttons(), second_input_buttons()}) {
        buttons.front()->setEnabled(false);
        buttons[input_4_button]->setEnabled(false);
    }

    sound_fields = decode_sound_image(sound_image);
    const Sound_Fields& f = sound_fields;
    if (const int input = source_code::input_of(f.main_input_code); input >= 0) {
        main_input_buttons()[static_cast<std::size_t>(input)]->setChecked(true);
    }
    ui->autozero_checkBox->setChecked(!f.autozero_off);
    ui->input_gain_horizontalSlider->setValue(f.main_input_gain);
    ui->volume_mute_checkBox->setChecked(f.volume_mute);
    ui->volume_horizontalSlider->setValue(decode_attenuation(f.volume_code));
    ui->soft_mute_checkBox->setChecked(!f.soft_mute_off);
    ui->hard_mute_checkBox->setChecked(f.hard_mute);

    const std::array<QSlider*, sound_output_count> levels{
        ui->fl_horizontalSlider, ui->fr_horizontalSlider, ui->rl_horizontalSlider,
        ui->rr_horizontalSlider, ui->sub_horizontalSlider};
    const std::array<QCheckBox*, sound_output_count> mutes{
        ui->fl_mute_checkBox, ui->fr_mute_checkBox, ui->rl_mute_checkBox, ui->rr_mute_checkBox,
        ui->sub_mute_checkBox};
    for (std::size_t k = 0; k < sound_output_count; ++k) {
        levels[k]->setValue(decode_attenuation(f.outputs[k].code));
        mutes[k]->setChecked(f.outputs[k].mute);
    }

    ui->treble_gain_horizontalSlider->setValue(decode_tone_gain(f.treble_gain_code));
    ui->treble_cf_comboBox->setCurrentIndex(f.treble_center_index);
    ui->middle_gain_horizontalSlider->setValue(decode_tone_gain(f.middle_gain_code));
    ui->middle_qf_comboBox->setCurrentIndex(f.middle_q_index);
    ui->bass_gain_horizontalSlider->setValue(decode_tone_gain(f.bass_gain_code));
    ui->bass_qf_comboBox->setCurrentIndex(f.bass_q_index);
    ui->sub_cut_off_comboBox->setCurrentIndex(f.subwoofer_cutoff_index);
    ui->middle_cf_comboBox->setCurrentIndex(f.middle_center_index);
    ui->bass_cf_comboBox->setCurrentIndex(f.bass_center_index);

    ui->rear_speaker_source_comboBox->setCurrentIndex(f.rear_source_index);
    ui->sec_input_gain_horizontalSlider->setValue(f.second_input_gain);
    const int second = source_code::input_of(f.second_input_code);
    (second >= 0 ? second_input_buttons()[static_cast<std::size_t>(second)]
                 : ui->sec_input_mute_radioButton)
        ->setChecked(true);
}

void Widget::on_volume_horizontalSlider_valueChanged(int value) {
    show_db(ui->volume_lineEdit, value);
    edit_sound([=](Sound_Fields& f) { f.volume_code = encode_attenuation(value); },
               {sound_byte::volume});
}

void Widget::on_volume_mute_checkBox_toggled(bool checked) {
    edit_sound([=](Sound_Fields& f) { f.volume_mute = checked; }, {sound_byte::volume});
}

void Widget::on_hard_mute_checkBox_toggled(bool checked) {
    edit_sound([=](Sound_Fields& f) { f.hard_mute = checked; }, {sound_byte::hard_mute});
}

// Also while the image is read back: the byte is then rewritten whole, as 0xFE or 0xFF.
void Widget::on_soft_mute_checkBox_toggled(bool checked) {
    sound_fields.soft_mute_off = !checked;
    recompose_sound_byte(sound_fields, sound_byte::soft_mute, sound_image);
}

void Widget::on_input_gain_horizontalSlider_valueChanged(int value) {
    show_db(ui->input_lineEdit, value);
    edit_sound([=](Sound_Fields& f) { f.main_input_gain = static_cast<std::uint8_t>(value); },
               {sound_byte::main_source});
}

void Widget::on_input_1_radioButton_clicked() {
    edit_main_input(source_code::input_1);
}
void Widget::on_input_2_radioButton_clicked() {
    edit_main_input(source_code::input_2);
}
void Widget::on_input_3_radioButton_clicked() {
    edit_main_input(source_code::input_3);
}
void Widget::on_input_4_radioButton_clicked() {
    edit_main_input(source_code::input_4);
}

void Widget::on_autozero_checkBox_toggled(bool checked) {
    edit_sound([=](Sound_Fields& f) { f.autozero_off = !checked; }, {sound_byte::main_source});
}

void Widget::on_sec_input_1_radioButton_clicked() {
    edit_second_input(source_code::input_1);
}
void Widget::on_sec_input_2_radioButton_clicked() {
    edit_second_input(source_code::input_2);
}
void Widget::on_sec_input_3_radioButton_clicked() {
    edit_second_input(source_code::input_3);
}
void Widget::on_sec_input_4_radioButton_clicked() {
    edit_second_input(source_code::input_4);
}
void Widget::on_sec_input_mute_radioButton_clicked() {
    edit_second_input(source_code::muted);
}

void Widget::on_sec_input_gain_horizontalSlider_valueChanged(int value) {
    show_db(ui->sec_input_lineEdit, value);
    edit_sound([=](Sound_Fields& f) { f.second_input_gain = static_cast<std::uint8_t>(value); },
               {sound_byte::second_source});
}

void Widget::on_rear_speaker_source_comboBox_currentIndexChanged(int index) {
    edit_sound_index(&Sound_Fields::rear_source_index, index, {sound_byte::second_source});
}

void Widget::on_fl_horizontalSlider_valueChanged(int value) {
    edit_output_level(Sound_Output::front_left, ui->fl_lineEdit, value);
}
void Widget::on_fr_horizontalSlider_valueChanged(int value) {
    edit_output_level(Sound_Output::front_right, ui->fr_lineEdit, value);
}
void Widget::on_rl_horizontalSlider_valueChanged(int value) {
    edit_output_level(Sound_Output::rear_left, ui->rl_lineEdit, value);
}
void Widget::on_rr_horizontalSlider_valueChanged(int value) {
    edit_output_level(Sound_Output::rear_right, ui->rr_lineEdit, value);
}
void Widget::on_sub_horizontalSlider_valueChanged(int value) {
    edit_output_level(Sound_Output::subwoofer, ui->sub_lineEdit, value);
}

void Widget::on_fl_mute_checkBox_toggled(bool checked) {
    edit_output_mute(Sound_Output::front_left, checked);
}
void Widget::on_fr_mute_checkBox_toggled(bool checked) {
    edit_output_mute(Sound_Output::front_right, checked);
}
void Widget::on_rl_mute_checkBox_toggled(bool checked) {
    edit_output_mute(Sound_Output::rear_left, checked);
}
void Widget::on_rr_mute_checkBox_toggled(bool checked) {
    edit_output_mute(Sound_Output::rear_right, checked);
}
void Widget::on_sub_mute_checkBox_toggled(bool checked) {
    edit_output_mute(Sound_Output::subwoofer, checked);
}

void Widget::on_treble_gain_horizontalSlider_valueChanged(int value) {
    show_db(ui->treble_lineEdit, value);
    edit_sound([=](Sound_Fields& f) { f.treble_gain_code = encode_tone_gain(value); },
               {sound_byte::treble});
}
void Widget::on_middle_gain_horizontalSlider_valueChanged(int value) {
    show_db(ui->middle_lineEdit, value);
    edit_sound([=](Sound_Fields& f) { f.middle_gain_code = encode_tone_gain(value); },
               {sound_byte::middle, sound_byte::frequencies});
}
void Widget::on_bass_gain_horizontalSlider_valueChanged(int value) {
    show_db(ui->bass_lineEdit, value);
    edit_sound([=](Sound_Fields& f) { f.bass_gain_code = encode_tone_gain(value); },
               {sound_byte::bass, sound_byte::frequencies});
}

void Widget::on_treble_cf_comboBox_currentIndexChanged(int index) {
    edit_sound_index(&Sound_Fields::treble_center_index, index, {sound_byte::treble});
}
void Widget::on_middle_cf_comboBox_currentIndexChanged(int index) {
    edit_sound_index(&Sound_Fields::middle_center_index, index,
                     {sound_byte::middle, sound_byte::frequencies});
}
void Widget::on_middle_qf_comboBox_currentIndexChanged(int index) {
    edit_sound_index(&Sound_Fields::middle_q_index, index,
                     {sound_byte::middle, sound_byte::frequencies});
}
void Widget::on_bass_cf_comboBox_currentIndexChanged(int index) {
    edit_sound_index(&Sound_Fields::bass_center_index, index,
                     {sound_byte::bass, sound_byte::frequencies});
}
void Widget::on_bass_qf_comboBox_currentIndexChanged(int index) {
    edit_sound_index(&Sound_Fields::bass_q_index, index,
                     {sound_byte::bass, sound_byte::frequencies});
}
void Widget::on_sub_cut_off_comboBox_currentIndexChanged(int index) {
    edit_sound_index(&Sound_Fields::subwoofer_cutoff_index, index,
                     {sound_byte::bass, sound_byte::frequencies});
}
