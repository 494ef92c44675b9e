#pragma once

// The test's side of an X server: a window of its own that holds the focus and writes down the
// keys it gets, and a keyboard that presses keys through XTest.

#include <QMutex>
#include <QString>
#include <algorithm>
#include <atomic>
#include <initializer_list>
#include <memory>
#include <poll.h>
#include <thread>
#include <vector>

// X headers last: their macros clash with Qt's names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

inline constexpr int typing_read_poll_ms = 20;

struct Display_Close {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
using Display_Handle = std::unique_ptr<Display, Display_Close>;

// A window of the test's own, on a connection of its own, that takes the focus and writes down
// the keys it receives, read on a thread of its own as soon as they come, as an application
// would. Text comes out as typed; Enter is "\n", Tab "\t", Backspace removes the last
// character; Control, Alt and Win held are written "^", "!", "#" before the key; other keys by
// their X name in angle brackets.
class Typing_Window {
public:
    bool open() {
        display.reset(XOpenDisplay(nullptr));
        if (!display) {
            return false;
        }
        Display* d = display.get();
        window = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 200, 100, 0, 0, 0);
        XSelectInput(d, window, KeyPressMask | StructureNotifyMask);
        XMapWindow(d, window);
        XEvent event;
        do {
            XNextEvent(d, &event);
        } while (event.type != MapNotify);
        XSetInputFocus(d, window, RevertToParent, CurrentTime);
        // Reads the keyboard map now, as an application that has been running would have:
        // afterwards each change of it is announced before the keys that use it.
        XKeyEvent first_lookup{};
        first_lookup.display = d;
        first_lookup.keycode = XKeysymToKeycode(d, XK_a);
        KeySym ignored = NoSymbol;
        XLookupString(&first_lookup, nullptr, 0, &ignored, nullptr);
        XSync(d, False);
        reader = std::thread([this] { read(); });
        return true;
    }

    ~Typing_Window() {
        stop = true;
        if (reader.joinable()) {
            reader.join();
        }
    }

    QString text() const {
        const QMutexLocker lock(&mutex);
        return received;
    }
    void clear() {
        const QMutexLocker lock(&mutex);
        received.clear();
    }

private:
    void read() {
        Display* d = display.get();
        pollfd watch{ConnectionNumber(d), POLLIN, 0};
        while (!stop) {
            while (XPending(d) > 0) {
                XEvent event;
                XNextEvent(d, &event);
                if (event.type == MappingNotify) {
                    XRefreshKeyboardMapping(&event.xmapping);
                } else if (event.type == KeyPress) {
                    write_down(event.xkey);
                }
            }
            poll(&watch, 1, typing_read_poll_ms);
        }
    }

    void write_down(XKeyEvent& key) {
        KeySym keysym = NoSymbol;
        char bytes[16];
        XLookupString(&key, bytes, sizeof bytes, &keysym, nullptr);
        if (keysym == NoSymbol || IsModifierKey(keysym)) {
            return;
        }
        QString what;
        if (key.state & ControlMask) {
            what += QLatin1Char('^');
        }
        if (key.state & Mod1Mask) {
            what += QLatin1Char('!');
        }
        if (key.state & Mod4Mask) {
            what += QLatin1Char('#');
        }
        const QMutexLocker lock(&mutex);
        if (keysym == XK_BackSpace) {
            received.chop(1);
            return;
        }
        if (keysym == XK_Return) {
            what += QLatin1Char('\n');
        } else if (keysym == XK_Tab) {
            what += QLatin1Char('\t');
        } else if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF)) {
            what += QChar(static_cast<char16_t>(keysym));
        } else if ((keysym & 0xFF000000) == 0x01000000) {
            const char32_t c = static_cast<char32_t>(keysym & 0x00FFFFFF);
            what += QString::fromUcs4(&c, 1);
        } else {
            what += QStringLiteral("<%1>").arg(QLatin1StringView(XKeysymToString(keysym)));
        }
        received += what;
    }

    Display_Handle display;
    Window window = 0;
    std::thread reader;
    std::atomic<bool> stop{false};
    mutable QMutex mutex;
    QString received;
};

// The test's hands on the keyboard: another client pressing keys through XTest.
class Keyboard {
public:
    Keyboard() : display(XOpenDisplay(nullptr)) {}
    ~Keyboard() {
        if (display) {
            set_locks(0);
        }
    }
    bool is_open() const { return display != nullptr; }

    void press(std::initializer_list<KeySym> keys) {
        std::vector<KeyCode> codes;
        for (const KeySym k : keys) {
            codes.push_back(XKeysymToKeycode(display.get(), k));
        }
        press_codes(codes);
    }
    void press_codes(const std::vector<KeyCode>& codes) {
        Display* d = display.get();
        for (const KeyCode c : codes) {
            XTestFakeKeyEvent(d, c, True, CurrentTime);
        }
        for (auto c = codes.rbegin(); c != codes.rend(); ++c) {
            XTestFakeKeyEvent(d, *c, False, CurrentTime);
        }
        XSync(d, False);
    }

    unsigned num_lock_mask() const { return XkbKeysymToModifiers(display.get(), XK_Num_Lock); }
    // Caps Lock and Num Lock on exactly when their bits are in `mask`.
    void set_locks(unsigned mask) {
        const unsigned locks = LockMask | num_lock_mask();
        XkbLockModifiers(display.get(), XkbUseCoreKbd, locks, mask & locks);
        XSync(display.get(), False);
    }
    unsigned locked() const {
        XkbStateRec state{};
        XkbGetState(display.get(), XkbUseCoreKbd, &state);
        return state.locked_mods;
    }
    Display* get() const { return display.get(); }

private:
    Display_Handle display;
};
