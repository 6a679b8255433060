// Small element rules of the error model shared by the arithmetic code. Only
// baseline (and *_directed) files include this, so every inline copy is
// compiled for the same instruction set.
#pragma once

#include <bit>
#include <cstdint>
#include <limits>
#include <span>

namespace quorvex::rules {

// Absolute value by clearing the sign bit: |-0.0| = +0.0, NaN stays a NaN.
inline double abs_bits(double x) {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) & 0x7FFF'FFFF'FFFF'FFFFull);
}
inline double flip_sign(double x) {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) ^ 0x8000'0000'0000'0000ull);
}

// The smaller / larger of two values; a single NaN is ignored, two give NaN.
inline double nan_min(double x, double y) {
  if (x != x) return y;
  if (y != y) return x;
  return y < x ? y : x;
}
inline double nan_max(double x, double y) {
  if (x != x) return y;
  if (y != y) return x;
  return y > x ? y : x;
}

// Whether the divisor ball (mb, rb) may be zero. The tests are written so a
// NaN lower bound falls through to the upper-bound test: a ball such as
// (+inf, +inf) has lower bound NaN but reaches +inf and counts as containing
// zero, while a NaN midpoint or radius makes both bounds NaN and does not.
inline bool contains_zero(double mb, double rb) {
  const double lo = mb - rb;
  const double hi = mb + rb;
  if (0.0 < lo) return false;
  return hi >= 0.0;
}

// Index of the first divisor that may be zero, or the length when none does.
inline std::size_t first_zero_divisor(std::span<const double> mb, std::span<const double> rb) {
  for (std::size_t i = 0; i < mb.size(); ++i) {
    if (contains_zero(mb[i], rb[i])) return i;
  }
  return mb.size();
}

// True when every radius compares equal to 0.0 (so -0.0 counts, NaN does not);
// stops at the first radius that is not zero.
inline bool all_zero(std::span<const double> radii) {
  for (double r : radii) {
    if (!(r == 0.0)) return false;
  }
  return true;
}

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double kInf = std::numeric_limits<double>::infinity();

}  // namespace quorvex::rules
