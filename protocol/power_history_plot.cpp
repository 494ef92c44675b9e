#include "protocol/power_history_plot.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <utility>

#include "protocol/status_text.h"

namespace {

constexpr QSize preferred_size{700, 190};
constexpr QSize smallest_size{300, 120};
constexpr int margin = 4;
constexpr int minute_steps = 4; // lines every 15 minutes
constexpr int volt_steps = 4;   // lines every 4 V (8 V on the 24 V scale)
constexpr qreal line_width = 1.5;
constexpr int legend_swatch = 12;
constexpr qreal text_gap = 2;
constexpr std::int64_t ms_per_second = 1000;
const QColor battery_colour{30, 100, 200};
const QColor output_colour{220, 110, 20};
const QColor mark_colour{120, 120, 120};

QString tr_widget(const char* text) {
    return QCoreApplication::translate("Widget", text);
}

} // namespace

Power_History_Plot::Power_History_Plot(const Power_History& source, QWidget* parent)
    : QWidget(parent), history(source) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setToolTip(tr_widget("Напряжения и состояние питания за последний час"));
    shown.points.reserve(Power_History::capacity);
    shown.marks.reserve(Power_History::capacity);
}

void Power_History_Plot::refresh(std::int64_t now) {
    now_ms = now;
    // A window in the tray or minimised, or another page, costs no painting.
    if (!isVisible() || window()->isMinimized()) {
        return;
    }
    const std::int64_t second = now / ms_per_second;
    if (second != painted_second) {
        painted_second = second;
        update();
    }
}

QSize Power_History_Plot::sizeHint() const {
    return preferred_size;
}

QSize Power_History_Plot::minimumSizeHint() const {
    return smallest_size;
}

void Power_History_Plot::paintEvent(QPaintEvent*) {
    plot_power_history(history, now_ms, shown);

    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics fm = fontMetrics();
    const QString top_text = QString::number(static_cast<int>(shown.volts_top)) + tr_widget(" В");
    const qreal legend_height = fm.height() + margin;

    // Room for the volts left of the area, the minutes and the legend below it.
    const QRectF area = QRectF(rect()).adjusted(margin + fm.horizontalAdvance(top_text) + margin,
                                                margin + fm.height() / 2.0, -margin,
                                                -(margin + fm.height() + legend_height));
    const double top = shown.volts_top;
    auto x_at = [&area](double minutes_ago) {
        return area.right() - minutes_ago / power_plot_minutes * area.width();
    };
    auto y_at = [&area, top](float volts) {
        return area.bottom() - static_cast<double>(volts) / top * area.height();
    };

    const QPalette& pal = palette();
    p.fillRect(area, pal.color(QPalette::Base));
    p.setPen(QPen(pal.color(QPalette::Mid), 0, Qt::DotLine));
    for (int k = 1; k < volt_steps; ++k) {
        const qreal y = area.bottom() - area.height() * k / volt_steps;
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
    for (int k = 1; k < minute_steps; ++k) {
        const qreal x = area.left() + area.width() * k / minute_steps;
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    }

    // The state changes under the voltages, each named beside its line; the newest names
    // come first, and a name with no room left of the newer ones is left out (its line stays).
    p.setPen(QPen(mark_colour, 0, Qt::DashLine));
    qreal free_to = area.right();
    const qreal text_y = area.top() + fm.ascent() + 1;
    for (auto it = shown.marks.rbegin(); it != shown.marks.rend(); ++it) {
        const qreal x = x_at(it->minutes_ago);
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        const QString name = power_state_name(it->state);
        const qreal width = fm.horizontalAdvance(name);
        if (x + text_gap + width <= free_to) {
            p.drawText(QPointF(x + text_gap, text_y), name);
            free_to = x - text_gap;
        } else if (x - text_gap - width >= area.left() && x - text_gap <= free_to) {
            p.drawText(QPointF(x - text_gap - width, text_y), name);
            free_to = x - 2 * text_gap - width;
        }
    }

    auto draw_line = [&](float Power_Plot_Point::*volts, const QColor& colour) {
        QPainterPath path;
        for (const Power_Plot_Point& point : shown.points) {
            const QPointF at(x_at(point.minutes_ago), y_at(point.*volts));
            if (point.starts_line) {
                path.moveTo(at);
            } else {
                path.lineTo(at);
            }
        }
        p.setPen(QPen(colour, line_width));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    };
    draw_line(&Power_Plot_Point::output_volts, output_colour);
    draw_line(&Power_Plot_Point::battery_volts, battery_colour);

    p.setPen(QPen(pal.color(QPalette::WindowText), 0));
    p.drawRect(area);
    const qreal label_right = area.left() - margin;
    p.drawText(QRectF(0, area.top() - fm.height() / 2.0, label_right, fm.height()),
               Qt::AlignRight | Qt::AlignVCenter, top_text);
    p.drawText(QRectF(0, area.bottom() - fm.height() / 2.0, label_right, fm.height()),
               Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0"));
    const QRectF below(area.left(), area.bottom() + 1, area.width(), fm.height());
    for (int k = 0; k <= minute_steps; ++k) {
        const int minutes =
            static_cast<int>(power_plot_minutes) * (minute_steps - k) / minute_steps;
        const QString text = k == minute_steps ? tr_widget("0 мин") : QString::number(-minutes);
        const qreal x = area.left() + area.width() * k / minute_steps;
        const Qt::Alignment align = k == 0              ? Qt::AlignLeft
                                    : k == minute_steps ? Qt::AlignRight
                                                        : Qt::AlignHCenter;
        const qreal w = fm.horizontalAdvance(text) + 2 * margin;
        const qreal left = align == Qt::AlignLeft ? x : align == Qt::AlignRight ? x - w : x - w / 2;
        p.drawText(QRectF(left, below.top(), w, fm.height()), align | Qt::AlignTop, text);
    }

    // Legend: which colour is which voltage.
    qreal lx = area.left();
    const qreal ly = below.bottom() + margin;
    for (const auto& [colour, text] :
         {std::pair{battery_colour, tr_widget("АКБ")}, std::pair{output_colour, tr_widget("U_OUT")},
          std::pair{mark_colour, tr_widget("смена состояния")}}) {
        p.fillRect(QRectF(lx, ly + (fm.height() - legend_swatch / 4.0) / 2.0, legend_swatch,
                          legend_swatch / 4.0),
                   colour);
        lx += legend_swatch + margin;
        p.drawText(QPointF(lx, ly + fm.ascent()), text);
        lx += fm.horizontalAdvance(text) + 3 * margin;
    }
}
