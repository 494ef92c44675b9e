#include "buttons/button_table.h"

#include "can/can_text.h"

#include <algorithm>

namespace {

const QString data_off_not_available = QStringLiteral("N/A");

std::uint32_t hex_or_zero(QStringView text) {
    return parse_hex(text).value; // 0 when it does not parse
}

} // namespace

Button_Cells new_button_cells() {
    return {QStringLiteral("название"),   QStringLiteral("0x"),
            QStringLiteral("0x"),         QStringLiteral("0x"),
            QStringLiteral("комбинация"), QStringLiteral("комбинация"),
            QStringLiteral("комбинация"), QStringLiteral("0")};
}

Button_Row Button_Row::from_cells(const Button_Cells& cells) {
    Button_Row row;
    row.cells = cells;
    row.id = hex_or_zero(cells[button_cell::id]);
    const QString& on = cells[button_cell::data_on];
    for (const QStringView part : QStringView(on).split(u' ', Qt::SkipEmptyParts)) {
        if (row.data_on_count < max_data_on) {
            row.data_on[static_cast<std::size_t>(row.data_on_count)] = hex_or_zero(part);
        }
        ++row.data_on_count;
    }
    row.data_on_single = static_cast<std::uint8_t>(hex_or_zero(on) & 0xFFU);
    row.data_off = static_cast<std::uint8_t>(hex_or_zero(cells[button_cell::data_off]) & 0xFFU);
    row.data_off_na = cells[button_cell::data_off] == data_off_not_available;
    bool ok = false;
    const uint repeat = cells[button_cell::repeat].toUInt(&ok, 10);
    row.repeat_ms = ok ? repeat : 0;
    return row;
}

void Button_Table::set_rows(std::vector<Button_Cells> cells) {
    rows.clear();
    rows.reserve(cells.size());
    for (const Button_Cells& row : cells) {
        rows.push_back(Button_Row::from_cells(row));
    }
}

const Button_Row* Button_Table::row(int index) const {
    if (index < 0 || index >= size()) {
        return nullptr;
    }
    return &rows[static_cast<std::size_t>(index)];
}

QString Button_Table::cell(int index, Button_Column column) const {
    const Button_Row* found = row(index);
    return found ? found->cells[static_cast<std::size_t>(column)] : QString();
}

QStringList Button_Table::to_list() const {
    QStringList list;
    list.reserve(size() * button_column_count);
    for (const Button_Row& row : rows) {
        for (const QString& cell : row.cells) {
            list.append(cell);
        }
    }
    return list;
}

std::vector<Button_Cells> Button_Table::rows_from_list(const QStringList& list) {
    std::vector<Button_Cells> rows;
    for (qsizetype first = 0; first < list.size(); first += button_column_count) {
        Button_Cells cells;
        const qsizetype count = std::min<qsizetype>(button_column_count, list.size() - first);
        for (qsizetype k = 0; k < count; ++k) {
            cells[static_cast<std::size_t>(k)] = list[first + k];
        }
        rows.push_back(cells);
    }
    return rows;
}

Button_Match button_match_frame(const Button_Table& table, std::uint32_t id, const CanFrame& frame,
                                int start_byte) {
    const int s = std::clamp(start_byte, 0, static_cast<int>(frame.data.size()) - 1);
    // A DLC above 8 (the board passes what the bus carried) still has only eight bytes.
    const int bytes = std::min<int>(frame.dlc, static_cast<int>(frame.data.size()));
    const auto byte = [&](int k) { return frame.data[static_cast<std::size_t>(k)]; };
    for (int index = 0; index < table.size(); ++index) {
        const Button_Row& row = table.all()[static_cast<std::size_t>(index)];
        if (row.id != id) {
            continue;
        }
        const int n = row.data_on_count;
        if (n >= 1 && s + n <= bytes) {
            bool all = true;
            for (int k = 0; k < n && all; ++k) {
                all = byte(s + k) == row.data_on[static_cast<std::size_t>(k)];
            }
            if (all) {
                return {Button_Match::Kind::pressed, index};
            }
        }
        if (byte(s) == row.data_off) {
            return {Button_Match::Kind::released, index};
        }
    }
    return {};
}

void Press_Timing::apply(const Button_Match& match) {
    if (match.kind == Button_Match::Kind::pressed) {
        press(match.row);
    } else if (match.kind == Button_Match::Kind::released) {
        release();
    }
}

void Press_Timing::press(int row) {
    pressed_row = row;
    last_pressed_row = row;
}

bool Press_Timing::reached(std::int64_t now_ms, std::int64_t since_ms, std::uint32_t span_ms) {
    return static_cast<std::uint64_t>(now_ms - since_ms) >= span_ms;
}

Press_Timing::Actions Press_Timing::step(const Button_Table& table, std::int64_t now_ms) {
    Actions actions;
    const auto long_delay = static_cast<std::uint32_t>(std::max(long_push_delay_ms, 0));
    if (pressed_row == -1) {
        repeat_active = false;
        press_released = true;
        if (press_timing) {
            press_timing = false;
            if (!reached(now_ms, press_timer, long_delay)) { // a short press just ended
                if (double_fired) {
                    double_fired = false;
                } else if (!window_open) {
                    double_window_timer = now_ms;
                    window_open = true;
                }
            }
        }
        window_check(now_ms, actions);
        return actions;
    }

    const Button_Row* held = table.row(pressed_row);
    const std::uint32_t repeat_ms = held ? held->repeat_ms : 0;
    if (repeat_active && reached(now_ms, repeat_timer, repeat_ms)) {
        actions.add({pressed_row, button_cell::long_action});
        repeat_timer = now_ms;
    }
    bool long_press = false;
    if (press_timing) {
        long_press = !double_fired && reached(now_ms, press_timer, long_delay);
    } else if (press_released) { // a new press begins
        press_timer = now_ms;
        press_timing = true;
    } else { // the long action fired and the button is still held
        window_check(now_ms, actions);
        return actions;
    }
    if (!long_press) {
        double_test(now_ms, actions);
        return actions;
    }
    actions.add({pressed_row, button_cell::long_action});
    press_timing = false;
    press_released = false;
    if (repeat_ms != 0) {
        repeat_active = true;
        repeat_timer = now_ms;
    }
    window_check(now_ms, actions);
    return actions;
}

void Press_Timing::double_test(std::int64_t now_ms, Actions& actions) {
    if (!window_open) {
        return;
    }
    if (reached(now_ms, press_timer, static_cast<std::uint32_t>(std::max(long_push_delay_ms, 0)))) {
        window_check(now_ms, actions);
        return;
    }
    actions.add({pressed_row, button_cell::double_action});
    window_open = false;
    double_fired = true;
}

void Press_Timing::window_check(std::int64_t now_ms, Actions& actions) {
    if (window_open && reached(now_ms, double_window_timer,
                               static_cast<std::uint32_t>(std::max(dbl_push_delay_ms, 0)))) {
        actions.add({last_pressed_row, button_cell::short_action});
        window_open = false;
    }
}
