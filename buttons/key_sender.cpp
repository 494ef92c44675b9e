#include "buttons/key_sender.h"

#include <QByteArray>
#include <QDebug>
#include <QStringList>
#include <algorithm>
#include <tuple>
#include <utility>

// X headers last: their macros (None, Bool, KeyPress ...) would clash with Qt's names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
extern "C" {
#include <xdo.h>
}

#include "buttons/x_error_trap.h"

namespace {

// When the spare keys run out, xdo binds a key for the moment of the stroke and unbinds it
// right after. The focused application looks the key up when it reads the event; without a
// pause it would find the key already unbound and type nothing.
constexpr useconds_t stroke_bound_pause_us = 12000;
constexpr useconds_t no_pause_us = 0;

constexpr const char* xtest_extension = "XTEST";
constexpr char key_separator = '+';

struct Modifier_Key {
    std::uint8_t modifier;
    const char* keysym_name;
};
constexpr Modifier_Key modifier_keys[] = {
    {key_modifier::control, "Control_L"},
    {key_modifier::alt, "Alt_L"},
    {key_modifier::shift, "Shift_L"},
    {key_modifier::win, "Super_L"},
};

// Whether the keyboard map, as xdo read it, types the character / holds the keysym.
bool in_keymap(const xdo_t& xdo, char32_t c) {
    const charcodemap_t* begin = xdo.charcodes;
    const charcodemap_t* end = begin + xdo.charcodes_len;
    return std::any_of(begin, end,
                       [c](const charcodemap_t& k) { return static_cast<char32_t>(k.key) == c; });
}
bool keysym_in_keymap(const xdo_t& xdo, std::uint32_t keysym) {
    const charcodemap_t* begin = xdo.charcodes;
    const charcodemap_t* end = begin + xdo.charcodes_len;
    return std::any_of(begin, end, [keysym](const charcodemap_t& k) { return k.symbol == keysym; });
}

// The character at `at` and its length in UTF-16 units.
std::pair<char32_t, qsizetype> character_at(QStringView text, qsizetype at) {
    if (text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate()) {
        return {QChar::surrogateToUcs4(text[at], text[at + 1]), 2};
    }
    return {text[at].unicode(), 1};
}

// Types a run of characters; the ones the keyboard map lacks with their pause, the rest
// without.
void type_text(const xdo_t& xdo, QStringView text) {
    qsizetype start = 0;
    while (start < text.size()) {
        auto [c, length] = character_at(text, start);
        const bool mapped = in_keymap(xdo, c);
        qsizetype end = start + length;
        while (end < text.size()) {
            std::tie(c, length) = character_at(text, end);
            if (in_keymap(xdo, c) != mapped) {
                break;
            }
            end += length;
        }
        const QByteArray run = text.mid(start, end - start).toUtf8();
        xdo_enter_text_window(&xdo, CURRENTWINDOW, run.constData(),
                              mapped ? no_pause_us : stroke_bound_pause_us);
        start = end;
    }
}

// "Control_L+Shift_L+a": the form the key functions of xdo take.
QByteArray key_sequence(const Key_Event& event) {
    const char* name = XKeysymToString(event.keysym);
    if (name == nullptr) {
        return {};
    }
    QByteArray sequence;
    for (const Modifier_Key& m : modifier_keys) {
        if (event.modifiers & m.modifier) {
            sequence.append(m.keysym_name).append(key_separator);
        }
    }
    return sequence.append(name);
}

void play(const xdo_t& xdo, const Key_Event& event) {
    if (event.action == Key_Action::type_text) {
        type_text(xdo, event.text);
        return;
    }
    const QByteArray sequence = key_sequence(event);
    if (sequence.isEmpty()) {
        return;
    }
    const useconds_t pause =
        keysym_in_keymap(xdo, event.keysym) ? no_pause_us : stroke_bound_pause_us;
    switch (event.action) {
    case Key_Action::tap:
        for (int i = 0; i < event.count; ++i) {
            xdo_send_keysequence_window(&xdo, CURRENTWINDOW, sequence.constData(), pause);
        }
        break;
    case Key_Action::press:
        xdo_send_keysequence_window_down(&xdo, CURRENTWINDOW, sequence.constData(), pause);
        break;
    case Key_Action::release:
        xdo_send_keysequence_window_up(&xdo, CURRENTWINDOW, sequence.constData(), pause);
        break;
    case Key_Action::type_text:
        break;
    }
}

bool caps_lock_on(Display* display) {
    XkbStateRec state{};
    return XkbGetState(display, XkbUseCoreKbd, &state) == Success &&
           (state.locked_mods & LockMask) != 0;
}

void lock_caps(Display* display, bool on) {
    XkbLockModifiers(display, XkbUseCoreKbd, LockMask, on ? LockMask : 0);
}

// The keysyms of the sequence that the keyboard map lacks, each once, in order.
std::vector<KeySym> missing_keysyms(const xdo_t& xdo, const Key_Sequence& sequence) {
    std::vector<KeySym> missing;
    const auto add = [&missing](KeySym keysym) {
        if (std::find(missing.begin(), missing.end(), keysym) == missing.end()) {
            missing.push_back(keysym);
        }
    };
    for (const Key_Event& event : sequence.events) {
        if (event.action != Key_Action::type_text) {
            if (!keysym_in_keymap(xdo, event.keysym)) {
                add(event.keysym);
            }
            continue;
        }
        for (qsizetype at = 0; at < event.text.size();) {
            const auto [c, length] = character_at(event.text, at);
            if (!in_keymap(xdo, c)) {
                add(character_keysym(c));
            }
            at += length;
        }
    }
    return missing;
}

// Key codes without any keysym, highest first. The lowest one is left out: xdo binds that one
// itself for a stroke when no other is free.
std::vector<KeyCode> spare_keycodes(Display* display) {
    int min_code = 0;
    int max_code = 0;
    XDisplayKeycodes(display, &min_code, &max_code);
    int per_code = 0;
    KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(min_code),
                                      max_code - min_code + 1, &per_code);
    std::vector<KeyCode> spare;
    if (map == nullptr) {
        return spare;
    }
    for (int code = max_code; code >= min_code; --code) {
        const KeySym* syms = map + static_cast<std::ptrdiff_t>(code - min_code) * per_code;
        if (std::all_of(syms, syms + per_code, [](KeySym s) { return s == NoSymbol; })) {
            spare.push_back(static_cast<KeyCode>(code));
        }
    }
    XFree(map);
    if (!spare.empty()) {
        spare.pop_back();
    }
    return spare;
}

// Drops the events queued on the connection; whether one of them said the keyboard map changed.
bool keyboard_map_notice(Display* display) {
    bool changed = false;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        changed =
            changed || (event.type == MappingNotify && event.xmapping.request != MappingPointer);
    }
    return changed;
}

bool touches_caps_lock(const Key_Sequence& sequence) {
    return std::any_of(sequence.events.begin(), sequence.events.end(),
                       [](const Key_Event& e) { return e.keysym == XK_Caps_Lock; });
}

} // namespace

void Key_Sender::Display_Close::operator()(_XDisplay* display) const {
    XCloseDisplay(display);
}

void Key_Sender::Keyboard_Free::operator()(xdo* keyboard) const {
    xdo_free(keyboard);
}

std::unique_ptr<Key_Sender> Key_Sender::open(const char* display_name) {
    Display_Handle display(XOpenDisplay(display_name));
    if (!display) {
        return nullptr;
    }
    int opcode = 0;
    int first_event = 0;
    int first_error = 0;
    if (!XQueryExtension(display.get(), xtest_extension, &opcode, &first_event, &first_error)) {
        return nullptr;
    }
    return std::unique_ptr<Key_Sender>(new Key_Sender(std::move(display)));
}

Key_Sender::Key_Sender(Display_Handle display) : display(std::move(display)) {}

Key_Sender::~Key_Sender() {
    if (!bound_keys.empty()) {
        X_Error_Trap trap(display.get());
        unbind_keys();
    }
}

// A key code that no longer holds what this sender bound (a new keyboard map was loaded since)
// is left as it is.
void Key_Sender::unbind_keys() {
    Display* d = display.get();
    for (const Bound_Key& key : bound_keys) {
        int per_code = 0;
        KeySym* now = XGetKeyboardMapping(d, key.code, 1, &per_code);
        if (now != nullptr && per_code > 0 && now[0] == key.keysym) {
            KeySym nothing = NoSymbol;
            XChangeKeyboardMapping(d, key.code, 1, &nothing, 1);
        }
        XFree(now);
    }
    bound_keys.clear();
}

bool Key_Sender::bind_keys(const std::vector<unsigned long>& keysyms) {
    if (keysyms.empty()) {
        return false;
    }
    Display* d = display.get();
    const std::vector<KeyCode> spare = spare_keycodes(d);
    const std::size_t count = std::min(keysyms.size(), spare.size());
    for (std::size_t i = 0; i < count; ++i) {
        KeySym keysym = keysyms[i];
        XChangeKeyboardMapping(d, spare[i], 1, &keysym, 1);
        bound_keys.push_back({spare[i], keysym});
    }
    XSync(d, False);
    return count > 0;
}

void Key_Sender::send(QStringView text) {
    const Key_Sequence sequence = parse_key_syntax(text);
    report_not_understood(sequence.not_understood);
    if (sequence.events.empty()) {
        return;
    }
    Display* d = display.get();
    X_Error_Trap trap(d);
    // The map is read again when it changed since the last action (a layout chosen after
    // start, for one), and when this sender changes it.
    bool map_changed = keyboard_map_notice(d) || !keyboard;
    if (!bound_keys.empty()) {
        unbind_keys();
        map_changed = true;
    }
    if (map_changed) {
        keyboard.reset(xdo_new_with_opened_display(d, nullptr, False));
    }
    if (keyboard && bind_keys(missing_keysyms(*keyboard, sequence))) {
        keyboard.reset(xdo_new_with_opened_display(d, nullptr, False));
    }
    if (!keyboard) {
        return;
    }
    const bool caps_off_while_typing = !touches_caps_lock(sequence) && caps_lock_on(d);
    if (caps_off_while_typing) {
        lock_caps(d, false);
    }
    for (const Key_Event& event : sequence.events) {
        play(*keyboard, event);
    }
    if (caps_off_while_typing) {
        lock_caps(d, true);
    }
    // This action's own changes of the map are known; their notices are dropped.
    XSync(d, True);
    if (trap.errors() > 0) {
        qDebug().noquote() << "Key action: the X server refused part of" << text;
    }
}

void Key_Sender::report_not_understood(const QStringList& written) {
    for (const QString& w : written) {
        if (!reported.contains(w)) {
            reported.insert(w);
            qDebug().noquote() << "Key action: not understood, typed nothing:" << w;
        }
    }
}
