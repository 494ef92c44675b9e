// Key strokes and global hot keys on a real X server: the test starts its own Xvfb, types into
// a window of its own that holds the focus, and presses hot keys with XTest.
#include <QCoreApplication>
#include <QMutex>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <poll.h>
#include <thread>
#include <vector>

#include "buttons/global_hot_keys.h"
#include "buttons/key_sender.h"
#include "buttons/key_syntax.h"
#include "x11_input_fixture.h"
#include "xvfb_fixture.h"

// X headers last: their macros clash with Qt's names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

constexpr int arrive_ms = 5000;
constexpr int quiet_ms = 300; // no further event is expected within this

// Hot-key settings as the settings file gives them.
constexpr unsigned alt = 1;
constexpr unsigned control = 2;
constexpr unsigned key_b = 'B';
constexpr unsigned key_v = 'V';
constexpr unsigned key_w = 'W';
constexpr unsigned key_without_keysym = 0x07;
constexpr int id_volume_up = 101;
constexpr int id_subwoofer_up = 103;
constexpr int id_hard_mute = 105;
constexpr int id_spare = 106;

const char* const no_server_display = ":65500";

QStringList g_missing_tools;
QStringList g_messages;

void record_message(QtMsgType, const QMessageLogContext&, const QString& message) {
    g_messages << message;
}

// Moves a keysym from its key code to the highest key code without any, for as long as it
// lives.
class Moved_Key {
public:
    Moved_Key(Display* display, KeySym keysym) : display(display) {
        int min_code = 0;
        int max_code = 0;
        XDisplayKeycodes(display, &min_code, &max_code);
        KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(min_code),
                                          max_code - min_code + 1, &per_code);
        if (map == nullptr) {
            return;
        }
        const auto syms_of = [&](int code) {
            return map + static_cast<std::ptrdiff_t>(code - min_code) * per_code;
        };
        for (int code = max_code; code >= min_code && spare == 0; --code) {
            if (std::all_of(syms_of(code), syms_of(code + 1),
                            [](KeySym s) { return s == NoSymbol; })) {
                spare = static_cast<KeyCode>(code);
            }
        }
        old_code = XKeysymToKeycode(display, keysym);
        if (spare != 0 && old_code != 0) {
            old_syms.assign(syms_of(old_code), syms_of(old_code + 1));
            nothing.assign(old_syms.size(), NoSymbol);
            XChangeKeyboardMapping(display, spare, per_code, old_syms.data(), 1);
            XChangeKeyboardMapping(display, old_code, per_code, nothing.data(), 1);
            XSync(display, False);
        }
        XFree(map);
    }
    ~Moved_Key() {
        if (!old_syms.empty()) {
            XChangeKeyboardMapping(display, old_code, per_code, old_syms.data(), 1);
            XChangeKeyboardMapping(display, spare, per_code, nothing.data(), 1);
            XSync(display, False);
        }
    }
    Moved_Key(const Moved_Key&) = delete;
    Moved_Key& operator=(const Moved_Key&) = delete;

    // Where the keysym is now; 0 when it could not be moved.
    KeyCode code() const { return old_syms.empty() ? 0 : spare; }

private:
    Display* display;
    int per_code = 0;
    KeyCode spare = 0;
    KeyCode old_code = 0;
    std::vector<KeySym> old_syms;
    std::vector<KeySym> nothing;
};

QList<int> ids(const QSignalSpy& spy) {
    QList<int> out;
    for (const QList<QVariant>& args : spy) {
        out << args.at(0).toInt();
    }
    return out;
}

} // namespace

class Tst_Key_X11 : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void key_names_are_x_keysyms();
    void sender_types_into_focused_window_data();
    void sender_types_into_focused_window();
    void sender_reports_each_unknown_name_once();
    void hot_keys_fire_whatever_the_locks_data();
    void hot_keys_fire_whatever_the_locks();
    void combination_held_by_another_client();
    void combination_refused_without_key_or_taken_by_another_id();
    void hot_key_follows_its_key_to_a_new_key_code();
    void sender_follows_a_changed_keyboard_map();
    void nothing_without_display_data();
    void nothing_without_display();

private:
    void need_x();
};

void Tst_Key_X11::init() {
    g_messages.clear();
}

void Tst_Key_X11::cleanup() {
    qInstallMessageHandler(nullptr);
}

void Tst_Key_X11::need_x() {
    if (!g_missing_tools.isEmpty()) {
        QSKIP(qPrintable(QStringLiteral("not installed: ") + g_missing_tools.join(u' ')));
    }
}

// The tables hold keysym numbers, written without Xlib: each must be a key X knows by name.
void Tst_Key_X11::key_names_are_x_keysyms() {
    need_x();
    for (const Key_Name& k : key_names()) {
        QVERIFY2(XKeysymToString(k.keysym) != nullptr, k.name);
    }
    constexpr unsigned virtual_key_count = 256;
    int found = 0;
    for (unsigned vk = 0; vk < virtual_key_count; ++vk) {
        if (const std::uint32_t keysym = virtual_key_keysym(vk)) {
            QVERIFY2(XKeysymToString(keysym) != nullptr, qPrintable(QString::number(vk, 16)));
            ++found;
        }
    }
    QVERIFY(found > 0);
}

void Tst_Key_X11::sender_types_into_focused_window_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("received");
    QTest::addColumn<bool>("caps_lock");
    QTest::newRow("letters, enter, a letter the keyboard lacks")
        << QStringLiteral("ab{ENTER}ж") << QStringLiteral("ab\nж") << false;
    QTest::newRow("shifted characters") << "Mixed Case, 42{!}"
                                        << "Mixed Case, 42!" << false;
    QTest::newRow("lacking letters between others")
        << QStringLiteral("ж{a 2}жжb") << QStringLiteral("жaaжжb") << false;
    QTest::newRow("repeat, backspace, shift prefix") << "{a 3}{BS}+x"
                                                     << "aaX" << false;
    QTest::newRow("shift held") << "{SHIFT down}ab{SHIFT up}c"
                                << "ABc" << false;
    QTest::newRow("control, alt, win prefixes") << "^c!{TAB}#{ENTER}"
                                                << "^c!\t#\n"
                                                << false;
    QTest::newRow("media keys") << "{VOLUME_UP}{MEDIA_NEXT}"
                                << "<XF86AudioRaiseVolume><XF86AudioNext>" << false;
    QTest::newRow("caps lock on: case as written") << "abC"
                                                   << "abC" << true;
}

void Tst_Key_X11::sender_types_into_focused_window() {
    need_x();
    QFETCH(QString, text);
    QFETCH(QString, received);
    QFETCH(bool, caps_lock);
    Keyboard keyboard;
    QVERIFY(keyboard.is_open());
    keyboard.set_locks(caps_lock ? LockMask : 0);
    Typing_Window window;
    QVERIFY(window.open());
    const std::unique_ptr<Key_Sender> sender = Key_Sender::open();
    QVERIFY(sender);

    sender->send(text);
    QTRY_COMPARE_WITH_TIMEOUT(window.text(), received, arrive_ms);
    QCOMPARE(keyboard.locked() & LockMask, caps_lock ? unsigned{LockMask} : 0U);
}

void Tst_Key_X11::sender_reports_each_unknown_name_once() {
    need_x();
    Typing_Window window;
    QVERIFY(window.open());
    const std::unique_ptr<Key_Sender> sender = Key_Sender::open();
    QVERIFY(sender);
    qInstallMessageHandler(record_message);

    sender->send(u"{NOPE}x{ALSO_NOT 2}");
    sender->send(u"y{NOPE}");
    QTRY_COMPARE_WITH_TIMEOUT(window.text(), QStringLiteral("xy"), arrive_ms);
    QCOMPARE(g_messages.filter(QStringLiteral("{NOPE}")).size(), 1);
    QCOMPARE(g_messages.filter(QStringLiteral("{ALSO_NOT 2}")).size(), 1);
    QCOMPARE(g_messages.size(), 2);
}

void Tst_Key_X11::hot_keys_fire_whatever_the_locks_data() {
    QTest::addColumn<bool>("caps_lock");
    QTest::addColumn<bool>("num_lock");
    QTest::newRow("no lock") << false << false;
    QTest::newRow("caps lock") << true << false;
    QTest::newRow("num lock") << false << true;
    QTest::newRow("both") << true << true;
}

void Tst_Key_X11::hot_keys_fire_whatever_the_locks() {
    need_x();
    QFETCH(bool, caps_lock);
    QFETCH(bool, num_lock);
    Keyboard keyboard;
    QVERIFY(keyboard.is_open());
    QVERIFY(keyboard.num_lock_mask() != 0);
    Global_Hot_Keys hot_keys;
    QSignalSpy spy(&hot_keys, &Global_Hot_Keys::pressed);
    // One registered before the connection, one after.
    QVERIFY(!hot_keys.register_hot_key(id_volume_up, control | alt, key_b));
    QVERIFY(hot_keys.open());
    QVERIFY(hot_keys.registered(id_volume_up));
    QVERIFY(hot_keys.register_hot_key(id_hard_mute, control | alt, key_v));
    keyboard.set_locks((caps_lock ? LockMask : 0) | (num_lock ? keyboard.num_lock_mask() : 0));

    keyboard.press({XK_Control_L, XK_Alt_L, XK_v});
    keyboard.press({XK_Control_L, XK_v}); // another combination: not a hot key
    keyboard.press({XK_Control_L, XK_Alt_L, XK_b});
    QTRY_COMPARE_WITH_TIMEOUT(ids(spy), (QList<int>{id_hard_mute, id_volume_up}), arrive_ms);
}

// Another client took Ctrl+Alt+W first: registering it fails and leaves that client's grab and
// the other hot keys working.
void Tst_Key_X11::combination_held_by_another_client() {
    need_x();
    Keyboard keyboard;
    QVERIFY(keyboard.is_open());
    const Display_Handle other(XOpenDisplay(nullptr));
    QVERIFY(other);
    const KeyCode w = XKeysymToKeycode(other.get(), XK_w);
    XGrabKey(other.get(), w, ControlMask | Mod1Mask, DefaultRootWindow(other.get()), False,
             GrabModeAsync, GrabModeAsync);
    XSync(other.get(), False);

    Global_Hot_Keys hot_keys;
    QVERIFY(hot_keys.open());
    QSignalSpy spy(&hot_keys, &Global_Hot_Keys::pressed);
    QVERIFY(!hot_keys.register_hot_key(id_subwoofer_up, control | alt, key_w));
    QVERIFY(!hot_keys.registered(id_subwoofer_up));
    QVERIFY(hot_keys.register_hot_key(id_hard_mute, control | alt, key_v));
    QVERIFY(hot_keys.registered(id_hard_mute));

    keyboard.press({XK_Control_L, XK_Alt_L, XK_w});
    keyboard.press({XK_Control_L, XK_Alt_L, XK_v});
    QTRY_COMPARE_WITH_TIMEOUT(ids(spy), QList<int>{id_hard_mute}, arrive_ms);
    XEvent event;
    QVERIFY(XCheckTypedEvent(other.get(), KeyPress, &event));
    QCOMPARE(event.xkey.keycode, unsigned{w});
}

void Tst_Key_X11::combination_refused_without_key_or_taken_by_another_id() {
    need_x();
    Keyboard keyboard;
    QVERIFY(keyboard.is_open());
    Global_Hot_Keys hot_keys;
    QVERIFY(hot_keys.open());
    QSignalSpy spy(&hot_keys, &Global_Hot_Keys::pressed);
    QVERIFY(hot_keys.register_hot_key(id_hard_mute, control | alt, key_v));
    QVERIFY(!hot_keys.register_hot_key(id_spare, control | alt, key_v));
    QVERIFY(!hot_keys.register_hot_key(id_volume_up, control | alt, key_without_keysym));
    QVERIFY(!hot_keys.registered(id_spare));
    QVERIFY(!hot_keys.registered(id_volume_up));
    QVERIFY(!hot_keys.registered(id_subwoofer_up)); // never registered

    keyboard.press({XK_Control_L, XK_Alt_L, XK_v});
    QTRY_COMPARE_WITH_TIMEOUT(ids(spy), QList<int>{id_hard_mute}, arrive_ms);
    QTest::qWait(quiet_ms);
    QCOMPARE(ids(spy), QList<int>{id_hard_mute});

    // Registered again on another key, the id leaves its old combination.
    QVERIFY(hot_keys.register_hot_key(id_hard_mute, control | alt, key_b));
    keyboard.press({XK_Control_L, XK_Alt_L, XK_v});
    keyboard.press({XK_Control_L, XK_Alt_L, XK_b});
    QTRY_COMPARE_WITH_TIMEOUT(ids(spy), (QList<int>{id_hard_mute, id_hard_mute}), arrive_ms);
    QTest::qWait(quiet_ms);
    QCOMPARE(spy.size(), 2);
}

// The keyboard map changes under a registered hot key: V moves to a key code that had nothing.
void Tst_Key_X11::hot_key_follows_its_key_to_a_new_key_code() {
    need_x();
    Keyboard keyboard;
    QVERIFY(keyboard.is_open());
    Global_Hot_Keys hot_keys;
    QVERIFY(hot_keys.open());
    QSignalSpy spy(&hot_keys, &Global_Hot_Keys::pressed);
    QVERIFY(hot_keys.register_hot_key(id_hard_mute, control | alt, key_v));

    const Moved_Key moved(keyboard.get(), XK_v);
    QVERIFY(moved.code() != 0);
    Display* d = keyboard.get();
    const std::vector<KeyCode> combination{XKeysymToKeycode(d, XK_Control_L),
                                           XKeysymToKeycode(d, XK_Alt_L), moved.code()};
    // Pressed until the hot keys have read the new map and grabbed the new key code.
    QTRY_VERIFY_WITH_TIMEOUT((keyboard.press_codes(combination), !spy.isEmpty()), arrive_ms);
    QCOMPARE(ids(spy).first(), id_hard_mute);
}

// The keyboard map changes between two actions: Q moves to a key code that had nothing.
void Tst_Key_X11::sender_follows_a_changed_keyboard_map() {
    need_x();
    Keyboard keyboard;
    QVERIFY(keyboard.is_open());
    Typing_Window window;
    QVERIFY(window.open());
    const std::unique_ptr<Key_Sender> sender = Key_Sender::open();
    QVERIFY(sender);
    sender->send(u"q");
    QTRY_COMPARE_WITH_TIMEOUT(window.text(), QStringLiteral("q"), arrive_ms);

    const Moved_Key moved(keyboard.get(), XK_q);
    QVERIFY(moved.code() != 0);
    sender->send(u"q");
    QTRY_COMPARE_WITH_TIMEOUT(window.text(), QStringLiteral("qq"), arrive_ms);
}

void Tst_Key_X11::nothing_without_display_data() {
    QTest::addColumn<bool>("unset");
    QTest::newRow("DISPLAY unset") << true;
    QTest::newRow("no server on the display") << false;
}

void Tst_Key_X11::nothing_without_display() {
    QFETCH(bool, unset);
    const QByteArray display = qgetenv("DISPLAY");
    const auto restore = qScopeGuard([&] { qputenv("DISPLAY", display); });
    if (unset) {
        qunsetenv("DISPLAY");
    }
    const char* name = unset ? nullptr : no_server_display;
    qInstallMessageHandler(record_message);

    QVERIFY(!Key_Sender::open(name));
    Global_Hot_Keys hot_keys;
    QVERIFY(!hot_keys.open(name));
    QVERIFY(!hot_keys.is_open());
    QVERIFY(!hot_keys.register_hot_key(id_hard_mute, control | alt, key_v));
    QVERIFY(!hot_keys.registered(id_hard_mute));
    QVERIFY(g_messages.isEmpty());
}

int main(int argc, char** argv) {
    // The typing window reads its connection on a thread of its own.
    XInitThreads();
    g_missing_tools = missing_tools({"Xvfb"});
    Xvfb_Server xvfb;
    Display_Handle keep_server;
    if (g_missing_tools.isEmpty()) {
        if (!start_own_display(xvfb)) {
            return 1;
        }
        // The server starts afresh whenever its last client leaves, and turns new ones away
        // meanwhile; one connection held for the whole run keeps it from that between tests.
        keep_server.reset(XOpenDisplay(nullptr));
    }
    QCoreApplication app(argc, argv);
    Tst_Key_X11 test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_key_x11.moc"
