// The product reduction: the only reduction with directed rounding (the
// target table's kernel runs the endpoint pair through the elements).
#include "ops/reduction.hpp"
#include "ops/reduction_internal.hpp"
#include "simd/dispatch.hpp"

namespace quorvex {

Ball prod_of(BallRun run) {
  if (run.n == 0) return {1.0, 0.0};
  const simd::ProductEnds ends = simd::product_kernel()(run.mid, run.rad, run.n);
  return ball_from_endpoints({ends.lo, ends.hi});
}

Ball array_prod(const IntervalArray& a) {
  return prod_of(run_of(a));
}

}  // namespace quorvex
