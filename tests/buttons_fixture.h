#pragma once

// A window at work on the steering-wheel buttons, against the in-process board.

#include <QPushButton>
#include <QSlider>
#include <QTreeWidget>
#include <QtTest>

#include "can/can_text.h"
#include "poll_fixture.h"
#include "protocol/commands.h"

inline constexpr std::int64_t poll_ms = 50;

// A connected window past its first cycle, the bus active at the board's 100 kbit/s, the
// board's vehicle bus playing `scenario`, no combination rows; what the window would type is
// recorded with its time, or typed on the X display.
struct Buttons_Fixture : Poll_Fixture {
    enum class Keys { recorded, typed };

    explicit Buttons_Fixture(const char* scenario = "buttons", Keys keys = Keys::recorded,
                             board::Identity identity = {})
        : Poll_Fixture(identity) {
        if (keys == Keys::recorded) {
            window.send_keys = [this](QStringView text) {
                typed << QStringLiteral("%1:%2").arg(board->now_ms).arg(text);
            };
        }
        cycle();
        board::Report r{};
        r[1] = CMD_CAN_ACTIVATE;
        r[2] = 1;
        r[4] = 40; // prescaler 40: 100 kbit/s
        board->model.answer(r, board->now_ms);
        QVERIFY(board->model.load_scenario(scenario, board->now_ms));
        cycle();
        // No rows but the test's own (the form's sample row goes as the settings load).
        control<QTreeWidget>("canButtons_combinations_treeWidget")->selectAll();
        control<QPushButton>("canButtons_delete_pushButton")->click();
    }

    // Poll cycles every 50 ms of board time until `ms` have passed.
    void run_for(std::int64_t ms) {
        for (const std::int64_t end = board->now_ms + ms; board->now_ms < end;) {
            board->now_ms += poll_ms;
            cycle();
        }
    }

    void add_row(const QStringList& cells) {
        control<QPushButton>("canButtons_add_pushButton")->click();
        QTreeWidget* tree = control<QTreeWidget>("canButtons_combinations_treeWidget");
        QTreeWidgetItem* item = tree->topLevelItem(tree->topLevelItemCount() - 1);
        for (int column = 0; column < cells.size(); ++column) {
            item->setText(column, cells[column]); // as an edit in place does
        }
    }

    QSlider* slider(const char* name) const { return control<QSlider>(name); }

    // The byte of the sound image the board got last.
    std::uint8_t written_sound_byte(std::size_t byte) const {
        return last(CMD_WRITE_SOUND).payload[byte];
    }

    bool board_sent(const QString& line) const {
        for (const CanFrame& frame : board->model.transmitted()) {
            if (can_frame_to_text(frame) == line) {
                return true;
            }
        }
        return false;
    }

    QStringList typed;
};
