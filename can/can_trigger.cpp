#include "can/can_trigger.h"

#include <algorithm>
#include <limits>

#include "can/can_text.h"

namespace {

constexpr QStringView placeholder_start = u"{i";
constexpr qsizetype sign_at = 2;            // "{i" then the sign ...
constexpr qsizetype step_at = 3;            // ... then one digit ...
constexpr qsizetype placeholder_length = 5; // ... then "}"
constexpr std::uint8_t counter_mask = 0x0F;
constexpr QStringView new_trigger_name = u"Trigger ";
constexpr QStringView flag_true = u"true";
constexpr QStringView flag_false = u"false";

QChar hex_digit(std::uint8_t value) {
    constexpr char16_t digits[] = u"0123456789abcdef";
    return QChar(digits[value & counter_mask]);
}

QChar char_at(QStringView text, qsizetype at) {
    return at < text.size() ? text[at] : QChar();
}

} // namespace

std::uint8_t can_trigger_counter(const CanFrame& frame) {
    return frame.data[0] & counter_mask;
}

QString can_trigger_counter_reply(QStringView send_msg, std::uint8_t counter) {
    const qsizetype k = send_msg.indexOf(placeholder_start);
    if (k < 0) {
        return send_msg.toString();
    }
    const QChar sign = char_at(send_msg, k + sign_at);
    qsizetype length = placeholder_length;
    if (sign == u'}') {
        // "{i}": the counter as received, and only the mark's own three characters go.
        length = can_trigger_counter_mark.size();
    } else {
        const std::uint32_t step = parse_hex(send_msg.mid(k + step_at).left(1)).value;
        if (sign == u'+') {
            counter = static_cast<std::uint8_t>((counter + step) & counter_mask);
        } else if (sign == u'-') {
            counter = static_cast<std::uint8_t>((counter - step) & counter_mask);
        }
    }
    const qsizetype rest = std::min(k + length, send_msg.size());
    QString reply;
    reply.reserve(send_msg.size());
    reply.append(send_msg.left(k));
    reply.append(hex_digit(counter));
    reply.append(send_msg.mid(rest));
    return reply;
}

QString can_trigger_flag_text(bool flag) {
    return (flag ? flag_true : flag_false).toString();
}

bool can_trigger_flag(QStringView text) {
    return !(text.isEmpty() || text == u"0" || text.compare(flag_false, Qt::CaseInsensitive) == 0);
}

Pattern_Search::Pattern_Search(QString text) : pattern(std::move(text)) {
    const qsizetype m = pattern.size();
    if (m == 0 || m > max_length) {
        return;
    }
    skip.fill(static_cast<std::uint16_t>(m));
    for (qsizetype i = 0; i + 1 < m; ++i) {
        skip[bucket(pattern[i])] = static_cast<std::uint16_t>(m - 1 - i);
    }
}

// Horspool's search: the character under the pattern's last place tells how far the pattern
// may move on. Characters share a shift by their low byte, which only ever shortens a move.
bool Pattern_Search::found_in(QStringView text) const {
    const qsizetype m = pattern.size();
    if (m == 0) {
        return true;
    }
    if (m > max_length) {
        return text.contains(pattern);
    }
    const QChar* const p = pattern.constData();
    for (qsizetype at = 0; at + m <= text.size();) {
        const QChar last = text[at + m - 1];
        if (last == p[m - 1] && QStringView(text.data() + at, m - 1) == QStringView(p, m - 1)) {
            return true;
        }
        at += skip[bucket(last)];
    }
    return false;
}

Trigger_List::Matcher Trigger_List::matcher_of(const CanTrigger& trigger) {
    const qsizetype mark = trigger.recv_msg.indexOf(can_trigger_counter_mark);
    if (mark < 0) {
        return {Pattern_Search(trigger.recv_msg), false};
    }
    QString contained = trigger.recv_msg;
    contained.remove(mark, can_trigger_counter_mark.size());
    return {Pattern_Search(contained), true};
}

qsizetype Trigger_List::add_new() {
    // Saturates rather than overflows a counter read from a hand-edited file.
    if (counter < std::numeric_limits<int>::max()) {
        ++counter;
    }
    CanTrigger trigger;
    trigger.name = new_trigger_name.toString();
    trigger.name += QString::number(counter);
    append(trigger);
    return triggers.size() - 1;
}

void Trigger_List::append(const CanTrigger& trigger) {
    triggers.append(trigger);
    matchers.push_back(matcher_of(trigger));
}

bool Trigger_List::replace(qsizetype row, const CanTrigger& trigger) {
    if (row < 0 || row >= triggers.size()) {
        return false;
    }
    triggers[row] = trigger;
    matchers[static_cast<std::size_t>(row)] = matcher_of(trigger);
    return true;
}

bool Trigger_List::remove(qsizetype row) {
    if (row < 0 || row >= triggers.size()) {
        return false;
    }
    triggers.removeAt(row);
    matchers.erase(matchers.begin() + row);
    return true;
}

void Trigger_List::clear() {
    triggers.clear();
    matchers.clear();
}

bool Trigger_List::check(QStringView frame_text, const CanFrame& frame, bool triggers_enabled,
                         const Reply_Sink& send) {
    if (!triggers_enabled) {
        return false;
    }
    bool one_shot_seen = false;
    bool changed = false;
    // By index and re-reading the size: the sink may change the list under the walk.
    for (qsizetype row = 0; row < triggers.size(); ++row) {
        const CanTrigger& trigger = triggers.at(row);
        if (!trigger.enabled) {
            continue;
        }
        const bool one_shot = trigger.one_shot;
        if (one_shot) {
            if (one_shot_seen) {
                continue;
            }
            one_shot_seen = true;
        }
        const Matcher& matcher = matchers[static_cast<std::size_t>(row)];
        if (!matcher.contained.found_in(frame_text)) {
            continue;
        }
        // Held by value: the sink may replace or remove this very trigger.
        const QString reply =
            matcher.counter_form
                ? can_trigger_counter_reply(trigger.send_msg, can_trigger_counter(frame))
                : trigger.send_msg;
        // Off before its reply goes out, so a reply that comes back to the check while it is
        // sent cannot fire the same one-shot again.
        if (one_shot) {
            triggers[row].enabled = false;
            changed = true;
        }
        send(reply);
    }
    return changed;
}

bool Trigger_List::enable_all_one_shots() {
    bool changed = false;
    for (CanTrigger& trigger : triggers) {
        if (trigger.one_shot && !trigger.enabled) {
            trigger.enabled = true;
            changed = true;
        }
    }
    return changed;
}

Trigger_Lists Trigger_List::to_lists() const {
    Trigger_Lists lists;
    for (const CanTrigger& trigger : triggers) {
        lists.names << trigger.name;
        lists.enabled << can_trigger_flag_text(trigger.enabled);
        lists.recv << trigger.recv_msg;
        lists.send << trigger.send_msg;
        lists.one_shot << can_trigger_flag_text(trigger.one_shot);
    }
    return lists;
}

bool Trigger_List::set_from_lists(const Trigger_Lists& lists) {
    clear();
    const qsizetype n = lists.names.size();
    if (n == 0 || lists.enabled.size() != n || lists.recv.size() != n || lists.send.size() != n ||
        lists.one_shot.size() != n) {
        return false;
    }
    for (qsizetype i = 0; i < n; ++i) {
        append({lists.names[i], can_trigger_flag(lists.enabled[i]),
                can_trigger_flag(lists.one_shot[i]), lists.recv[i], lists.send[i]});
    }
    return true;
}
