// The element rules of the elementwise functions that came after the first
// elementary ones (square, reciprocal, the hyperbolic and inverse functions,
// the step functions, the binary ones, power). Same model as the endpoint
// kernels: a ball becomes its endpoints, the function is evaluated at the
// endpoints and at the interior extrema with the C math library's values as
// returned (or with exact IEEE operations), and the image pair becomes a ball,
// everything rounded to nearest and nothing added for rounding errors.
//
// These are the scalar rules, in baseline code. The functions of a few
// operations and the finishing steps after the library calls also have vector
// forms in the endpoint block tables (kernels/loops/endpoint_block_loops.hpp)
// that take the same operations lane by lane, so the bits depend neither on
// the kernel target nor on where an element falls in a block.
#pragma once

#include <emmintrin.h>

#include <cmath>
#include <cstdint>

#include "ops/endpoint_kernels.hpp"
#include "rules/ball.hpp"
#include "rules/endpoint_constants.hpp"

namespace quorvex::functions {

using rules::kInf;
using rules::kNaN;

inline constexpr EndpointPair kNaNPair{kNaN, kNaN};
// The pair whose ball is the unbounded ball (NaN, +inf) of division by a
// divisor that may contain zero.
inline constexpr EndpointPair kWholeLine{-kInf, kInf};

inline bool is_nan(double x) {
  return x != x;
}

// The ball of an image pair: ((lo + hi) * 0.5, (hi - lo) * 0.5), except where
// the sum or the difference overflows although both endpoints are finite.
// There each endpoint is halved first, which is exact at those magnitudes, so
// the result is the value the formula has without an exponent limit instead of
// an infinite midpoint that no longer holds the endpoints (or an infinite
// radius). With an infinite endpoint both forms agree.
inline Ball image_ball(EndpointPair p) {
  double mid = (p.lo + p.hi) * 0.5;
  double rad = (p.hi - p.lo) * 0.5;
  if (std::fabs(mid) == kInf) mid = p.lo * 0.5 + p.hi * 0.5;
  if (rad == kInf) rad = p.hi * 0.5 - p.lo * 0.5;
  return {mid, rad};
}

// (a, b) when b >= a, else (b, a): a pair holding a NaN comes out with the NaN
// on top, so its ball is NaN.
inline EndpointPair ordered(double a, double b) {
  return endpoint_detail::ordered_pair(a, b);
}

// Choices without branches for the functions of a few operations: on data
// without order (signs, comparisons of two operands) a branch would mispredict
// about every other element and cost more than the whole function. A Mask is
// all ones or all zeros, from one comparison.
using Mask = __m128d;
inline Mask greater(double x, double y) {
  return _mm_cmpgt_sd(_mm_set_sd(x), _mm_set_sd(y));
}
inline Mask greater_equal(double x, double y) {
  return _mm_cmpge_sd(_mm_set_sd(x), _mm_set_sd(y));
}
inline Mask unordered(double x, double y) {  // either is NaN
  return _mm_cmpunord_sd(_mm_set_sd(x), _mm_set_sd(y));
}
inline Mask either(Mask a, Mask b) {
  return _mm_or_pd(a, b);
}
// a where `mask` holds, else b.
inline double choose(Mask mask, double a, double b) {
  return _mm_cvtsd_f64(endpoint_detail::select_sd(mask, _mm_set_sd(a), _mm_set_sd(b)));
}

// ---------------------------------------------------------------------------
// Unary functions with one library call per endpoint. `call` is the value at
// one endpoint (clamped into the domain first where the domain is closed, so
// that the value at the domain's edge is the library's own), `finish` makes the
// image pair from the endpoints and the two values.

#define QV_LIBM(name)                   \
  inline double libm_##name(double x) { \
    return std::name(x);                \
  }
QV_LIBM(cbrt)
QV_LIBM(exp2)
QV_LIBM(expm1)
QV_LIBM(log1p)
QV_LIBM(sinh)
QV_LIBM(cosh)
QV_LIBM(tanh)
QV_LIBM(atan)
QV_LIBM(asinh)
#undef QV_LIBM

inline double clamp_unit(double x) {
  return x < -1.0 ? -1.0 : (x > 1.0 ? 1.0 : x);  // a NaN passes through
}
inline double libm_asin(double x) {
  return std::asin(clamp_unit(x));
}
inline double libm_acos(double x) {
  return std::acos(clamp_unit(x));
}
inline double libm_atanh(double x) {
  return std::atanh(clamp_unit(x));
}
inline double libm_acosh(double x) {
  return std::acosh(x < 1.0 ? 1.0 : x);
}

inline EndpointPair increasing(double, double, double f_lo, double f_hi) {
  return ordered(f_lo, f_hi);
}

// cosh is least at 0, where it is 1.
inline EndpointPair cosh_finish(double lo, double hi, double f_lo, double f_hi) {
  const Mask nonnegative = greater_equal(lo, 0.0);
  const Mask nonpositive = greater_equal(0.0, hi);
  return ordered(choose(nonnegative, f_lo, choose(nonpositive, f_hi, 1.0)),
                 choose(nonnegative, f_hi, choose(nonpositive, f_lo, rules::nan_max(f_lo, f_hi))));
}

// asin, acos and atanh live on [-1, 1] (atanh is -inf and +inf at its ends):
// the part of the ball outside is dropped, and a ball wholly outside is NaN.
template <bool Increasing>
inline EndpointPair unit_finish(double lo, double hi, double f_lo, double f_hi) {
  if (hi < -1.0 || lo > 1.0) return kNaNPair;
  return Increasing ? ordered(f_lo, f_hi) : ordered(f_hi, f_lo);
}

inline EndpointPair acosh_finish(double lo, double hi, double f_lo, double f_hi) {
  (void)lo;
  if (hi < 1.0) return kNaNPair;
  return ordered(f_lo, f_hi);
}

// log1p(x) = ln(1 + x) on x > -1, with ln's finite floor where the ball
// reaches -1 (or its lower endpoint is NaN), NaN for a ball at or below -1.
inline EndpointPair log1p_finish(double lo, double hi, double f_lo, double f_hi) {
  if (hi <= -1.0) return kNaNPair;
  return ordered(lo > -1.0 ? f_lo : kLnFloor, f_hi);
}

// Block names the vector form of Finish in the endpoint block tables.
template <double (*Call)(double), EndpointPair (*Finish)(double, double, double, double),
          simd::FinishFn simd::EndpointBlockKernels::* Block>
struct Calls {
  static constexpr auto block = Block;
  static double call(double x) { return Call(x); }
  static EndpointPair finish(double lo, double hi, double f_lo, double f_hi) {
    return Finish(lo, hi, f_lo, f_hi);
  }
};

using Blocks = simd::EndpointBlockKernels;
using Cbrt = Calls<libm_cbrt, increasing, &Blocks::rising_finish>;
using Exp2 = Calls<libm_exp2, increasing, &Blocks::rising_finish>;
using Expm1 = Calls<libm_expm1, increasing, &Blocks::rising_finish>;
using Log1p = Calls<libm_log1p, log1p_finish, &Blocks::log1p_finish>;
using Sinh = Calls<libm_sinh, increasing, &Blocks::rising_finish>;
using Cosh = Calls<libm_cosh, cosh_finish, &Blocks::cosh_finish>;
using Tanh = Calls<libm_tanh, increasing, &Blocks::rising_finish>;
using Arcsin = Calls<libm_asin, unit_finish<true>, &Blocks::unit_rising_finish>;
using Arccos = Calls<libm_acos, unit_finish<false>, &Blocks::unit_falling_finish>;
using Arctan = Calls<libm_atan, increasing, &Blocks::rising_finish>;
using Arcsinh = Calls<libm_asinh, increasing, &Blocks::rising_finish>;
using Arccosh = Calls<libm_acosh, acosh_finish, &Blocks::acosh_finish>;
using Arctanh = Calls<libm_atanh, unit_finish<true>, &Blocks::unit_rising_finish>;

// ---------------------------------------------------------------------------
// Unary functions of a few IEEE operations: image(lo, hi) is the image pair.

// [mig^2, mag^2]: 0 at the bottom when the ball straddles zero (or has a NaN
// endpoint, whose square then makes the pair NaN).
inline EndpointPair square_image(double lo, double hi) {
  const double a = lo * lo;
  const double b = hi * hi;
  const Mask nonnegative = greater_equal(lo, 0.0);
  const Mask nonpositive = greater_equal(0.0, hi);
  const double larger =
      choose(unordered(a, a), b, _mm_cvtsd_f64(_mm_max_sd(_mm_set_sd(b), _mm_set_sd(a))));
  return ordered(choose(nonnegative, a, choose(nonpositive, b, 0.0)),
                 choose(nonnegative, b, choose(nonpositive, a, larger)));
}

// The zero test of division (rules::contains_zero on these endpoints): a
// ball that may hold zero has the unbounded reciprocal.
inline EndpointPair reciprocal_image(double lo, double hi) {
  const Mask zero = _mm_andnot_pd(greater(lo, 0.0), greater_equal(hi, 0.0));
  const EndpointPair p = ordered(1.0 / hi, 1.0 / lo);
  return {choose(zero, -kInf, p.lo), choose(zero, kInf, p.hi)};
}

template <double Factor>
inline EndpointPair scaled_image(double lo, double hi) {
  return {lo * Factor, hi * Factor};
}

// numpy's sign: -1, 0 (for either zero) or 1, and NaN for NaN.
inline double sign_of(double x) {
  return choose(greater(x, 0.0), 1.0,
                choose(greater(0.0, x), -1.0, choose(unordered(x, x), x, 0.0)));
}

// The integer nearest x, ties to even, for |x| < 2^52 (where the sum with
// 2^52 lands on an integer and subtracting 2^52 back is exact); larger
// magnitudes, infinities and NaN are integers already or stay as they are.
// The sign is x's, so a result of zero keeps the sign of x as the C library's
// rint, floor, ceil and trunc give it; their results are exact, so these are
// the library's values bit for bit.
constexpr double kTwo52 = 4503599627370496.0;
inline double nearest_integer(double x) {
  const double a = std::fabs(x);
  return choose(greater(kTwo52, a), std::copysign((a + kTwo52) - kTwo52, x), x);
}
inline double floor_of(double x) {
  const double r = nearest_integer(x);
  return std::copysign(choose(greater(r, x), r - 1.0, r), x);
}
inline double ceil_of(double x) {
  const double r = nearest_integer(x);
  return std::copysign(choose(greater(x, r), r + 1.0, r), x);
}
inline double trunc_of(double x) {
  return std::copysign(floor_of(std::fabs(x)), x);
}

template <double (*F)(double)>
inline EndpointPair step_image(double lo, double hi) {
  return {F(lo), F(hi)};
}

// ---------------------------------------------------------------------------
// Binary functions. An element is two balls and their endpoints.

struct Operands {
  double am, ar, bm, br;
  double alo, ahi, blo, bhi;
};

inline Operands operands_of(double am, double ar, double bm, double br) {
  return {am, ar, bm, br, am - ar, am + ar, bm - br, bm + br};
}

inline bool any_nan(const Operands& o) {
  return is_nan(o.alo) || is_nan(o.ahi) || is_nan(o.blo) || is_nan(o.bhi);
}

// numpy's maximum and minimum of two numbers, (a >= b || a is NaN) ? a : b
// and the like: a NaN in either comes out.
inline double max_of(double a, double b) {
  return choose(either(greater_equal(a, b), unordered(a, a)), a, b);
}
inline double min_of(double a, double b) {
  return choose(either(greater_equal(b, a), unordered(a, a)), a, b);
}
// numpy's fmax and fmin, (a >= b || b is NaN) ? a : b and the like: a NaN is
// passed over unless both are.
inline double fmax_of(double a, double b) {
  return choose(either(greater_equal(a, b), unordered(b, b)), a, b);
}
inline double fmin_of(double a, double b) {
  return choose(either(greater_equal(b, a), unordered(b, b)), a, b);
}

inline Ball maximum_rule(const Operands& o) {
  return image_ball({max_of(o.alo, o.blo), max_of(o.ahi, o.bhi)});
}
inline Ball minimum_rule(const Operands& o) {
  return image_ball({min_of(o.alo, o.blo), min_of(o.ahi, o.bhi)});
}

// fmax and fmin ignore a NaN ball (a NaN midpoint or radius): the other ball
// comes out as it is.
template <double (*F)(double, double)>
inline Ball ignoring_nan_rule(const Operands& o) {
  if (is_nan(o.am) || is_nan(o.ar)) return {o.bm, o.br};
  if (is_nan(o.bm) || is_nan(o.br)) return {o.am, o.ar};
  return image_ball({F(o.alo, o.blo), F(o.ahi, o.bhi)});
}

// The binary functions with library calls take two calls per element:
// `points` picks the two argument pairs from the operands, the calls run, and
// `finish` makes the image pair.
struct Points {
  double u1, v1;
  double u2, v2;
};

// Least and greatest magnitude of a ball's points.
struct Magnitudes {
  double mig, mag;
};
inline Magnitudes magnitudes(double lo, double hi) {
  if (lo >= 0.0) return {lo, hi};
  if (hi <= 0.0) return {-hi, -lo};
  return {0.0, -lo > hi ? -lo : hi};
}

// hypot grows with |x| and |y|: [hypot(mig x, mig y), hypot(mag x, mag y)].
struct Hypot {
  static Points points(const Operands& o) {
    const Magnitudes x = magnitudes(o.alo, o.ahi);
    const Magnitudes y = magnitudes(o.blo, o.bhi);
    return {x.mig, y.mig, x.mag, y.mag};
  }
  static double call(double u, double v) { return std::hypot(u, v); }
  static EndpointPair finish(const Operands& o, double f1, double f2) {
    // hypot(inf, NaN) is inf: an operand ball that is NaN must not vanish.
    if (any_nan(o)) return kNaNPair;
    return ordered(f1, f2);
  }
};

// numpy's logaddexp, log(exp(x) + exp(y)) without overflow, on exp and log1p.
inline double log_add_exp(double x, double y) {
  if (x == y) return x + kLn2;  // also two infinities of one sign
  const double d = x - y;
  if (d > 0.0) return x + std::log1p(std::exp(-d));
  if (d <= 0.0) return y + std::log1p(std::exp(d));
  return d;  // NaN
}

// Increasing in both arguments: the lower endpoints, then the upper ones.
struct LogAddExp {
  static Points points(const Operands& o) { return {o.alo, o.blo, o.ahi, o.bhi}; }
  static double call(double u, double v) { return log_add_exp(u, v); }
  static EndpointPair finish(const Operands&, double f1, double f2) { return ordered(f1, f2); }
};

// atan2(y, x) over the box y in [alo, ahi], x in [blo, bhi]. A zero y counts
// as +0 (whose angle on the negative x axis is pi), so that a lower endpoint
// -0 does not stand for the other side of the cut. Off the cut the angle
// grows with y where x > 0 and falls where x < 0, grows with x where y < 0
// and falls where y > 0, so its least and greatest values over the box lie at
// the two corners picked below; a box that meets the cut (x < 0 with y from
// below zero up to zero or above) or holds the origin has every angle, and
// gets [-pi, pi].
struct Arctan2 {
  static Points points(const Operands& o) {
    const double ylo = o.alo + 0.0;
    const double yhi = o.ahi + 0.0;
    // Picked without branches: on boxes in random quadrants they mispredict.
    const Mask upper = greater_equal(ylo, 0.0);
    const Mask reaches_up = greater_equal(yhi, 0.0);
    const Mask right_hi = greater(o.bhi, 0.0);
    const Mask right_lo = greater_equal(o.blo, 0.0);
    return {choose(upper, choose(right_hi, ylo, yhi), choose(right_lo, ylo, yhi)),
            choose(upper, o.bhi, o.blo),
            choose(reaches_up, choose(right_lo, yhi, ylo), choose(right_hi, yhi, ylo)),
            choose(reaches_up, o.blo, o.bhi)};
  }
  static double call(double u, double v) { return std::atan2(u, v); }
  static EndpointPair finish(const Operands& o, double f1, double f2) {
    if (any_nan(o)) return kNaNPair;
    const double ylo = o.alo + 0.0;
    const double yhi = o.ahi + 0.0;
    const bool origin = ylo <= 0.0 && yhi >= 0.0 && o.blo <= 0.0 && o.bhi >= 0.0;
    const bool cut = o.blo < 0.0 && ylo < 0.0 && yhi >= 0.0;
    if (origin || cut) return {-kPi, kPi};
    return ordered(f1, f2);
  }
};

// Whether an exponent ball is an exact integer (radius 0, integral midpoint);
// every double of magnitude 2^52 or more is an integer.
inline bool integral_exponent(double m, double r) {
  if (r != 0.0) return false;
  const double a = std::fabs(m);
  if (a < kTwo52) return static_cast<double>(static_cast<std::int64_t>(m)) == m;
  return a != kInf;  // NaN fails the comparison too
}

// The NaN-propagating least / greatest of two values.
inline double least(double a, double b) {
  return (a <= b || a != a) ? a : b;
}
inline double greatest(double a, double b) {
  return (a >= b || a != a) ? a : b;
}

// power(x, p) with the library's pow at the candidate points:
//  - p an exact integer n: the image of t -> t^n over x. For n > 0, pow at
//    both endpoints, with 0 at the bottom for an even n when x straddles zero;
//    for n < 0 the reciprocal rule: the unbounded ball when x may contain zero,
//    else pow at both endpoints (t^n is monotone on each side of zero).
//  - any other p: only the part of x at or above zero (NaN when x lies below
//    zero). For base >= 0, x^y = exp(y ln x) and y ln x is bilinear in (y, ln
//    x), so the extremes over the box of the two balls lie at its corners:
//    two of them for an exact p, all four for a ball p.
struct Power {
  static double base_lo(const Operands& o) { return o.alo > 0.0 ? o.alo : 0.0; }
  static Points points(const Operands& o) {
    if (integral_exponent(o.bm, o.br)) return {o.alo, o.bm, o.ahi, o.bm};
    if (o.br == 0.0) return {base_lo(o), o.bm, o.ahi, o.bm};
    return {base_lo(o), o.blo, o.ahi, o.bhi};
  }
  static double call(double u, double v) { return std::pow(u, v); }
  static EndpointPair finish(const Operands& o, double f1, double f2) {
    if (integral_exponent(o.bm, o.br)) {
      const double n = o.bm;
      if (n < 0.0 && !(0.0 < o.alo) && o.ahi >= 0.0) return kWholeLine;
      EndpointPair p{least(f1, f2), greatest(f1, f2)};
      if (n > 0.0 && o.alo < 0.0 && o.ahi > 0.0 && !odd(n)) p.lo = 0.0;
      return p;
    }
    if (!(o.ahi >= 0.0)) return kNaNPair;
    if (o.br == 0.0) return {least(f1, f2), greatest(f1, f2)};
    const double f3 = std::pow(base_lo(o), o.bhi);
    const double f4 = std::pow(o.ahi, o.blo);
    return {least(least(f1, f2), least(f3, f4)), greatest(greatest(f1, f2), greatest(f3, f4))};
  }
  static bool odd(double n) {
    return std::fabs(n) < kTwo52 && (static_cast<std::int64_t>(n) & 1) != 0;
  }
};

}  // namespace quorvex::functions
