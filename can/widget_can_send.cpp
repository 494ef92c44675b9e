// Sending: one frame through the board, frame texts line by line, the "Send Message" group
// and "Mass Send".
#include "app/widget.h"

#include "ui_widget.h"

#include "can/can_text.h"
#include "protocol/can_wire.h"
#include "protocol/commands.h"

namespace {
const QString corrected_number = QStringLiteral("0x0");
constexpr std::uint32_t byte_mask = 0xFF;

// A hexadecimal field of the "Send Message" group; an unreadable one is corrected in place.
std::uint32_t read_hex_field(QLineEdit* field) {
    const Hex_Value v = parse_hex(field->text());
    if (!v.valid) {
        field->setText(corrected_number);
        return 0;
    }
    return v.value;
}
} // namespace

void Widget::can_send_frame(const CanFrame& frame) {
    if (!hid.connected) {
        return;
    }
    encode_can_wire_frame(frame, request_buffer.data());
    hid.exchange(CMD_CAN_SEND, nullptr, &request_buffer);
}

void Widget::can_send_text(QStringView text) {
    can_text_frames(text, [this](const CanFrame& frame, QStringView line) {
        can_send_frame(frame);
        if (!can_frame_is_quiet_on_send(frame)) {
            can_log_write(line, Log_Direction::sent);
        }
    });
}

void Widget::on_can_mass_send_pushButton_clicked() {
    can_send_text(ui->can_mass_send_plainTextEdit->toPlainText());
}

void Widget::on_can_send_pushButton_clicked() {
    CanFrame frame;
    const std::uint32_t id = read_hex_field(ui->can_send_id_lineEdit);
    if (ui->can_send_StdID_radioButton->isChecked()) {
        frame.ide = CanFrame::ide_standard;
        frame.std_id = id;
    } else if (ui->can_send_ExtID_radioButton->isChecked()) {
        frame.ide = CanFrame::ide_extended;
        frame.ext_id = id;
    } else {
        return;
    }
    if (ui->can_send_DataRTR_radioButton->isChecked()) {
        frame.rtr = CanFrame::rtr_data;
    } else if (ui->can_send_RemoteRTR_radioButton->isChecked()) {
        frame.rtr = CanFrame::rtr_remote;
    } else {
        return;
    }
    frame.dlc = static_cast<std::uint8_t>(ui->can_send_dlc_spinBox->value());
    const std::array<QLineEdit*, 8> data_fields{
        ui->can_send_data0_lineEdit, ui->can_send_data1_lineEdit, ui->can_send_data2_lineEdit,
        ui->can_send_data3_lineEdit, ui->can_send_data4_lineEdit, ui->can_send_data5_lineEdit,
        ui->can_send_data6_lineEdit, ui->can_send_data7_lineEdit};
    for (std::size_t i = 0; i < data_fields.size(); ++i) {
        frame.data[i] = static_cast<std::uint8_t>(read_hex_field(data_fields[i]) & byte_mask);
    }
    can_send_frame(frame);
}
