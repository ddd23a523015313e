// Degree-based trigonometry used by every angle in the engine.
// Angles go in and come out in degrees; the work is done in double and nothing
// is snapped, so Cos(90) is about 6e-17, not 0. Callers narrow to float.
#pragma once

#include <cmath>
#include <numbers>

inline constexpr double kDegToRad = std::numbers::pi / 180.0;
inline constexpr double kRadToDeg = 180.0 / std::numbers::pi;

inline double Sin(double deg) { return std::sin(deg * kDegToRad); }
inline double Cos(double deg) { return std::cos(deg * kDegToRad); }
inline double Tan(double deg) { return std::tan(deg * kDegToRad); }
inline double ASin(double v) { return std::asin(v) * kRadToDeg; }  // degrees, -90..90
inline double ACos(double v) { return std::acos(v) * kRadToDeg; }  // degrees, 0..180
inline double ATan(double v) { return std::atan(v) * kRadToDeg; }  // degrees, -90..90
// The angle whose tangent is y / x, in degrees, -180..180; ATan2(0, 0) is 0.
inline double ATan2(double y, double x) { return std::atan2(y, x) * kRadToDeg; }
inline double Sqr(double v) { return std::sqrt(v); }  // square root, not the square
