// Software triggers (matching, the one-shot chain, the counter, editing, storing) and the
// display-text blocks.
#include <QtTest>

#include "can/can_text.h"
#include "can/can_trigger.h"
#include "can/display_text.h"

Q_DECLARE_METATYPE(CanTrigger)

namespace {

const QString frame_x = QStringLiteral("ID: STD=0x100   RTR: DATA   DLC: 1   DATA: 0x1");
const QString frame_y = QStringLiteral("ID: STD=0x200   RTR: DATA   DLC: 1   DATA: 0x2");
const QString pattern_x = QStringLiteral("STD=0x100");
const QString pattern_y = QStringLiteral("STD=0x200");
const QString pattern_z = QStringLiteral("STD=0x300");

// The head unit's dialogue with the display: an acknowledgement 0x1n answered with 0xb(n+1).
const QString ack_pattern = QStringLiteral("ID: STD=0x681   RTR: DATA   DLC: 3   DATA: 0x1{i}");
const QString ack_reply = QStringLiteral("ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xb{i+1}");
QString ack_frame(std::uint8_t first_byte) {
    return QStringLiteral("ID: STD=0x681   RTR: DATA   DLC: 3   DATA: 0x%1 0x0 0x0")
        .arg(static_cast<uint>(first_byte), 0, 16);
}
QString reply_with(QChar digit) {
    return QStringLiteral("ID: STD=0x680   RTR: DATA   DLC: 1   DATA: 0xb") + digit;
}

CanTrigger trigger(const QString& recv, const QString& send, bool one_shot = false,
                   bool enabled = true) {
    return {QStringLiteral("t"), enabled, one_shot, recv, send};
}

Trigger_List list_of(const QList<CanTrigger>& triggers) {
    Trigger_List list;
    for (const CanTrigger& t : triggers) {
        list.append(t);
    }
    return list;
}

QList<bool> enabled_flags(const Trigger_List& list) {
    QList<bool> flags;
    for (const CanTrigger& t : list.all()) {
        flags << t.enabled;
    }
    return flags;
}

// Feeds frame lines through the check with the master switch on, as the receive path does: the
// text is the one the writer makes of the frame. Replies are logged as "<frame index>: <reply>".
struct Feed {
    QStringList sent;
    QList<bool> changed;
};
Feed feed(Trigger_List& list, const QStringList& lines, bool triggers_enabled = true) {
    Feed out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const CanFrame frame = can_text_line_frame(lines[i]).value();
        out.changed << list.check(can_frame_to_text(frame), frame, triggers_enabled,
                                  [&](QStringView reply) {
                                      QString line = QString::number(i);
                                      line += u": ";
                                      line += reply;
                                      out.sent << line;
                                  });
    }
    return out;
}

// Display frames in short: "<sequence byte>/<dlc>" each.
QStringList frame_marks(const QString& frames) {
    QStringList marks;
    can_text_frames(frames, [&](const CanFrame& f, QStringView) {
        QVERIFY(f.std_id == 0x680 && f.ide == CanFrame::ide_standard);
        marks << QStringLiteral("0x%1/%2")
                     .arg(static_cast<uint>(f.data[0]), 2, 16, QChar(u'0'))
                     .arg(static_cast<uint>(f.dlc));
    });
    return marks;
}
// A block in short: its frames, then "more" or "end".
QString describe(const Display_Block& block) {
    return (frame_marks(block.frames)
            << (block.more ? QStringLiteral("more") : QStringLiteral("end")))
        .join(u' ');
}

} // namespace

class Tst_Can_Tools : public QObject {
    Q_OBJECT

private slots:
    void matching_data();
    void matching();
    void counter_reply_data();
    void counter_reply();
    void enable_all_one_shots_rearms_the_chain();
    void add_numbers_after_delete();
    void an_edit_matches_from_the_next_frame();
    void replies_see_the_list_as_it_is_now();
    void rows_outside_the_list_change_nothing();
    void pattern_search_agrees_with_contains_data();
    void pattern_search_agrees_with_contains();
    void stored_lists_round_trip();
    void stored_lists_data();
    void stored_lists();

    void blocks_data();
    void blocks();
    void block_frame_line();
    void queueing_again_keeps_only_the_new_text();
    void direct_data();
    void direct();
    void counter_is_four_bits();
    void uni_default_is_text_1_then_text_2();
};

void Tst_Can_Tools::matching_data() {
    QTest::addColumn<QList<CanTrigger>>("triggers");
    QTest::addColumn<bool>("master");
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QList<bool>>("changed");
    QTest::addColumn<QList<bool>>("enabled_after");

    const QList<CanTrigger> chain{trigger(pattern_x, "first", true),
                                  trigger(pattern_y, "second", true),
                                  trigger(pattern_z, "third", true)};

    QTest::newRow("master switch off: nothing fires, nothing switches off")
        << QList<CanTrigger>{trigger("", "plain"), trigger("", "once", true)} << false
        << QStringList{frame_x} << QStringList{} << QList<bool>{false} << QList<bool>{true, true};
    QTest::newRow("empty pattern fires on every frame")
        << QList<CanTrigger>{trigger("", "A")} << true << QStringList{frame_x, frame_y}
        << QStringList{"0: A", "1: A"} << QList<bool>{false, false} << QList<bool>{true};
    QTest::newRow("a disabled trigger is passed over")
        << QList<CanTrigger>{trigger("", "off", false, false), trigger(pattern_x, "on")} << true
        << QStringList{frame_x} << QStringList{"0: on"} << QList<bool>{false}
        << QList<bool>{false, true};
    QTest::newRow("the pattern is case-sensitive")
        << QList<CanTrigger>{trigger("std=0x100", "A")} << true << QStringList{frame_x}
        << QStringList{} << QList<bool>{false} << QList<bool>{true};
    // Only the first armed one-shot is looked at: Y waits until X has fired the first.
    QTest::newRow("one-shot chain")
        << chain << true << QStringList{frame_y, frame_x, frame_y}
        << QStringList{"1: first", "2: second"} << QList<bool>{false, true, true}
        << QList<bool>{false, false, true};
    QTest::newRow("a plain trigger below an armed one-shot is still looked at")
        << QList<CanTrigger>{trigger(pattern_x, "once", true), trigger(pattern_y, "B")} << true
        << QStringList{frame_y, frame_y} << QStringList{"0: B", "1: B"} << QList<bool>{false, false}
        << QList<bool>{true, true};
    QTest::newRow("replies go out in list order")
        << QList<CanTrigger>{trigger("", "A"), trigger(pattern_x, "once", true),
                             trigger("DLC: 1", "C")}
        << true << QStringList{frame_x} << QStringList{"0: A", "0: once", "0: C"}
        << QList<bool>{true} << QList<bool>{true, false, true};
    QTest::newRow("head unit: 0x15 answered with 0xb6")
        << QList<CanTrigger>{trigger(ack_pattern, ack_reply)} << true
        << QStringList{ack_frame(0x15)} << QStringList{"0: " + reply_with(u'6')}
        << QList<bool>{false} << QList<bool>{true};
    QTest::newRow("counter wraps: 0x1f + 1 is 0")
        << QList<CanTrigger>{trigger(ack_pattern, ack_reply)} << true
        << QStringList{ack_frame(0x1F)} << QStringList{"0: " + reply_with(u'0')}
        << QList<bool>{false} << QList<bool>{true};
    QTest::newRow("counter wraps: 0x10 - 1 is f")
        << QList<CanTrigger>{trigger(ack_pattern, QString(ack_reply).replace("i+1", "i-1"))} << true
        << QStringList{ack_frame(0x10)} << QStringList{"0: " + reply_with(u'f')}
        << QList<bool>{false} << QList<bool>{true};
    QTest::newRow("counter form: same identifier, pattern not contained")
        << QList<CanTrigger>{trigger(ack_pattern, ack_reply)} << true
        << QStringList{ack_frame(0x25), "ID: STD=0x681   RTR: DATA   DLC: 1   DATA: 0x15"}
        << QStringList{} << QList<bool>{false, false} << QList<bool>{true};
    QTest::newRow("counter form one-shot switches off when it fires")
        << QList<CanTrigger>{trigger(ack_pattern, ack_reply, true)} << true
        << QStringList{ack_frame(0x15), ack_frame(0x16)} << QStringList{"0: " + reply_with(u'6')}
        << QList<bool>{true, false} << QList<bool>{false};
    QTest::newRow("counter form without placeholder sends its reply unchanged")
        << QList<CanTrigger>{trigger(ack_pattern, frame_y)} << true << QStringList{ack_frame(0x15)}
        << QStringList{"0: " + frame_y} << QList<bool>{false} << QList<bool>{true};
    QTest::newRow("short placeholder {i} is the counter itself")
        << QList<CanTrigger>{trigger(ack_pattern, "DATA: 0xb{i} 0x1")} << true
        << QStringList{ack_frame(0x15)} << QStringList{"0: DATA: 0xb5 0x1"} << QList<bool>{false}
        << QList<bool>{true};
}

void Tst_Can_Tools::matching() {
    QFETCH(QList<CanTrigger>, triggers);
    QFETCH(bool, master);
    QFETCH(QStringList, frames);
    QFETCH(QStringList, sent);
    QFETCH(QList<bool>, changed);
    QFETCH(QList<bool>, enabled_after);
    Trigger_List list = list_of(triggers);
    const Feed got = feed(list, frames, master);
    QCOMPARE(got.sent, sent);
    QCOMPARE(got.changed, changed);
    QCOMPARE(enabled_flags(list), enabled_after);
}

void Tst_Can_Tools::counter_reply_data() {
    QTest::addColumn<QString>("send_msg");
    QTest::addColumn<int>("counter");
    QTest::addColumn<QString>("reply");
    QTest::newRow("plus one") << "0xb{i+1} 0x2" << 5 << "0xb6 0x2";
    QTest::newRow("plus a wraps") << "0x{i+a}" << 7 << "0x1";
    QTest::newRow("minus one wraps") << "0x{i-1}" << 0 << "0xf";
    QTest::newRow("upper-case digit") << "0x{i+F}" << 1 << "0x0";
    QTest::newRow("other sign leaves the counter") << "0x{i*3}" << 9 << "0x9";
    QTest::newRow("digit not hexadecimal counts 0") << "0x{i+z}" << 4 << "0x4";
    QTest::newRow("five characters go, whatever they are") << "0x{i+1xy" << 2 << "0x3y";
    QTest::newRow("short form loses only its three") << "0x{i} 0x7" << 12 << "0xc 0x7";
    QTest::newRow("only the first placeholder") << "0x{i+1} 0x{i+1}" << 3 << "0x4 0x{i+1}";
    QTest::newRow("cut short at the end") << "0xb{i+" << 5 << "0xb5";
    QTest::newRow("mark alone at the end") << "{i" << 10 << "a";
    QTest::newRow("no placeholder") << "0xb1" << 3 << "0xb1";
}

void Tst_Can_Tools::counter_reply() {
    QFETCH(QString, send_msg);
    QFETCH(int, counter);
    QFETCH(QString, reply);
    QCOMPARE(can_trigger_counter_reply(send_msg, static_cast<std::uint8_t>(counter)), reply);
}

void Tst_Can_Tools::enable_all_one_shots_rearms_the_chain() {
    Trigger_List list =
        list_of({trigger(pattern_x, "first", true), trigger(pattern_y, "second", true),
                 trigger(pattern_x, "plain, off", false, false)});
    feed(list, {frame_x, frame_y});
    QCOMPARE(enabled_flags(list), (QList<bool>{false, false, false}));

    QVERIFY(list.enable_all_one_shots());
    QCOMPARE(enabled_flags(list), (QList<bool>{true, true, false}));
    QVERIFY(!list.enable_all_one_shots());
    QCOMPARE(feed(list, {frame_x}).sent, QStringList{"0: first"});
}

void Tst_Can_Tools::add_numbers_after_delete() {
    Trigger_List list;
    QCOMPARE(list.add_new(), qsizetype{0});
    QCOMPARE(list.add_new(), qsizetype{1});
    QVERIFY(list.remove(1));
    QCOMPARE(list.add_new(), qsizetype{1});
    QCOMPARE(list.at(1).name, QStringLiteral("Trigger 3"));
    QCOMPARE(list.name_counter(), 3);
    QCOMPARE(list.at(1), (CanTrigger{QStringLiteral("Trigger 3"), false, false, {}, {}}));

    list.clear();
    list.set_name_counter(7); // as loaded from the settings
    list.add_new();
    QCOMPARE(list.at(0).name, QStringLiteral("Trigger 8"));
}

void Tst_Can_Tools::an_edit_matches_from_the_next_frame() {
    Trigger_List list = list_of({trigger(pattern_x, "A")});
    QCOMPARE(feed(list, {frame_y}).sent, QStringList{});

    CanTrigger edited = list.at(0);
    edited.recv_msg = pattern_y;
    QVERIFY(list.replace(0, edited));
    QCOMPARE(feed(list, {frame_y}).sent, QStringList{"0: A"});

    // From the plain to the counter form and back.
    QVERIFY(list.replace(0, trigger(ack_pattern, ack_reply)));
    QCOMPARE(feed(list, {ack_frame(0x13)}).sent, QStringList{"0: " + reply_with(u'4')});
    QVERIFY(list.replace(0, trigger(ack_reply, "plain")));
    QCOMPARE(feed(list, {ack_frame(0x13)}).sent, QStringList{});
}

void Tst_Can_Tools::replies_see_the_list_as_it_is_now() {
    Trigger_List list = list_of({trigger("", "A"), trigger("", "B"), trigger("", "C")});
    const CanFrame frame = can_text_line_frame(frame_x).value();
    const QString text = can_frame_to_text(frame);

    // The first reply switches the second trigger off: it is not looked at any more.
    QStringList sent;
    list.check(text, frame, true, [&](QStringView reply) {
        sent << reply.toString();
        if (reply == u"A") {
            CanTrigger off = list.at(1);
            off.enabled = false;
            list.replace(1, off);
        }
    });
    QCOMPARE(sent, (QStringList{"A", "C"}));

    // A reply that empties the list ends the walk.
    sent.clear();
    list.check(text, frame, true, [&](QStringView reply) {
        sent << reply.toString();
        list.clear();
    });
    QCOMPARE(sent, QStringList{"A"});
    QVERIFY(list.empty());
}

void Tst_Can_Tools::rows_outside_the_list_change_nothing() {
    Trigger_List list = list_of({trigger(pattern_x, "A")});
    for (const qsizetype row : {qsizetype{-1}, qsizetype{1}}) {
        QVERIFY(!list.remove(row));
        QVERIFY(!list.replace(row, trigger("", "B")));
    }
    QCOMPARE(list.all(), QList<CanTrigger>{trigger(pattern_x, "A")});
    QCOMPARE(feed(list, {frame_y}).sent, QStringList{});
}

void Tst_Can_Tools::stored_lists_round_trip() {
    Trigger_List list;
    list.append({"first", true, false, ack_pattern, ack_reply + "\n" + frame_x});
    list.append({"second", false, true, "", ""});
    const Trigger_Lists lists = list.to_lists();
    QCOMPARE(lists.names, (QStringList{"first", "second"}));
    QCOMPARE(lists.enabled, (QStringList{"true", "false"}));
    QCOMPARE(lists.one_shot, (QStringList{"false", "true"}));
    QCOMPARE(lists.send[0], ack_reply + "\n" + frame_x);

    Trigger_List loaded;
    QVERIFY(loaded.set_from_lists(lists));
    QCOMPARE(loaded.all(), list.all());
    // Loaded triggers match like the ones stored.
    QCOMPARE(feed(loaded, {ack_frame(0x11)}).sent,
             QStringList{"0: " + reply_with(u'2') + "\n" + frame_x});
}

void Tst_Can_Tools::stored_lists_data() {
    QTest::addColumn<QStringList>("enabled");
    QTest::addColumn<QStringList>("one_shot");
    QTest::addColumn<int>("send_count");
    QTest::addColumn<QList<bool>>("loaded_enabled"); // empty: nothing loaded
    QTest::newRow("flags as QSettings reads a bool")
        << QStringList{"", "0", "FALSE", "1", "true", "yes"}
        << QStringList{"false", "false", "false", "false", "false", "false"} << 6
        << QList<bool>{false, false, false, true, true, true};
    QTest::newRow("one list shorter: nothing loaded")
        << QStringList{"true", "true", "true"} << QStringList{"false", "false", "false"} << 2
        << QList<bool>{};
    QTest::newRow("flag list missing: nothing loaded")
        << QStringList{"true"} << QStringList{} << 1 << QList<bool>{};
    QTest::newRow("all empty: nothing loaded")
        << QStringList{} << QStringList{} << 0 << QList<bool>{};
}

void Tst_Can_Tools::stored_lists() {
    QFETCH(QStringList, enabled);
    QFETCH(QStringList, one_shot);
    QFETCH(int, send_count);
    QFETCH(QList<bool>, loaded_enabled);
    Trigger_Lists lists;
    lists.enabled = enabled;
    lists.one_shot = one_shot;
    for (qsizetype i = 0; i < enabled.size(); ++i) {
        lists.names << QStringLiteral("Trigger %1").arg(i + 1);
        lists.recv << pattern_x;
    }
    for (int i = 0; i < send_count; ++i) {
        lists.send << frame_y;
    }

    Trigger_List list = list_of({trigger("", "left over")});
    QCOMPARE(list.set_from_lists(lists), !loaded_enabled.isEmpty());
    QCOMPARE(enabled_flags(list), loaded_enabled);
    QCOMPARE(list.to_lists().names, loaded_enabled.isEmpty() ? QStringList{} : lists.names);
}

void Tst_Can_Tools::blocks_data() {
    QTest::addColumn<int>("counter");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("blocks");
    QTest::addColumn<int>("counter_after");
    QTest::newRow("four lines at counter 14: one block")
        << 14 << "0x1\n0x2\n0x3\n0x4" << QStringList{"0x2e/2 0x2f/2 0x20/2 0x11/2 end"} << 2;
    QTest::newRow("five lines: a 0x0-marked block, then a 0x1-marked one")
        << 0 << "0x1\n0x2\n0x3\n0x4\n0x5"
        << QStringList{"0x20/2 0x21/2 0x22/2 0x03/2 more", "0x14/2 end"} << 5;
    QTest::newRow("counter 15 runs on to 0")
        << 15 << "0x1\n0x2" << QStringList{"0x2f/2 0x10/2 end"} << 1;
    QTest::newRow("three tokens, then a trailing blank: one more")
        << 0 << "0x1 0x2 0x3\n0x1 0x2 0x3 " << QStringList{"0x20/4 0x11/5 end"} << 2;
    QTest::newRow("start text at counter 4")
        << 4 << can_text_uni_default.toString()
        << QStringList{"0x24/8 0x25/8 0x26/8 0x07/8 more", "0x28/8 0x29/8 0x2a/8 0x1b/3 end"} << 12;
    QTest::newRow("two empty lines in a row leave none") << 0 << "0x1\n\n\n0x2\n"
                                                         << QStringList{"0x20/2 0x11/2 end"} << 2;
    QTest::newRow("a line of blanks stays") << 0 << " " << QStringList{"0x10/3 end"} << 1;
    QTest::newRow("empty queue: no frames") << 6 << "\n\n" << QStringList{"end"} << 6;
}

void Tst_Can_Tools::blocks() {
    QFETCH(int, counter);
    QFETCH(QString, text);
    QFETCH(QStringList, blocks);
    QFETCH(int, counter_after);
    Display_Text display;
    display.set_counter(counter);
    display.queue_text(text);
    QVERIFY(display.start_pending());
    for (const QString& expected : blocks) {
        QCOMPARE(describe(display.send_block()), expected);
    }
    QVERIFY(display.queue().isEmpty());
    QCOMPARE(int{display.counter()}, counter_after);
    QCOMPARE(display.send_block(), Display_Block{});
}

void Tst_Can_Tools::block_frame_line() {
    Display_Text display;
    display.set_counter(4);
    display.queue_text(can_text_uni_default);
    const QString frames = display.send_block().frames;
    QVERIFY(frames.startsWith(
        u"ID: STD=0x680   RTR: DATA   DLC: 8   DATA: 0x24 0x09 0x00 0x60 0x09 0x00 0x00 0x00\n"
        u"ID: STD=0x680   RTR: DATA   DLC: 8   DATA: 0x25 0x00 0x00 0x6e"));
    QVERIFY(frames.endsWith(u"DATA: 0x7 0x46 0x4d 0xa0 0x31 0x61 0x07 0x02\n"));
    QCOMPARE(frames.count(u'\n'), Display_Text::lines_per_block);

    CanFrame first;
    first.std_id = 0x680;
    first.dlc = 8;
    first.data = {0x24, 0x09, 0x00, 0x60, 0x09, 0x00, 0x00, 0x00};
    QCOMPARE(can_text_first_frame(frames).value(), first);
}

void Tst_Can_Tools::queueing_again_keeps_only_the_new_text() {
    Display_Text display;
    display.queue_text(u"0x1\n0x2\n0x3\n0x4\n0x5");
    display.queue_text(u"0x7 0x8");
    QCOMPARE(display.queue(), QStringList{"0x7 0x8"});
    QVERIFY(display.start_pending());
    QCOMPARE(describe(display.send_block()), QStringLiteral("0x10/3 end"));
}

void Tst_Can_Tools::direct_data() {
    QTest::addColumn<int>("counter");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("frames");
    QTest::newRow("Text 1 at counter 0")
        << 0 << can_text_1_default.toString() << "0x20/8 0x21/8 0x22/8 0x03/8";
    QTest::newRow("Text 2 at counter 15")
        << 15 << can_text_2_default.toString() << "0x2f/8 0x20/8 0x21/8 0x02/3";
    QTest::newRow("two empty lines in a row leave none") << 0 << "0x1\n\n\n0x2\n"
                                                         << "0x20/2 0x01/2";
    QTest::newRow("nothing to send") << 3 << "\n"
                                     << "";
}

void Tst_Can_Tools::direct() {
    QFETCH(int, counter);
    QFETCH(QString, text);
    QFETCH(QString, frames);
    Display_Text display;
    display.set_counter(counter);
    display.queue_text(u"0x9");
    display.set_start_pending(false);
    display.set_more_pending(true);
    QCOMPARE(frame_marks(display.direct_text(text)).join(u' '), frames);
    // The queue and its flags are another sender's.
    QCOMPARE(display.queue(), QStringList{"0x9"});
    QVERIFY(!display.start_pending());
    QVERIFY(display.more_pending());
}

void Tst_Can_Tools::counter_is_four_bits() {
    Display_Text display;
    QCOMPARE(int{display.counter()}, 0);
    display.set_counter(20);
    QCOMPARE(int{display.counter()}, 4);
    display.set_counter(-1);
    QCOMPARE(int{display.counter()}, 15);
}

void Tst_Can_Tools::uni_default_is_text_1_then_text_2() {
    QString halves = can_text_1_default.toString();
    halves += u'\n';
    halves += can_text_2_default;
    QCOMPARE(can_text_uni_default.toString().split(u'\n', Qt::SkipEmptyParts),
             halves.split(u'\n', Qt::SkipEmptyParts));
}

// The receive path's search gives what QStringView::contains gives, also for characters that
// share their low byte and for patterns at either end of the text.
void Tst_Can_Tools::pattern_search_agrees_with_contains_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    const QString line = QStringLiteral("ID: STD=0x681   RTR: DATA   DLC: 3   DATA: 0x15 0x1 0x2");
    QTest::newRow("empty pattern") << QString() << line;
    QTest::newRow("empty text") << QStringLiteral("ID") << QString();
    QTest::newRow("whole line") << line << line;
    QTest::newRow("longer than the text") << line + QLatin1Char(' ') << line;
    QTest::newRow("at the start") << QStringLiteral("ID: STD=0x681") << line;
    QTest::newRow("at the end") << QStringLiteral("0x1 0x2") << line;
    QTest::newRow("one character, last") << QStringLiteral("2") << line;
    QTest::newRow("repeated prefix") << QStringLiteral("0x1 0x2") << QStringLiteral("0x1 0x1 0x2");
    QTest::newRow("other case") << QStringLiteral("data") << line;
    QTest::newRow("near miss") << QStringLiteral("STD=0x682") << line;
    // U+0141 and 'A' (0x41) share a low byte.
    QTest::newRow("shared low byte, absent")
        << QStringLiteral("x\u0141y") << QStringLiteral("xAy xAy");
    QTest::newRow("shared low byte, present")
        << QStringLiteral("x\u0141y") << QStringLiteral("xAy x\u0141y");
}

void Tst_Can_Tools::pattern_search_agrees_with_contains() {
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QCOMPARE(Pattern_Search(pattern).found_in(text), QStringView(text).contains(pattern));

    // And over many small texts of a four-letter alphabet with a low-byte twin.
    const std::array<QChar, 4> letters{QLatin1Char('a'), QLatin1Char('b'), QChar(0x161),
                                       QLatin1Char(' ')};
    std::uint32_t state = 12345;
    const auto next = [&state] {
        state = state * 1103515245U + 12345U;
        return (state >> 16) & 0x7FFFU;
    };
    for (int round = 0; round < 2000; ++round) {
        QString p;
        QString t;
        for (std::uint32_t n = 1 + next() % 4; n > 0; --n) {
            p += letters[next() % letters.size()];
        }
        for (std::uint32_t n = next() % 12; n > 0; --n) {
            t += letters[next() % letters.size()];
        }
        QCOMPARE(Pattern_Search(p).found_in(t), QStringView(t).contains(p));
    }
}

QTEST_APPLESS_MAIN(Tst_Can_Tools)
#include "tst_can_tools.moc"
