// Shared pieces of the reductions: endpoint pairs, the ball they give, and the
// endpoint sums that sum/mean/var/std build on.
#pragma once

#include "ops/reduction.hpp"

namespace quorvex {

using rules::Endpoints;

inline Ball ball_from_endpoints(Endpoints e) {
  return rules::ball_from_endpoints(e.lo, e.hi);
}

// x when it is greater than 0, otherwise (NaN included) 0.0.
inline double positive_or_zero(double x) {
  return x > 0 ? x : 0.0;
}

// (M - R, M + R) for the vector sums M of the midpoints and R of the radii,
// both by the same kernel; (0, 0) for no ball.
Endpoints sum_endpoints(BallRun run);

// The variance as an endpoint pair, divided by n - ddof; (NaN, NaN) for no
// ball. The lower end is not clamped and may be negative.
Endpoints variance_endpoints(BallRun run, double ddof);

}  // namespace quorvex
