// Steering-wheel buttons without a window: matching a frame against the combination rows, the
// timing of presses over a clock of the test's own, and the vehicle profiles' reading of frames.

#include <QtTest>

#include "buttons/button_table.h"
#include "buttons/vehicle_profile.h"
#include "can/can_text.h"
#include "frame_fixture.h"

namespace {

Button_Cells cells(const char* id, const char* on, const char* off, const char* repeat = "0",
                   const char* short_action = "short") {
    return {QStringLiteral("row"),  QString::fromUtf8(id),           QString::fromUtf8(on),
            QString::fromUtf8(off), QString::fromUtf8(short_action), QStringLiteral("double"),
            QStringLiteral("long"), QString::fromUtf8(repeat)};
}

Button_Table table_of(std::vector<Button_Cells> rows) {
    Button_Table table;
    table.set_rows(std::move(rows));
    return table;
}

CanFrame extended(std::uint32_t id, std::uint8_t dlc, std::array<std::uint8_t, 8> data = {}) {
    CanFrame f = standard(0, dlc, data);
    f.ide = CanFrame::ide_extended;
    f.ext_id = id;
    return f;
}

// A press script: the row held from one time to another; -1 between presses.
struct Hold {
    int row;
    std::int64_t from_ms;
    std::int64_t to_ms;
};

// Steps every `step_ms` from 0 to `end_ms`, the held row set before each step as the script
// says; returns the actions as "time:row:kind".
QStringList run_script(const std::vector<Hold>& holds, std::int64_t end_ms, int repeat_ms,
                       std::int64_t step_ms = 50) {
    const Button_Table table =
        table_of({cells("0x1", "0x1", "0x0", "0"), cells("0x2", "0x2", "0x0", "0"),
                  cells("0x3", "0x3", "0x0", "0")});
    Button_Table with_repeat = table;
    std::vector<Button_Cells> rows;
    for (const Button_Row& row : table.all()) {
        Button_Cells c = row.cells;
        c[button_cell::repeat] = QString::number(repeat_ms);
        rows.push_back(c);
    }
    with_repeat.set_rows(rows);

    Press_Timing timing; // 500 ms for both delays
    QStringList fired;
    for (std::int64_t now = 0; now <= end_ms; now += step_ms) {
        int held = -1;
        for (const Hold& hold : holds) {
            if (now >= hold.from_ms && now < hold.to_ms) {
                held = hold.row;
            }
        }
        if (held >= 0) {
            timing.press(held);
        } else {
            timing.release();
        }
        const Press_Timing::Actions actions = timing.step(with_repeat, now);
        for (int k = 0; k < actions.count; ++k) {
            const Press_Action& a = actions.list[static_cast<std::size_t>(k)];
            const char* kind = a.column == button_cell::short_action    ? "short"
                               : a.column == button_cell::double_action ? "double"
                                                                        : "long";
            fired << QStringLiteral("%1:%2:%3").arg(now).arg(a.row).arg(QLatin1String(kind));
        }
    }
    return fired;
}

} // namespace

class Tst_Buttons : public QObject {
    Q_OBJECT

private slots:
    void matching_data();
    void matching();
    void press_timing_data();
    void press_timing();
    void release_seen_late_fires_nothing();
    void rows_from_the_settings_list();
    void volvo_reads_the_last_byte_data();
    void volvo_reads_the_last_byte();
    void opel_honours_buttons_only_with_the_screen_on();
    void opel_repeat_matcher_counts_consecutive_frames();
    void volkswagen_gates_source_buttons_and_paces_the_display();
};

void Tst_Buttons::matching_data() {
    QTest::addColumn<std::vector<Button_Cells>>("rows");
    QTest::addColumn<int>("start_byte");
    QTest::addColumn<CanFrame>("frame");
    QTest::addColumn<int>("kind"); // Button_Match::Kind
    QTest::addColumn<int>("row");

    const auto pressed = static_cast<int>(Button_Match::Kind::pressed);
    const auto released = static_cast<int>(Button_Match::Kind::released);
    const auto none = static_cast<int>(Button_Match::Kind::none);
    const std::vector<Button_Cells> volume{cells("0x5c1", "0x6", "0x0")};

    QTest::newRow("DATA ON holds") << volume << 0 << standard(0x5C1, 1, {0x06}) << pressed << 0;
    QTest::newRow("DATA OFF releases")
        << volume << 0 << standard(0x5C1, 1, {0x00}) << released << 0;
    QTest::newRow("other byte: nothing") << volume << 0 << standard(0x5C1, 1, {0x07}) << none << -1;
    QTest::newRow("other identifier") << volume << 0 << standard(0x5C2, 1, {0x06}) << none << -1;
    QTest::newRow("start byte 2, DLC 2: compared with DATA OFF at byte 2")
        << volume << 2 << standard(0x5C1, 2, {0x06, 0x06, 0x00}) << released << 0;
    QTest::newRow("start byte 2, DLC 3: DATA ON at byte 2")
        << volume << 2 << standard(0x5C1, 3, {0x00, 0x00, 0x06}) << pressed << 0;
    const std::vector<Button_Cells> two_bytes{cells("0x5c1", "0x1 0x20", "0x0")};
    QTest::newRow("two bytes match")
        << two_bytes << 0 << standard(0x5C1, 2, {0x01, 0x20}) << pressed << 0;
    QTest::newRow("two bytes, DLC 1")
        << two_bytes << 0 << standard(0x5C1, 1, {0x01, 0x20}) << none << -1;
    QTest::newRow("two bytes, second differs")
        << two_bytes << 0 << standard(0x5C1, 2, {0x01, 0x21}) << none << -1;
    // The first row that decides ends the visit: a release before a later row's press.
    const std::vector<Button_Cells> shared{cells("0x5c1", "0x7", "0x6"),
                                           cells("0x5c1", "0x6", "0x0")};
    QTest::newRow("same id: earlier row's DATA OFF releases")
        << shared << 0 << standard(0x5C1, 1, {0x06}) << released << 0;
    const std::vector<Button_Cells> both_on{cells("0x5c1", "0x6", "0x9"),
                                            cells("0x5c1", "0x6", "0x0")};
    QTest::newRow("same id: first matching row wins")
        << both_on << 0 << standard(0x5C1, 1, {0x06}) << pressed << 0;
    const std::vector<Button_Cells> unparsed{cells("0x", "0x", "N/A")};
    QTest::newRow("unparsed cells read as 0")
        << unparsed << 0 << standard(0, 1, {0x00}) << pressed << 0;
    const std::vector<Button_Cells> too_big{cells("0x10", "0x106", "0x1")};
    QTest::newRow("a part above 0xFF never matches")
        << too_big << 0 << standard(0x10, 1, {0x06}) << none << -1;
    QTest::newRow("extended identifier")
        << std::vector<Button_Cells>{cells("18daf110", "0x2", "0x0")} << 0
        << extended(0x18DAF110, 1, {0x02}) << pressed << 0;
    // The board passes a DLC above 8 as the bus carried it; only eight bytes exist.
    const std::vector<Button_Cells> long_on{cells("0x20", "0x1 0x2 0x3", "0x5")};
    QTest::newRow("DLC 255 near the last byte: no byte beyond the eighth")
        << long_on << 7 << standard(0x20, 255, {0, 0, 0, 0, 0, 0, 0, 0x01}) << none << -1;
    QTest::newRow("DLC 255 within the eight bytes")
        << long_on << 5 << standard(0x20, 255, {0, 0, 0, 0, 0, 0x01, 0x02, 0x03}) << pressed << 0;
}

void Tst_Buttons::matching() {
    QFETCH(std::vector<Button_Cells>, rows);
    QFETCH(int, start_byte);
    QFETCH(CanFrame, frame);
    QFETCH(int, kind);
    QFETCH(int, row);
    const Button_Table table = table_of(rows);
    const std::uint32_t id = frame.ide == CanFrame::ide_extended ? frame.ext_id : frame.std_id;
    const Button_Match match = button_match_frame(table, id, frame, start_byte);
    QCOMPARE(static_cast<int>(match.kind), kind);
    QCOMPARE(match.row, row);
}

void Tst_Buttons::press_timing_data() {
    QTest::addColumn<std::vector<Hold>>("holds");
    QTest::addColumn<int>("end_ms");
    QTest::addColumn<int>("repeat_ms");
    QTest::addColumn<QStringList>("fired");

    // Delays 500 ms, a step every 50 ms.
    QTest::newRow("short: 500 ms after the release")
        << std::vector<Hold>{{0, 0, 200}} << 1500 << 0 << QStringList{"700:0:short"};
    QTest::newRow("double: at the second press, nothing else")
        << std::vector<Hold>{{0, 0, 200}, {0, 500, 700}} << 2000 << 0
        << QStringList{"500:0:double"};
    QTest::newRow("second press after the window: two shorts")
        << std::vector<Hold>{{0, 0, 200}, {0, 800, 1000}} << 2000 << 0
        << QStringList{"700:0:short", "1500:0:short"};
    QTest::newRow("long, no repeat: once while held")
        << std::vector<Hold>{{1, 0, 1000}} << 2000 << 0 << QStringList{"500:1:long"};
    QTest::newRow("long with repeat 300 ms")
        << std::vector<Hold>{{1, 0, 2000}} << 2500 << 300
        << QStringList{"500:1:long", "800:1:long", "1100:1:long", "1400:1:long", "1700:1:long"};
    QTest::newRow("the double window is shared: B's double")
        << std::vector<Hold>{{0, 0, 200}, {2, 400, 600}} << 2000 << 0
        << QStringList{"400:2:double"};
    QTest::newRow("double press held long: nothing more")
        << std::vector<Hold>{{0, 0, 200}, {0, 400, 1500}} << 2500 << 0
        << QStringList{"400:0:double"};
}

void Tst_Buttons::press_timing() {
    QFETCH(std::vector<Hold>, holds);
    QFETCH(int, end_ms);
    QFETCH(int, repeat_ms);
    QFETCH(QStringList, fired);
    QCOMPARE(run_script(holds, end_ms, repeat_ms), fired);
}

// A press whose release the first step sees only after the long delay fires nothing.
void Tst_Buttons::release_seen_late_fires_nothing() {
    const Button_Table table = table_of({cells("0x1", "0x1", "0x0")});
    Press_Timing timing;
    timing.press(0);
    QCOMPARE(timing.step(table, 0).count, 0);
    timing.release();
    for (const std::int64_t now : {600, 700, 2000, 5000}) {
        QCOMPARE(timing.step(table, now).count, 0);
    }
    QVERIFY(!timing.double_window_open());
}

void Tst_Buttons::rows_from_the_settings_list() {
    QStringList list;
    for (int k = 0; k < 12; ++k) {
        list << QString::number(k);
    }
    const std::vector<Button_Cells> rows = Button_Table::rows_from_list(list);
    QCOMPARE(rows.size(), std::size_t{2});
    QCOMPARE(rows[0][7], QStringLiteral("7"));
    QCOMPARE(rows[1][3], QStringLiteral("11"));
    QVERIFY(rows[1][4].isEmpty());
    const Button_Table table = table_of(Button_Table::rows_from_list(list.mid(0, 8)));
    QCOMPARE(table.to_list(), list.mid(0, 8));
    QCOMPARE(table.cell(5, button_cell::short_action), QString()); // no such row
}

void Tst_Buttons::volvo_reads_the_last_byte_data() {
    QTest::addColumn<CanFrame>("frame");
    QTest::addColumn<int>("pressed_row");
    // Held before the frame: row 0.
    QTest::newRow("last byte DATA ON: held")
        << standard(0x3B0, 8, {0, 0, 0, 0, 0, 0, 0, 0x08}) << 0;
    QTest::newRow("last byte DATA OFF: released")
        << standard(0x3B0, 8, {0, 0, 0, 0, 0, 0, 0, 0x00}) << -1;
    QTest::newRow("7-byte frame: ignored") << standard(0x3B0, 7, {0, 0, 0, 0, 0, 0, 0, 0x00}) << 0;
    QTest::newRow("other identifier: ignored")
        << standard(0x3B1, 8, {0, 0, 0, 0, 0, 0, 0, 0x00}) << 0;
    QTest::newRow("first byte is not looked at: held")
        << standard(0x3B0, 8, {0x08, 0, 0, 0, 0, 0, 0, 0x05}) << 0;
}

void Tst_Buttons::volvo_reads_the_last_byte() {
    QFETCH(CanFrame, frame);
    QFETCH(int, pressed_row);
    const Button_Table table = table_of({cells("0x3b0", "0x8", "0x0")});
    Press_Timing press;
    Display_Text display;
    Vehicle_Profile profile;
    profile.vehicle_mode = vehicle_volvo;
    const Vehicle_Profile::Effects effects{[] { return false; }, [](const QString&) {}};
    press.press(0);
    profile.frame_reaction(frame, frame.std_id, can_frame_to_text(frame),
                           {table, 0, press, display}, effects);
    QCOMPARE(press.pressed_row, pressed_row);
    QCOMPARE(press.last_pressed_row, 0);
}

void Tst_Buttons::opel_honours_buttons_only_with_the_screen_on() {
    const Button_Table table = table_of({cells("0x206", "0x1 0x11", "0x0")});
    Press_Timing press;
    Display_Text display;
    Vehicle_Profile profile;
    profile.vehicle_mode = vehicle_opel;
    const Vehicle_Profile::Effects effects{[] { return false; }, [](const QString&) {}};
    const auto feed = [&](const CanFrame& frame) {
        profile.frame_reaction(frame, frame.std_id, can_frame_to_text(frame),
                               {table, 0, press, display}, effects);
    };
    const CanFrame button = standard(0x206, 3, {0x01, 0x11, 0x00});
    const CanFrame screen_on = standard(0x6C1, 8, {0x10, 0x22, 0xC0, 0x00, 0x1F, 0x03, 0x10, 0x0E});
    const CanFrame screen_off =
        standard(0x6C1, 8, {0x10, 0x4E, 0xC0, 0x00, 0x4B, 0x03, 0x10, 0x24});

    press.press(0);
    feed(button); // before any screen-on frame: released, not matched
    QCOMPARE(press.pressed_row, -1);
    feed(screen_on);
    QVERIFY(profile.opel_screen_active);
    feed(button);
    QCOMPARE(press.pressed_row, 0);
    feed(screen_off);
    QVERIFY(!profile.opel_screen_active);
    QCOMPARE(press.pressed_row, -1);
    feed(button);
    QCOMPARE(press.pressed_row, -1);
}

// Every third matching frame runs the short action; a match of another row, by the repeat
// matcher or the generic one, starts the count again.
void Tst_Buttons::opel_repeat_matcher_counts_consecutive_frames() {
    const Button_Table table = table_of({cells("0x206", "0x81 0x1", "N/A", "3", "first"),
                                         cells("0x206", "0x81 0x2", "N/A", "3", "second"),
                                         cells("0x206", "0x1 0x12", "0x0", "0", "generic")});
    Press_Timing press;
    Display_Text display;
    Vehicle_Profile profile;
    profile.vehicle_mode = vehicle_opel;
    profile.opel_screen_active = true;
    QStringList executed;
    const Vehicle_Profile::Effects effects{[] { return false; },
                                           [&executed](const QString& text) { executed << text; }};
    const auto feed = [&](std::array<std::uint8_t, 8> data) {
        const CanFrame frame = standard(0x206, 3, data);
        profile.frame_reaction(frame, frame.std_id, can_frame_to_text(frame),
                               {table, 0, press, display}, effects);
    };
    const std::array<std::uint8_t, 8> first{0x81, 0x01};
    const std::array<std::uint8_t, 8> second{0x81, 0x02};
    const std::array<std::uint8_t, 8> generic{0x01, 0x12};

    for (int k = 0; k < 6; ++k) {
        feed(first);
    }
    QCOMPARE(executed, QStringList({"first", "first"}));
    QCOMPARE(press.pressed_row, -1); // the repeat matcher does not hold rows

    executed.clear();
    feed(first);
    feed(first);
    feed(second); // another row: count from 1
    feed(first);
    feed(first);
    QVERIFY(executed.isEmpty());
    feed(generic); // a generic match: count from 1 again
    QCOMPARE(press.pressed_row, 2);
    feed(first);
    feed(first);
    QVERIFY(executed.isEmpty());
    feed(first);
    QCOMPARE(executed, QStringList({"first"}));
}

void Tst_Buttons::volkswagen_gates_source_buttons_and_paces_the_display() {
    const Button_Table table =
        table_of({cells("0x5c1", "0x23", "0x0"), cells("0x5c1", "0x24", "0x0")});
    Press_Timing press;
    Display_Text display;
    Vehicle_Profile profile;
    profile.vehicle_mode = vehicle_volkswagen;
    QStringList sent;
    const Vehicle_Profile::Effects effects{[&] {
                                               const Display_Block block = display.send_block();
                                               sent << block.frames;
                                               return block.more;
                                           },
                                           [](const QString&) {}};
    const auto feed = [&](const CanFrame& frame) {
        profile.frame_reaction(frame, frame.std_id, can_frame_to_text(frame),
                               {table, 0, press, display}, effects);
    };

    feed(standard(0x5C1, 1, {0x23})); // another source plays: the car keeps this code
    QCOMPARE(press.pressed_row, -1);
    feed(standard(0x5C1, 1, {0x24}));
    QCOMPARE(press.pressed_row, 1);
    feed(standard(0x5C1, 1, {0x00}));

    display.set_counter(head_unit_start_counter);
    feed(standard(0x681, 5, {0x00, 0x23, 0x00, 0x01, 0x00})); // this source selected
    QVERIFY(profile.vw_source_active);
    QCOMPARE(sent.size(), 1); // the first block at once
    QVERIFY(sent[0].startsWith(
        QStringLiteral("ID: STD=0x680   RTR: DATA   DLC: 8   DATA: 0x24 0x09 0x00 0x60")));
    QCOMPARE(sent[0].count(QLatin1Char('\n')), 4);
    QVERIFY(display.more_pending());

    feed(standard(0x5C1, 1, {0x23})); // now honoured
    QCOMPARE(press.pressed_row, 0);

    feed(standard(0x681, 1, {0xB5})); // acknowledgement: the next block
    QCOMPARE(sent.size(), 2);
    QVERIFY(sent[1].startsWith(
        QStringLiteral("ID: STD=0x680   RTR: DATA   DLC: 8   DATA: 0x28 0x65 0x78 0x61")));
    feed(standard(0x681, 2, {0xB5})); // not an acknowledgement
    QCOMPARE(sent.size(), 2);
    feed(standard(0x681, 1, {0xB9}));
    QCOMPARE(sent.size(), 3); // the last block: the ninth line alone, 0x1-marked
    QVERIFY(sent[2].startsWith(
        QStringLiteral("ID: STD=0x680   RTR: DATA   DLC: 4   DATA: 0x1c 0x50 0x43 0x08")));
    QVERIFY(!display.more_pending());
    feed(standard(0x681, 1, {0xBD}));
    QCOMPARE(sent.size(), 3);

    feed(standard(0x681, 5, {0x00, 0x23, 0x00, 0x00, 0x00})); // another source again
    QVERIFY(!profile.vw_source_active);
    feed(standard(0x5C1, 1, {0x23}));
    QCOMPARE(press.pressed_row, 0); // not matched: still as it was
}

QTEST_GUILESS_MAIN(Tst_Buttons)
#include "tst_buttons.moc"
