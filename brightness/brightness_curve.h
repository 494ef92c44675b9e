#pragma once

// The brightness curve in pwm_image as plain values: seven points of a light threshold and
// a PWM value, and the three settings that go with them. Pure functions, no widgets.

#include <array>
#include <vector>

#include "protocol/layouts.h"

constexpr int light_full_scale = 1023; // the light sensor's largest reading

struct Curve_Point {
    int light = 0; // 0..1023
    int pwm = 0;   // 0..564
    bool operator==(const Curve_Point&) const = default;
};
using Curve_Points = std::array<Curve_Point, curve_points>;

struct Curve_Settings {
    Curve_Points points{};
    int step_delay = 0;  // seconds, 0..255
    int slide_delay = 0; // per 1 % of brightness, 0..255
    bool smoothing = false;
};

// The curve part of an image (bytes 5..35).
Curve_Settings decode_curve(const Pwm_Image& image);
// Writes bytes 5..35 from `settings`, numbers high byte first; bytes 0..4 and 36 keep what
// was last read.
void encode_curve(const Curve_Settings& settings, Pwm_Image& image);

// The points as the plot joins them: in order of their light thresholds, the first point's
// value held from light 0 and the last one's up to full scale.
std::vector<Curve_Point> curve_outline(const Curve_Points& points);
