// The CAN pages beyond the monitor, against the in-process board: the software timers, the
// hardware timers and triggers read at connection and written on Apply, the acceptance
// filters, the software trigger page and the display text page.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include "can/can_text.h"
#include "frame_fixture.h"
#include "poll_fixture.h"
#include "protocol/can_wire.h"
#include "protocol/commands.h"

namespace {

// Sends one report to the board model as the host would, outside the window.
void board_command(Poll_Fixture& f, std::initializer_list<std::uint8_t> bytes) {
    board::Report r{};
    std::copy(bytes.begin(), bytes.end(), r.begin() + 1);
    QVERIFY(f.board->model.answer(r, f.board->now_ms));
}

std::vector<Test_Board::Exchange> sent(const Poll_Fixture& f, std::size_t from, int code) {
    std::vector<Test_Board::Exchange> out;
    for (std::size_t i = from; i < f.board->exchanges.size(); ++i) {
        if (f.board->exchanges[i].command == code) {
            out.push_back(f.board->exchanges[i]);
        }
    }
    return out;
}

QByteArray bytes(const Test_Board::Exchange& e, int from, int count) {
    return QByteArray(reinterpret_cast<const char*>(e.payload.data()) + from, count).toHex(' ');
}

} // namespace

class Tst_Can_Pages : public QObject {
    Q_OBJECT

private slots:
    void software_timer_sends_only_while_the_bus_is_active();
    void software_timer_interval_and_text_box();
    void hardware_timers_read_and_applied();
    void hardware_timer_without_a_frame_line_is_not_written();
    void hardware_triggers_read_and_applied();
    void filter_apply_data();
    void filter_apply();
    void filter_apply_sends_every_pair_as_read();
    void trigger_made_in_the_window_answers_a_frame();
    void fired_one_shot_shows_switched_off();
    void trigger_numbers_only_grow();
    void display_text_goes_out_a_block_at_a_time();
    void display_text_halves_at_once();
};

void Tst_Can_Pages::software_timer_sends_only_while_the_bus_is_active() {
    Poll_Fixture f;
    QTemporaryDir log_dir;
    f.window.can_log_open(log_dir.path());
    f.control<QCheckBox>("can_write_log_checkBox")->setChecked(true);
    f.cycle();
    // The settings file gives the timers their texts; without one they start empty.
    f.control<QPlainTextEdit>("can_timer_2_send_msg_plainTextEdit")
        ->setPlainText(QStringLiteral(
            "ID: STD=0x661   RTR: DATA   DLC: 8   DATA: 0x80 0x0 0x0 0x0 0x0 0x0 0x0 0x0"));
    f.control<QSpinBox>("can_timer_2_interval_spinBox")->setValue(1000);
    f.control<QCheckBox>("can_timer_2_enabled_checkBox")->click();
    auto* timer = f.window.findChild<QTimer*>(QStringLiteral("can_timer_2"));
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 1000);

    std::size_t before = f.board->exchanges.size();
    QMetaObject::invokeMethod(&f.window, "can_timer_2_handler", Qt::DirectConnection);
    QVERIFY(sent(f, before, CMD_CAN_SEND).empty()); // bus inactive: the tick is dropped
    QVERIFY(timer->isActive());

    board_command(f, {CMD_CAN_ACTIVATE, 1, 0, 40, 0});
    f.cycle(); // the poll reports the bus active
    before = f.board->exchanges.size();
    QMetaObject::invokeMethod(&f.window, "can_timer_2_handler", Qt::DirectConnection);
    const auto frames = sent(f, before, CMD_CAN_SEND);
    QCOMPARE(frames.size(), std::size_t{1});
    QVERIFY(decode_can_wire_frame(frames[0].payload.data()) ==
            standard(0x661, 8, {0x80, 0, 0, 0, 0, 0, 0, 0}));
    QFile log(log_dir.filePath(QStringLiteral("can_log.txt")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(!log.readAll().contains("0x661")); // a quiet frame
}

void Tst_Can_Pages::software_timer_interval_and_text_box() {
    Poll_Fixture f;
    auto* enabled = f.control<QCheckBox>("can_timer_1_enabled_checkBox");
    auto* text = f.control<QPlainTextEdit>("can_timer_1_send_msg_plainTextEdit");
    auto* timer = f.window.findChild<QTimer*>(QStringLiteral("can_timer_1"));
    f.control<QSpinBox>("can_timer_1_interval_spinBox")->setValue(1000);
    enabled->click();
    QVERIFY(!text->isEnabled());
    QVERIFY(timer->remainingTime() > 500);
    f.control<QSpinBox>("can_timer_1_interval_spinBox")->setValue(100);
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 100);
    QVERIFY(timer->remainingTime() < 500); // restarted with the new interval
    enabled->click();
    QVERIFY(text->isEnabled());
    QVERIFY(!timer->isActive());
}

void Tst_Can_Pages::hardware_timers_read_and_applied() {
    Poll_Fixture f;
    // Timer 1 on the board: enabled, 250 ms, 0x661 80.
    board::Report r{};
    r[1] = CMD_WRITE_HW_TIMER;
    r[2] = 0;
    r[3] = 1;
    r[5] = 250;
    encode_can_wire_frame(standard(0x661, 1, {0x80}), r.data() + 6);
    QVERIFY(f.board->model.answer(r, 0));
    f.cycle();
    QVERIFY(f.control<QCheckBox>("can_hw_timer_1_enabled_checkBox")->isChecked());
    QCOMPARE(f.control<QSpinBox>("can_hw_timer_1_interval_spinBox")->value(), 250);
    QCOMPARE(f.control<QPlainTextEdit>("can_hw_timer_1_send_msg_plainTextEdit")->toPlainText(),
             QStringLiteral("ID: STD=0x661   RTR: DATA   DLC: 1   DATA: 0x80"));
    auto* apply = f.control<QPushButton>("can_hw_timers_apply_pushButton");
    QVERIFY(!apply->isEnabled()); // filled by the program: nothing to apply

    f.control<QSpinBox>("can_hw_timer_2_interval_spinBox")->setValue(10000);
    f.control<QPlainTextEdit>("can_hw_timer_2_send_msg_plainTextEdit")
        ->setPlainText(QStringLiteral("prose\nID: STD=0x439   RTR: DATA   DLC: 2   DATA: 0xb 0x1\n"
                                      "ID: STD=0x123   RTR: DATA   DLC: 1   DATA: 0x5"));
    QVERIFY(apply->isEnabled());
    const std::size_t before = f.board->exchanges.size();
    apply->click();
    QVERIFY(!apply->isEnabled());
    const auto writes = sent(f, before, CMD_WRITE_HW_TIMER);
    QCOMPARE(writes.size(), std::size_t{2});
    QCOMPARE(bytes(writes[0], 0, 4), QByteArray("00 01 00 fa"));
    QCOMPARE(bytes(writes[1], 0, 4), QByteArray("01 00 27 10"));
    QVERIFY(decode_can_wire_frame(writes[1].payload.data() + 4) ==
            standard(0x439, 2, {0x0b, 0x01})); // only the first valid line
}

void Tst_Can_Pages::hardware_timer_without_a_frame_line_is_not_written() {
    Poll_Fixture f;
    f.cycle();
    f.control<QPlainTextEdit>("can_hw_timer_1_send_msg_plainTextEdit")
        ->setPlainText(QStringLiteral("no frame here"));
    auto* note = f.control<QLabel>("can_hw_timer_1_note_label");
    const std::size_t before = f.board->exchanges.size();
    f.control<QPushButton>("can_hw_timers_apply_pushButton")->click();
    const auto writes = sent(f, before, CMD_WRITE_HW_TIMER);
    QCOMPARE(writes.size(), std::size_t{1});
    QCOMPARE(int{writes[0].payload[0]}, 1); // timer 2 only
    QVERIFY(!note->isHidden());
    QVERIFY(!note->text().isEmpty());
    QVERIFY(f.control<QLabel>("can_hw_timer_2_note_label")->isHidden());
}

void Tst_Can_Pages::hardware_triggers_read_and_applied() {
    Poll_Fixture f;
    board::Report r{};
    r[1] = CMD_WRITE_HW_TRIGGER;
    r[2] = 1;
    r[3] = 1;
    encode_can_wire_frame(standard(0x681, 2, {0xb1, 0x22}), r.data() + 5);
    encode_can_wire_frame(standard(0x680, 1, {0xb2}), r.data() + 24);
    QVERIFY(f.board->model.answer(r, 0));
    f.cycle();
    QVERIFY(!f.control<QCheckBox>("can_hw_trigger_1_enabled_checkBox")->isChecked());
    QVERIFY(f.control<QCheckBox>("can_hw_trigger_2_enabled_checkBox")->isChecked());
    QCOMPARE(f.control<QLineEdit>("can_hw_trgger_2_recv_msg_lineEdit")->text(),
             QStringLiteral("ID: STD=0x681   RTR: DATA   DLC: 2   DATA: 0xb1 0x22"));
    QCOMPARE(f.control<QLineEdit>("can_hw_trigger_2_send_msg_lineEdit")->text(),
             QStringLiteral("ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xb2"));
    auto* apply = f.control<QPushButton>("can_hw_triggers_apply_pushButton");
    QVERIFY(!apply->isEnabled());

    f.control<QLineEdit>("can_hw_trigger_2_send_msg_lineEdit")
        ->setText(QStringLiteral("ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xb3"));
    QVERIFY(apply->isEnabled());
    const std::size_t before = f.board->exchanges.size();
    apply->click();
    const auto writes = sent(f, before, CMD_WRITE_HW_TRIGGER);
    QCOMPARE(writes.size(), std::size_t{2});
    QCOMPARE(bytes(writes[1], 0, 3), QByteArray("01 01 00"));
    QVERIFY(decode_can_wire_frame(writes[1].payload.data() + 3) ==
            standard(0x681, 2, {0xb1, 0x22}));
    QVERIFY(decode_can_wire_frame(writes[1].payload.data() + 22) == standard(0x680, 1, {0xb3}));
    // The board runs what was applied: the trigger answers its frame.
    board_command(f, {CMD_CAN_ACTIVATE, 1, 0, 40, 0});
    f.board->model.clear_transmitted();
    f.board->model.put_on_bus(standard(0x681, 2, {0xb1, 0x22}));
    f.board->model.advance(f.board->now_ms + 10);
    QCOMPARE(f.board->model.transmitted().size(), std::size_t{1});
    QVERIFY(f.board->model.transmitted().front() == standard(0x680, 1, {0xb3}));
}

void Tst_Can_Pages::filter_apply_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("id_shown");
    QTest::addColumn<QString>("mask_shown");
    QTest::addColumn<QByteArray>("sent_bytes"); // id high, id low, mask high, mask low
    QTest::newRow("0x7ff / 0x7ff") << "0x7ff"
                                   << "0x7FF"
                                   << "0x7ff"
                                   << "0x7FF" << QByteArray("ff e0 00 00 ff e0 00 00");
    QTest::newRow("0x800 rejected") << "0x800"
                                    << "0x7ff"
                                    << "0x0"
                                    << "0x7ff" << QByteArray("00 00 00 00 ff e0 00 00");
    QTest::newRow("empty mask") << "0x5c1"
                                << ""
                                << "0x5c1"
                                << "0x7ff" << QByteArray("b8 20 00 00 ff e0 00 00");
    QTest::newRow("words") << "car"
                           << "mask"
                           << "0x0"
                           << "0x7ff" << QByteArray("00 00 00 00 ff e0 00 00");
}

void Tst_Can_Pages::filter_apply() {
    QFETCH(QString, id);
    QFETCH(QString, mask);
    QFETCH(QString, id_shown);
    QFETCH(QString, mask_shown);
    QFETCH(QByteArray, sent_bytes);
    Poll_Fixture f;
    f.cycle();
    f.control<QListWidget>("can_filters_listWidget")->setCurrentRow(5);
    auto* id_field = f.control<QLineEdit>("can_filters_id_lineEdit");
    auto* mask_field = f.control<QLineEdit>("can_filters_mask_lineEdit");
    id_field->setText(id);
    mask_field->setText(mask);
    f.control<QCheckBox>("can_filters_enabled_checkBox")->setChecked(true);
    const std::size_t before = f.board->exchanges.size();
    f.control<QPushButton>("can_filters_apply_pushButton")->click();
    QCOMPARE(id_field->text(), id_shown);
    QCOMPARE(mask_field->text(), mask_shown);
    const auto writes = sent(f, before, CMD_WRITE_FILTERS);
    QCOMPARE(writes.size(), std::size_t{12});
    const Test_Board::Exchange& pair = writes[2];
    QCOMPARE(int{pair.payload[0]}, 4);
    QCOMPARE(int{pair.payload[14]}, 1); // filter 5 on
    QCOMPARE(bytes(pair, 16, 8), sent_bytes);
}

// Every pair goes back with the fields the tool does not edit exactly as the board sent them.
void Tst_Can_Pages::filter_apply_sends_every_pair_as_read() {
    Poll_Fixture f;
    // Filter 3 on the board: on, fifo 1, id 0x1234 : 0x5678, mask 0xffe0 : 0x0007, mode 2,
    // number 9, scale 1.
    board_command(f, {CMD_WRITE_FILTERS,
                      2,
                      0,
                      0,
                      0,
                      0,
                      0,
                      0,
                      0,
                      0,
                      0,
                      0,
                      0,
                      0,
                      0,
                      1,
                      1,
                      0x12,
                      0x34,
                      0x56,
                      0x78,
                      0xff,
                      0xe0,
                      0x00,
                      0x07,
                      2,
                      9,
                      1});
    f.cycle();
    auto* list = f.control<QListWidget>("can_filters_listWidget");
    QCOMPARE(list->currentRow(), 0);
    list->setCurrentRow(3);
    QCOMPARE(f.control<QLineEdit>("can_filters_id_lineEdit")->text(), QStringLiteral("0x91"));
    QCOMPARE(f.control<QLineEdit>("can_filters_mask_lineEdit")->text(), QStringLiteral("0x7ff"));
    QVERIFY(f.control<QCheckBox>("can_filters_enabled_checkBox")->isChecked());

    list->setCurrentRow(4);
    f.control<QLineEdit>("can_filters_id_lineEdit")->setText(QStringLiteral("0x100"));
    const std::size_t before = f.board->exchanges.size();
    f.control<QPushButton>("can_filters_apply_pushButton")->click();
    const auto writes = sent(f, before, CMD_WRITE_FILTERS);
    QCOMPARE(writes.size(), std::size_t{12});
    for (std::size_t k = 0; k < writes.size(); ++k) {
        QCOMPARE(int{writes[k].payload[0]}, static_cast<int>(2 * k));
    }
    QCOMPARE(bytes(writes[1], 14, 13), QByteArray("01 01 12 34 56 78 ff e0 00 07 02 09 01"));
    // The edited filter 4: identifier 0x100 shifted, low words 0, its board fields as read.
    QCOMPARE(bytes(writes[2], 1, 13), QByteArray("00 00 20 00 00 00 00 00 00 00 00 04 01"));
}

namespace {

// A connected window past its first cycle, the bus active at 100 kbit/s.
struct Active_Bus : Poll_Fixture {
    Active_Bus() {
        cycle();
        board_command(*this, {CMD_CAN_ACTIVATE, 1, 0, 40, 0});
        cycle();
    }

    // A vehicle node sends `frame`; the next cycle fetches and dispatches it.
    std::vector<CanFrame> receive(const CanFrame& frame) {
        board->model.put_on_bus(frame);
        const std::size_t before = board->exchanges.size();
        cycle();
        std::vector<CanFrame> replies;
        for (const auto& e : sent(*this, before, CMD_CAN_SEND)) {
            replies.push_back(decode_can_wire_frame(e.payload.data()));
        }
        return replies;
    }

    QListWidget* triggers() const { return control<QListWidget>("can_trigger_listWidget"); }
    QCheckBox* trigger_enabled() const {
        return control<QCheckBox>("can_trigger_enabled_checkBox");
    }

    // Adds a trigger through the page and selects it.
    void add_trigger(const QString& pattern, const QString& reply, bool one_shot) {
        control<QPushButton>("can_trigger_add_pushButton")->click();
        triggers()->setCurrentRow(triggers()->count() - 1);
        control<QLineEdit>("can_trgger_recv_msg_lineEdit")->setText(pattern);
        control<QPlainTextEdit>("can_trigger_send_msg_plainTextEdit")->setPlainText(reply);
        control<QCheckBox>("can_trigger_one_shot_checkBox")->setChecked(one_shot);
        trigger_enabled()->click();
    }
};

const QString head_unit_pattern =
    QStringLiteral("ID: STD=0x681   RTR: DATA   DLC: 3   DATA: 0x1{i}");
const QString head_unit_reply =
    QStringLiteral("ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xb{i+1}");

} // namespace

void Tst_Can_Pages::trigger_made_in_the_window_answers_a_frame() {
    Active_Bus f;
    f.add_trigger(head_unit_pattern, head_unit_reply, false);
    QCOMPARE(f.receive(standard(0x681, 3, {0x15, 0x01, 0x02})),
             std::vector<CanFrame>{standard(0x680, 1, {0xb6})});
    QCOMPARE(f.receive(standard(0x682, 3, {0x15})), std::vector<CanFrame>{});
    // The master switch holds every trigger back.
    f.control<QCheckBox>("can_all_triggers_enabled_checkBox")->setChecked(false);
    QCOMPARE(f.receive(standard(0x681, 3, {0x15})), std::vector<CanFrame>{});
    f.control<QCheckBox>("can_all_triggers_enabled_checkBox")->setChecked(true);
    // An edit takes effect from the next frame on.
    f.control<QLineEdit>("can_trgger_recv_msg_lineEdit")->setText(QStringLiteral("ID: STD=0x682"));
    QCOMPARE(f.receive(standard(0x682, 3, {0x1f})).size(), std::size_t{1});
}

void Tst_Can_Pages::fired_one_shot_shows_switched_off() {
    Active_Bus f;
    const QString reply = QStringLiteral("ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xa0");
    f.add_trigger(QStringLiteral("ID: STD=0x681"), reply, true);
    QVERIFY(f.trigger_enabled()->isChecked());
    QCOMPARE(f.receive(standard(0x681, 1, {0x01})).size(), std::size_t{1});
    QVERIFY(!f.trigger_enabled()->isChecked());
    QCOMPARE(f.receive(standard(0x681, 1, {0x01})).size(), std::size_t{0});
    f.control<QPushButton>("can_trigger_enable_all_one_shots_pushButton")->click();
    QVERIFY(f.trigger_enabled()->isChecked());
    QCOMPARE(f.receive(standard(0x681, 1, {0x01})).size(), std::size_t{1});
}

void Tst_Can_Pages::trigger_numbers_only_grow() {
    Active_Bus f;
    auto* add = f.control<QPushButton>("can_trigger_add_pushButton");
    add->click();
    add->click();
    f.triggers()->setCurrentRow(1);
    f.triggers()->item(1)->setSelected(true);
    f.control<QPushButton>("can_trigger_del_pushButton")->click();
    add->click();
    QCOMPARE(f.triggers()->count(), 2);
    QCOMPARE(f.triggers()->item(1)->text(), QStringLiteral("Trigger 3"));
    // Deleting the last one clears the edit controls.
    for (int i = 0; i < 2; ++i) {
        f.triggers()->setCurrentRow(0);
        f.triggers()->item(0)->setSelected(true);
        f.control<QPushButton>("can_trigger_del_pushButton")->click();
    }
    QCOMPARE(f.triggers()->count(), 0);
    QVERIFY(f.control<QLineEdit>("can_trgger_recv_msg_lineEdit")->text().isEmpty());
    QVERIFY(!f.trigger_enabled()->isChecked());
}

void Tst_Can_Pages::display_text_goes_out_a_block_at_a_time() {
    Active_Bus f;
    f.control<QPushButton>("can_text_uni_send_pushButton")->click(); // the start text
    std::size_t before = f.board->exchanges.size();
    QVERIFY(f.window.can_text_queue_send());
    auto frames = sent(f, before, CMD_CAN_SEND);
    QCOMPARE(frames.size(), std::size_t{4});
    const std::array<std::uint8_t, 4> first_block{0x20, 0x21, 0x22, 0x03};
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const CanFrame frame = decode_can_wire_frame(frames[i].payload.data());
        QCOMPARE(frame.std_id, 0x680U);
        QCOMPARE(int{frame.dlc}, 8);
        QCOMPARE(frame.data[0], first_block[i]);
    }
    before = f.board->exchanges.size();
    QVERIFY(!f.window.can_text_queue_send());
    frames = sent(f, before, CMD_CAN_SEND);
    QCOMPARE(frames.size(), std::size_t{4});
    const CanFrame last = decode_can_wire_frame(frames.back().payload.data());
    QCOMPARE(last.data[0], std::uint8_t{0x17});
    QCOMPARE(int{last.dlc}, 3);
}

void Tst_Can_Pages::display_text_halves_at_once() {
    Active_Bus f;
    const std::size_t before = f.board->exchanges.size();
    QMetaObject::invokeMethod(&f.window, "on_can_text_2_send_pushButton_clicked",
                              Qt::DirectConnection);
    const auto frames = sent(f, before, CMD_CAN_SEND);
    QCOMPARE(frames.size(), std::size_t{4});
    QCOMPARE(decode_can_wire_frame(frames[2].payload.data()).data[0], std::uint8_t{0x22});
    QCOMPARE(decode_can_wire_frame(frames[3].payload.data()).data[0], std::uint8_t{0x03});
}

QTEST_MAIN(Tst_Can_Pages)
#include "tst_can_pages.moc"
