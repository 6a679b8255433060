// The small element rules of the error model, in one place for every layer
// that needs them (array, ops and the scalar kernels): the endpoints of a
// ball and the ball of an endpoint pair, the NaN-ignoring min / max, the
// zero-containing divisor and the exact-array test. Baseline code only: the
// per-target kernel files have their own vector forms of these rules.
#pragma once

#include <emmintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quorvex {

// One element as (midpoint, radius).
struct Ball {
  double mid;
  double rad;
};

namespace rules {

inline constexpr double kNaN = __builtin_nan("");
inline constexpr double kInf = __builtin_inf();

// Absolute value and negation by the sign bit alone: |-0.0| = +0.0, and a
// NaN keeps its payload.
inline double abs_bits(double x) {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) & 0x7FFF'FFFF'FFFF'FFFFull);
}
inline double flip_sign(double x) {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) ^ 0x8000'0000'0000'0000ull);
}

struct Endpoints {
  double lo;
  double hi;
};

// Given two NaN operands x86 passes on the first one, but the compiler may
// swap the operands of a sum; these rules pin the NaN that comes out to the
// first operand as written, whatever the compiler does (a difference takes
// its operands in order anyway).

// (mid - rad, mid + rad); a NaN midpoint is what both carry.
inline Endpoints endpoints_of(double mid, double rad) {
  const double lo = mid - rad;
  return {lo, mid == mid ? mid + rad : lo};
}

// Midpoint (lo + hi) * 0.5, radius (hi - lo) * 0.5, both rounded to nearest.
inline Ball ball_from_endpoints(double lo, double hi) {
  return {(lo + hi) * 0.5, (hi - lo) * 0.5};
}

// The smaller / larger of two doubles ignoring one NaN (NaN only when both
// are); on a tie, signed zeros included, the first argument is kept. minsd /
// maxsd return their second operand unless the first wins strictly, which
// gives both the tie rule and a NaN second argument; only a NaN first
// argument needs a test (a branch on the comparison itself would mispredict
// on data without order).
inline double nan_min(double x, double y) {
  if (x != x) return y;
  return _mm_cvtsd_f64(_mm_min_sd(_mm_set_sd(y), _mm_set_sd(x)));
}
inline double nan_max(double x, double y) {
  if (x != x) return y;
  return _mm_cvtsd_f64(_mm_max_sd(_mm_set_sd(y), _mm_set_sd(x)));
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

// True when every radius compares equal to 0.0 (so -0.0 counts, NaN does
// not), at memory speed.
bool is_exact(std::span<const double> radii) noexcept;

}  // namespace rules
}  // namespace quorvex
