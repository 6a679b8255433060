// AVX2 arithmetic kernels, 4 doubles per register (no FMA: the product is unfused).
#include "simd/arith_kernels.hpp"
#include "simd/arith_loops.hpp"
#include "simd/vector_avx2.hpp"

namespace quorvex::simd {

namespace avx2 {

#define QV_ARITH_BROADCAST_FAMILIES
#include "simd/arith_families.inc"

void interval_product(const double* ma, const double* ra, const double* mb, const double* rb,
                      double* om, double* orad, std::size_t n) {
  loops::interval_product<V>(ma, ra, mb, rb, om, orad, n);
}

}  // namespace avx2
}  // namespace quorvex::simd
