// The propagation rules of both rounding models, written once over a register
// type R (a target's vector type, or its one-double form for the elements a
// vector leaves over, with the same rounding), and the loop that runs a rule
// over runs of balls.
//
// First order: midpoints and radii rounded to nearest, no rounding error
// counted (the rules keep the bits they always had). Rigorous: midpoints
// rounded to nearest, radii computed upward and grown by a bound on the
// rounding error of the midpoint: with u = 2^-53, a sum or difference c is off
// by at most u|c| (a sum that underflows is exact); a product or quotient c by
// at most u|c| + 2^-1074. An overflowed midpoint gives an infinite radius.
//
// R provides load, store, set1, add, sub, mul, div, abs, and for the rigorous
// rules add_up, mul_up, div_up (rounded toward +inf) and sub_down (toward
// -inf, used on positive differences only).
#pragma once

#include <cstddef>

namespace quorvex::kernels::loops {
namespace {

inline constexpr double kUnitRoundoff = 0x1p-53;
inline constexpr double kTiniest = 0x1p-1074;

// The bound on the rounding error of a product or quotient c: u|c| + 2^-1074.
template <class R>
typename R::Reg product_error(typename R::Reg c) {
  return R::add_up(R::mul_up(R::abs(c), R::set1(kUnitRoundoff)), R::set1(kTiniest));
}

struct RigorousSum {
  template <class R>
  static auto mid(typename R::Reg a, typename R::Reg b) {
    return R::add(a, b);
  }
  template <class R>
  static auto rad(typename R::Reg, typename R::Reg ra, typename R::Reg, typename R::Reg rb,
                  typename R::Reg c) {
    return R::add_up(R::add_up(ra, rb), R::mul_up(R::abs(c), R::set1(kUnitRoundoff)));
  }
};

struct RigorousDifference {
  template <class R>
  static auto mid(typename R::Reg a, typename R::Reg b) {
    return R::sub(a, b);
  }
  template <class R>
  static auto rad(typename R::Reg a, typename R::Reg ra, typename R::Reg b, typename R::Reg rb,
                  typename R::Reg c) {
    return RigorousSum::rad<R>(a, ra, b, rb, c);
  }
};

// |a b - ma mb| <= |ma| rb + |mb| ra + ra rb, plus the midpoint's error.
struct RigorousProduct {
  template <class R>
  static auto mid(typename R::Reg a, typename R::Reg b) {
    return R::mul(a, b);
  }
  template <class R>
  static auto rad(typename R::Reg a, typename R::Reg ra, typename R::Reg b, typename R::Reg rb,
                  typename R::Reg c) {
    const auto spread =
        R::add_up(R::add_up(R::mul_up(R::abs(a), rb), R::mul_up(R::abs(b), ra)), R::mul_up(ra, rb));
    return R::add_up(spread, product_error<R>(c));
  }
};

// For |mb| > rb: |a/b - ma/mb| <= (ra + |ma/mb| rb) / (|mb| - rb), with |ma/mb|
// at most |q| + u|q| + 2^-1074 for the rounded q; plus q's own error. (Divisors
// that may be zero are the caller's: their quotients are unbounded.)
struct RigorousQuotient {
  template <class R>
  static auto mid(typename R::Reg a, typename R::Reg b) {
    return R::div(a, b);
  }
  template <class R>
  static auto rad(typename R::Reg, typename R::Reg ra, typename R::Reg b, typename R::Reg rb,
                  typename R::Reg q) {
    const auto error = product_error<R>(q);
    const auto ratio = R::add_up(R::abs(q), error);
    const auto spread = R::div_up(R::add_up(ra, R::mul_up(ratio, rb)), R::sub_down(R::abs(b), rb));
    return R::add_up(spread, error);
  }
};

// The radius of a result whose midpoint overflowed (or is NaN) is +inf: the
// whole line, never a wrong finite bound.
template <class R>
typename R::Reg unbounded_unless_finite(typename R::Reg c, typename R::Reg rad) {
  return R::select(R::lt(R::abs(c), R::set1(__builtin_inf())), rad, R::set1(__builtin_inf()));
}

// out = Rule over runs of n balls: whole registers of V, then the rest with S.
template <class V, class S, class Rule>
void ball_rule(const double* ma, const double* ra, const double* mb, const double* rb, double* om,
               double* orad, std::size_t n) {
  std::size_t i = 0;
  for (; i + V::kWidth <= n; i += V::kWidth) {
    const auto a = V::load(ma + i), r = V::load(ra + i), b = V::load(mb + i), s = V::load(rb + i);
    const auto c = Rule::template mid<V>(a, b);
    V::store(om + i, c);
    V::store(orad + i, unbounded_unless_finite<V>(c, Rule::template rad<V>(a, r, b, s, c)));
  }
  for (; i < n; ++i) {
    const double a = ma[i], r = ra[i], b = mb[i], s = rb[i];
    const double c = Rule::template mid<S>(a, b);
    om[i] = c;
    orad[i] = unbounded_unless_finite<S>(c, Rule::template rad<S>(a, r, b, s, c));
  }
}

}  // namespace
}  // namespace quorvex::kernels::loops
