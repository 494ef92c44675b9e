#pragma once

#include <QWidget>

#include "brightness/brightness_curve.h"

// The brightness curve as a small picture: light on the horizontal axis (0..1023),
// brightness on the vertical (0..564), the seven points joined in order of their light
// thresholds, and the present light value and brightness marked by crossing lines.
class Curve_Plot : public QWidget {
    Q_OBJECT

public:
    explicit Curve_Plot(QWidget* parent = nullptr);

    void set_points(const Curve_Points& points);
    void set_present(int light, int pwm);

    const Curve_Points& points() const { return curve; }
    int present_light() const { return light; }
    int present_pwm() const { return pwm; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Curve_Points curve{};
    int light = 0;
    int pwm = 0;
};
