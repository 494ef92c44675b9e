#pragma once

#include <QWidget>

#include "protocol/power_history.h"

// The last hour of battery and output voltage as a small picture: minutes before now on
// the horizontal axis (now at the right), volts on the vertical, a line broken where the
// board was away, and each change of the power state marked with its name.
class Power_History_Plot : public QWidget {
    Q_OBJECT

public:
    Power_History_Plot(const Power_History& history, QWidget* parent = nullptr);

    // Called on every poll with its clock: repaints at most once a second of that clock, and
    // only while the plot can be seen.
    void refresh(std::int64_t now_ms);

    // The points of the last picture drawn.
    const Power_Plot& plot() const { return shown; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const Power_History& history;
    Power_Plot shown;
    std::int64_t now_ms = 0;
    std::int64_t painted_second = -1;
};
