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
// sum forbids a bound relative to the result. The steps between the library
// calls are apart, so a block's calls run in loops of their own.
struct LogAddExpBound {
  double top;    // max(x, y)
  double power;  // the argument of exp (-|x - y| bounded the other way), then of log1p
  bool settled;  // a NaN or an infinite top: the bound is top itself
};

// A larger gap gives a smaller term, so the gap is bounded the other way.
inline LogAddExpBound log_add_exp_start(double x, double y, bool upper) {
  if (x != x || y != y) return {rules::kNaN, 0.0, true};
  const double top = x > y ? x : y;
  if (std::fabs(top) == rules::kInf) return {top, 0.0, true};
  const double gap = std::fabs(x - y);
  return {top, -(upper ? rules::below(gap, 0) : rules::above(gap, 0)), false};
}
// exp's value e moved outward, as log1p's argument.
inline double log_add_exp_term_argument(double e, bool upper) {
  if (upper) return rules::above(e, kLibraryUlps);
  const double down = rules::below(e, kLibraryUlps);
  return down < 0.0 ? 0.0 : down;
}
// log1p's value moved outward, added to top.
inline double log_add_exp_end(const LogAddExpBound& b, double log1p_value, bool upper) {
  if (b.settled) return b.top;
  const double term =
      upper ? rules::above(log1p_value, kLibraryUlps) : rules::below(log1p_value, kLibraryUlps);
  return upper ? rules::above(b.top + term, 0) : rules::below(b.top + (term < 0.0 ? 0.0 : term), 0);
}

inline void logaddexp_balls(const double* am, const double* ar, const double* bm, const double* br,
                            double* om, double* orad, std::size_t n) {
  constexpr std::size_t kBlock = simd::kFinishMax;
  LogAddExpBound lower[kBlock], upper[kBlock];
  double f_lo[kBlock], f_hi[kBlock];
  for (std::size_t base = 0; base < n; base += kBlock) {
    const std::size_t len = n - base < kBlock ? n - base : kBlock;
    for (std::size_t i = 0; i < len; ++i) {
      const functions::Operands o =
          outward_operands(am[base + i], ar[base + i], bm[base + i], br[base + i]);
      lower[i] = log_add_exp_start(o.alo, o.blo, false);
      upper[i] = log_add_exp_start(o.ahi, o.bhi, true);
    }
    for (std::size_t i = 0; i < len; ++i) {
      f_lo[i] = std::exp(lower[i].power);
      f_hi[i] = std::exp(upper[i].power);
    }
    for (std::size_t i = 0; i < len; ++i) {
      lower[i].power = log_add_exp_term_argument(f_lo[i], false);
      upper[i].power = log_add_exp_term_argument(f_hi[i], true);
    }
    for (std::size_t i = 0; i < len; ++i) {
      f_lo[i] = std::log1p(lower[i].power);
      f_hi[i] = std::log1p(upper[i].power);
    }
    for (std::size_t i = 0; i < len; ++i) {
      const Ball b = rules::ball_outward(log_add_exp_end(lower[i], f_lo[i], false),
                                         log_add_exp_end(upper[i], f_hi[i], true));
      om[base + i] = b.mid;
      orad[base + i] = b.rad;
    }
  }
}

}  // namespace quorvex::rigorous_detail
