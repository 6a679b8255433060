// The product reduction: the only reduction with directed rounding. Each step
// takes the four endpoint products twice, rounded down for the lower end and
// up for the upper end, and returns to round-to-nearest before the next
// element's endpoints are formed.
//
// Every value that crosses a mode switch goes through fp_barrier, so the
// compiler can neither compute it under the wrong mode nor reuse a product
// rounded one way where the other rounding is needed.
#include <cstddef>

#include "ops/reduction.hpp"
#include "ops/reduction_internal.hpp"
#include "rules/rounding_mode.hpp"

namespace quorvex {

Ball array_prod(const IntervalArray& a) {
  if (a.size() == 0) return {1.0, 0.0};
  const std::span<const double> x = a.midpoints();
  const std::span<const double> e = a.radii();
  double lo = x[0] - e[0];
  double hi = x[0] + e[0];
  for (std::size_t i = 1; i < x.size(); ++i) {
    // The element's endpoints, in round-to-nearest.
    const double xi = fp_barrier(x[i]);
    const double ei = fp_barrier(e[i]);
    const double blo = fp_barrier(xi - ei);
    const double bhi = fp_barrier(xi + ei);

    enter_downward();
    const double new_lo = lowest_product(lo, hi, blo, bhi);
    enter_upward();
    const double new_hi = highest_product(lo, hi, blo, bhi);
    leave_rounding();

    lo = new_lo;
    hi = new_hi;
  }
  return ball_from_endpoints({fp_barrier(lo), fp_barrier(hi)});
}

}  // namespace quorvex
