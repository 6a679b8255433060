// The rigorous forms of the functions of ops/function_kernels.hpp, on the
// pattern of ops/rigorous_functions.hpp: outward endpoints, the first-order
// rule's image pair from the C library's values (or exact IEEE operations),
// each end moved outward by the library's error bound (or one ulp's bound for
// an operation rounded to nearest), and a ball rounded outward. The rules
// that stand a finite value in for an infinite bound (log1p's floor), or
// combine several library calls (logaddexp), have rigorous forms of their own.
#pragma once

#include <cmath>
#include <cstddef>

#include "ops/function_kernels.hpp"
#include "ops/rigorous_functions.hpp"

namespace quorvex::rigorous_detail {

using rules::kCbrtUlps;

inline EndpointPair log1p_finish(double lo, double hi, double f_lo, double f_hi) {
  if (hi <= -1.0) return {rules::kNaN, rules::kNaN};
  return functions::ordered(lo > -1.0 ? f_lo : -rules::kInf, f_hi);
}

template <class Form>
inline EndpointPair form_finish(double lo, double hi, double f_lo, double f_hi) {
  return Form::finish(lo, hi, f_lo, f_hi);
}

// The operands of a binary rule with their endpoints rounded outward.
inline functions::Operands outward_operands(double am, double ar, double bm, double br) {
  const rules::Endpoints a = rules::outward_endpoints(am, ar);
  const rules::Endpoints b = rules::outward_endpoints(bm, br);
  return {am, ar, bm, br, a.lo, a.hi, b.lo, b.hi};
}

// Binary functions with two library calls per element, in blocks as the
// first-order driver runs them: the outward operands and the points, the
// calls in a loop of their own, then the finishing step, and the widening
// into balls on vectors.
template <class Form, int Ulps>
void map_binary_form(const double* am, const double* ar, const double* bm, const double* br,
                     double* om, double* orad, std::size_t n) {
  constexpr std::size_t kBlock = simd::kFinishMax;
  const simd::EndpointBlockKernels& vector = simd::endpoint_blocks();
  functions::Operands o[kBlock];
  functions::Points p[kBlock];
  double lo[kBlock], hi[kBlock];
  for (std::size_t base = 0; base < n; base += kBlock) {
    const std::size_t len = n - base < kBlock ? n - base : kBlock;
    for (std::size_t i = 0; i < len; ++i) {
      o[i] = outward_operands(am[base + i], ar[base + i], bm[base + i], br[base + i]);
      p[i] = Form::points(o[i]);
    }
    for (std::size_t i = 0; i < len; ++i) {
      lo[i] = Form::call(p[i].u1, p[i].v1);
      hi[i] = Form::call(p[i].u2, p[i].v2);
    }
    for (std::size_t i = 0; i < len; ++i) {
      const EndpointPair image = Form::finish(o[i], lo[i], hi[i]);
      lo[i] = image.lo;
      hi[i] = image.hi;
    }
    widened_run<Ulps>(vector, lo, hi, om + base, orad + base, len);
  }
}

// maximum, minimum: the selections on outward endpoints are exact.
template <double (*F)(double, double)>
void map_selection(const double* am, const double* ar, const double* bm, const double* br,
                   double* om, double* orad, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const functions::Operands o = outward_operands(am[i], ar[i], bm[i], br[i]);
    const Ball b = rules::ball_outward(F(o.alo, o.blo), F(o.ahi, o.bhi));
    om[i] = b.mid;
    orad[i] = b.rad;
  }
}

// fmax, fmin: a NaN ball is passed over and the other comes out as it is.
template <double (*F)(double, double)>
void map_ignoring_nan(const double* am, const double* ar, const double* bm, const double* br,
                      double* om, double* orad, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const bool a_nan = am[i] != am[i] || ar[i] != ar[i];
    const bool b_nan = bm[i] != bm[i] || br[i] != br[i];
    if (a_nan || b_nan) {
      om[i] = a_nan ? bm[i] : am[i];
      orad[i] = a_nan ? br[i] : ar[i];
      continue;
    }
    const functions::Operands o = outward_operands(am[i], ar[i], bm[i], br[i]);
    const Ball b = rules::ball_outward(F(o.alo, o.blo), F(o.ahi, o.bhi));
    om[i] = b.mid;
    orad[i] = b.rad;
  }
}

// logaddexp(x, y) = max + log1p(exp(-|x - y|)) is increasing in both: its least
// value is at the lower ends, its greatest at the upper ones; each bound is
// composed from bounds of its parts (the library's exp and log1p moved by
// their error bound, the sums rounded outward), as cancellation in the final
// sum forbids a bound relative to the result.
inline double log_add_exp_bound(double x, double y, bool upper) {
  if (x != x || y != y) return rules::kNaN;
  const double top = x > y ? x : y;
  if (std::fabs(top) == rules::kInf) return top;
  // |x - y| bounded the other way: a larger gap gives a smaller term.
  const double gap = std::fabs(x - y);
  const double g = upper ? rules::below(gap, 0) : rules::above(gap, 0);
  const double e =
      upper ? rules::above(std::exp(-g), kLibraryUlps) : rules::below(std::exp(-g), kLibraryUlps);
  const double term = upper ? rules::above(std::log1p(e), kLibraryUlps)
                            : rules::below(std::log1p(e < 0.0 ? 0.0 : e), kLibraryUlps);
  return upper ? rules::above(top + term, 0) : rules::below(top + (term < 0.0 ? 0.0 : term), 0);
}

inline void logaddexp_balls(const double* am, const double* ar, const double* bm, const double* br,
                            double* om, double* orad, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const functions::Operands o = outward_operands(am[i], ar[i], bm[i], br[i]);
    const Ball b = rules::ball_outward(log_add_exp_bound(o.alo, o.blo, false),
                                       log_add_exp_bound(o.ahi, o.bhi, true));
    om[i] = b.mid;
    orad[i] = b.rad;
  }
}

}  // namespace quorvex::rigorous_detail
