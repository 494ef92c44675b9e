// Draws the tool's three images: the green and red status discs (32 x 32) and the
// emblem (512 x 512), and the emblem at the icon sizes desktops use (icons/NxN.png).
// Usage: tabrix-draw-images OUTPUT_DIR
#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <QTextStream>
#include <array>
#include <cmath>
#include <numbers>

namespace {

QImage glossy_disc(const QColor& base) {
    constexpr int size = 32;
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF outer(1.0, 1.0, size - 2.0, size - 2.0);
    QRadialGradient body(QPointF(size * 0.5, size * 0.62), size * 0.55);
    body.setColorAt(0.0, base.lighter(150));
    body.setColorAt(0.7, base);
    body.setColorAt(1.0, base.darker(220));
    p.setPen(QPen(base.darker(300), 1.0));
    p.setBrush(body);
    p.drawEllipse(outer);

    // The gloss: a pale cap over the upper half that fades out downwards.
    const QRectF cap(size * 0.2, size * 0.09, size * 0.6, size * 0.42);
    QLinearGradient shine(cap.topLeft(), cap.bottomLeft());
    shine.setColorAt(0.0, QColor(255, 255, 255, 230));
    shine.setColorAt(1.0, QColor(255, 255, 255, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawEllipse(cap);
    return img;
}

QImage emblem() {
    constexpr int size = 512;
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    // Dark rounded tile.
    QLinearGradient tile(0, 0, 0, size);
    tile.setColorAt(0.0, QColor(44, 62, 92));
    tile.setColorAt(1.0, QColor(16, 24, 40));
    p.setPen(QPen(QColor(8, 12, 20), 6));
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(8, 8, size - 16, size - 16), 96, 96);

    const QPointF centre(size / 2.0, size / 2.0);

    // A wheel rim with three spokes: the car side of the board.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(210, 220, 235), 34, Qt::SolidLine, Qt::RoundCap));
    p.drawEllipse(centre, 170.0, 170.0);
    p.setPen(QPen(QColor(210, 220, 235), 30, Qt::SolidLine, Qt::RoundCap));
    for (const double deg : {90.0, 210.0, 330.0}) {
        const double rad = deg * std::numbers::pi / 180.0;
        const QPointF end(centre.x() + 150.0 * std::cos(rad), centre.y() + 150.0 * std::sin(rad));
        p.drawLine(centre, end);
    }

    // The hub: a chip with pins, the computer side.
    const QRectF chip(centre.x() - 62, centre.y() - 62, 124, 124);
    p.setPen(QPen(QColor(255, 196, 64), 10, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 4; ++i) {
        const double off = -42.0 + i * 28.0;
        p.drawLine(QPointF(chip.left() - 22, centre.y() + off),
                   QPointF(chip.left(), centre.y() + off));
        p.drawLine(QPointF(chip.right(), centre.y() + off),
                   QPointF(chip.right() + 22, centre.y() + off));
        p.drawLine(QPointF(centre.x() + off, chip.top() - 22),
                   QPointF(centre.x() + off, chip.top()));
        p.drawLine(QPointF(centre.x() + off, chip.bottom()),
                   QPointF(centre.x() + off, chip.bottom() + 22));
    }
    QLinearGradient chip_fill(chip.topLeft(), chip.bottomRight());
    chip_fill.setColorAt(0.0, QColor(255, 214, 102));
    chip_fill.setColorAt(1.0, QColor(222, 140, 20));
    p.setPen(QPen(QColor(120, 70, 0), 6));
    p.setBrush(chip_fill);
    p.drawRoundedRect(chip, 18, 18);

    // A power wave across the chip.
    QPainterPath wave;
    wave.moveTo(chip.left() + 16, centre.y());
    wave.cubicTo(centre.x() - 20, centre.y() - 50, centre.x() + 20, centre.y() + 50,
                 chip.right() - 16, centre.y());
    p.setPen(QPen(QColor(40, 30, 10), 12, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    return img;
}

// The sizes of the installed icon theme's fixed-size folders.
constexpr std::array icon_sizes{16, 22, 24, 32, 48, 64, 128, 256};

bool save_icons(const QImage& art, const QString& dir) {
    if (!QDir().mkpath(dir)) {
        return false;
    }
    for (const int size : icon_sizes) {
        const QImage icon = art.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (!icon.save(QStringLiteral("%1/%2x%2.png").arg(dir).arg(size))) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: tabrix-draw-images OUTPUT_DIR\n";
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const bool ok = glossy_disc(QColor(40, 190, 60)).save(dir + "/green-button.png") &&
                    glossy_disc(QColor(215, 40, 35)).save(dir + "/red-button.png") &&
                    emblem().save(dir + "/Tabrix.png") && save_icons(emblem(), dir + "/icons");
    if (!ok) {
        err << "could not write the images into " << dir << "\n";
        return 1;
    }
    return 0;
}
