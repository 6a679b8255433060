// AVX-512 arithmetic kernels, 8 doubles per register. Only AVX-512F
// instructions are used (sign masks go through integer AND), so every family
// but the fused product runs with AVX-512F alone; the dispatcher still asks
// for AVX-512DQ before choosing the product, as the feature rule requires.
#include "kernels/avx512/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/arith_loops.hpp"
#include "kernels/loops/ball_rules.hpp"
#include "kernels/loops/rigorous_sums.hpp"

namespace quorvex::kernels {

namespace avx512 {

#include "kernels/loops/arith_families.inc"

void interval_product(const double* ma, const double* ra, const double* mb, const double* rb,
                      double* om, double* orad, std::size_t n) {
  loops::interval_product_fused<V>(ma, ra, mb, rb, om, orad, n);
}

}  // namespace avx512
}  // namespace quorvex::kernels
