#include "buttons/global_hot_keys.h"

#include <QPointer>
#include <QSocketNotifier>
#include <algorithm>
#include <array>

#include "buttons/key_syntax.h"

// X headers last: their macros (None, Bool, KeyPress ...) would clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include "buttons/x_error_trap.h"

namespace {

// The modifier bits of the settings file and the X modifiers they stand for.
struct Modifier_Bit {
    unsigned windows;
    unsigned x;
};
constexpr std::array<Modifier_Bit, 4> modifier_bits{{
    {0x1, Mod1Mask},    // Alt
    {0x2, ControlMask}, // Control
    {0x4, ShiftMask},   // Shift
    {0x8, Mod4Mask},    // Win
}};

constexpr unsigned hot_key_modifier_mask = Mod1Mask | ControlMask | ShiftMask | Mod4Mask;

unsigned x_modifiers(unsigned windows_modifiers) {
    unsigned mask = 0;
    for (const Modifier_Bit& m : modifier_bits) {
        if (windows_modifiers & m.windows) {
            mask |= m.x;
        }
    }
    return mask;
}

// Every state of Caps Lock and Num Lock, to be grabbed with each combination.
std::vector<unsigned> lock_states(unsigned num_lock_mask) {
    std::vector<unsigned> states{0, LockMask};
    if (num_lock_mask != 0 && num_lock_mask != LockMask) {
        states.push_back(num_lock_mask);
        states.push_back(num_lock_mask | LockMask);
    }
    return states;
}

} // namespace

void Global_Hot_Keys::Display_Close::operator()(_XDisplay* display) const {
    XCloseDisplay(display);
}

Global_Hot_Keys::Global_Hot_Keys(QObject* parent) : QObject(parent) {}

Global_Hot_Keys::~Global_Hot_Keys() = default;

bool Global_Hot_Keys::open(const char* display_name) {
    if (display) {
        return true;
    }
    display.reset(XOpenDisplay(display_name));
    if (!display) {
        return false;
    }
    find_num_lock();
    notifier =
        std::make_unique<QSocketNotifier>(ConnectionNumber(display.get()), QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &Global_Hot_Keys::read_events);
    for (Grab& key : keys) {
        if (key.keysym != 0) {
            key.keycode = XKeysymToKeycode(display.get(), key.keysym);
            grab(key);
        }
    }
    read_queued_later();
    return true;
}

// Waiting for the server's answers may have read events into the queue, where the socket no
// longer announces them.
void Global_Hot_Keys::read_queued_later() {
    if (XEventsQueued(display.get(), QueuedAlready) > 0) {
        QMetaObject::invokeMethod(this, &Global_Hot_Keys::read_events, Qt::QueuedConnection);
    }
}

bool Global_Hot_Keys::register_hot_key(int id, unsigned windows_modifiers,
                                       unsigned windows_virtual_key) {
    const auto old =
        std::find_if(keys.begin(), keys.end(), [id](const Grab& k) { return k.id == id; });
    if (old != keys.end()) {
        ungrab(*old, num_lock_mask);
        keys.erase(old);
    }
    Grab key;
    key.id = id;
    key.modifiers = x_modifiers(windows_modifiers);
    key.keysym = virtual_key_keysym(windows_virtual_key);
    if (display && key.keysym != 0) {
        key.keycode = XKeysymToKeycode(display.get(), key.keysym);
        grab(key);
    }
    keys.push_back(key);
    if (display) {
        read_queued_later();
    }
    return key.grabbed;
}

bool Global_Hot_Keys::registered(int id) const {
    return std::any_of(keys.begin(), keys.end(),
                       [id](const Grab& k) { return k.id == id && k.grabbed; });
}

bool Global_Hot_Keys::held_by_other_id(const Grab& key) const {
    return std::any_of(keys.begin(), keys.end(), [&key](const Grab& k) {
        return k.grabbed && k.id != key.id && k.keycode == key.keycode &&
               k.modifiers == key.modifiers;
    });
}

bool Global_Hot_Keys::grab(Grab& key) {
    key.grabbed = false;
    if (key.keycode == 0 || held_by_other_id(key)) {
        return false;
    }
    Display* d = display.get();
    const Window root = DefaultRootWindow(d);
    const std::vector<unsigned> states = lock_states(num_lock_mask);
    // A combination another client holds fails with an error, not with a result.
    X_Error_Trap trap(d);
    for (const unsigned state : states) {
        XGrabKey(d, key.keycode, key.modifiers | state, root, False, GrabModeAsync, GrabModeAsync);
    }
    key.grabbed = trap.errors() == 0;
    if (!key.grabbed) {
        // Releases the states that were granted; the other client's stay as they are.
        for (const unsigned state : states) {
            XUngrabKey(d, key.keycode, key.modifiers | state, root);
        }
    }
    return key.grabbed;
}

void Global_Hot_Keys::ungrab(Grab& key, unsigned lock_mask) {
    if (!key.grabbed) {
        return;
    }
    Display* d = display.get();
    for (const unsigned state : lock_states(lock_mask)) {
        XUngrabKey(d, key.keycode, key.modifiers | state, DefaultRootWindow(d));
    }
    XFlush(d);
    key.grabbed = false;
}

void Global_Hot_Keys::find_num_lock() {
    Display* d = display.get();
    num_lock_mask = 0;
    const KeyCode num_lock = XKeysymToKeycode(d, XK_Num_Lock);
    XModifierKeymap* map = XGetModifierMapping(d);
    if (map == nullptr) {
        return;
    }
    if (num_lock != 0) {
        constexpr int modifier_count = 8; // Shift, Lock, Control, Mod1..Mod5
        for (int m = 0; m < modifier_count; ++m) {
            for (int k = 0; k < map->max_keypermod; ++k) {
                if (map->modifiermap[m * map->max_keypermod + k] == num_lock) {
                    num_lock_mask = 1U << m;
                }
            }
        }
    }
    XFreeModifiermap(map);
}

// A new keyboard map may put the keys elsewhere or move Num Lock: the combinations that hold
// their keys, or had no key, are grabbed again where the keys are now. Refused ones stay
// refused.
void Global_Hot_Keys::keyboard_map_changed() {
    Display* d = display.get();
    const unsigned old_num_lock_mask = num_lock_mask;
    find_num_lock();
    for (Grab& key : keys) {
        const bool refused = !key.grabbed && key.keycode != 0;
        if (key.keysym == 0 || refused) {
            continue;
        }
        const KeyCode now = XKeysymToKeycode(d, key.keysym);
        if (key.grabbed && now == key.keycode && num_lock_mask == old_num_lock_mask) {
            continue;
        }
        ungrab(key, old_num_lock_mask);
        key.keycode = now;
        grab(key);
    }
}

void Global_Hot_Keys::read_events() {
    Display* d = display.get();
    const QPointer<Global_Hot_Keys> alive(this);
    std::vector<int> ids;
    bool map_changed = false;
    // XPending reads what the socket holds without waiting for more.
    while (XPending(d) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            map_changed = map_changed || event.xmapping.request != MappingPointer;
        } else if (event.type == KeyPress) {
            const unsigned state = event.xkey.state & ~(LockMask | num_lock_mask);
            for (const Grab& key : keys) {
                if (key.grabbed && key.keycode == event.xkey.keycode &&
                    key.modifiers == (state & hot_key_modifier_mask)) {
                    ids.push_back(key.id);
                }
            }
        }
    }
    if (map_changed) {
        keyboard_map_changed();
        read_queued_later();
    }
    for (const int id : ids) {
        emit pressed(id);
        if (!alive) {
            return;
        }
    }
}
