#pragma once

// Global hot keys on X11: key combinations grabbed on the root window of an X connection of
// their own, so they work whichever Qt platform runs the window. Combinations are given as
// the settings file stores them: a Windows modifier mask (1 Alt, 2 Control, 4 Shift, 8 Win;
// other bits are ignored) and a Windows virtual-key code (virtual_key_keysym()).
//
// Caps Lock and Num Lock do not defeat a hot key: each combination is grabbed with every state
// of the two. A combination another client already holds is not registered and nothing else is
// disturbed. Holding the combination repeats pressed() with the key's auto-repeat. When the
// keyboard map changes, the combinations follow their keys to their new key codes.
// GUI thread only.

#include <QObject>
#include <cstdint>
#include <memory>
#include <vector>

class QSocketNotifier;
struct _XDisplay;

class Global_Hot_Keys : public QObject {
    Q_OBJECT

public:
    explicit Global_Hot_Keys(QObject* parent = nullptr);
    ~Global_Hot_Keys() override;

    // Connects to `display` (nullptr: $DISPLAY) and grabs the hot keys registered before. False,
    // and nothing reported, when no X server can be reached: there are no hot keys then.
    // Opening again keeps the first connection.
    bool open(const char* display = nullptr);
    bool is_open() const { return display != nullptr; }

    // Grabs the combination for `id`; a second registration of an id replaces the first.
    // Returns registered(id).
    bool register_hot_key(int id, unsigned windows_modifiers, unsigned windows_virtual_key);

    // Whether `id` holds its combination: false for an id never registered, without a
    // connection, for a key the table or the keyboard lacks, and for a combination that
    // another client or another id holds.
    bool registered(int id) const;

signals:
    void pressed(int id);

private:
    struct Grab {
        int id = 0;
        unsigned modifiers = 0;    // X modifier mask
        std::uint32_t keysym = 0;  // 0: the virtual-key code has none
        unsigned char keycode = 0; // where the keysym is now; 0: not on the keyboard
        bool grabbed = false;
    };
    struct Display_Close {
        void operator()(_XDisplay* display) const;
    };

    void read_events();
    void read_queued_later();
    void keyboard_map_changed();
    bool grab(Grab& key);
    void ungrab(Grab& key, unsigned lock_mask);
    bool held_by_other_id(const Grab& key) const;
    void find_num_lock();

    std::unique_ptr<_XDisplay, Display_Close> display;
    std::unique_ptr<QSocketNotifier> notifier; // watches `display`, so goes before it
    unsigned num_lock_mask = 0;
    std::vector<Grab> keys;
};
