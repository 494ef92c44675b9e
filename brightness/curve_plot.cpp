#include "brightness/curve_plot.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {

constexpr QSize preferred_size{210, 190};
constexpr QSize smallest_size{150, 130};
constexpr int margin = 4;
constexpr int grid_steps = 4; // lines at every 25 %
constexpr int percent_full = 100;
constexpr qreal point_radius = 3.0;
constexpr qreal present_radius = 4.5;
constexpr qreal curve_width = 2.0;
const QColor present_colour{230, 120, 20};

} // namespace

Curve_Plot::Curve_Plot(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setToolTip(QCoreApplication::translate(
        "Widget", "Кривая яркости: освещенность по горизонтали, яркость по вертикали"));
}

void Curve_Plot::set_points(const Curve_Points& points) {
    if (points != curve) {
        curve = points;
        update();
    }
}

// Called on every poll; repaints only when something moved.
void Curve_Plot::set_present(int present_light, int present_pwm) {
    if (present_light != light || present_pwm != pwm) {
        light = present_light;
        pwm = present_pwm;
        update();
    }
}

QSize Curve_Plot::sizeHint() const {
    return preferred_size;
}

QSize Curve_Plot::minimumSizeHint() const {
    return smallest_size;
}

void Curve_Plot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics fm = fontMetrics();
    const QString full_light = QString::number(light_full_scale);
    const QString full_percent = QString::number(percent_full) + QLatin1Char('%');

    // Room for the scale texts left of and below the plot area.
    const QRectF area =
        QRectF(rect()).adjusted(margin + fm.horizontalAdvance(full_percent) + margin,
                                margin + fm.height() / 2.0, -margin, -(margin + fm.height()));
    auto at = [&area](int x_light, int y_pwm) {
        const qreal x = std::clamp(x_light, 0, light_full_scale) / qreal{light_full_scale};
        const qreal y = std::clamp(y_pwm, 0, pwm_full_scale) / qreal{pwm_full_scale};
        return QPointF(area.left() + x * area.width(), area.bottom() - y * area.height());
    };

    const QPalette& pal = palette();
    p.fillRect(area, pal.color(QPalette::Base));
    p.setPen(QPen(pal.color(QPalette::Mid), 0, Qt::DotLine));
    for (int k = 1; k < grid_steps; ++k) {
        const qreal y = area.bottom() - area.height() * k / grid_steps;
        const qreal x = area.left() + area.width() * k / grid_steps;
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    }
    p.setPen(QPen(pal.color(QPalette::WindowText), 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(area);

    const int text_gap = margin;
    p.drawText(QRectF(0, area.top() - fm.height() / 2.0, area.left() - text_gap, fm.height()),
               Qt::AlignRight | Qt::AlignVCenter, full_percent);
    p.drawText(QRectF(0, area.bottom() - fm.height() / 2.0, area.left() - text_gap, fm.height()),
               Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0%"));
    const QRectF below(area.left(), area.bottom() + 1, area.width(), fm.height());
    p.drawText(below, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("0"));
    p.drawText(below, Qt::AlignRight | Qt::AlignTop, full_light);

    // The present light value and brightness.
    const QPointF present = at(light, pwm);
    p.setPen(QPen(present_colour, 0, Qt::DashLine));
    p.drawLine(QPointF(present.x(), area.top()), QPointF(present.x(), area.bottom()));
    p.drawLine(QPointF(area.left(), present.y()), QPointF(area.right(), present.y()));

    const std::vector<Curve_Point> outline = curve_outline(curve);
    QPainterPath path(at(outline.front().light, outline.front().pwm));
    for (const Curve_Point& point : outline) {
        path.lineTo(at(point.light, point.pwm));
    }
    const QColor line_colour = pal.color(QPalette::Highlight);
    p.setPen(QPen(line_colour, curve_width));
    p.drawPath(path);
    p.setBrush(line_colour);
    for (const Curve_Point& point : curve) {
        p.drawEllipse(at(point.light, point.pwm), point_radius, point_radius);
    }

    p.setPen(QPen(pal.color(QPalette::Base), 1));
    p.setBrush(present_colour);
    p.drawEllipse(present, present_radius, present_radius);
}
