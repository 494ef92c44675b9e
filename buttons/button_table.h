#pragma once

// Steering-wheel button combinations and the timing of their presses.
//
// A combination row names a CAN identifier, the data bytes that mean "pressed", the byte that
// means "released" and the actions of a short, a double and a long press. The window's tree
// holds the rows as text; the table here keeps them read once, so matching a frame costs a few
// integer compares per row.

#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <cstdint>
#include <vector>

#include "can/can_frame.h"

// The cells of a combination row, in column order.
namespace button_cell {
enum Column : int {
    name = 0,
    id = 1,
    data_on = 2,
    data_off = 3,
    short_action = 4,
    double_action = 5,
    long_action = 6,
    repeat = 7,
};
} // namespace button_cell
using Button_Column = button_cell::Column;
inline constexpr int button_column_count = 8;
using Button_Cells = std::array<QString, button_column_count>;

// The cells of a row added by the "Добавить" button.
Button_Cells new_button_cells();

struct Button_Row {
    static constexpr int max_data_on = 8; // more parts than data bytes never match

    Button_Cells cells;
    std::uint32_t id = 0; // hexadecimal; 0 when it does not parse
    std::array<std::uint32_t, max_data_on> data_on{};
    int data_on_count = 0;           // parts of DATA ON, possibly above max_data_on
    std::uint8_t data_off = 0;       // low byte of DATA OFF
    bool data_off_na = false;        // DATA OFF is exactly "N/A": a repeat row
    std::uint8_t data_on_single = 0; // DATA ON read as one number, low byte
    std::uint32_t repeat_ms = 0;     // decimal; 0 = no repeat

    static Button_Row from_cells(const Button_Cells& cells);
};

class Button_Table {
public:
    void set_rows(std::vector<Button_Cells> rows);
    int size() const { return static_cast<int>(rows.size()); }
    // Null for a row that is not in the table.
    const Button_Row* row(int index) const;
    // The text of a cell; empty for a row that is not in the table.
    QString cell(int index, Button_Column column) const;
    const std::vector<Button_Row>& all() const { return rows; }

    // The settings file's form: the 8 cells of every row, row by row.
    QStringList to_list() const;
    // Rows of 8 entries; a list whose length is not a multiple of 8 gives a short last row.
    static std::vector<Button_Cells> rows_from_list(const QStringList& list);

private:
    std::vector<Button_Row> rows;
};

// The verdict of the rows on one frame.
struct Button_Match {
    enum class Kind { none, pressed, released };
    Kind kind = Kind::none;
    int row = -1;

    friend bool operator==(const Button_Match&, const Button_Match&) = default;
};

// Matches one frame with identifier `id` against the rows in order: the first row with this
// identifier whose DATA ON bytes stand at `start_byte` presses; before that, a row whose DATA OFF
// byte stands at `start_byte` releases. Bytes beyond the eight a frame has never match.
Button_Match button_match_frame(const Button_Table& table, std::uint32_t id, const CanFrame& frame,
                                int start_byte);

// What a press step decided: the action in `column` of `row`.
struct Press_Action {
    int row = -1;
    Button_Column column = button_cell::short_action;

    friend bool operator==(const Press_Action&, const Press_Action&) = default;
};

// The timing of presses of the held row: short, double, long and repeated long presses. Times
// are milliseconds of the caller's clock; elapsed times compare unsigned, so a clock that went
// back counts as a long time.
class Press_Timing {
public:
    // At most a repeated long action and a short one of an earlier press fire in one step.
    struct Actions {
        std::array<Press_Action, 2> list{};
        int count = 0;
        void add(Press_Action action) {
            if (count < static_cast<int>(list.size())) {
                list[static_cast<std::size_t>(count++)] = action;
            }
        }
    };

    int dbl_push_delay_ms = 500;
    int long_push_delay_ms = 500;

    int pressed_row = -1;      // row held now; -1 = none
    int last_pressed_row = -1; // row matched last; survives the release

    // The matching's verdict on one frame.
    void apply(const Button_Match& match);
    void press(int row);
    void release() { pressed_row = -1; }

    // One step; `table` gives the repeat interval of the held row.
    Actions step(const Button_Table& table, std::int64_t now_ms);

    bool double_window_open() const { return window_open; }

private:
    static bool reached(std::int64_t now_ms, std::int64_t since_ms, std::uint32_t span_ms);
    void window_check(std::int64_t now_ms, Actions& actions);
    void double_test(std::int64_t now_ms, Actions& actions);

    std::int64_t press_timer = 0;
    std::int64_t double_window_timer = 0;
    std::int64_t repeat_timer = 0;
    bool press_released = true;
    bool press_timing = false;
    bool window_open = false; // double_window_open
    bool double_fired = false;
    bool repeat_active = false;
};
