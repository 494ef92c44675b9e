#pragma once

// The last hour of the board's voltages and power state, one point a second, and how it
// maps onto a plot. Pure logic: time comes in as milliseconds of the poll's clock.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

struct Power_Sample {
    std::int64_t at_ms = 0;
    float battery_volts = 0.0F;
    float output_volts = 0.0F;
    std::uint8_t state = 0;
    bool after_gap = false; // the board was away just before: no line joins the point before
};

// A fixed ring of one hour's points; nothing is allocated after construction, so a run of
// weeks keeps the same size. The oldest point gives way to the newest.
class Power_History {
public:
    static constexpr std::size_t capacity = 3600;
    static constexpr std::int64_t period_ms = 1000;

    // True when a point fed at `now_ms` would be taken.
    bool due(std::int64_t now_ms) const { return count == 0 || now_ms >= next_due_ms; }
    // Takes the point when due; the poll feeds every cycle, the ring keeps one a second.
    // False when the point was not taken.
    bool add(std::int64_t now_ms, float battery_volts, float output_volts, std::uint8_t state);
    // The board is gone: no points until it is back, and the next one starts a new line.
    void break_line() { gap_pending = true; }

    std::size_t size() const { return count; }
    // Point `index`, 0 the oldest.
    const Power_Sample& operator[](std::size_t index) const {
        return samples[(first + index) % capacity];
    }

private:
    std::array<Power_Sample, capacity> samples{};
    std::size_t first = 0;
    std::size_t count = 0;
    std::int64_t next_due_ms = 0;
    bool gap_pending = false;
};

constexpr double power_plot_minutes = 60.0;
// Readings above a 12 V system's range switch the scale to one for 24 V vehicles.
constexpr float power_plot_volts_low = 16.0F;
constexpr float power_plot_volts_high = 32.0F;
// Points further apart than this had a stalled poll between them: the line breaks there.
constexpr std::int64_t power_plot_gap_ms = 3 * Power_History::period_ms;

struct Power_Plot_Point {
    double minutes_ago = 0.0; // 0 now .. 60 an hour ago
    float battery_volts = 0.0F;
    float output_volts = 0.0F;
    bool starts_line = false;
};

struct Power_State_Mark {
    double minutes_ago = 0.0;
    std::uint8_t state = 0; // the state entered there
};

struct Power_Plot {
    std::vector<Power_Plot_Point> points; // oldest first, volts within 0..volts_top
    std::vector<Power_State_Mark> marks;  // oldest first
    float volts_top = power_plot_volts_low;
};

// The points of the last hour before `now_ms`. Fills `plot` in place: its buffers keep their
// room from one repaint to the next.
void plot_power_history(const Power_History& history, std::int64_t now_ms, Power_Plot& plot);
