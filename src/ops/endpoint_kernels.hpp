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

namespace quorvex {

struct EndpointPair {
  double lo;
  double hi;
};

using EndpointKernel = EndpointPair (*)(double lo, double hi);

// ln, log2 and log10 of 2^-1022, the smallest positive normal double: the lower
// bound of an interval that reaches down to zero or below.
inline constexpr double LN_FLOOR = -708.3964185322641;
inline constexpr double LOG2_FLOOR = -1022.0;
inline constexpr double LOG10_FLOOR = -307.6526555685888;
// Above this upper endpoint exp's upper bound is +inf; below this lower
// endpoint its lower bound is 0.
inline constexpr double EXP_HIGH_EDGE = 709.0;
inline constexpr double EXP_LOW_EDGE = -745.0;
// The doubles nearest 2*pi, pi and pi/2.
inline constexpr double TWO_PI = 6.283185307179586;
inline constexpr double PI = 3.141592653589793;
inline constexpr double HALF_PI = 1.5707963267948966;

namespace endpoint_detail {

inline bool is_nan(double x) {
  return x != x;
}

// The smaller / larger of two doubles, ignoring one NaN (NaN only when both
// are). On a tie the first argument is kept. minsd/maxsd return their second
// operand unless the first wins strictly, which gives both the tie rule and a
// NaN second argument; only a NaN first argument needs the test. (A branch on
// the comparison itself would mispredict for sin, cos and tan.)
inline double nan_min(double x, double y) {
  if (is_nan(x)) return y;
  return _mm_cvtsd_f64(_mm_min_sd(_mm_set_sd(y), _mm_set_sd(x)));
}
inline double nan_max(double x, double y) {
  if (is_nan(x)) return y;
  return _mm_cvtsd_f64(_mm_max_sd(_mm_set_sd(y), _mm_set_sd(x)));
}

// (x, y) when y >= x, otherwise (y, x); a pair holding a NaN fails the test and
// comes out swapped. A mask blend, for the same reason as above.
inline EndpointPair ordered_pair(double x, double y) {
  const __m128d vx = _mm_set_sd(x);
  const __m128d vy = _mm_set_sd(y);
  const __m128d keep = _mm_cmpge_sd(vy, vx);  // all ones where y >= x
  const __m128d first = _mm_or_pd(_mm_and_pd(keep, vx), _mm_andnot_pd(keep, vy));
  const __m128d second = _mm_or_pd(_mm_and_pd(keep, vy), _mm_andnot_pd(keep, vx));
  return {_mm_cvtsd_f64(first), _mm_cvtsd_f64(second)};
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

// Calls visit(p) for p = k * PI + offset, k = k_first ... k_last, stopping early
// when visit returns true. The loop ends on k == k_last instead of k > k_last so
// that k_last = INT64_MAX cannot overflow. Returns whether visit stopped it.
template <class Visit>
inline bool scan_candidates(std::int64_t k_first, std::int64_t k_last, double offset,
                            Visit&& visit) {
  if (k_first > k_last) return false;
  for (std::int64_t k = k_first;; ++k) {
    double p = static_cast<double>(k) * PI + offset;
    if (visit(p)) return true;
    if (k == k_last) return false;
  }
}

// A quick proof that no candidate point k * PI + offset, computed exactly as
// scan_candidates computes it, lies in [lo, hi] (or in (lo, hi) when Open).
// Candidate points never decrease as k grows, so when the one at or below lo
// and the next one both fall outside, all do, and the scan would find nothing.
// The index comes from a multiplication, which may be off by one near a
// candidate; the two points themselves are exact. False means "maybe": the
// caller then runs the full scan.
template <bool Open>
inline bool no_candidate_between(double lo, double hi, double offset) {
  constexpr double kInvPi = 0.3183098861837907;
  const double a = (lo - offset) * kInvPi;
  if (!(std::fabs(a) < 4.0e15)) return false;  // NaN, or where doubles are too sparse
  std::int64_t k = static_cast<std::int64_t>(a);
  if (static_cast<double>(k) > a) --k;
  const double below = static_cast<double>(k) * PI + offset;
  const double above = static_cast<double>(k + 1) * PI + offset;
  if constexpr (Open) return below <= lo && hi <= above;
  return below < lo && hi < above;
}

// sin and cos: the endpoint values widened by every candidate extremum point
// inside [lo, hi]. Candidates are evaluated by the library at the rounded point.
template <double (*F)(double)>
inline EndpointPair periodic_endpoints(double lo, double hi, double offset) {
  if (hi - lo >= TWO_PI) return {-1.0, 1.0};
  const double f_lo = F(lo);
  const double f_hi = F(hi);
  double low = nan_min(f_lo, f_hi);
  double high = nan_max(f_lo, f_hi);
  // With a NaN endpoint no candidate can pass the inclusion test, and the index
  // range may span nearly all of int64 (midpoint +-inf, radius inf): skip it.
  if (!is_nan(lo) && !is_nan(hi) && !no_candidate_between<false>(lo, hi, offset)) {
    const std::int64_t k_first = saturating_to_i64(std::floor((lo - offset) / PI));
    const std::int64_t k_last = saturating_to_i64(std::ceil((hi - offset) / PI));
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

inline EndpointPair exp_endpoints(double lo, double hi) {
  using endpoint_detail::ordered_pair;
  // exp(hi) is still finite up to 709.78, but the bound is widened to +inf from
  // 709 on so that the result never sits at the edge of overflow.
  if (hi > EXP_HIGH_EDGE)
    return ordered_pair(std::exp(lo), std::numeric_limits<double>::infinity());
  if (lo < EXP_LOW_EDGE) return ordered_pair(0.0, std::exp(hi));
  return ordered_pair(std::exp(lo), std::exp(hi));
}

namespace endpoint_detail {

// The logarithms: NaN for an interval entirely at or below zero, the floor
// instead of -inf when only the lower endpoint is (or is NaN).
template <double (*Log)(double), double Floor>
inline EndpointPair log_endpoints(double lo, double hi) {
  if (hi <= 0.0) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return {nan, nan};
  }
  const double x = lo > 0.0 ? Log(lo) : Floor;
  return ordered_pair(x, Log(hi));
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

}  // namespace endpoint_detail

inline EndpointPair ln_endpoints(double lo, double hi) {
  return endpoint_detail::log_endpoints<endpoint_detail::libm_log, LN_FLOOR>(lo, hi);
}
inline EndpointPair log2_endpoints(double lo, double hi) {
  return endpoint_detail::log_endpoints<endpoint_detail::libm_log2, LOG2_FLOOR>(lo, hi);
}
inline EndpointPair log10_endpoints(double lo, double hi) {
  return endpoint_detail::log_endpoints<endpoint_detail::libm_log10, LOG10_FLOOR>(lo, hi);
}

inline EndpointPair abs_endpoints(double lo, double hi) {
  using namespace endpoint_detail;
  if (lo >= 0.0) return {lo, hi};
  if (hi <= 0.0) return ordered_pair(-hi, -lo);
  // Straddling zero, or a NaN endpoint: the larger magnitude bounds it.
  return ordered_pair(0.0, nan_max(std::fabs(lo), std::fabs(hi)));
}

inline EndpointPair sin_endpoints(double lo, double hi) {
  return endpoint_detail::periodic_endpoints<endpoint_detail::libm_sin>(lo, hi, HALF_PI);
}

inline EndpointPair cos_endpoints(double lo, double hi) {
  return endpoint_detail::periodic_endpoints<endpoint_detail::libm_cos>(lo, hi, 0.0);
}

inline EndpointPair tan_endpoints(double lo, double hi) {
  using namespace endpoint_detail;
  constexpr double inf = std::numeric_limits<double>::infinity();
  // Wider than pi means a pole lies strictly inside. The scan below cannot be
  // trusted to find it: where the spacing of doubles exceeds pi (|x| >= 2^52)
  // or the candidate index saturates, no rounded candidate lands strictly
  // between the endpoints, and a finite but false enclosure would come out.
  if (hi - lo > PI) return {-inf, inf};
  if (!is_nan(lo) && !is_nan(hi) && !no_candidate_between<true>(lo, hi, HALF_PI)) {
    const std::int64_t k_first = saturating_to_i64(std::floor((lo - HALF_PI) / PI));
    const std::int64_t k_last = saturating_to_i64(std::ceil((hi - HALF_PI) / PI));
    // A pole on an endpoint does not count: the library's value there is used.
    if (scan_candidates(k_first, k_last, HALF_PI, [&](double p) { return lo < p && p < hi; })) {
      return {-inf, inf};
    }
  }
  const double t_lo = std::tan(lo);
  const double t_hi = std::tan(hi);
  return ordered_pair(nan_min(t_lo, t_hi), nan_max(t_lo, t_hi));
}

}  // namespace quorvex
