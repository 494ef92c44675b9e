#pragma once

// Software triggers: received frames are matched, by their frame text, against an ordered
// list of patterns, and a match hands the trigger's frame text to the sender.
//
// A pattern is a piece of frame text. Plain form: the frame text must contain it (case-sensitive;
// an empty pattern is in every text). Counter form, a pattern holding "{i}": the pattern without
// its first "{i}" must be contained, and the counter is the low 4 bits of the frame's first data
// byte; the reply's first placeholder "{i+n}" / "{i-n}" (n one hexadecimal digit) is replaced by
// the counter moved by n, modulo 16, as one lower-case hexadecimal digit; "{i}" by the counter.
//
// One-shot triggers switch themselves off when they fire, and only the first enabled one-shot
// trigger of the list is looked at for a frame: they answer a dialogue step by step.

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "can/can_frame.h"

struct CanTrigger {
    QString name;
    bool enabled = false;
    bool one_shot = false; // switches itself off after firing; joins the chain
    QString recv_msg;      // pattern, optionally with the counter mark "{i}"
    QString send_msg;      // frame text to send, optionally with one counter placeholder

    friend bool operator==(const CanTrigger&, const CanTrigger&) = default;
};

// The counter mark of a pattern.
inline constexpr QStringView can_trigger_counter_mark = u"{i}";

// The counter a received frame gives a counter-form pattern: the low 4 bits of its first byte.
std::uint8_t can_trigger_counter(const CanFrame& frame);

// The reply of a counter-form trigger: the first "{i" of `send_msg` and the four characters
// after it ("{i+1}") become the counter moved by the sign and digit, as one lower-case
// hexadecimal digit; a short "{i}" becomes the counter itself. A digit that is not hexadecimal
// counts 0, a sign other than + or - leaves the counter as it is; a placeholder cut short by
// the end of the text loses what there is of it. Without "{i" the reply is `send_msg` unchanged.
QString can_trigger_counter_reply(QStringView send_msg, std::uint8_t counter);

// The trigger list as the settings file keeps it: five parallel lists, one entry per trigger.
// The two flag lists hold "true" / "false", the texts QSettings writes for a bool.
struct Trigger_Lists {
    QStringList names;
    QStringList enabled;
    QStringList recv;
    QStringList send;
    QStringList one_shot;

    friend bool operator==(const Trigger_Lists&, const Trigger_Lists&) = default;
};

// A flag as stored: "true" / "false". Read back as QSettings reads a bool: false for an empty
// text, "0" and "false" (any case), true for anything else.
QString can_trigger_flag_text(bool flag);
bool can_trigger_flag(QStringView text);

// A fixed pattern searched for in many frame texts: the table that speeds the search up is
// made once, when the pattern is set. Case-sensitive; an empty pattern is in every text.
class Pattern_Search {
public:
    explicit Pattern_Search(QString text = {});
    bool found_in(QStringView text) const;
    const QString& text() const { return pattern; }

private:
    static constexpr qsizetype max_length = 0xFFFF; // longer ones take the general search
    static std::size_t bucket(QChar c) { return c.unicode() & 0xFFU; }

    QString pattern;
    std::array<std::uint16_t, 256> skip{};
};

// The ordered trigger list, in matching order, with the counter that numbers the triggers made
// by add_new(). The counter only grows, so a deleted trigger's number is never given again; the
// window saves and restores it with name_counter() / set_name_counter().
class Trigger_List {
public:
    // Receives each reply while the list is walked, before the next trigger is looked at.
    using Reply_Sink = std::function<void(QStringView reply)>;

    qsizetype size() const { return triggers.size(); }
    bool empty() const { return triggers.isEmpty(); }
    const CanTrigger& at(qsizetype row) const { return triggers.at(row); }
    const QList<CanTrigger>& all() const { return triggers; }

    int name_counter() const { return counter; }
    void set_name_counter(int value) { counter = value; }

    // Appends "Trigger " + the next number: not enabled, not one-shot, empty pattern and reply.
    // Returns its row.
    qsizetype add_new();
    void append(const CanTrigger& trigger);
    // Both do nothing and return false for a row that is not in the list.
    bool replace(qsizetype row, const CanTrigger& trigger);
    bool remove(qsizetype row);
    void clear();

    // Matches one received frame, given with the text the caller built for it once. Does nothing
    // when `triggers_enabled` (the master switch) is off. Returns whether any trigger's `enabled`
    // changed, so the window refreshes its edit controls.
    bool check(QStringView frame_text, const CanFrame& frame, bool triggers_enabled,
               const Reply_Sink& send);

    // Re-arms the chain: every disabled one-shot trigger is enabled. Returns whether any was.
    bool enable_all_one_shots();

    Trigger_Lists to_lists() const;
    // Replaces the list by the stored one when all five lists have the same, non-zero length;
    // otherwise the list is left empty. Returns whether triggers were loaded. The name counter
    // is stored apart and not touched.
    bool set_from_lists(const Trigger_Lists& lists);

private:
    // What matching needs of a trigger, prepared when the trigger is set, so that a frame that
    // matches nothing costs no allocation.
    struct Matcher {
        Pattern_Search contained; // the pattern, in the counter form without its mark
        bool counter_form = false;
    };
    static Matcher matcher_of(const CanTrigger& trigger);

    QList<CanTrigger> triggers;
    std::vector<Matcher> matchers; // row for row with `triggers`
    int counter = 0;
};
