// Frame lines: writing, reading back, the number rule, and whole frame texts.
#include <QtTest>

#include "can/can_text.h"
#include "frame_fixture.h"

Q_DECLARE_METATYPE(CanFrame)

class Tst_Can_Text : public QObject {
    Q_OBJECT

private slots:
    void writer_data();
    void writer();
    void reader_data();
    void reader();
    void parse_hex_rule_data();
    void parse_hex_rule();
    void frame_text_every_line_and_first();
};

void Tst_Can_Text::writer_data() {
    QTest::addColumn<CanFrame>("frame");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("reads_back_same");
    QTest::newRow("0x661 dlc 8")
        << standard(0x661, 8, {0x80})
        << "ID: STD=0x661   RTR: DATA   DLC: 8   DATA: 0x80 0x0 0x0 0x0 0x0 0x0 0x0 0x0" << true;
    QTest::newRow("0x439 dlc 6")
        << standard(0x439, 6, {0x0B, 0x01})
        << "ID: STD=0x439   RTR: DATA   DLC: 6   DATA: 0xb 0x1 0x0 0x0 0x0 0x0" << true;
    CanFrame ext;
    ext.ide = CanFrame::ide_extended;
    ext.ext_id = 0xCCCC;
    ext.rtr = CanFrame::rtr_remote;
    ext.dlc = 8;
    ext.data = {0x07, 0xCC, 0x07, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC};
    QTest::newRow("extended remote")
        << ext
        << "ID: EXT=0xcccc   RTR: REMOTE   DLC: 8   DATA: 0x7 0xcc 0x7 0xcc 0xcc 0xcc 0xcc 0xcc"
        << true;
    QTest::newRow("dlc 0 ends at the colon")
        << standard(0x681, 0) << "ID: STD=0x681   RTR: DATA   DLC: 0   DATA:" << true;
    // A length from the board above 9 is written in decimal and read in hexadecimal.
    QTest::newRow("dlc 12, eight bytes")
        << standard(0x10, 12, {1, 2, 3, 4, 5, 6, 7, 8})
        << "ID: STD=0x10   RTR: DATA   DLC: 12   DATA: 0x1 0x2 0x3 0x4 0x5 0x6 0x7 0x8" << false;
    CanFrame odd = standard(0x1, 1, {0xFF});
    odd.ide = 1;
    odd.rtr = 1;
    QTest::newRow("unknown ide and rtr")
        << odd << "ID: ???   RTR: ???   DLC: 1   DATA: 0xff" << false;
}

void Tst_Can_Text::writer() {
    QFETCH(CanFrame, frame);
    QFETCH(QString, line);
    QFETCH(bool, reads_back_same);
    QCOMPARE(can_frame_to_text(frame), line);
    const std::optional<CanFrame> back = can_text_line_frame(line);
    QCOMPARE(back.has_value() && *back == frame, reads_back_same);
}

void Tst_Can_Text::reader_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<CanFrame>("frame");
    QTest::newRow("pasted no-break spaces around numbers")
        << QStringLiteral("ID: STD=\u00a00x5c1   RTR: DATA   DLC: 2\u00a0   DATA: 0x6\u00a0 0x2")
        << true << standard(0x5C1, 2, {6, 2});
    QTest::newRow("dlc 12 reads as 0x12")
        << "ID: STD=0x10   RTR: DATA   DLC: 12   DATA: 0x1" << true << standard(0x10, 0x12, {1});
    QTest::newRow("lower-case std skipped")
        << "ID: std=0x10   RTR: DATA   DLC: 1   DATA: 0x1" << false << CanFrame{};
    QTest::newRow("lower-case data skipped")
        << "ID: STD=0x10   RTR: data   DLC: 1   DATA: 0x1" << false << CanFrame{};
    CanFrame ext;
    ext.ide = CanFrame::ide_extended;
    ext.ext_id = 0x1FFFFFFF;
    ext.rtr = CanFrame::rtr_remote;
    QTest::newRow("ext without 0x, remote, no bytes")
        << "ID: EXT=1fffffff   RTR: REMOTE   DLC: 0   DATA:" << true << ext;
    QTest::newRow("no blank after ID: reads 0")
        << "ID:STD=0x661   RTR: DATA   DLC: 1   DATA: 0x5" << true << standard(0, 1, {5});
    QTest::newRow("two blanks give a zero byte")
        << "ID: STD=0x1   RTR: DATA   DLC: 3   DATA: 0x1  0x2" << true << standard(1, 3, {1, 0, 2});
    QTest::newRow("0x1ff is 0xff, a word is 0")
        << "ID: STD=0x1   RTR: DATA   DLC: 2   DATA: 0x1ff zz" << true << standard(1, 2, {0xFF, 0});
    QTest::newRow("bytes beyond the pieces are 0")
        << "ID: STD=0x1   RTR: DATA   DLC: 8   DATA: 0x9" << true << standard(1, 8, {9});
    QTest::newRow("more than eight pieces ignored")
        << "ID: STD=0x1   RTR: DATA   DLC: 8   DATA: 1 2 3 4 5 6 7 8 9 10" << true
        << standard(1, 8, {1, 2, 3, 4, 5, 6, 7, 8});
    QTest::newRow("four blanks split once")
        << "ID: STD=0x1    RTR: DATA   DLC: 1   DATA: 0x2" << true << standard(1, 1, {2});
    QTest::newRow("six blanks skipped")
        << "ID: STD=0x1      RTR: DATA   DLC: 1   DATA: 0x2" << false << CanFrame{};
    QTest::newRow("STD tested before EXT")
        << "ID: STD=0x5 EXT   RTR: DATA   DLC: 0   DATA:" << true << standard(0, 0);
    QTest::newRow("invalid id reads 0")
        << "ID: STD=0xq1   RTR: DATA   DLC: 0   DATA:" << true << standard(0, 0);
    QTest::newRow("prose") << "send this to the car" << false << CanFrame{};
    QTest::newRow("empty") << "" << false << CanFrame{};
}

void Tst_Can_Text::reader() {
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QFETCH(CanFrame, frame);
    const std::optional<CanFrame> got = can_text_line_frame(line);
    QCOMPARE(got.has_value(), valid);
    if (valid) {
        QCOMPARE(can_frame_to_text(*got), can_frame_to_text(frame));
        QVERIFY(*got == frame);
    }
}

void Tst_Can_Text::parse_hex_rule_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<quint32>("value");
    QTest::newRow("0x661") << "0x661" << true << 0x661U;
    QTest::newRow("upper prefix and digits") << "0XABcd" << true << 0xABCDU;
    QTest::newRow("no prefix") << "1fffffff" << true << 0x1FFFFFFFU;
    QTest::newRow("blanks around") << " \t0x10\r\n" << true << 0x10U;
    QTest::newRow("no-break spaces around") << QStringLiteral("\u00a00x1f\u00a0") << true << 0x1FU;
    QTest::newRow("wide and narrow spaces around")
        << QStringLiteral("\u3000\u2003ff\u202f\u2009") << true << 0xFFU;
    QTest::newRow("no-break space inside") << QStringLiteral("0x1\u00a02") << false << 0U;
    QTest::newRow("plus") << "+0x7" << true << 7U;
    QTest::newRow("32 bits") << "0xffffffff" << true << 0xFFFFFFFFU;
    QTest::newRow("33 bits") << "0x100000000" << false << 0U;
    QTest::newRow("leading zeros") << "0x0000000001" << true << 1U;
    QTest::newRow("minus") << "-1" << false << 0U;
    QTest::newRow("empty") << "" << false << 0U;
    QTest::newRow("prefix only") << "0x" << false << 0U;
    QTest::newRow("inner blank") << "0x1 2" << false << 0U;
    QTest::newRow("word") << "hello" << false << 0U;
}

void Tst_Can_Text::parse_hex_rule() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(quint32, value);
    const Hex_Value v = parse_hex(text);
    QCOMPARE(v.valid, valid);
    QCOMPARE(v.value, value);
}

void Tst_Can_Text::frame_text_every_line_and_first() {
    const QString text = QStringLiteral("ID: STD=0x10   RTR: DATA   DLC: 1   DATA: 0x1\n"
                                        "\n"
                                        "a line of prose\n"
                                        "ID: STD=0x20   RTR: DATA   DLC: 1   DATA: 0x2\n");
    std::vector<std::uint32_t> ids;
    QStringList lines;
    can_text_frames(text, [&](const CanFrame& f, QStringView line) {
        ids.push_back(f.std_id);
        lines << line.toString();
    });
    QCOMPARE(ids, (std::vector<std::uint32_t>{0x10, 0x20}));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[1], QStringLiteral("ID: STD=0x20   RTR: DATA   DLC: 1   DATA: 0x2"));
    QCOMPARE(can_text_first_frame(text)->std_id, 0x10U);
    QVERIFY(!can_text_first_frame(QStringLiteral("nothing here\n\n")).has_value());
}

QTEST_APPLESS_MAIN(Tst_Can_Text)
#include "tst_can_text.moc"
