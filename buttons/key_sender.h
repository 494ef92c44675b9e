#pragma once

// Types key actions (buttons/key_syntax.h) into the window that has the keyboard focus, on
// X11 through the XTest extension.
//
// Characters and keys the keyboard map lacks are bound to spare key codes before the action is
// typed, and stay bound until the next action or the sender's end: the focused application
// reads the keys when it gets to them, and must find them still bound then.
//
// Holds one X connection and the keyboard map it read, nothing else: no timer, no socket watch,
// so it costs nothing between actions. GUI thread only.

#include <QSet>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <memory>
#include <vector>

#include "buttons/key_syntax.h"

struct _XDisplay;
struct xdo;

class Key_Sender {
public:
    // The sender on `display` (nullptr: $DISPLAY); null when no X server with XTest can be
    // reached (Wayland without XWayland, a console), and then nothing is reported.
    static std::unique_ptr<Key_Sender> open(const char* display = nullptr);

    ~Key_Sender();
    Key_Sender(const Key_Sender&) = delete;
    Key_Sender& operator=(const Key_Sender&) = delete;

    // Types `text` without pauses between keys. Braces the syntax does not understand type
    // nothing and are reported on the debug channel, each once per run. Caps Lock, when on, is
    // off while the text is typed, so letters come out in the case written.
    void send(QStringView text);

private:
    struct Display_Close {
        void operator()(_XDisplay* display) const;
    };
    using Display_Handle = std::unique_ptr<_XDisplay, Display_Close>;
    struct Keyboard_Free {
        void operator()(xdo* keyboard) const;
    };

    explicit Key_Sender(Display_Handle display);
    void report_not_understood(const QStringList& written);
    // Binds as many of `keysyms` as there are spare key codes; whether any was bound.
    bool bind_keys(const std::vector<unsigned long>& keysyms);
    void unbind_keys();

    Display_Handle display;
    std::unique_ptr<xdo, Keyboard_Free> keyboard; // xdo's view of the keyboard map, on `display`
    QSet<QString> reported;
    struct Bound_Key {
        unsigned char code;
        unsigned long keysym;
    };
    std::vector<Bound_Key> bound_keys;
};
