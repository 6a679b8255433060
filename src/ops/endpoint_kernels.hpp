// Endpoint kernels of the elementary functions. Each maps the endpoint pair
// (lo, hi) of one ball to the endpoint pair of its image; the driver turns the
// pair back into a ball. Kernels are stateless inline functions so the
// driver's per-element call inlines and every worker can share them.
//
// Values come straight from the C math library (glibc's scalar sin, cos, tan,
// exp, log, log2, log10) and the processor's correctly rounded square root; no
// allowance for their rounding error is added anywhere.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include <emmintrin.h>

#include "rules/ball.hpp"
#include "rules/endpoint_constants.hpp"
#include "simd/dispatch.hpp"

namespace quorvex {

struct EndpointPair {
  double lo;
  double hi;
};

using EndpointKernel = EndpointPair (*)(double lo, double hi);

namespace endpoint_detail {

inline bool is_nan(double x) {
  return x != x;
}

using rules::nan_max;
using rules::nan_min;

// Bitwise select: where mask is all ones a, else b.
inline __m128d select_sd(__m128d mask, __m128d a, __m128d b) {
  return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
}

// (x, y) when y >= x, otherwise (y, x); a pair holding a NaN fails the test and
// comes out swapped. A mask blend: a branch on the comparison would
// mispredict for sin, cos and tan.
inline EndpointPair ordered_pair(double x, double y) {
  const __m128d vx = _mm_set_sd(x);
  const __m128d vy = _mm_set_sd(y);
  const __m128d keep = _mm_cmpge_sd(vy, vx);  // all ones where y >= x
  return {_mm_cvtsd_f64(select_sd(keep, vx, vy)), _mm_cvtsd_f64(select_sd(keep, vy, vx))};
}

// Truncation toward zero with saturation: NaN gives 0, out-of-range values
// the nearest end of the int64 range (a plain cast would be undefined there).
inline std::int64_t saturating_to_i64(double x) {
  constexpr double kTwo63 = 9223372036854775808.0;
  if (is_nan(x)) return 0;
  if (x >= kTwo63) return std::numeric_limits<std::int64_t>::max();
  if (x <= -kTwo63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(x);
}

// Calls visit(p) for p = k * kPi + offset, k = k_first ... k_last, stopping early
// when visit returns true. The loop ends on k == k_last instead of k > k_last so
// that k_last = INT64_MAX cannot overflow. Returns whether visit stopped it.
template <class Visit>
inline bool scan_candidates(std::int64_t k_first, std::int64_t k_last, double offset,
                            Visit&& visit) {
  if (k_first > k_last) return false;
  for (std::int64_t k = k_first;; ++k) {
    double p = static_cast<double>(k) * kPi + offset;
    if (visit(p)) return true;
    if (k == k_last) return false;
  }
}

// A quick proof that no candidate point k * kPi + offset, computed exactly as
// scan_candidates computes it, lies in [lo, hi] (or in (lo, hi) when Open).
// Candidate points never decrease as k grows, so when the one at or below lo
// and the next one both fall outside, all do, and the scan would find nothing.
// The index comes from a multiplication, which may be off by one near a
// candidate; the two points themselves are exact. False means "maybe": the
// caller then runs the full scan.
template <bool Open>
inline bool no_candidate_between(double lo, double hi, double offset) {
  // Adding and subtracting kRoundingShift rounds to the nearest integer; the
  // floor follows with one masked subtraction. No integer conversion and no
  // branch: this test runs for every element.
  const double a = (lo - offset) * kInvPi;
  if (!(std::fabs(a) < kQuickTestLimit)) return false;  // NaN, or doubles too sparse
  const __m128d va = _mm_set_sd(a);
  const __m128d nearest =
      _mm_sub_sd(_mm_add_sd(va, _mm_set_sd(kRoundingShift)), _mm_set_sd(kRoundingShift));
  const __m128d rounded_up = _mm_and_pd(_mm_cmpgt_sd(nearest, va), _mm_set_sd(1.0));
  // k = floor(a), an integer-valued double: the same value scan_candidates
  // converts its int64 index to, so the two points below are its points.
  const double k = _mm_cvtsd_f64(_mm_sub_sd(nearest, rounded_up));
  const double below = k * kPi + offset;
  const double above = (k + 1.0) * kPi + offset;
  if constexpr (Open) return below <= lo && hi <= above;
  return below < lo && hi < above;
}

// sin and cos, given the library's values at both endpoints: those values
// widened by every candidate extremum point inside [lo, hi]. Candidates are
// evaluated by the library at the rounded point. A width of a full period or
// more covers [-1, 1] whatever the endpoint values.
template <double (*F)(double)>
inline EndpointPair periodic_finish(double lo, double hi, double f_lo, double f_hi, double offset) {
  if (hi - lo >= kTwoPi) return {-1.0, 1.0};
  double low = nan_min(f_lo, f_hi);
  double high = nan_max(f_lo, f_hi);
  // With a NaN endpoint no candidate can pass the inclusion test, and the index
  // range may span nearly all of int64 (midpoint +-inf, radius inf): skip it.
  if (!no_candidate_between<false>(lo, hi, offset) && !is_nan(lo) && !is_nan(hi)) {
    const std::int64_t k_first = saturating_to_i64(std::floor((lo - offset) / kPi));
    const std::int64_t k_last = saturating_to_i64(std::ceil((hi - offset) / kPi));
    scan_candidates(k_first, k_last, offset, [&](double p) {
      if (lo <= p && p <= hi) {
        const double v = F(p);
        low = nan_min(low, v);
        high = nan_max(high, v);
      }
      return false;
    });
  }
  return ordered_pair(low, high);
}

inline double libm_sin(double x) {
  return std::sin(x);
}
inline double libm_cos(double x) {
  return std::cos(x);
}

}  // namespace endpoint_detail

inline EndpointPair sqrt_endpoints(double lo, double hi) {
  if (hi < 0.0) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return {nan, nan};
  }
  // A NaN or non-positive lower endpoint is clamped to zero.
  const double x = std::sqrt(lo > 0.0 ? lo : 0.0);
  const double y = std::sqrt(hi);
  return endpoint_detail::ordered_pair(x, y);
}

// Most kernels cost one library call per endpoint plus a cheap finishing step
// that may ignore either value. They are written in that form, TwoCalls<Call,
// Finish, Block>, so the driver can run the calls for a block of elements in a
// loop that holds nothing else and finish the block afterwards, with the
// vector form of Finish named by Block: a call clobbers every floating-point
// register, and a loop mixing calls with the finishing work runs well below
// the speed of the calls alone. The per-element kernel takes the same two
// steps, so both orders give identical bits. (The value of an ignored call is
// never used; calling anyway costs little and keeps the call loop free of
// branches.)
template <double (*Call)(double), EndpointPair (*Finish)(double, double, double, double),
          simd::FinishFn simd::EndpointBlockKernels::* Block>
struct TwoCalls {
  static constexpr auto block = Block;
  static double call(double x) { return Call(x); }
  static EndpointPair finish(double lo, double hi, double f_lo, double f_hi) {
    return Finish(lo, hi, f_lo, f_hi);
  }
  static EndpointPair endpoints(double lo, double hi) { return Finish(lo, hi, Call(lo), Call(hi)); }
};

// Which kernels have the two-call form: TwoCallForm<K>::type is it, or void.
template <EndpointKernel Kernel>
struct TwoCallForm {
  using type = void;
};

namespace endpoint_detail {

inline double libm_exp(double x) {
  return std::exp(x);
}

inline EndpointPair exp_finish(double lo, double hi, double e_lo, double e_hi) {
  // exp(hi) is still finite up to 709.78, but the bound is widened to +inf from
  // 709 on so that the result never sits at the edge of overflow.
  if (hi > kExpHighEdge) return ordered_pair(e_lo, std::numeric_limits<double>::infinity());
  if (lo < kExpLowEdge) return ordered_pair(0.0, e_hi);
  return ordered_pair(e_lo, e_hi);
}

// The logarithms: NaN for an interval entirely at or below zero, the floor
// instead of -inf when only the lower endpoint is (or is NaN).
template <double Floor>
inline EndpointPair log_finish(double lo, double hi, double log_lo, double log_hi) {
  if (hi <= 0.0) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return {nan, nan};
  }
  return ordered_pair(lo > 0.0 ? log_lo : Floor, log_hi);
}

inline double libm_log(double x) {
  return std::log(x);
}
inline double libm_log2(double x) {
  return std::log2(x);
}
inline double libm_log10(double x) {
  return std::log10(x);
}

inline EndpointPair sin_finish(double lo, double hi, double f_lo, double f_hi) {
  return periodic_finish<libm_sin>(lo, hi, f_lo, f_hi, kHalfPi);
}
inline EndpointPair cos_finish(double lo, double hi, double f_lo, double f_hi) {
  return periodic_finish<libm_cos>(lo, hi, f_lo, f_hi, 0.0);
}

inline double libm_tan(double x) {
  return std::tan(x);
}

inline EndpointPair tan_finish(double lo, double hi, double t_lo, double t_hi) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  // Wider than pi means a pole lies strictly inside. The scan below cannot be
  // trusted to find it: where the spacing of doubles exceeds pi (|x| >= 2^52)
  // or the candidate index saturates, no rounded candidate lands strictly
  // between the endpoints, and a finite but false enclosure would come out.
  if (hi - lo > kPi) return {-inf, inf};
  if (!no_candidate_between<true>(lo, hi, kHalfPi) && !is_nan(lo) && !is_nan(hi)) {
    const std::int64_t k_first = saturating_to_i64(std::floor((lo - kHalfPi) / kPi));
    const std::int64_t k_last = saturating_to_i64(std::ceil((hi - kHalfPi) / kPi));
    // A pole on an endpoint does not count: the library's value there is used.
    if (scan_candidates(k_first, k_last, kHalfPi, [&](double p) { return lo < p && p < hi; })) {
      return {-inf, inf};
    }
  }
  return ordered_pair(nan_min(t_lo, t_hi), nan_max(t_lo, t_hi));
}

using ExpForm = TwoCalls<libm_exp, exp_finish, &simd::EndpointBlockKernels::exp_finish>;
using LnForm = TwoCalls<libm_log, log_finish<kLnFloor>, &simd::EndpointBlockKernels::ln_finish>;
using Log2Form =
    TwoCalls<libm_log2, log_finish<kLog2Floor>, &simd::EndpointBlockKernels::log2_finish>;
using Log10Form =
    TwoCalls<libm_log10, log_finish<kLog10Floor>, &simd::EndpointBlockKernels::log10_finish>;
using SinForm = TwoCalls<libm_sin, sin_finish, &simd::EndpointBlockKernels::sin_finish>;
using CosForm = TwoCalls<libm_cos, cos_finish, &simd::EndpointBlockKernels::cos_finish>;
using TanForm = TwoCalls<libm_tan, tan_finish, &simd::EndpointBlockKernels::tan_finish>;

}  // namespace endpoint_detail

inline EndpointPair exp_endpoints(double lo, double hi) {
  return endpoint_detail::ExpForm::endpoints(lo, hi);
}
inline EndpointPair ln_endpoints(double lo, double hi) {
  return endpoint_detail::LnForm::endpoints(lo, hi);
}
inline EndpointPair log2_endpoints(double lo, double hi) {
  return endpoint_detail::Log2Form::endpoints(lo, hi);
}
inline EndpointPair log10_endpoints(double lo, double hi) {
  return endpoint_detail::Log10Form::endpoints(lo, hi);
}
inline EndpointPair sin_endpoints(double lo, double hi) {
  return endpoint_detail::SinForm::endpoints(lo, hi);
}
inline EndpointPair cos_endpoints(double lo, double hi) {
  return endpoint_detail::CosForm::endpoints(lo, hi);
}
inline EndpointPair tan_endpoints(double lo, double hi) {
  return endpoint_detail::TanForm::endpoints(lo, hi);
}

template <>
struct TwoCallForm<exp_endpoints> {
  using type = endpoint_detail::ExpForm;
};
template <>
struct TwoCallForm<ln_endpoints> {
  using type = endpoint_detail::LnForm;
};
template <>
struct TwoCallForm<log2_endpoints> {
  using type = endpoint_detail::Log2Form;
};
template <>
struct TwoCallForm<log10_endpoints> {
  using type = endpoint_detail::Log10Form;
};
template <>
struct TwoCallForm<sin_endpoints> {
  using type = endpoint_detail::SinForm;
};
template <>
struct TwoCallForm<cos_endpoints> {
  using type = endpoint_detail::CosForm;
};
template <>
struct TwoCallForm<tan_endpoints> {
  using type = endpoint_detail::TanForm;
};

inline EndpointPair abs_endpoints(double lo, double hi) {
  using namespace endpoint_detail;
  // Three cases: entirely at or above zero (unchanged), entirely at or below
  // (mirrored), or straddling zero or holding a NaN endpoint (the larger
  // magnitude bounds it). All three are computed and the case picked by masks:
  // on mixed-sign data a branch per case would mispredict half the time.
  const EndpointPair mirrored = ordered_pair(-hi, -lo);
  const EndpointPair straddling = ordered_pair(0.0, nan_max(std::fabs(lo), std::fabs(hi)));
  const __m128d vlo = _mm_set_sd(lo);
  const __m128d vhi = _mm_set_sd(hi);
  const __m128d nonnegative = _mm_cmpge_sd(vlo, _mm_setzero_pd());
  const __m128d nonpositive = _mm_cmple_sd(vhi, _mm_setzero_pd());
  const __m128d other_lo =
      select_sd(nonpositive, _mm_set_sd(mirrored.lo), _mm_set_sd(straddling.lo));
  const __m128d other_hi =
      select_sd(nonpositive, _mm_set_sd(mirrored.hi), _mm_set_sd(straddling.hi));
  return {_mm_cvtsd_f64(select_sd(nonnegative, vlo, other_lo)),
          _mm_cvtsd_f64(select_sd(nonnegative, vhi, other_hi))};
}

// Which kernels run whole in vector form (no library call): VectorForm<K>::balls
// names it in the vector table, or is null.
template <EndpointKernel Kernel>
struct VectorForm {
  static constexpr simd::BallsFn simd::EndpointBlockKernels::* balls = nullptr;
};
template <>
struct VectorForm<sqrt_endpoints> {
  static constexpr auto balls = &simd::EndpointBlockKernels::sqrt_balls;
};
template <>
struct VectorForm<abs_endpoints> {
  static constexpr auto balls = &simd::EndpointBlockKernels::abs_balls;
};

}  // namespace quorvex
