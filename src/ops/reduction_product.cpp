// The product reduction: the only reduction with directed rounding (the
// target table's kernel runs the endpoint pair through the elements).
#include "ops/reduction.hpp"
#include "ops/reduction_internal.hpp"
#include "simd/dispatch.hpp"

namespace quorvex {

Ball array_prod(const IntervalArray& a) {
  if (a.size() == 0) return {1.0, 0.0};
  const simd::ProductEnds ends = simd::product_kernel()(a.midpoints().data(), a.radii().data(),
                                                        static_cast<std::size_t>(a.size()));
  return ball_from_endpoints({ends.lo, ends.hi});
}

}  // namespace quorvex
