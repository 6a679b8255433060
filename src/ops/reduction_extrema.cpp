#include <cstddef>
#include <limits>

#include "ops/reduction.hpp"
#include "ops/reduction_internal.hpp"
#include "support/panic.hpp"

namespace quorvex {
namespace {

// The interval [low, high] of the running pair, written as a ball whatever
// the order of its ends.
Ball ball_of_running_pair(double low, double high) {
  const double rad = high >= low ? (high - low) * 0.5 : (low - high) * 0.5;
  return {(high + low) * 0.5, rad};
}

}  // namespace

// Comparisons with a NaN endpoint are false, so NaN elements are passed over.
Ball min_of(BallRun run) {
  const std::span<const double> x{run.mid, run.n};
  const std::span<const double> e{run.rad, run.n};
  double low = std::numeric_limits<double>::infinity();
  double high = low;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double lo = x[i] - e[i];
    const double hi = x[i] + e[i];
    if (lo < low) low = lo;
    if (hi < high) high = hi;
  }
  return ball_of_running_pair(low, high);
}

Ball max_of(BallRun run) {
  const std::span<const double> x{run.mid, run.n};
  const std::span<const double> e{run.rad, run.n};
  double low = -std::numeric_limits<double>::infinity();
  double high = low;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double lo = x[i] - e[i];
    const double hi = x[i] + e[i];
    if (lo > low) low = lo;
    if (hi > high) high = hi;
  }
  return ball_of_running_pair(low, high);
}

Ball array_min_val(const IntervalArray& a) {
  if (a.size() == 0) panic("min of empty array");
  return min_of(run_of(a));
}

Ball array_max_val(const IntervalArray& a) {
  if (a.size() == 0) panic("max of empty array");
  return max_of(run_of(a));
}

}  // namespace quorvex
