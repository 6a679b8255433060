// Loop bodies of the vector endpoint steps, shared by the per-target files:
// each instantiates them with its own register type V (internal linkage, see
// kernels/sse2/vector.hpp). Every lane takes exactly the operations of
// the scalar kernel, in the same order, so the bits are the scalar bits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernels/kernel_types.hpp"
#include "kernels/loops/outward_loops.hpp"
#include "kernels/loops/vector_rules.hpp"
#include "rules/endpoint_constants.hpp"

namespace quorvex::kernels::endpoint_loops {
namespace {

template <class V>
using Reg = typename V::Reg;
// A comparison's result: a register of all-ones lanes, or a bit mask.
template <class V>
using Mask = typename V::Mask;

// Plain constants rather than std::numeric_limits calls: an unoptimised build
// would emit those as shared inline functions compiled for this file's
// instruction set, and the linker could hand that copy to baseline code.
constexpr double kQuietNaN = __builtin_nan("");
constexpr double kInfinity = __builtin_inf();

template <class V>
struct Pair {
  Reg<V> lo;
  Reg<V> hi;
};

// (x, y) where y >= x, otherwise (y, x); a lane holding a NaN comes out swapped.
template <class V>
Pair<V> ordered(Reg<V> x, Reg<V> y) {
  const Mask<V> keep = V::ge(y, x);
  return {V::select(keep, x, y), V::select(keep, y, x)};
}

using vector_rules::nan_max;
using vector_rules::nan_min;

// The ball of an image pair: midpoint (a + b) * 0.5, radius (b - a) * 0.5.
template <class V>
void store_ball(double* out_mid, double* out_rad, Pair<V> image) {
  const Reg<V> half = V::set1(0.5);
  V::store(out_mid, V::mul(V::add(image.lo, image.hi), half));
  V::store(out_rad, V::mul(V::sub(image.hi, image.lo), half));
}

template <class V>
Reg<V> nan_lanes() {
  return V::set1(kQuietNaN);
}

// The quick proof that no candidate point k * kPi + offset lies in [lo, hi]
// (Open: in (lo, hi)); all-ones lanes where it holds. A lane that fails may
// still hold no candidate: the scalar kernel decides.
template <class V, bool Open>
Mask<V> no_candidate_between(Reg<V> lo, Reg<V> hi, double offset) {
  using endpoint_detail::kInvPi;
  using endpoint_detail::kQuickTestLimit;
  using endpoint_detail::kRoundingShift;
  const Reg<V> off = V::set1(offset);
  const Reg<V> pi = V::set1(kPi);
  const Reg<V> a = V::mul(V::sub(lo, off), V::set1(kInvPi));
  const Mask<V> in_range = V::lt(V::abs(a), V::set1(kQuickTestLimit));
  const Reg<V> shift = V::set1(kRoundingShift);
  const Reg<V> nearest = V::sub(V::add(a, shift), shift);
  const Reg<V> k = V::sub(nearest, V::zero_unless(V::gt(nearest, a), V::set1(1.0)));
  const Reg<V> below = V::add(V::mul(k, pi), off);
  const Reg<V> above = V::add(V::mul(V::add(k, V::set1(1.0)), pi), off);
  const Mask<V> outside = Open ? V::bit_and(V::le(below, lo), V::le(hi, above))
                               : V::bit_and(V::lt(below, lo), V::lt(hi, above));
  return V::bit_and(in_range, outside);
}

// Bits of the lanes that need the scalar kernel's scan: neither settled by the
// width test nor by the quick test, and both endpoints numbers (with a NaN
// endpoint no candidate can count).
template <class V>
std::uint64_t scan_lanes(Mask<V> settled_by_width, Mask<V> no_candidate, Reg<V> lo, Reg<V> hi) {
  const Mask<V> settled =
      V::bit_or(V::bit_or(settled_by_width, no_candidate), V::bit_or(V::is_nan(lo), V::is_nan(hi)));
  return ~std::uint64_t{V::lanes(settled)} & ((std::uint64_t{1} << V::kWidth) - 1);
}

// How a finishing step stores its image pairs: as the first-order balls, or
// as the rigorous model's (each end moved outward by Ulps ulps' bounds, the
// ball rounded outward).
template <class V>
struct FirstOrderBalls {
  static void store(double* out_mid, double* out_rad, Pair<V> image) {
    store_ball<V>(out_mid, out_rad, image);
  }
};
template <class V, int Ulps>
struct OutwardBalls {
  static void store(double* out_mid, double* out_rad, Pair<V> image) {
    outward_loops::store_widened<V>(out_mid, out_rad, image.lo, image.hi,
                                    V::set1(static_cast<double>(Ulps + 1)));
  }
};

// Runs step(i) for every whole register of a block and collects the scan bits.
template <class V, class Store = FirstOrderBalls<V>, class Step>
FinishDone each_register(const FinishBlock& b, Step step) {
  constexpr std::size_t w = V::kWidth;
  FinishDone done{0, 0};
  for (; done.count + w <= b.n; done.count += w) {
    const std::size_t i = done.count;
    const Pair<V> image = step(V::load(b.lo + i), V::load(b.hi + i), V::load(b.f_lo + i),
                               V::load(b.f_hi + i), done.scan, i);
    Store::store(b.out_mid + i, b.out_rad + i, image);
  }
  return done;
}

template <class V, class Store = FirstOrderBalls<V>>
FinishDone exp_finish(const FinishBlock& b) {
  return each_register<V, Store>(
      b, [](Reg<V> lo, Reg<V> hi, Reg<V> e_lo, Reg<V> e_hi, std::uint64_t&, std::size_t) {
        const Mask<V> overflows = V::gt(hi, V::set1(kExpHighEdge));
        const Mask<V> underflows = V::and_not(overflows, V::lt(lo, V::set1(kExpLowEdge)));
        const Reg<V> x = V::zero_where(underflows, e_lo);  // 0.0 where the lower bound underflows
        const Reg<V> y = V::select(overflows, V::set1(kInfinity), e_hi);
        return ordered<V>(x, y);
      });
}

template <class V, double Floor, class Store = FirstOrderBalls<V>>
FinishDone log_finish(const FinishBlock& b) {
  return each_register<V, Store>(
      b, [](Reg<V> lo, Reg<V> hi, Reg<V> log_lo, Reg<V> log_hi, std::uint64_t&, std::size_t) {
        const Reg<V> x = V::select(V::gt(lo, V::set1(0.0)), log_lo, V::set1(Floor));
        const Pair<V> image = ordered<V>(x, log_hi);
        const Mask<V> outside = V::le(hi, V::set1(0.0));
        return Pair<V>{V::select(outside, nan_lanes<V>(), image.lo),
                       V::select(outside, nan_lanes<V>(), image.hi)};
      });
}

template <class V, double Offset>
FinishDone periodic_finish(const FinishBlock& b) {
  return each_register<V>(
      b, [](Reg<V> lo, Reg<V> hi, Reg<V> f_lo, Reg<V> f_hi, std::uint64_t& scan, std::size_t i) {
        const Mask<V> full = V::ge(V::sub(hi, lo), V::set1(kTwoPi));
        scan |= scan_lanes<V>(full, no_candidate_between<V, false>(lo, hi, Offset), lo, hi) << i;
        const Pair<V> image = ordered<V>(nan_min<V>(f_lo, f_hi), nan_max<V>(f_lo, f_hi));
        return Pair<V>{V::select(full, V::set1(-1.0), image.lo),
                       V::select(full, V::set1(1.0), image.hi)};
      });
}

template <class V>
FinishDone tan_finish(const FinishBlock& b) {
  return each_register<V>(
      b, [](Reg<V> lo, Reg<V> hi, Reg<V> t_lo, Reg<V> t_hi, std::uint64_t& scan, std::size_t i) {
        const Mask<V> pole = V::gt(V::sub(hi, lo), V::set1(kPi));  // wider than pi: a pole inside
        scan |= scan_lanes<V>(pole, no_candidate_between<V, true>(lo, hi, kHalfPi), lo, hi) << i;
        const Pair<V> image = ordered<V>(nan_min<V>(t_lo, t_hi), nan_max<V>(t_lo, t_hi));
        return Pair<V>{V::select(pole, V::set1(-kInfinity), image.lo),
                       V::select(pole, V::set1(kInfinity), image.hi)};
      });
}

// Runs ball(lo, hi) -> image over whole registers of a run of balls.
template <class V, class Image>
std::size_t each_ball(const double* mid, const double* rad, double* out_mid, double* out_rad,
                      std::size_t n, Image image) {
  constexpr std::size_t w = V::kWidth;
  std::size_t i = 0;
  for (; i + w <= n; i += w) {
    const Reg<V> m = V::load(mid + i);
    const Reg<V> r = V::load(rad + i);
    store_ball<V>(out_mid + i, out_rad + i, image(V::sub(m, r), V::add(m, r)));
  }
  return i;
}

template <class V>
std::size_t sqrt_balls(const double* mid, const double* rad, double* out_mid, double* out_rad,
                       std::size_t n) {
  return each_ball<V>(mid, rad, out_mid, out_rad, n, [](Reg<V> lo, Reg<V> hi) {
    const Reg<V> zero = V::set1(0.0);
    const Reg<V> x = V::sqrt(V::zero_unless(V::gt(lo, zero), lo));  // NaN or lo <= 0: sqrt(0.0)
    const Pair<V> image = ordered<V>(x, V::sqrt(hi));
    const Mask<V> negative = V::lt(hi, zero);
    return Pair<V>{V::select(negative, nan_lanes<V>(), image.lo),
                   V::select(negative, nan_lanes<V>(), image.hi)};
  });
}

template <class V>
std::size_t abs_balls(const double* mid, const double* rad, double* out_mid, double* out_rad,
                      std::size_t n) {
  return each_ball<V>(mid, rad, out_mid, out_rad, n, [](Reg<V> lo, Reg<V> hi) {
    const Reg<V> zero = V::set1(0.0);
    const Pair<V> mirrored = ordered<V>(V::flip(hi), V::flip(lo));
    const Pair<V> straddling = ordered<V>(zero, nan_max<V>(V::abs(lo), V::abs(hi)));
    const Mask<V> nonnegative = V::ge(lo, zero);
    const Mask<V> nonpositive = V::le(hi, zero);
    return Pair<V>{V::select(nonnegative, lo, V::select(nonpositive, mirrored.lo, straddling.lo)),
                   V::select(nonnegative, hi, V::select(nonpositive, mirrored.hi, straddling.hi))};
  });
}

// The functions of a few operations (ops/function_kernels.hpp), lane by lane
// the operations of their scalar rules. Their balls come from image_ball: the
// midpoint and radius from halved endpoints where the plain formula overflows.
template <class V>
Pair<V> image_ball(Pair<V> ends) {
  const Reg<V> half = V::set1(0.5);
  const Reg<V> inf = V::set1(kInfinity);
  const Reg<V> mid = V::mul(V::add(ends.lo, ends.hi), half);
  const Reg<V> rad = V::mul(V::sub(ends.hi, ends.lo), half);
  const Reg<V> lo_half = V::mul(ends.lo, half);
  const Reg<V> hi_half = V::mul(ends.hi, half);
  return {V::select(V::ge(V::abs(mid), inf), V::add(lo_half, hi_half), mid),
          V::select(V::ge(rad, inf), V::sub(hi_half, lo_half), rad)};
}

template <class V, class Image>
std::size_t each_image(const double* mid, const double* rad, double* out_mid, double* out_rad,
                       std::size_t n, Image image) {
  constexpr std::size_t w = V::kWidth;
  std::size_t i = 0;
  for (; i + w <= n; i += w) {
    const Reg<V> m = V::load(mid + i);
    const Reg<V> r = V::load(rad + i);
    const Pair<V> ball = image_ball<V>(image(V::sub(m, r), V::add(m, r)));
    V::store(out_mid + i, ball.lo);
    V::store(out_rad + i, ball.hi);
  }
  return i;
}

// Runs rule(am, ar, bm, br) -> (mid, rad) over whole registers of two runs.
template <class V, class Rule>
std::size_t each_ball_pair(const double* am, const double* ar, const double* bm, const double* br,
                           double* out_mid, double* out_rad, std::size_t n, Rule rule) {
  constexpr std::size_t w = V::kWidth;
  std::size_t i = 0;
  for (; i + w <= n; i += w) {
    const Pair<V> ball = rule(V::load(am + i), V::load(ar + i), V::load(bm + i), V::load(br + i));
    V::store(out_mid + i, ball.lo);
    V::store(out_rad + i, ball.hi);
  }
  return i;
}

// The finishing steps of the functions with library calls, over whole
// registers of a block: their balls as image_ball forms them, or (Store) as
// the rigorous model's.
template <class V>
struct ImageBalls {
  static void store(double* out_mid, double* out_rad, Pair<V> image) {
    const Pair<V> ball = image_ball<V>(image);
    V::store(out_mid, ball.lo);
    V::store(out_rad, ball.hi);
  }
};
template <class V, class Store, class Step>
FinishDone each_image_register(const FinishBlock& b, Step step) {
  return each_register<V, Store>(
      b, [step](Reg<V> lo, Reg<V> hi, Reg<V> f_lo, Reg<V> f_hi, std::uint64_t&, std::size_t) {
        return step(lo, hi, f_lo, f_hi);
      });
}

// Monotone on [Low, High]: NaN for a ball wholly outside.
template <class V, bool Rising, double Low, double High, class Store = ImageBalls<V>>
FinishDone monotone_finish(const FinishBlock& b) {
  return each_image_register<V, Store>(b, [](Reg<V> lo, Reg<V> hi, Reg<V> f_lo, Reg<V> f_hi) {
    const Pair<V> image = Rising ? ordered<V>(f_lo, f_hi) : ordered<V>(f_hi, f_lo);
    const Mask<V> outside = V::bit_or(V::lt(hi, V::set1(Low)), V::gt(lo, V::set1(High)));
    return Pair<V>{V::select(outside, nan_lanes<V>(), image.lo),
                   V::select(outside, nan_lanes<V>(), image.hi)};
  });
}

// ln(1 + x): Floor where the ball reaches -1 (ln's finite floor, or -inf).
template <class V, double Floor = kLnFloor, class Store = ImageBalls<V>>
FinishDone log1p_finish(const FinishBlock& b) {
  return each_image_register<V, Store>(b, [](Reg<V> lo, Reg<V> hi, Reg<V> f_lo, Reg<V> f_hi) {
    const Reg<V> edge = V::set1(-1.0);
    const Pair<V> image = ordered<V>(V::select(V::gt(lo, edge), f_lo, V::set1(Floor)), f_hi);
    const Mask<V> outside = V::le(hi, edge);
    return Pair<V>{V::select(outside, nan_lanes<V>(), image.lo),
                   V::select(outside, nan_lanes<V>(), image.hi)};
  });
}

template <class V, class Store = ImageBalls<V>>
FinishDone cosh_finish(const FinishBlock& b) {
  return each_image_register<V, Store>(b, [](Reg<V> lo, Reg<V> hi, Reg<V> f_lo, Reg<V> f_hi) {
    const Reg<V> zero = V::set1(0.0);
    const Mask<V> nonnegative = V::ge(lo, zero);
    const Mask<V> nonpositive = V::ge(zero, hi);
    return ordered<V>(
        V::select(nonnegative, f_lo, V::select(nonpositive, f_hi, V::set1(1.0))),
        V::select(nonnegative, f_hi, V::select(nonpositive, f_lo, nan_max<V>(f_lo, f_hi))));
  });
}

// The image pairs of a few operations, as the scalar rules of
// ops/function_kernels.hpp form them.
template <class V>
Pair<V> square_image(Reg<V> lo, Reg<V> hi) {
  const Reg<V> zero = V::set1(0.0);
  const Reg<V> a = V::mul(lo, lo);
  const Reg<V> b = V::mul(hi, hi);
  const Mask<V> nonnegative = V::ge(lo, zero);
  const Mask<V> nonpositive = V::ge(zero, hi);
  const Reg<V> larger = nan_max<V>(a, b);
  return ordered<V>(V::select(nonnegative, a, V::select(nonpositive, b, zero)),
                    V::select(nonnegative, b, V::select(nonpositive, a, larger)));
}

template <class V>
Pair<V> reciprocal_image(Reg<V> lo, Reg<V> hi) {
  const Mask<V> zero = V::and_not(V::gt(lo, V::set1(0.0)), V::ge(hi, V::set1(0.0)));
  const Reg<V> one = V::set1(1.0);
  const Pair<V> image = ordered<V>(V::div(one, hi), V::div(one, lo));
  return Pair<V>{V::select(zero, V::set1(-kInfinity), image.lo),
                 V::select(zero, V::set1(kInfinity), image.hi)};
}

template <class V, double Factor>
Pair<V> scaled_image(Reg<V> lo, Reg<V> hi) {
  return Pair<V>{V::mul(lo, V::set1(Factor)), V::mul(hi, V::set1(Factor))};
}

template <class V, Pair<V> (*Image)(Reg<V>, Reg<V>)>
std::size_t image_balls(const double* mid, const double* rad, double* out_mid, double* out_rad,
                        std::size_t n) {
  return each_image<V>(mid, rad, out_mid, out_rad, n,
                       [](Reg<V> lo, Reg<V> hi) { return Image(lo, hi); });
}

// The rigorous model's form: the image of the outward endpoints, each end
// moved outward by Ulps ulps' bounds, the ball rounded outward
// (rigorous_detail::map_pairs lane by lane).
template <class V, Pair<V> (*Image)(Reg<V>, Reg<V>), int Ulps>
std::size_t outward_image_balls(const double* mid, const double* rad, double* out_mid,
                                double* out_rad, std::size_t n) {
  constexpr std::size_t w = V::kWidth;
  const Reg<V> one = V::set1(1.0);
  const Reg<V> factor = V::set1(static_cast<double>(Ulps + 1));
  std::size_t i = 0;
  for (; i + w <= n; i += w) {
    const Reg<V> m = V::load(mid + i);
    const Reg<V> r = V::load(rad + i);
    const Pair<V> image = Image(outward_loops::below<V>(V::sub(m, r), one),
                                outward_loops::above<V>(V::add(m, r), one));
    outward_loops::store_widened<V>(out_mid + i, out_rad + i, image.lo, image.hi, factor);
  }
  return i;
}

template <class V>
Reg<V> sign_of(Reg<V> x) {
  const Reg<V> zero = V::set1(0.0);
  return V::select(V::gt(x, zero), V::set1(1.0),
                   V::select(V::gt(zero, x), V::set1(-1.0), V::select(V::is_nan(x), x, zero)));
}

// |magnitude| with the sign of `sign`, as copysign.
template <class V>
Reg<V> copy_sign(Reg<V> magnitude, Reg<V> sign) {
  const Reg<V> bit = V::set1(-0.0);
  return V::bit_or(V::and_not(bit, magnitude), V::bit_and(bit, sign));
}

constexpr double kTwo52 = 4503599627370496.0;

template <class V>
Reg<V> nearest_integer(Reg<V> x) {
  const Reg<V> a = V::abs(x);
  const Reg<V> shift = V::set1(kTwo52);
  return V::select(V::gt(shift, a), copy_sign<V>(V::sub(V::add(a, shift), shift), x), x);
}
template <class V>
Reg<V> floor_of(Reg<V> x) {
  const Reg<V> r = nearest_integer<V>(x);
  return copy_sign<V>(V::select(V::gt(r, x), V::sub(r, V::set1(1.0)), r), x);
}
template <class V>
Reg<V> ceil_of(Reg<V> x) {
  const Reg<V> r = nearest_integer<V>(x);
  return copy_sign<V>(V::select(V::gt(x, r), V::add(r, V::set1(1.0)), r), x);
}
template <class V>
Reg<V> trunc_of(Reg<V> x) {
  return copy_sign<V>(floor_of<V>(V::abs(x)), x);
}

template <class V, Reg<V> (*F)(Reg<V>)>
Pair<V> step_image(Reg<V> lo, Reg<V> hi) {
  return Pair<V>{F(lo), F(hi)};
}

// numpy's maximum, minimum, fmax and fmin of two numbers.
template <class V>
Reg<V> max_of(Reg<V> a, Reg<V> b) {
  return V::select(V::bit_or(V::ge(a, b), V::is_nan(a)), a, b);
}
template <class V>
Reg<V> min_of(Reg<V> a, Reg<V> b) {
  return V::select(V::bit_or(V::ge(b, a), V::is_nan(a)), a, b);
}
template <class V>
Reg<V> fmax_of(Reg<V> a, Reg<V> b) {
  return V::select(V::bit_or(V::ge(a, b), V::is_nan(b)), a, b);
}
template <class V>
Reg<V> fmin_of(Reg<V> a, Reg<V> b) {
  return V::select(V::bit_or(V::ge(b, a), V::is_nan(b)), a, b);
}

// Endpoint by endpoint; with IgnoreNaN a NaN ball (midpoint or radius) gives
// the other ball as it is.
template <class V, Reg<V> (*F)(Reg<V>, Reg<V>), bool IgnoreNaN>
std::size_t extremum_balls(const double* am, const double* ar, const double* bm, const double* br,
                           double* out_mid, double* out_rad, std::size_t n) {
  return each_ball_pair<V>(
      am, ar, bm, br, out_mid, out_rad, n, [](Reg<V> ma, Reg<V> ra, Reg<V> mb, Reg<V> rb) {
        const Pair<V> ball =
            image_ball<V>({F(V::sub(ma, ra), V::sub(mb, rb)), F(V::add(ma, ra), V::add(mb, rb))});
        if constexpr (!IgnoreNaN) return ball;
        const Mask<V> a_nan = V::bit_or(V::is_nan(ma), V::is_nan(ra));
        const Mask<V> b_nan = V::bit_or(V::is_nan(mb), V::is_nan(rb));
        return Pair<V>{V::select(a_nan, mb, V::select(b_nan, ma, ball.lo)),
                       V::select(a_nan, rb, V::select(b_nan, ra, ball.hi))};
      });
}

// The rigorous forms: the selections on outward endpoints are exact, so the
// pair only becomes a ball rounded outward (rigorous_detail::selection_ball
// and ignoring_nan_ball lane by lane; fmax and fmin take a NaN end of a
// number ball as unbounded that way).
template <class V, Reg<V> (*F)(Reg<V>, Reg<V>), bool IgnoreNaN>
std::size_t rigorous_extremum_balls(const double* am, const double* ar, const double* bm,
                                    const double* br, double* out_mid, double* out_rad,
                                    std::size_t n) {
  return each_ball_pair<V>(am, ar, bm, br, out_mid, out_rad, n,
                           [](Reg<V> ma, Reg<V> ra, Reg<V> mb, Reg<V> rb) {
                             const Reg<V> one = V::set1(1.0);
                             Reg<V> alo = outward_loops::below<V>(V::sub(ma, ra), one);
                             Reg<V> blo = outward_loops::below<V>(V::sub(mb, rb), one);
                             Reg<V> ahi = outward_loops::above<V>(V::add(ma, ra), one);
                             Reg<V> bhi = outward_loops::above<V>(V::add(mb, rb), one);
                             if constexpr (IgnoreNaN) {
                               const Reg<V> inf = V::set1(kInfinity);
                               alo = V::select(V::is_nan(alo), V::flip(inf), alo);
                               blo = V::select(V::is_nan(blo), V::flip(inf), blo);
                               ahi = V::select(V::is_nan(ahi), inf, ahi);
                               bhi = V::select(V::is_nan(bhi), inf, bhi);
                             }
                             const outward_loops::OutwardBall<V> ball =
                                 outward_loops::ball_outward<V>(F(alo, blo), F(ahi, bhi));
                             if constexpr (!IgnoreNaN) return Pair<V>{ball.mid, ball.rad};
                             const Mask<V> a_nan = V::bit_or(V::is_nan(ma), V::is_nan(ra));
                             const Mask<V> b_nan = V::bit_or(V::is_nan(mb), V::is_nan(rb));
                             return Pair<V>{V::select(a_nan, mb, V::select(b_nan, ma, ball.mid)),
                                            V::select(a_nan, rb, V::select(b_nan, ra, ball.rad))};
                           });
}

// The rigorous model's quick proof that no exact point k pi + offset lies in
// [lo, hi] (rigorous_detail::clearly_no_candidate, lane by lane): the
// candidates around lo, moved by a bound on their distance from the exact
// points, stay outside. All-ones lanes where it holds.
template <class V>
Mask<V> clearly_no_candidate(Reg<V> lo, Reg<V> hi, double offset) {
  const Reg<V> off = V::set1(offset);
  const Reg<V> pi = V::set1(kPi);
  const Reg<V> tiny = V::set1(0x1p-50);
  const Reg<V> k = floor_of<V>(V::mul(V::sub(lo, off), V::set1(endpoint_detail::kInvPi)));
  const Mask<V> in_range = V::lt(V::abs(k), V::set1(0x1p50));
  const Reg<V> below = V::add(V::mul(k, pi), off);
  const Reg<V> above = V::add(V::mul(V::add(k, V::set1(1.0)), pi), off);
  const Reg<V> slack =
      V::add(V::add(V::mul(V::add(V::abs(k), V::set1(1.0)), tiny), V::mul(V::abs(above), tiny)),
             V::set1(0x1p-1022));
  return V::bit_and(in_range,
                    V::bit_and(V::lt(V::add(below, slack), lo), V::lt(hi, V::sub(above, slack))));
}

// rigorous_detail::periodic_finish (sin, cos) and tan_finish where a lane is
// at least Span wide, so the image is [-Bound, Bound], or clearly holds no
// special point k pi + Offset (an extremum, a pole); every other lane (a NaN
// or infinite end, a special point that may lie inside) goes to the scalar
// step.
template <class V, double Span, double Offset, double Bound>
FinishDone rigorous_periodic_finish(const FinishBlock& b) {
  return each_register<V, OutwardBalls<V, rules::kLibraryUlps>>(
      b, [](Reg<V> lo, Reg<V> hi, Reg<V> f_lo, Reg<V> f_hi, std::uint64_t& scan, std::size_t i) {
        const Mask<V> full = V::ge(V::sub(hi, lo), V::set1(Span));
        const Mask<V> settled = V::bit_or(full, clearly_no_candidate<V>(lo, hi, Offset));
        scan |= (~std::uint64_t{V::lanes(settled)} & ((std::uint64_t{1} << V::kWidth) - 1)) << i;
        const Pair<V> image = ordered<V>(nan_min<V>(f_lo, f_hi), nan_max<V>(f_lo, f_hi));
        return Pair<V>{V::select(full, V::set1(-Bound), image.lo),
                       V::select(full, V::set1(Bound), image.hi)};
      });
}

// The rigorous finishing steps of the binary functions with library calls,
// over whole registers of a block: a NaN end of either operand gives a NaN
// ball, any other lane the image step(alo, ahi, blo, bhi, f1, f2), each end
// moved outward by the library's error bound and the ball rounded outward.
template <class V, class Step>
std::size_t each_pair_register(const PairFinishBlock& b, Step step) {
  constexpr std::size_t w = V::kWidth;
  std::size_t i = 0;
  for (; i + w <= b.n; i += w) {
    const Reg<V> alo = V::load(b.alo + i), ahi = V::load(b.ahi + i);
    const Reg<V> blo = V::load(b.blo + i), bhi = V::load(b.bhi + i);
    const Mask<V> nan = V::bit_or(V::bit_or(V::is_nan(alo), V::is_nan(ahi)),
                                  V::bit_or(V::is_nan(blo), V::is_nan(bhi)));
    const Pair<V> image = step(alo, ahi, blo, bhi, V::load(b.f1 + i), V::load(b.f2 + i));
    OutwardBalls<V, rules::kLibraryUlps>::store(
        b.out_mid + i, b.out_rad + i,
        {V::select(nan, nan_lanes<V>(), image.lo), V::select(nan, nan_lanes<V>(), image.hi)});
  }
  return i;
}

// functions::Hypot::finish: the values at the least and greatest magnitudes.
template <class V>
std::size_t rigorous_hypot_finish(const PairFinishBlock& b) {
  return each_pair_register<V>(
      b, [](Reg<V>, Reg<V>, Reg<V>, Reg<V>, Reg<V> f1, Reg<V> f2) { return ordered<V>(f1, f2); });
}

// functions::Arctan2::finish: every angle for a box that holds the origin or
// meets the cut (a zero y counted as +0), else the values at the two corners.
template <class V>
std::size_t rigorous_arctan2_finish(const PairFinishBlock& b) {
  return each_pair_register<V>(b, [](Reg<V> alo, Reg<V> ahi, Reg<V> blo, Reg<V> bhi, Reg<V> f1,
                                     Reg<V> f2) {
    const Reg<V> zero = V::set1(0.0);
    const Reg<V> ylo = V::add(alo, zero);
    const Reg<V> yhi = V::add(ahi, zero);
    const Mask<V> straddles = V::bit_and(V::le(ylo, zero), V::ge(yhi, zero));
    const Mask<V> origin = V::bit_and(straddles, V::bit_and(V::le(blo, zero), V::ge(bhi, zero)));
    const Mask<V> cut =
        V::bit_and(V::lt(blo, zero), V::bit_and(V::lt(ylo, zero), V::ge(yhi, zero)));
    const Mask<V> every = V::bit_or(origin, cut);
    const Pair<V> image = ordered<V>(f1, f2);
    return Pair<V>{V::select(every, V::set1(-kPi), image.lo),
                   V::select(every, V::set1(kPi), image.hi)};
  });
}

// Every target's table; the rigorous square root and square are the target's
// own, with directed results (by the instructions, or in a round-upward scope).
template <class V>
constexpr EndpointBlockKernels table(BallsFn rigorous_sqrt, BallsFn rigorous_square) {
  return {sqrt_balls<V>,
          abs_balls<V>,
          exp_finish<V>,
          log_finish<V, kLnFloor>,
          log_finish<V, kLog2Floor>,
          log_finish<V, kLog10Floor>,
          periodic_finish<V, kHalfPi>,
          periodic_finish<V, 0.0>,
          tan_finish<V>,
          monotone_finish<V, true, -kInfinity, kInfinity>,
          monotone_finish<V, true, -1.0, 1.0>,
          monotone_finish<V, false, -1.0, 1.0>,
          monotone_finish<V, true, 1.0, kInfinity>,
          log1p_finish<V>,
          cosh_finish<V>,
          image_balls<V, square_image<V>>,
          image_balls<V, reciprocal_image<V>>,
          image_balls<V, scaled_image<V, kDegToRad>>,
          image_balls<V, scaled_image<V, kRadToDeg>>,
          image_balls<V, step_image<V, sign_of<V>>>,
          image_balls<V, step_image<V, floor_of<V>>>,
          image_balls<V, step_image<V, ceil_of<V>>>,
          image_balls<V, step_image<V, trunc_of<V>>>,
          image_balls<V, step_image<V, nearest_integer<V>>>,
          extremum_balls<V, max_of<V>, false>,
          extremum_balls<V, min_of<V>, false>,
          extremum_balls<V, fmax_of<V>, true>,
          extremum_balls<V, fmin_of<V>, true>,
          outward_loops::outward_endpoints<V>,
          exp_finish<V, OutwardBalls<V, rules::kLibraryUlps>>,
          log_finish<V, -kInfinity, OutwardBalls<V, rules::kLibraryUlps>>,
          rigorous_periodic_finish<V, kTwoPi, kHalfPi, 1.0>,
          rigorous_periodic_finish<V, kTwoPi, 0.0, 1.0>,
          rigorous_periodic_finish<V, kPi, kHalfPi, kInfinity>,
          monotone_finish<V, true, -kInfinity, kInfinity, OutwardBalls<V, rules::kLibraryUlps>>,
          monotone_finish<V, true, -kInfinity, kInfinity, OutwardBalls<V, rules::kCbrtUlps>>,
          monotone_finish<V, true, -1.0, 1.0, OutwardBalls<V, rules::kLibraryUlps>>,
          monotone_finish<V, false, -1.0, 1.0, OutwardBalls<V, rules::kLibraryUlps>>,
          monotone_finish<V, true, 1.0, kInfinity, OutwardBalls<V, rules::kLibraryUlps>>,
          log1p_finish<V, -kInfinity, OutwardBalls<V, rules::kLibraryUlps>>,
          cosh_finish<V, OutwardBalls<V, rules::kLibraryUlps>>,
          outward_loops::widened_balls<V>,
          rigorous_sqrt,
          rigorous_square,
          outward_image_balls<V, reciprocal_image<V>, rules::kCorrectlyRoundedUlps>,
          outward_image_balls<V, scaled_image<V, kDegToRad>, rules::kScaledUlps>,
          outward_image_balls<V, scaled_image<V, kRadToDeg>, rules::kScaledUlps>,
          outward_image_balls<V, step_image<V, sign_of<V>>, 0>,
          outward_image_balls<V, step_image<V, floor_of<V>>, 0>,
          outward_image_balls<V, step_image<V, ceil_of<V>>, 0>,
          outward_image_balls<V, step_image<V, trunc_of<V>>, 0>,
          outward_image_balls<V, step_image<V, nearest_integer<V>>, 0>,
          rigorous_hypot_finish<V>,
          rigorous_arctan2_finish<V>,
          outward_loops::abs_balls<V>,
          rigorous_extremum_balls<V, max_of<V>, false>,
          rigorous_extremum_balls<V, min_of<V>, false>,
          rigorous_extremum_balls<V, fmax_of<V>, true>,
          rigorous_extremum_balls<V, fmin_of<V>, true>};
}

}  // namespace
}  // namespace quorvex::kernels::endpoint_loops
