// The scalar rules of the rigorous model: directed steps of results rounded
// to nearest, outward endpoints of a ball and the ball that encloses an
// endpoint pair. A result rounded to nearest is within half an ulp of the
// exact one, so one step away from it (next_up, next_down) is a bound on the
// exact result in that direction. A ball with an infinite radius stands for
// the whole real line.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "rules/ball.hpp"

namespace quorvex::rules {

// The next double above x (above -0.0 and +0.0 alike: the smallest
// subnormal); +inf and NaN are kept.
inline double next_up(double x) {
  if (!(x < kInf)) return x;
  if (x == 0.0) return 0x1p-1074;
  const auto bits = std::bit_cast<std::uint64_t>(x);
  return std::bit_cast<double>(x > 0.0 ? bits + 1 : bits - 1);
}
inline double next_down(double x) {
  return -next_up(-x);
}

// Bounds at least k ulps below and above x, without branches: the ulp of a
// double is at most 2^-52 of its magnitude (2^-1074 among the subnormals), so
// moving x by (k + 1) times that, rounded to nearest (off by half an ulp at
// most), moves it by k ulps at least. A library value within k ulps of the
// exact one bounds it once moved so. Infinities stay where they are (the
// bound that moves away from them is the caller's).
inline double below(double x, int k) {
  const double step = (k + 1) * (std::fabs(x) * 0x1p-52 + 0x1p-1074);
  return x == kInf ? std::numeric_limits<double>::max() : x - step;
}
inline double above(double x, int k) {
  const double step = (k + 1) * (std::fabs(x) * 0x1p-52 + 0x1p-1074);
  return x == -kInf ? -std::numeric_limits<double>::max() : x + step;
}
inline double steps_down(double x, int k) {
  return x != x ? x : below(x, k);
}
inline double steps_up(double x, int k) {
  return x != x ? x : above(x, k);
}

// The error bound, in ulps, that the rigorous model assumes of the C math
// library's functions (glibc's measure at most 2 ulps on the tested
// arguments; the bound leaves a margin).
inline constexpr int kLibraryUlps = 4;
// glibc's cbrt is within 4 ulps, not 1 (test_library_bounds measures it).
inline constexpr int kCbrtUlps = 8;
// The bound, in ulps, on an operation the processor rounds correctly (the
// square root): a result rounded to nearest is within half an ulp.
inline constexpr int kCorrectlyRoundedUlps = 1;
// The bound, in ulps, on a product by a rounded constant (the angle
// conversions): the product's rounding and the constant's.
inline constexpr int kScaledUlps = 2;

// The endpoints of the ball (mid, rad), rounded outward (by one ulp's bound
// past the nearest results, which is one ulp or two).
inline Endpoints outward_endpoints(double mid, double rad) {
  return {below(mid - rad, 0), above(mid + rad, 0)};
}

// Above a result y >= 0 rounded to nearest (a radius, a magnitude), in two
// operations rounded to nearest: y (1 + 2^-52) + 2^-1074. For a normal y,
// y 2^-52 is one to two ulps of y, so the product lands at least on y's upper
// neighbour; a subnormal y or zero gains at least 2^-1074, its ulp. Rounding
// to nearest is off by half an ulp at most, so this lies above the exact
// value. +inf and NaN stay.
inline constexpr double kUpFactor = 1.0 + 0x1p-52;
inline constexpr double kUpTiniest = 0x1p-1074;
inline double up_from_nearest(double y) {
  return y * kUpFactor + kUpTiniest;
}

// A ball holding [lo, hi]: the midpoint rounded to nearest (halved first when
// the sum would overflow), the radius rounded upward over both halves. An
// infinite or NaN endpoint gives an infinite radius (NaN when both are).
inline Ball ball_outward(double lo, double hi) {
  double mid = (lo + hi) * 0.5;
  if (!(std::fabs(mid) < kInf)) mid = lo * 0.5 + hi * 0.5;
  const double up = hi - mid, down = mid - lo;
  const double rad = up_from_nearest(up > down ? up : down);
  // An unbounded end (or a NaN one) leaves the ball the whole line.
  const bool bounded = lo > -kInf && hi < kInf;
  return {mid, bounded ? rad : (lo != lo && hi != hi ? kNaN : kInf)};
}

// gamma_n = n u / (1 - n u), the bound on the relative rounding error of a
// sum of n terms, rounded upward; +inf once n u reaches 1.
inline double gamma_up(std::uint64_t n) {
  const double nu = static_cast<double>(n) * 0x1p-53;  // exact below 2^53 terms
  if (!(nu < 1.0)) return kInf;
  return next_up(next_up(nu) / next_down(1.0 - nu));
}

}  // namespace quorvex::rules
