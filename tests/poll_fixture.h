#pragma once

// A window whose board object found the in-process board; poll cycles are run by hand, the
// poll timer stays stopped between them.

#include <QLabel>
#include <QTimer>
#include <QtTest>
#include <vector>

#include "app/widget.h"
#include "test_board.h"

using Codes = std::vector<int>;

struct Poll_Fixture {
    explicit Poll_Fixture(board::Identity identity = {}) : board(Test_Board::create(identity)) {
        window.tray_available = [] { return true; };
        window.show_error = [this](const QString& text) { errors << text; };
        window.exit_application = [this](int code) { exit_codes.push_back(code); };
        // The board's simulated time is the host's time too: waits cost no real time.
        window.hid.set_clock([b = board.get()] { return b->now_ms; });
        window.poll_clock = [b = board.get()] { return b->now_ms; };
        window.hid.set_backends(Hid_Backends{board});
        // The tests play the watch's passes themselves: its thread must not reopen a board a
        // test has just closed.
        window.watch_enabled = false;
        window.hid.open();
        timer()->stop();
    }

    QTimer* timer() const { return window.findChild<QTimer*>(QStringLiteral("poll_timer")); }

    // One poll cycle; returns the codes it sent.
    Codes cycle() {
        const std::size_t before = board->exchanges.size();
        QMetaObject::invokeMethod(&window, "form_update", Qt::DirectConnection);
        last_cycle_rearmed = timer()->isActive();
        timer()->stop();
        Codes codes;
        for (std::size_t i = before; i < board->exchanges.size(); ++i) {
            codes.push_back(board->exchanges[i].command);
        }
        return codes;
    }

    const Test_Board::Exchange& last(int code) const {
        for (auto it = board->exchanges.rbegin(); it != board->exchanges.rend(); ++it) {
            if (it->command == code) {
                return *it;
            }
        }
        qFatal("command not sent");
    }

    template <typename T> T* control(const char* name) const {
        return window.findChild<T*>(QString::fromLatin1(name));
    }

    bool shows_green() const {
        return control<QLabel>("status_label")->pixmap().toImage() ==
               QPixmap(QStringLiteral(":/images/green-button.png")).toImage();
    }

    std::shared_ptr<Test_Board> board;
    Widget window;
    QStringList errors;
    std::vector<int> exit_codes;
    bool last_cycle_rearmed = false;
};
