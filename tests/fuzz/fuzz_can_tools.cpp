// Trigger patterns and replies as typed by the user or read from the settings file, and display
// texts as typed: matching keeps the chain's rules whatever the texts hold, counter replies
// change only the placeholder, and display blocks take every queued line exactly once.
//
// Input: pieces separated by tabs. The first is the received frame's text (the frame is the
// text's first frame line, or all zero); then one trigger per three pieces: flags ("e" enabled,
// "o" one-shot, anywhere in the piece), pattern, reply. The whole input is also a display text.

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>

#include "can/can_text.h"
#include "can/can_trigger.h"
#include "can/display_text.h"
#include "fuzz_check.h"

namespace {

constexpr qsizetype pieces_per_trigger = 3;
constexpr qsizetype placeholder_length = 5;
constexpr int counter_values = 16;

bool lower_hex_digit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
}

void check_counter_reply(QStringView send_msg, std::uint8_t counter) {
    const QString reply = can_trigger_counter_reply(send_msg, counter);
    const qsizetype k = send_msg.indexOf(u"{i");
    if (k < 0) {
        FUZZ_CHECK(reply == send_msg);
        return;
    }
    const bool short_form = k + 2 < send_msg.size() && send_msg[k + 2] == u'}';
    const qsizetype removed = std::min(
        short_form ? can_trigger_counter_mark.size() : placeholder_length, send_msg.size() - k);
    FUZZ_CHECK(reply.size() == send_msg.size() - removed + 1);
    FUZZ_CHECK(QStringView(reply).left(k) == send_msg.left(k));
    FUZZ_CHECK(lower_hex_digit(reply[k]));
    FUZZ_CHECK(QStringView(reply).sliced(k + 1) == send_msg.sliced(k + removed));
}

void check_triggers(const QStringList& pieces) {
    const QString& frame_text = pieces.front();
    const CanFrame frame = can_text_first_frame(frame_text).value_or(CanFrame{});

    Trigger_List list;
    for (qsizetype i = 1; i + pieces_per_trigger <= pieces.size(); i += pieces_per_trigger) {
        const QString& flags = pieces[i];
        list.append({QString::number(i), flags.contains(u'e'), flags.contains(u'o'), pieces[i + 1],
                     pieces[i + 2]});
        check_counter_reply(pieces[i + 2], can_trigger_counter(frame));
    }
    const QList<CanTrigger> before = list.all();

    int replies = 0;
    const auto count = [&](QStringView) { ++replies; };
    FUZZ_CHECK(!list.check(frame_text, frame, false, count));
    FUZZ_CHECK(replies == 0 && list.all() == before);

    const bool changed = list.check(frame_text, frame, true, count);
    int switched_off = 0;
    int enabled_before = 0;
    for (qsizetype row = 0; row < list.size(); ++row) {
        const CanTrigger& now = list.at(row);
        const CanTrigger& was = before[row];
        enabled_before += was.enabled ? 1 : 0;
        if (now.enabled != was.enabled) {
            // Only an armed one-shot switches off, and only by firing.
            FUZZ_CHECK(was.one_shot && was.enabled);
            ++switched_off;
        }
        FUZZ_CHECK(now.name == was.name && now.recv_msg == was.recv_msg &&
                   now.send_msg == was.send_msg && now.one_shot == was.one_shot);
    }
    FUZZ_CHECK(switched_off <= 1);
    FUZZ_CHECK(changed == (switched_off == 1));
    FUZZ_CHECK(replies <= enabled_before);

    Trigger_List stored;
    FUZZ_CHECK(stored.set_from_lists(list.to_lists()) == !list.empty());
    FUZZ_CHECK(stored.all() == list.all());

    bool one_shot_off = false;
    for (const CanTrigger& t : list.all()) {
        one_shot_off = one_shot_off || (t.one_shot && !t.enabled);
    }
    FUZZ_CHECK(list.enable_all_one_shots() == one_shot_off);
    FUZZ_CHECK(!list.enable_all_one_shots());
    for (const CanTrigger& t : list.all()) {
        FUZZ_CHECK(!t.one_shot || t.enabled);
    }
}

void check_display(const QString& text, int counter) {
    Display_Text display;
    display.set_counter(counter);
    display.queue_text(text);
    const QStringList queued = display.queue();
    for (const QString& line : queued) {
        FUZZ_CHECK(!line.isEmpty() && !line.contains(u'\n'));
    }
    qsizetype sent = 0;
    for (bool more = true; more;) {
        const qsizetype left = display.queue().size();
        const Display_Block block = display.send_block();
        const qsizetype frames = block.frames.count(u'\n');
        FUZZ_CHECK(frames == std::min<qsizetype>(left, Display_Text::lines_per_block));
        FUZZ_CHECK(block.more == (left > Display_Text::lines_per_block));
        FUZZ_CHECK(display.queue().size() == left - frames);
        sent += frames;
        more = block.more;
    }
    FUZZ_CHECK(sent == queued.size() && display.queue().isEmpty());
    FUZZ_CHECK(display.counter() == (counter + sent) % counter_values);

    const QString direct = display.direct_text(text);
    FUZZ_CHECK(direct.count(u'\n') == queued.size());
    FUZZ_CHECK(display.counter() == (counter + 2 * sent) % counter_values);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    check_triggers(text.split(u'\t'));
    check_display(text, static_cast<int>(size % counter_values));
    return 0;
}
