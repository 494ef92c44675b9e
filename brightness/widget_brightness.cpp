// The brightness tab: the seven-point curve with its settings, read at each connection and
// sent by Apply; manual mode, whose value the poll sends; the present light value and
// brightness, shown as numbers and in the curve's picture.
#include "app/widget.h"

#include "ui_widget.h"

#include "app/text_fields.h"
#include "brightness/curve_plot.h"
#include "protocol/commands.h"

namespace {

constexpr int plot_column = curve_points + 1; // right of the seven point columns
constexpr int plot_rows = 3;                  // percentage, slider and light rows

} // namespace

void Widget::create_curve_plot() {
    curve_plot = new Curve_Plot(ui->auto_groupBox);
    curve_plot->setObjectName(QStringLiteral("curve_plot"));
    ui->pwm_curve_gridLayout->addWidget(curve_plot, 0, plot_column, plot_rows, 1);
    refresh_curve_plot();
}

std::array<QSlider*, curve_points> Widget::curve_sliders() const {
    return {ui->auto_1_verticalSlider, ui->auto_2_verticalSlider, ui->auto_3_verticalSlider,
            ui->auto_4_verticalSlider, ui->auto_5_verticalSlider, ui->auto_6_verticalSlider,
            ui->auto_7_verticalSlider};
}

std::array<QSpinBox*, curve_points> Widget::curve_light_spin_boxes() const {
    return {ui->auto_1_light_spinBox, ui->auto_2_light_spinBox, ui->auto_3_light_spinBox,
            ui->auto_4_light_spinBox, ui->auto_5_light_spinBox, ui->auto_6_light_spinBox,
            ui->auto_7_light_spinBox};
}

std::array<QLineEdit*, curve_points> Widget::curve_percent_fields() const {
    return {ui->auto_1_lineEdit, ui->auto_2_lineEdit, ui->auto_3_lineEdit, ui->auto_4_lineEdit,
            ui->auto_5_lineEdit, ui->auto_6_lineEdit, ui->auto_7_lineEdit};
}

Curve_Settings Widget::curve_from_controls() const {
    Curve_Settings s;
    const auto sliders = curve_sliders();
    const auto lights = curve_light_spin_boxes();
    for (std::size_t n = 0; n < s.points.size(); ++n) {
        s.points[n] = {lights[n]->value(), sliders[n]->value()};
    }
    s.step_delay = ui->pwm_step_delay_spinBox->value();
    s.slide_delay = ui->pwm_slide_delay_spinBox->value();
    s.smoothing = ui->pwm_smooth_alg_checkBox->isChecked();
    return s;
}

// The picture shows the controls, applied or not, and the board's present values.
void Widget::refresh_curve_plot() {
    if (curve_plot) {
        curve_plot->set_points(curve_from_controls().points);
        curve_plot->set_present(pwm_light_value(pwm_image), pwm_present_value(pwm_image));
    }
}

// Runs in the first-connect sequence with updating_controls set, after the whole image was
// read.
void Widget::fill_brightness_controls() {
    const Curve_Settings s = decode_curve(pwm_image);
    const auto sliders = curve_sliders();
    const auto lights = curve_light_spin_boxes();
    const auto percents = curve_percent_fields();
    for (std::size_t n = 0; n < s.points.size(); ++n) {
        sliders[n]->setValue(s.points[n].pwm);
        lights[n]->setValue(s.points[n].light);
        percents[n]->setText(brightness_percent(sliders[n]->value()));
    }
    ui->pwm_step_delay_spinBox->setValue(s.step_delay);
    ui->pwm_slide_delay_spinBox->setValue(s.slide_delay);
    ui->pwm_smooth_alg_checkBox->setChecked(s.smoothing);
    refresh_curve_plot();
}

// Every steady-state pass, after the live part of the image was read.
void Widget::show_present_brightness() {
    set_text_if_changed(ui->brightness_lineEdit, brightness_percent(pwm_present_value(pwm_image)));
    refresh_curve_plot();
}

void Widget::mark_curve_changed() {
    if (!updating_controls) {
        ui->pwm_apply_pushButton->setEnabled(true);
    }
}

void Widget::curve_light_edited() {
    mark_curve_changed();
    refresh_curve_plot();
}

void Widget::curve_point_moved(std::size_t point, int value) {
    if (!updating_controls) {
        curve_percent_fields()[point]->setText(brightness_percent(value));
        ui->pwm_apply_pushButton->setEnabled(true);
    }
    refresh_curve_plot();
}

void Widget::on_auto_1_light_spinBox_valueChanged(int) {
    curve_light_edited();
}
void Widget::on_auto_2_light_spinBox_valueChanged(int) {
    curve_light_edited();
}
void Widget::on_auto_3_light_spinBox_valueChanged(int) {
    curve_light_edited();
}
void Widget::on_auto_4_light_spinBox_valueChanged(int) {
    curve_light_edited();
}
void Widget::on_auto_5_light_spinBox_valueChanged(int) {
    curve_light_edited();
}
void Widget::on_auto_6_light_spinBox_valueChanged(int) {
    curve_light_edited();
}
void Widget::on_auto_7_light_spinBox_valueChanged(int) {
    curve_light_edited();
}

void Widget::on_auto_1_verticalSlider_valueChanged(int value) {
    curve_point_moved(0, value);
}
void Widget::on_auto_2_verticalSlider_valueChanged(int value) {
    curve_point_moved(1, value);
}
void Widget::on_auto_3_verticalSlider_valueChanged(int value) {
    curve_point_moved(2, value);
}
void Widget::on_auto_4_verticalSlider_valueChanged(int value) {
    curve_point_moved(3, value);
}
void Widget::on_auto_5_verticalSlider_valueChanged(int value) {
    curve_point_moved(4, value);
}
void Widget::on_auto_6_verticalSlider_valueChanged(int value) {
    curve_point_moved(5, value);
}
void Widget::on_auto_7_verticalSlider_valueChanged(int value) {
    curve_point_moved(6, value);
}

void Widget::on_pwm_step_delay_spinBox_valueChanged(int) {
    mark_curve_changed();
}
void Widget::on_pwm_slide_delay_spinBox_valueChanged(int) {
    mark_curve_changed();
}

// Linear interpolation moves without steps, so there is no step delay to set.
void Widget::on_pwm_smooth_alg_checkBox_toggled(bool checked) {
    mark_curve_changed();
    ui->pwm_step_delay_spinBox->setEnabled(!checked);
}

// The curve goes to the board only here. Bytes 0..4 and 36 go back as last read.
void Widget::on_pwm_apply_pushButton_clicked() {
    ui->pwm_apply_pushButton->setEnabled(false);
    encode_curve(curve_from_controls(), pwm_image);
    if (hid.connected) {
        std::copy(pwm_image.begin(), pwm_image.end(), request_buffer.begin());
        command(CMD_WRITE_PWM_CONFIG, true, false);
    }
}

// Manual mode starts from the board's present value, so the display does not jump.
void Widget::on_pwm_groupBox_toggled(bool checked) {
    ui->auto_groupBox->setEnabled(!checked);
    ui->pwm_width_horizontalSlider->setValue(pwm_present_value(pwm_image));
}
