// The product reduction under directed rounding: each step takes the four
// endpoint products twice, rounded down for the lower end and up for the
// upper end, and returns to round-to-nearest before the next element's
// endpoints are formed. Built with -frounding-math; every value that crosses
// a mode switch goes through fp_barrier, so the compiler can neither compute
// it under the wrong mode nor reuse a product rounded one way where the other
// rounding is needed.
//
// The vector kernels hand elements back to product_start and product_step.
// Both stay out of line, so every caller runs the same instructions: which of
// two NaN operands a product passes on depends on the order the compiler
// gives them, and that must not differ between callers.
#include "kernels/kernels.hpp"
#include "rules/ball.hpp"
#include "rules/rounding_mode.hpp"

namespace quorvex::kernels::scalar {

__attribute__((noinline)) ProductEnds product_start(double mid, double rad) {
  const rules::Endpoints e = rules::endpoints_of(mid, rad);
  return {fp_barrier(e.lo), fp_barrier(e.hi)};
}

__attribute__((noinline)) ProductEnds product_step(double lo, double hi, double mid, double rad) {
  // The element's endpoints, in round-to-nearest. With two NaNs the upper
  // endpoint has always carried the radius's: the order is pinned so that no
  // compiler can change it.
  const double xi = fp_barrier(mid);
  const double ei = fp_barrier(rad);
  const double blo = fp_barrier(xi - ei);
  const double bhi = fp_barrier(ei == ei ? xi + ei : ei - xi);
  enter_downward();
  const double new_lo = lowest_product(lo, hi, blo, bhi);
  enter_upward();
  const double new_hi = highest_product(lo, hi, blo, bhi);
  leave_rounding();
  return {fp_barrier(new_lo), fp_barrier(new_hi)};
}

ProductEnds product(const double* mid, const double* rad, std::size_t n) {
  ProductEnds ends = product_start(mid[0], rad[0]);
  for (std::size_t i = 1; i < n; ++i) ends = product_step(ends.lo, ends.hi, mid[i], rad[i]);
  return ends;
}

}  // namespace quorvex::kernels::scalar
