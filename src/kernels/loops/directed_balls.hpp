// The rigorous square root and square with directed results, shared by the
// per-target files: written once over a register type W with upward and
// downward operations (add_up, sub_down, mul_up, mul_down, sqrt_up,
// sqrt_down) besides the plain ones. AVX-512 rounds them by the instructions
// themselves; the targets below it run them in a round-upward scope, where
// the downward operations are upward ones on negated operands. Either way the
// result is as tight as directed rounding gives, where the portable rules
// move results rounded to nearest by an ulp's bound.
#pragma once

#include <cstddef>

namespace quorvex::kernels::directed_balls {
namespace {

// The ball rounded outward of [lo, hi], both ends directed already: the
// midpoint by W's plain operations (halved first where the sum overflows), the
// radius rounded upward; an unbounded end leaves the whole line (NaN where
// both ends are NaN), as the portable rule has it.
template <class W>
void store_directed_ball(double* out_mid, double* out_rad, typename W::Reg lo, typename W::Reg hi) {
  const auto half = W::set1(0.5);
  const auto inf = W::set1(__builtin_inf());
  const auto sum_half = W::mul(W::add(lo, hi), half);
  const auto centre =
      W::select(W::lt(W::abs(sum_half), inf), sum_half, W::add(W::mul(lo, half), W::mul(hi, half)));
  const auto up = W::add_up(hi, W::flip(centre));
  const auto down = W::add_up(centre, W::flip(lo));
  const auto radius = W::select(W::gt(up, down), up, down);
  const auto bounded = W::bit_and(W::gt(lo, W::flip(inf)), W::lt(hi, inf));
  const auto both_nan = W::bit_and(W::is_nan(lo), W::is_nan(hi));
  W::store(out_mid, centre);
  W::store(out_rad,
           W::select(bounded, radius, W::select(both_nan, W::set1(__builtin_nan("")), inf)));
}

// The ends of the ball (mid, rad), rounded outward.
template <class W>
struct DirectedEnds {
  typename W::Reg lo;
  typename W::Reg hi;
};
template <class W>
DirectedEnds<W> directed_ends(const double* mid, const double* rad) {
  const auto m = W::load(mid);
  const auto r = W::load(rad);
  return {W::sub_down(m, r), W::add_up(m, r)};
}

// A ball holding the square roots of every point of (mid, rad): its ends
// rounded outward, their roots rounded down and up (the root of 0 where the
// lower end is not positive).
template <class W>
void directed_sqrt_ball(const double* mid, const double* rad, double* out_mid, double* out_rad) {
  const auto [lo, hi] = directed_ends<W>(mid, rad);
  store_directed_ball<W>(out_mid, out_rad,
                         W::sqrt_down(W::zero_unless(W::gt(lo, W::set1(0.0)), lo)), W::sqrt_up(hi));
}

// A ball holding the squares of every point of (mid, rad): its ends rounded
// outward, the square of the end nearer to 0 rounded down and of the farther
// one rounded up (0 and the larger square where the ball holds 0), chosen as
// the portable rule's image chooses them.
template <class W>
void directed_square_ball(const double* mid, const double* rad, double* out_mid, double* out_rad) {
  const auto [lo, hi] = directed_ends<W>(mid, rad);
  const auto zero = W::set1(0.0);
  const auto nonnegative = W::ge(lo, zero);
  const auto nonpositive = W::ge(zero, hi);
  const auto lo_up = W::mul_up(lo, lo);
  const auto hi_up = W::mul_up(hi, hi);
  const auto larger = W::select(W::is_nan(lo_up), hi_up, W::max(hi_up, lo_up));
  const auto least = W::select(nonnegative, W::mul_down(lo, lo),
                               W::select(nonpositive, W::mul_down(hi, hi), zero));
  const auto greatest = W::select(nonnegative, hi_up, W::select(nonpositive, lo_up, larger));
  // Ordered as the portable rule orders its pair: a NaN end comes out first.
  const auto keep = W::ge(greatest, least);
  store_directed_ball<W>(out_mid, out_rad, W::select(keep, least, greatest),
                         W::select(keep, greatest, least));
}

// Ball over whole registers of W, Tail (its one-double form) over the rest.
template <class W, void (*Ball)(const double*, const double*, double*, double*),
          void (*Tail)(const double*, const double*, double*, double*)>
std::size_t whole_run(const double* mid, const double* rad, double* out_mid, double* out_rad,
                      std::size_t n) {
  std::size_t i = 0;
  for (; i + W::kWidth <= n; i += W::kWidth) Ball(mid + i, rad + i, out_mid + i, out_rad + i);
  for (; i < n; ++i) Tail(mid + i, rad + i, out_mid + i, out_rad + i);
  return n;
}

}  // namespace
}  // namespace quorvex::kernels::directed_balls
