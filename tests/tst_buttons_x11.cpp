// The window's key actions and global hot keys on an X server of the test's own: a press on
// the board's bus types into the window that has the focus, the hot keys reach the sound tab,
// and a combination another program holds leaves the others working.
#include <QApplication>
#include <QCheckBox>
#include <QSignalSpy>
#include <QtTest>

#include "buttons/hot_key_table.h"
#include "buttons_fixture.h"
#include "sound/sound_codec.h"
#include "x11_input_fixture.h"
#include "xvfb_fixture.h"

namespace {

constexpr int arrive_ms = 5000;

QStringList g_missing_tools;

// Presses Control+Alt+`key` and lets the window's connection deliver it.
void press_control_alt(Keyboard& keyboard, KeySym key) {
    keyboard.press({XK_Control_L, XK_Alt_L, key});
}

} // namespace

class Tst_Buttons_X11 : public QObject {
    Q_OBJECT

private slots:
    void init();
    void short_press_types_into_the_focused_window();
    void control_alt_v_toggles_hard_mute();
    void combination_held_elsewhere_leaves_the_others();
    void sniffer_gets_no_hot_keys_a_later_board_does();
};

void Tst_Buttons_X11::init() {
    if (!g_missing_tools.isEmpty()) {
        QSKIP(qPrintable(QStringLiteral("missing: ") + g_missing_tools.join(QLatin1Char(' '))));
    }
}

void Tst_Buttons_X11::short_press_types_into_the_focused_window() {
    Typing_Window target;
    QVERIFY(target.open());
    Buttons_Fixture f("buttons", Buttons_Fixture::Keys::typed);
    f.add_row({"text", "0x5c1", "0x6", "0x0", "Car PC ж{ENTER}", "", "", "0"});
    QVERIFY(f.board->model.press_button("vol_up", 100, f.board->now_ms));
    f.run_for(1000);
    QTRY_COMPARE_WITH_TIMEOUT(target.text(), QStringLiteral("Car PC ж\n"), arrive_ms);
}

void Tst_Buttons_X11::control_alt_v_toggles_hard_mute() {
    Keyboard keyboard;
    QVERIFY(keyboard.is_open());
    Buttons_Fixture f; // the first connection registered the hot keys
    auto* hard_mute = f.control<QCheckBox>("hard_mute_checkBox");
    const bool before = hard_mute->isChecked();
    press_control_alt(keyboard, XK_v);
    QTRY_COMPARE_WITH_TIMEOUT(hard_mute->isChecked(), !before, arrive_ms);
    f.cycle();
    QCOMPARE(int{f.written_sound_byte(sound_byte::hard_mute)}, before ? 0 : 1);
    press_control_alt(keyboard, XK_v);
    QTRY_COMPARE_WITH_TIMEOUT(hard_mute->isChecked(), before, arrive_ms);
}

// Another client took Control+Alt+W (the subwoofer up key) before the window started: the
// window runs on, that client keeps its key, and the other hot keys act.
void Tst_Buttons_X11::combination_held_elsewhere_leaves_the_others() {
    Keyboard keyboard;
    QVERIFY(keyboard.is_open());
    const Display_Handle other(XOpenDisplay(nullptr));
    QVERIFY(other);
    const KeyCode w = XKeysymToKeycode(other.get(), XK_w);
    XGrabKey(other.get(), w, ControlMask | Mod1Mask, DefaultRootWindow(other.get()), False,
             GrabModeAsync, GrabModeAsync);
    XSync(other.get(), False);

    Buttons_Fixture f;
    QSlider* sub = f.slider("sub_horizontalSlider");
    sub->setValue(0);
    auto* hard_mute = f.control<QCheckBox>("hard_mute_checkBox");
    const bool before = hard_mute->isChecked();
    press_control_alt(keyboard, XK_w);
    press_control_alt(keyboard, XK_s);
    press_control_alt(keyboard, XK_v);
    QTRY_COMPARE_WITH_TIMEOUT(hard_mute->isChecked(), !before, arrive_ms);
    QCOMPARE(sub->value(), -1); // Control+Alt+S acted, Control+Alt+W did not
    f.cycle();
    QVERIFY(f.window.hid.connected);
    XEvent event;
    QVERIFY(XCheckTypedEvent(other.get(), KeyPress, &event));
    QCOMPARE(event.xkey.keycode, unsigned{w});
}

// The sniffer variant gets no hot keys; a board of another variant connected later in the same
// run registers them.
void Tst_Buttons_X11::sniffer_gets_no_hot_keys_a_later_board_does() {
    Keyboard keyboard;
    QVERIFY(keyboard.is_open());
    board::Identity sniffer;
    sniffer.hardware_version = sniffer_hardware_version;
    Buttons_Fixture f("buttons", Buttons_Fixture::Keys::recorded, sniffer);
    QSlider* volume = f.slider("volume_horizontalSlider");
    volume->setValue(-20);
    press_control_alt(keyboard, XK_b);
    QTest::qWait(300); // nothing is expected: give it the time a key would take to arrive
    QCOMPARE(volume->value(), -20);

    f.window.hid.close();
    f.board->model.set_identity({});
    f.window.hid.open();
    f.cycle(); // the first-connect sequence of the new board
    QVERIFY(!f.window.hid.identify_pending);
    volume->setValue(-20);
    press_control_alt(keyboard, XK_b);
    QTRY_COMPARE_WITH_TIMEOUT(volume->value(), -19, arrive_ms);
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
        // The server starts afresh whenever its last client leaves; one connection held for the
        // whole run keeps it from that between tests.
        keep_server.reset(XOpenDisplay(nullptr));
    }
    QApplication app(argc, argv); // the window on the offscreen platform, its keys on Xvfb
    Tst_Buttons_X11 test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_buttons_x11.moc"
