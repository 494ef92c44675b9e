#include <QApplication>
#include <QFont>
#include <QSessionManager>
#include <cstdlib>
#include <memory>

#include "app/single_instance.h"
#include "app/unix_signal_watch.h"
#include "app/widget.h"

namespace {
const QString rise_up_message = QStringLiteral("Rise up!");
constexpr int rise_up_timeout_ms = 5000;

// A log-out may take the X server away before the program hears of it; the X connection's
// loss then ends the process through exit() from inside the event loop, and main never
// unwinds to the window's destructor. The settings are saved on that way out too.
Widget* window_to_save_at_exit = nullptr;

void save_at_exit() {
    if (window_to_save_at_exit != nullptr) {
        window_to_save_at_exit->save_settings();
    }
}
} // namespace

int main(int argc, char* argv[]) {
    // Qt 6 reads and writes UTF-8 throughout: the Russian texts need no codec set-up.
    QApplication app(argc, argv);
    // The tray keeps the program running while no window is visible; the window itself
    // ends the event loop when the user quits.
    QApplication::setQuitOnLastWindowClosed(false);
    // The window's fixed layout is drawn for an 8-point interface font.
    QFont font = QApplication::font();
    font.setPointSize(8);
    QApplication::setFont(font);

    // Installed first, so a termination signal from the very start still ends the program
    // through its quit path (it waits in the event loop's queue until the loop runs).
    Unix_Signal_Watch signal_watch;
    Single_Instance instance(
        Single_Instance::default_server_path(QApplication::applicationFilePath()));
    if (instance.is_running()) {
        instance.send_message(rise_up_message, rise_up_timeout_ms);
        return 0;
    }

    auto window = std::make_unique<Widget>();
    QObject::connect(&instance, &Single_Instance::message_received, window.get(),
                     &Widget::message_arrived);
    QObject::connect(&signal_watch, &Unix_Signal_Watch::termination_requested, window.get(),
                     &Widget::request_quit);
    window->termination_signalled = &Unix_Signal_Watch::signalled;
    // A session manager asks before the log-out.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, window.get(),
                     [w = window.get()](QSessionManager&) { w->save_settings(); });
    // Registered after the window has read its settings, so what saving needs of Qt's own
    // statics is torn down after this runs.
    window_to_save_at_exit = window.get();
    std::atexit(save_at_exit);
    window->show_if_no_tray();

    const int code = QApplication::exec();
    window_to_save_at_exit = nullptr;
    window.reset();
    return code;
}
