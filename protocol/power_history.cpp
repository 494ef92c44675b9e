#include "protocol/power_history.h"

#include <algorithm>

namespace {
constexpr double ms_per_minute = 60'000.0;
constexpr std::int64_t plot_span_ms = static_cast<std::int64_t>(power_plot_minutes * ms_per_minute);
} // namespace

bool Power_History::add(std::int64_t now_ms, float battery_volts, float output_volts,
                        std::uint8_t state) {
    if (!due(now_ms)) {
        return false;
    }
    // Keep a steady second's beat behind a poll that comes a little late each time; after a
    // longer pause start the beat afresh.
    next_due_ms = (count == 0 || now_ms - next_due_ms >= period_ms) ? now_ms + period_ms
                                                                    : next_due_ms + period_ms;
    const Power_Sample sample{now_ms, battery_volts, output_volts, state, gap_pending};
    gap_pending = false;
    if (count == capacity) {
        samples[first] = sample;
        first = (first + 1) % capacity;
    } else {
        samples[(first + count) % capacity] = sample;
        ++count;
    }
    return true;
}

void plot_power_history(const Power_History& history, std::int64_t now_ms, Power_Plot& plot) {
    plot.points.clear();
    plot.marks.clear();
    plot.volts_top = power_plot_volts_low;
    const Power_Sample* before = nullptr;
    for (std::size_t i = 0; i < history.size(); ++i) {
        const Power_Sample& s = history[i];
        const std::int64_t age_ms = std::max<std::int64_t>(now_ms - s.at_ms, 0);
        if (age_ms > plot_span_ms) {
            before = &s;
            continue;
        }
        const double minutes_ago = static_cast<double>(age_ms) / ms_per_minute;
        const bool starts_line = plot.points.empty() || s.after_gap ||
                                 (before != nullptr && s.at_ms - before->at_ms > power_plot_gap_ms);
        plot.points.push_back({minutes_ago, s.battery_volts, s.output_volts, starts_line});
        if (before != nullptr && before->state != s.state) {
            plot.marks.push_back({minutes_ago, s.state});
        }
        if (std::max(s.battery_volts, s.output_volts) > power_plot_volts_low) {
            plot.volts_top = power_plot_volts_high;
        }
        before = &s;
    }
    for (Power_Plot_Point& p : plot.points) {
        p.battery_volts = std::clamp(p.battery_volts, 0.0F, plot.volts_top);
        p.output_volts = std::clamp(p.output_volts, 0.0F, plot.volts_top);
    }
}
