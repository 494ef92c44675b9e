#include "brightness/brightness_curve.h"

#include <algorithm>

namespace {

constexpr std::size_t point_stride = 2; // two bytes per number
constexpr int byte_max = 0xFF;
constexpr int word_max = 0xFFFF;

std::uint8_t to_byte(int value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0, byte_max));
}
std::uint16_t to_word(int value) {
    return static_cast<std::uint16_t>(std::clamp(value, 0, word_max));
}

} // namespace

Curve_Settings decode_curve(const Pwm_Image& image) {
    Curve_Settings s;
    for (std::size_t n = 0; n < s.points.size(); ++n) {
        s.points[n].light = get_u16(image, pwm_byte::point_light + point_stride * n);
        s.points[n].pwm = get_u16(image, pwm_byte::point_pwm + point_stride * n);
    }
    s.step_delay = image[pwm_byte::step_delay];
    s.slide_delay = image[pwm_byte::slide_delay];
    s.smoothing = image[pwm_byte::smoothing] != 0;
    return s;
}

void encode_curve(const Curve_Settings& s, Pwm_Image& image) {
    for (std::size_t n = 0; n < s.points.size(); ++n) {
        put_u16(image, pwm_byte::point_light + point_stride * n, to_word(s.points[n].light));
        put_u16(image, pwm_byte::point_pwm + point_stride * n, to_word(s.points[n].pwm));
    }
    image[pwm_byte::step_delay] = to_byte(s.step_delay);
    image[pwm_byte::slide_delay] = to_byte(s.slide_delay);
    image[pwm_byte::smoothing] = s.smoothing ? 1 : 0;
}

std::vector<Curve_Point> curve_outline(const Curve_Points& points) {
    std::vector<Curve_Point> line(points.begin(), points.end());
    std::stable_sort(line.begin(), line.end(),
                     [](const Curve_Point& a, const Curve_Point& b) { return a.light < b.light; });
    if (line.front().light > 0) {
        line.insert(line.begin(), Curve_Point{0, line.front().pwm});
    }
    if (line.back().light < light_full_scale) {
        line.push_back(Curve_Point{light_full_scale, line.back().pwm});
    }
    return line;
}
