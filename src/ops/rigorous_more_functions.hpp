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

// The endpoints of a block of two operands' balls rounded outward, on
// vectors, one array per end.
struct OutwardOperands {
  double alo[simd::kFinishMax], ahi[simd::kFinishMax];
  double blo[simd::kFinishMax], bhi[simd::kFinishMax];

  void fill(const simd::EndpointBlockKernels& vector, const double* am, const double* ar,
            const double* bm, const double* br, std::size_t len) {
    outward_run(vector, am, ar, alo, ahi, len);
    outward_run(vector, bm, br, blo, bhi, len);
  }
  functions::Operands at(const double* am, const double* ar, const double* bm, const double* br,
                         std::size_t i) const {
    return {am[i], ar[i], bm[i], br[i], alo[i], ahi[i], blo[i], bhi[i]};
  }
};

// Binary functions with two library calls per element, in blocks as the
// first-order driver runs them: the outward endpoints on vectors, the points,
// the calls in a loop of their own, then the finishing step and the widening
// into balls: on vectors where the variant has the finishing step Block, else
// the finish one element at a time and the widening on vectors. Every step
// keeps one array per quantity, so that nothing between the steps is a
// structure in memory.
template <class Form, int Ulps, simd::PairFinishFn simd::EndpointBlockKernels::* Block = nullptr>
void map_binary_form(const double* am, const double* ar, const double* bm, const double* br,
                     double* om, double* orad, std::size_t n) {
  constexpr std::size_t kBlock = simd::kFinishMax;
  const simd::EndpointBlockKernels& vector = simd::endpoint_blocks();
  OutwardOperands ends;
  double u1[kBlock], v1[kBlock], u2[kBlock], v2[kBlock];
  double lo[kBlock], hi[kBlock];
  for (std::size_t base = 0; base < n; base += kBlock) {
    const std::size_t len = n - base < kBlock ? n - base : kBlock;
    const double *a = am + base, *ra = ar + base, *b = bm + base, *rb = br + base;
    ends.fill(vector, a, ra, b, rb, len);
    for (std::size_t i = 0; i < len; ++i) {
      const functions::Points p = Form::points(ends.at(a, ra, b, rb, i));
      u1[i] = p.u1;
      v1[i] = p.v1;
      u2[i] = p.u2;
      v2[i] = p.v2;
    }
    for (std::size_t i = 0; i < len; ++i) {
      lo[i] = Form::call(u1[i], v1[i]);
      hi[i] = Form::call(u2[i], v2[i]);
    }
    std::size_t done = 0;
    if constexpr (Block != nullptr) {
      static_assert(Ulps == kLibraryUlps, "the vector steps widen by the library's bound");
      done = (vector.*
              Block)({ends.alo, ends.ahi, ends.blo, ends.bhi, lo, hi, om + base, orad + base, len});
    }
    for (std::size_t i = done; i < len; ++i) {
      const EndpointPair image = Form::finish(ends.at(a, ra, b, rb, i), lo[i], hi[i]);
      lo[i] = image.lo;
      hi[i] = image.hi;
    }
    widened_run<Ulps>(vector, lo + done, hi + done, om + base + done, orad + base + done,
                      len - done);
  }
}

// maximum, minimum: the selections on outward endpoints are exact.
template <double (*F)(double, double)>
inline Ball selection_ball(double am, double ar, double bm, double br) {
  const functions::Operands o = outward_operands(am, ar, bm, br);
  return rules::ball_outward(F(o.alo, o.blo), F(o.ahi, o.bhi));
}
// fmax, fmin: a NaN ball is passed over and the other comes out as it is. An
// end of a number ball is NaN only where an infinite midpoint meets an
// infinite radius (inf - inf): the ball is unbounded that way, and F must not
// pass over that end as it passes over a NaN value.
template <double (*F)(double, double)>
inline Ball ignoring_nan_ball(double am, double ar, double bm, double br) {
  if (am != am || ar != ar) return {bm, br};
  if (bm != bm || br != br) return {am, ar};
  const functions::Operands o = outward_operands(am, ar, bm, br);
  const auto low = [](double x) { return x != x ? -rules::kInf : x; };
  const auto high = [](double x) { return x != x ? rules::kInf : x; };
  return rules::ball_outward(F(low(o.alo), low(o.blo)), F(high(o.ahi), high(o.bhi)));
}

// Rule over the vector variant's whole registers with its vector form Vector,
// the rest one by one, as in the first-order driver.
template <Ball (*Rule)(double, double, double, double),
          simd::BallPairsFn simd::EndpointBlockKernels::* Vector>
void map_ball_pairs(const double* am, const double* ar, const double* bm, const double* br,
                    double* om, double* orad, std::size_t n) {
  const std::size_t done = (simd::endpoint_blocks().*Vector)(am, ar, bm, br, om, orad, n);
  for (std::size_t i = done; i < n; ++i) {
    const Ball b = Rule(am[i], ar[i], bm[i], br[i]);
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

// A NaN or an infinite top settles a bound: it is top itself.
inline double log_add_exp_top(double x, double y) {
  return (x != x || y != y) ? rules::kNaN : (x > y ? x : y);
}
inline bool log_add_exp_settled(double top) {
  return !(std::fabs(top) < rules::kInf);
}
// The argument of exp, -|x - y|, bounded the other way: a larger gap gives a
// smaller term.
inline double log_add_exp_power(double x, double y, double top, bool upper) {
  if (log_add_exp_settled(top)) return 0.0;
  const double gap = std::fabs(x - y);
  return -(upper ? rules::below(gap, 0) : rules::above(gap, 0));
}
// exp's value e moved outward, as log1p's argument.
inline double log_add_exp_term_argument(double e, bool upper) {
  if (upper) return rules::above(e, kLibraryUlps);
  const double down = rules::below(e, kLibraryUlps);
  return down < 0.0 ? 0.0 : down;
}
// log1p's value moved outward, added to top; the sum is rounded outward with
// the widening into balls.
inline double log_add_exp_end(double top, double log1p_value, bool upper) {
  if (log_add_exp_settled(top)) return top;
  if (upper) return top + rules::above(log1p_value, kLibraryUlps);
  const double term = rules::below(log1p_value, kLibraryUlps);
  return top + (term < 0.0 ? 0.0 : term);
}

inline void logaddexp_balls(const double* am, const double* ar, const double* bm, const double* br,
                            double* om, double* orad, std::size_t n) {
  constexpr std::size_t kBlock = simd::kFinishMax;
  const simd::EndpointBlockKernels& vector = simd::endpoint_blocks();
  OutwardOperands ends;
  double top_lo[kBlock], top_hi[kBlock], f_lo[kBlock], f_hi[kBlock];
  for (std::size_t base = 0; base < n; base += kBlock) {
    const std::size_t len = n - base < kBlock ? n - base : kBlock;
    ends.fill(vector, am + base, ar + base, bm + base, br + base, len);
    for (std::size_t i = 0; i < len; ++i) {
      top_lo[i] = log_add_exp_top(ends.alo[i], ends.blo[i]);
      top_hi[i] = log_add_exp_top(ends.ahi[i], ends.bhi[i]);
      f_lo[i] = log_add_exp_power(ends.alo[i], ends.blo[i], top_lo[i], false);
      f_hi[i] = log_add_exp_power(ends.ahi[i], ends.bhi[i], top_hi[i], true);
    }
    for (std::size_t i = 0; i < len; ++i) {
      f_lo[i] = std::exp(f_lo[i]);
      f_hi[i] = std::exp(f_hi[i]);
    }
    for (std::size_t i = 0; i < len; ++i) {
      f_lo[i] = log_add_exp_term_argument(f_lo[i], false);
      f_hi[i] = log_add_exp_term_argument(f_hi[i], true);
    }
    for (std::size_t i = 0; i < len; ++i) {
      f_lo[i] = std::log1p(f_lo[i]);
      f_hi[i] = std::log1p(f_hi[i]);
    }
    for (std::size_t i = 0; i < len; ++i) {
      f_lo[i] = log_add_exp_end(top_lo[i], f_lo[i], false);
      f_hi[i] = log_add_exp_end(top_hi[i], f_hi[i], true);
    }
    widened_run<0>(vector, f_lo, f_hi, om + base, orad + base, len);
  }
}

}  // namespace quorvex::rigorous_detail
