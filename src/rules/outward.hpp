// The scalar rules of the rigorous model: directed steps of results rounded
// to nearest, outward endpoints of a ball and the ball that encloses an
// endpoint pair. A result rounded to nearest is within half an ulp of the
// exact one, so one step away from it (next_up, next_down) is a bound on the
// exact result in that direction. A ball with an infinite radius stands for
// the whole real line.
#pragma once

#include <bit>
#include <cstdint>

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

// x moved k doubles down or up: a library value within k ulps of the exact
// one bounds it once moved k steps.
inline double steps_down(double x, int k) {
  for (int i = 0; i < k; ++i) x = next_down(x);
  return x;
}
inline double steps_up(double x, int k) {
  for (int i = 0; i < k; ++i) x = next_up(x);
  return x;
}

// The endpoints of the ball (mid, rad), rounded outward.
inline Endpoints outward_endpoints(double mid, double rad) {
  return {next_down(mid - rad), next_up(mid + rad)};
}

// A ball holding [lo, hi]: the midpoint rounded to nearest (halved first when
// the sum would overflow), the radius rounded upward over both halves. An
// infinite or NaN endpoint gives an infinite radius (NaN when both are).
inline Ball ball_outward(double lo, double hi) {
  if (lo != lo && hi != hi) return {kNaN, kNaN};
  if (!(lo > -kInf && hi < kInf)) return {lo == lo && hi == hi ? (lo + hi) * 0.5 : kNaN, kInf};
  double mid = (lo + hi) * 0.5;
  if (!(mid > -kInf && mid < kInf)) mid = lo * 0.5 + hi * 0.5;
  const double above = next_up(hi - mid);
  const double below = next_up(mid - lo);
  return {mid, above > below ? above : below};
}

// gamma_n = n u / (1 - n u), the bound on the relative rounding error of a
// sum of n terms, rounded upward; +inf once n u reaches 1.
inline double gamma_up(std::uint64_t n) {
  const double nu = static_cast<double>(n) * 0x1p-53;  // exact below 2^53 terms
  if (!(nu < 1.0)) return kInf;
  return next_up(next_up(nu) / next_down(1.0 - nu));
}

}  // namespace quorvex::rules
