// The elementary functions of the rigorous model. Each ball becomes its
// endpoints rounded outward; the function's image of that pair is taken as in
// the first-order model, from the C math library's values at the endpoints
// and at interior extrema; then each end of the image moves outward by the
// bound on the library's error (kLibraryUlps steps, tested against correctly
// rounded values), and the pair becomes a ball rounded outward. Where the
// first-order kernels stand in a finite value for an infinite bound (the
// logarithms' floors), or find interior extrema and poles from rounded
// candidate points, the rigorous forms below use the infinite bound and a
// conservative candidate test instead.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "ops/endpoint_kernels.hpp"
#include "rules/outward.hpp"
#include "simd/dispatch.hpp"

namespace quorvex {

using rules::kLibraryUlps;

namespace rigorous_detail {

using endpoint_detail::nan_max;
using endpoint_detail::nan_min;
using endpoint_detail::ordered_pair;

inline EndpointPair log_finish(double lo, double hi, double log_lo, double log_hi) {
  if (hi <= 0.0) return {rules::kNaN, rules::kNaN};
  return ordered_pair(lo > 0.0 ? log_lo : -rules::kInf, log_hi);
}

// Calls visit(k) for every k whose exact point k pi + offset may lie in
// [lo, hi] (in (lo, hi) when Open). The first-order kernels compute the
// candidates in doubles, which can be off from the exact points by about |k|
// times the error of the double pi; this test widens the interval by a bound
// on that, so it finds every exact point inside (and perhaps a neighbour).
// Returns false when the candidates cannot be told apart (huge arguments, or
// an interval of several periods): then every point may be inside.
template <bool Open, class Visit>
inline bool visit_candidates(double lo, double hi, double offset, Visit&& visit) {
  const double k_lo = std::floor((lo - offset) / kPi) - 1.0;
  const double k_hi = std::ceil((hi - offset) / kPi) + 1.0;
  if (!(k_hi - k_lo < 8.0) || !(std::fabs(k_lo) < 0x1p50) || !(std::fabs(k_hi) < 0x1p50)) {
    return false;
  }
  for (double k = k_lo; k <= k_hi; k += 1.0) {
    const double p = k * kPi + offset;
    const double slack = std::fabs(k) * 0x1p-50 + std::fabs(p) * 0x1p-50 + 0x1p-1022;
    if (Open ? (lo - slack < p && p < hi + slack) : (lo - slack <= p && p <= hi + slack)) {
      visit(k);
    }
  }
  return true;
}

// sin and cos: the library's values at the endpoints, and the exact extreme
// values wherever an extremum may lie inside: sin(k pi + pi/2) and cos(k pi)
// are (-1)^k.
// A quick proof that no exact point k pi + offset lies in [lo, hi]: the
// candidates around lo, moved by their slack, stay outside. False means
// "maybe".
inline bool clearly_no_candidate(double lo, double hi, double offset) {
  const double k = std::floor((lo - offset) * endpoint_detail::kInvPi);
  if (!(std::fabs(k) < 0x1p50)) return false;
  const double below = k * kPi + offset, above = (k + 1.0) * kPi + offset;
  const double slack = (std::fabs(k) + 1.0) * 0x1p-50 + std::fabs(above) * 0x1p-50 + 0x1p-1022;
  return below + slack < lo && hi < above - slack;
}

template <bool Sine>
inline EndpointPair periodic_finish(double lo, double hi, double f_lo, double f_hi) {
  if (!(hi - lo < kTwoPi)) return {-1.0, 1.0};
  double low = nan_min(f_lo, f_hi);
  double high = nan_max(f_lo, f_hi);
  if (lo != lo || hi != hi || clearly_no_candidate(lo, hi, Sine ? kHalfPi : 0.0)) {
    return ordered_pair(low, high);
  }
  const bool told = visit_candidates<false>(lo, hi, Sine ? kHalfPi : 0.0, [&](double k) {
    if (std::fmod(std::fabs(k), 2.0) == 0.0) {
      high = 1.0;
    } else {
      low = -1.0;
    }
  });
  if (!told) return {-1.0, 1.0};
  return ordered_pair(low, high);
}

inline EndpointPair tan_finish(double lo, double hi, double t_lo, double t_hi) {
  constexpr double inf = rules::kInf;
  if (!(hi - lo < kPi)) return {-inf, inf};
  if (lo == lo && hi == hi && !clearly_no_candidate(lo, hi, kHalfPi)) {
    bool pole = false;
    const bool told = visit_candidates<true>(lo, hi, kHalfPi, [&](double) { pole = true; });
    if (pole || !told) return {-inf, inf};
  }
  return ordered_pair(nan_min(t_lo, t_hi), nan_max(t_lo, t_hi));
}

// The image pair moved outward by the library's error and made a ball.
template <int Ulps>
inline Ball widened(EndpointPair image) {
  return rules::ball_outward(rules::steps_down(image.lo, Ulps), rules::steps_up(image.hi, Ulps));
}

// Balls through a per-pair kernel.
template <EndpointKernel Kernel, int Ulps>
void map_pairs(const double* mid, const double* rad, double* om, double* orad, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const rules::Endpoints e = rules::outward_endpoints(mid[i], rad[i]);
    const Ball b = widened<Ulps>(Kernel(e.lo, e.hi));
    om[i] = b.mid;
    orad[i] = b.rad;
  }
}

// map_pairs with the vector variant's form of it (Vector) for the whole
// registers, the scalar rule for the tail.
template <EndpointKernel Kernel, int Ulps, simd::BallsFn simd::EndpointBlockKernels::* Vector>
void map_images(const double* mid, const double* rad, double* om, double* orad, std::size_t n) {
  const std::size_t done = (simd::endpoint_blocks().*Vector)(mid, rad, om, orad, n);
  map_pairs<Kernel, Ulps>(mid + done, rad + done, om + done, orad + done, n - done);
}

// The rigorous steps around the library calls over a run: the vector
// variant's whole registers, then the scalar rule for the tail.
inline void outward_run(const simd::EndpointBlockKernels& vector, const double* mid,
                        const double* rad, double* lo, double* hi, std::size_t n) {
  for (std::size_t i = vector.outward_endpoints(mid, rad, lo, hi, n); i < n; ++i) {
    const rules::Endpoints e = rules::outward_endpoints(mid[i], rad[i]);
    lo[i] = e.lo;
    hi[i] = e.hi;
  }
}
template <int Ulps>
void widened_run(const simd::EndpointBlockKernels& vector, const double* lo, const double* hi,
                 double* om, double* orad, std::size_t n) {
  for (std::size_t i = vector.widened_balls(lo, hi, Ulps, om, orad, n); i < n; ++i) {
    const Ball b = widened<Ulps>({lo[i], hi[i]});
    om[i] = b.mid;
    orad[i] = b.rad;
  }
}

// Balls through a form's library call (Form::call) and a finishing step, in
// blocks: the outward endpoints on vectors, the calls in a loop of their own
// (as the first-order driver runs them), then the finishing step and the
// widening into balls: on vectors where the variant has the rigorous
// finishing step Block (the lanes it leaves to a scan redone one by one),
// else the finish one element at a time and the widening on vectors.
template <class Form, EndpointPair (*Finish)(double, double, double, double), int Ulps,
          simd::FinishFn simd::EndpointBlockKernels::* Block = nullptr>
void map_calls(const double* mid, const double* rad, double* om, double* orad, std::size_t n) {
  constexpr std::size_t kBlock = simd::kFinishMax;
  const simd::EndpointBlockKernels& vector = simd::endpoint_blocks();
  double lo[kBlock], hi[kBlock], f_lo[kBlock], f_hi[kBlock];
  for (std::size_t base = 0; base < n; base += kBlock) {
    const std::size_t len = n - base < kBlock ? n - base : kBlock;
    outward_run(vector, mid + base, rad + base, lo, hi, len);
    for (std::size_t i = 0; i < len; ++i) {
      f_lo[i] = Form::call(lo[i]);
      f_hi[i] = Form::call(hi[i]);
    }
    std::size_t done = 0;
    if constexpr (Block != nullptr) {
      const simd::FinishDone finished =
          (vector.*Block)({lo, hi, f_lo, f_hi, om + base, orad + base, len});
      done = finished.count;
      for (std::uint64_t scan = finished.scan; scan != 0; scan &= scan - 1) {
        const auto i = static_cast<std::size_t>(std::countr_zero(scan));
        const Ball b = widened<Ulps>(Finish(lo[i], hi[i], f_lo[i], f_hi[i]));
        om[base + i] = b.mid;
        orad[base + i] = b.rad;
      }
    }
    for (std::size_t i = done; i < len; ++i) {
      const EndpointPair image = Finish(lo[i], hi[i], f_lo[i], f_hi[i]);
      f_lo[i] = image.lo;
      f_hi[i] = image.hi;
    }
    widened_run<Ulps>(vector, f_lo + done, f_hi + done, om + base + done, orad + base + done,
                      len - done);
  }
}

}  // namespace rigorous_detail

// The rigorous forms of the elementary functions, over runs of balls.
namespace rigorous {

using BallsFn = void (*)(const double*, const double*, double*, double*, std::size_t);

// Rule over the runs of balls: the vector variant's form Vector first (which
// may round by the instructions themselves and take the whole run), then the
// portable rule for what it leaves.
template <Ball (*Rule)(double, double), simd::BallsFn simd::EndpointBlockKernels::* Vector>
void map_balls(const double* mid, const double* rad, double* om, double* orad, std::size_t n) {
  for (std::size_t i = (simd::endpoint_blocks().*Vector)(mid, rad, om, orad, n); i < n; ++i) {
    const Ball ball = Rule(mid[i], rad[i]);
    om[i] = ball.mid;
    orad[i] = ball.rad;
  }
}

// |x| is exact: a ball that holds no point on both sides of 0 (|mid| >= rad
// decides that exactly) is its own image, mirrored to the positive side; any
// other ball gives [0, |mid| + rad], that end rounded upward. An infinite
// midpoint takes the second way, as an infinite end does in the other rules.
inline Ball abs_ball(double mid, double rad) {
  const double m = std::fabs(mid);
  if (m >= rad && m < rules::kInf) return {m, rad};
  return rules::ball_outward(0.0, rules::above(m + rad, 0));
}
inline constexpr BallsFn kAbsolute =
    map_balls<abs_ball, &simd::EndpointBlockKernels::rigorous_abs_balls>;
// The portable rule of the square root: outward endpoints, the correctly
// rounded roots (of 0 where the lower end is not positive) moved by one ulp's
// bound, a ball rounded outward.
inline Ball sqrt_ball(double mid, double rad) {
  const double lo = rules::below(mid - rad, 0);
  const double hi = rules::above(mid + rad, 0);
  const double a = rules::below(std::sqrt(lo > 0.0 ? lo : 0.0), rules::kCorrectlyRoundedUlps);
  const double b = rules::above(std::sqrt(hi), rules::kCorrectlyRoundedUlps);
  return rules::ball_outward(a, b);
}
inline constexpr BallsFn kSqrt =
    map_balls<sqrt_ball, &simd::EndpointBlockKernels::rigorous_sqrt_balls>;
inline constexpr BallsFn kExp =
    rigorous_detail::map_calls<endpoint_detail::ExpForm, endpoint_detail::exp_finish, kLibraryUlps,
                               &simd::EndpointBlockKernels::rigorous_exp_finish>;
inline constexpr BallsFn kLog =
    rigorous_detail::map_calls<endpoint_detail::LnForm, rigorous_detail::log_finish, kLibraryUlps,
                               &simd::EndpointBlockKernels::rigorous_log_finish>;
inline constexpr BallsFn kLog2 =
    rigorous_detail::map_calls<endpoint_detail::Log2Form, rigorous_detail::log_finish, kLibraryUlps,
                               &simd::EndpointBlockKernels::rigorous_log_finish>;
inline constexpr BallsFn kLog10 =
    rigorous_detail::map_calls<endpoint_detail::Log10Form, rigorous_detail::log_finish,
                               kLibraryUlps, &simd::EndpointBlockKernels::rigorous_log_finish>;
inline constexpr BallsFn kSin =
    rigorous_detail::map_calls<endpoint_detail::SinForm, rigorous_detail::periodic_finish<true>,
                               kLibraryUlps, &simd::EndpointBlockKernels::rigorous_sin_finish>;
inline constexpr BallsFn kCos =
    rigorous_detail::map_calls<endpoint_detail::CosForm, rigorous_detail::periodic_finish<false>,
                               kLibraryUlps, &simd::EndpointBlockKernels::rigorous_cos_finish>;
inline constexpr BallsFn kTan =
    rigorous_detail::map_calls<endpoint_detail::TanForm, rigorous_detail::tan_finish, kLibraryUlps,
                               &simd::EndpointBlockKernels::rigorous_tan_finish>;

}  // namespace rigorous
}  // namespace quorvex
