// The rigorous model's vector steps of the elementwise functions, shared by
// the per-target endpoint files: the outward endpoints of balls, and the
// balls (rounded outward) of image pairs moved outward by a library's error
// bound. Every lane takes exactly the operations of the scalar rules of
// rules/outward.hpp, in the same order, so the bits are the scalar bits; only
// the library calls between the two steps stay scalar.
#pragma once

#include <cstddef>

#include "rules/ball.hpp"
#include "rules/outward.hpp"

namespace quorvex::kernels::outward_loops {
namespace {

template <class V>
using Reg = typename V::Reg;
template <class V>
using Mask = typename V::Mask;

constexpr double kInfinity = __builtin_inf();
constexpr double kLargest = __DBL_MAX__;

// (k + 1) (|x| 2^-52 + 2^-1074): k ulps' bound at x, rounded to nearest.
template <class V>
Reg<V> step(Reg<V> x, Reg<V> factor) {
  return V::mul(factor, V::add(V::mul(V::abs(x), V::set1(0x1p-52)), V::set1(0x1p-1074)));
}
// rules::below and rules::above; x == +inf is x >= +inf (and -inf x <= -inf).
template <class V>
Reg<V> below(Reg<V> x, Reg<V> factor) {
  return V::select(V::ge(x, V::set1(kInfinity)), V::set1(kLargest), V::sub(x, step<V>(x, factor)));
}
template <class V>
Reg<V> above(Reg<V> x, Reg<V> factor) {
  return V::select(V::le(x, V::set1(-kInfinity)), V::set1(-kLargest),
                   V::add(x, step<V>(x, factor)));
}

// rules::ball_outward, as (midpoint, radius).
template <class V>
struct OutwardBall {
  Reg<V> mid;
  Reg<V> rad;
};
template <class V>
[[gnu::always_inline]] inline OutwardBall<V> ball_outward(Reg<V> lo, Reg<V> hi) {
  const Reg<V> half = V::set1(0.5);
  const Reg<V> sum_half = V::mul(V::add(lo, hi), half);
  const Reg<V> halves = V::add(V::mul(lo, half), V::mul(hi, half));
  const Reg<V> mid = V::select(V::lt(V::abs(sum_half), V::set1(kInfinity)), sum_half, halves);
  const Reg<V> up = V::sub(hi, mid);
  const Reg<V> down = V::sub(mid, lo);
  const Reg<V> wider = V::select(V::gt(up, down), up, down);
  const Reg<V> rad = V::add(V::mul(wider, V::set1(rules::kUpFactor)), V::set1(rules::kUpTiniest));
  const Mask<V> bounded = V::bit_and(V::gt(lo, V::set1(-kInfinity)), V::lt(hi, V::set1(kInfinity)));
  const Mask<V> both_nan = V::bit_and(V::is_nan(lo), V::is_nan(hi));
  return {mid,
          V::select(bounded, rad, V::select(both_nan, V::set1(rules::kNaN), V::set1(kInfinity)))};
}
template <class V>
[[gnu::always_inline]] inline void store_ball_outward(double* out_mid, double* out_rad, Reg<V> lo,
                                                      Reg<V> hi) {
  const OutwardBall<V> ball = ball_outward<V>(lo, hi);
  V::store(out_mid, ball.mid);
  V::store(out_rad, ball.rad);
}

// rules::ball_outward(rules::steps_down(lo, k), rules::steps_up(hi, k)), with
// factor k + 1: a NaN end stays itself (the steps keep its payload).
// Inlined into every loop body: a call per register would pass its vectors
// through memory, which costs more than the steps themselves.
template <class V>
[[gnu::always_inline]] inline void store_widened(double* out_mid, double* out_rad, Reg<V> lo,
                                                 Reg<V> hi, Reg<V> factor) {
  const Reg<V> down = V::select(V::is_nan(lo), lo, below<V>(lo, factor));
  const Reg<V> up = V::select(V::is_nan(hi), hi, above<V>(hi, factor));
  store_ball_outward<V>(out_mid, out_rad, down, up);
}

// rules::outward_endpoints over whole registers; returns the count written.
template <class V>
std::size_t outward_endpoints(const double* mid, const double* rad, double* lo, double* hi,
                              std::size_t n) {
  constexpr std::size_t w = V::kWidth;
  const Reg<V> one = V::set1(1.0);
  std::size_t i = 0;
  for (; i + w <= n; i += w) {
    const Reg<V> m = V::load(mid + i);
    const Reg<V> r = V::load(rad + i);
    V::store(lo + i, below<V>(V::sub(m, r), one));
    V::store(hi + i, above<V>(V::add(m, r), one));
  }
  return i;
}

// store_widened by `ulps` over whole registers; returns the count written.
template <class V>
std::size_t widened_balls(const double* lo, const double* hi, int ulps, double* out_mid,
                          double* out_rad, std::size_t n) {
  constexpr std::size_t w = V::kWidth;
  const Reg<V> factor = V::set1(static_cast<double>(ulps + 1));
  std::size_t i = 0;
  for (; i + w <= n; i += w) {
    store_widened<V>(out_mid + i, out_rad + i, V::load(lo + i), V::load(hi + i), factor);
  }
  return i;
}

// The rigorous absolute value (rigorous::abs_ball): a ball that does not
// straddle 0 is mirrored exactly, any other becomes [0, |mid| + rad] with
// that end rounded upward.
template <class V>
std::size_t abs_balls(const double* mid, const double* rad, double* out_mid, double* out_rad,
                      std::size_t n) {
  constexpr std::size_t w = V::kWidth;
  const Reg<V> one = V::set1(1.0);
  std::size_t i = 0;
  for (; i + w <= n; i += w) {
    const Reg<V> m = V::abs(V::load(mid + i));
    const Reg<V> r = V::load(rad + i);
    const Mask<V> own = V::bit_and(V::ge(m, r), V::lt(m, V::set1(kInfinity)));
    const OutwardBall<V> ball = ball_outward<V>(V::set1(0.0), above<V>(V::add(m, r), one));
    V::store(out_mid + i, V::select(own, m, ball.mid));
    V::store(out_rad + i, V::select(own, r, ball.rad));
  }
  return i;
}

}  // namespace
}  // namespace quorvex::kernels::outward_loops
