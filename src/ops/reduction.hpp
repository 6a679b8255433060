// Reductions of balls. Each reduces one contiguous run of balls in storage
// order; the IntervalArray methods reduce the whole array as one run (shapes
// are ignored, except by cumsum), and the engine's axis reductions reduce one
// gathered run per result element, so both give the same bits.
#pragma once

#include <cstddef>

#include "array/interval_array.hpp"

namespace quorvex {

// n balls: midpoints mid[0..n), radii rad[0..n).
struct BallRun {
  const double* mid;
  const double* rad;
  std::size_t n;
};

BallRun run_of(const IntervalArray& a) noexcept;

// Sum: the ball of [M - R, M + R] for the vector sums M of the midpoints and
// R of the radii (0 +- 0 for no ball).
Ball sum_of(BallRun run);
// The sum's ball divided by n (NaN +- NaN for no ball).
Ball mean_of(BallRun run);
// The same two from the sums M and R of n balls (the column sums of the
// engine's reductions along leading axes end here too).
Ball sum_from_sums(double m, double r, std::size_t n);
Ball mean_from_sums(double m, double r, std::size_t n);
// Variance about the mean ball, divided by n - ddof (population for ddof 0).
Ball var_of(BallRun run, double ddof);
Ball std_of(BallRun run, double ddof);
// Euclidean norm.
Ball norm_of(BallRun run);
// Product with outward-rounded endpoint products (1 +- 0 for no ball).
Ball prod_of(BallRun run);
// [smallest lower end, smallest upper end] and [largest lower, largest upper];
// NaN endpoints are passed over. At least one ball.
Ball min_of(BallRun run);
Ball max_of(BallRun run);

// The same reductions under the rigorous model: every rounding counted, so
// the ball contains the exact reduction of every choice of reals inside the
// balls. rigorous_product_step is the outward product of two endpoint pairs.
Ball rigorous_sum_of(BallRun run);
Ball rigorous_mean_of(BallRun run);
Ball rigorous_var_of(BallRun run, double ddof);
Ball rigorous_std_of(BallRun run, double ddof);
Ball rigorous_norm_of(BallRun run);
Ball rigorous_prod_of(BallRun run);
Ball rigorous_min_of(BallRun run);
Ball rigorous_max_of(BallRun run);
Ball rigorous_dot_of(BallRun a, BallRun b);
rules::Endpoints rigorous_product_step(rules::Endpoints run, rules::Endpoints e);

Ball array_sum(const IntervalArray& a);
Ball array_mean(const IntervalArray& a);
Result<IntervalArray> array_cumsum(const IntervalArray& a);
Ball array_var(const IntervalArray& a);
Ball array_std(const IntervalArray& a);
Ball array_norm(const IntervalArray& a);
// Panics "dot: length mismatch" for unequal element counts.
Ball array_dot(const IntervalArray& a, const IntervalArray& b);
Ball array_prod(const IntervalArray& a);
// Panic "min of empty array" / "max of empty array".
Ball array_min_val(const IntervalArray& a);
Ball array_max_val(const IntervalArray& a);

}  // namespace quorvex
