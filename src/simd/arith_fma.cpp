// AVX2 + FMA interval product: full vectors get the fused radius
// fma(ra, rb, fma(ra, |mb|, |ma| * rb)); the n mod 4 tail stays unfused.
#include <immintrin.h>

#include "simd/arith_kernels.hpp"
#include "simd/arith_loops.hpp"
#include "simd/vector_avx2.hpp"

namespace quorvex::simd {
namespace {

// The AVX2 registers plus the fused multiply-add, used only where a loop asks
// for it by name.
struct Fused : V {
  static Reg fmadd(Reg a, Reg b, Reg c) { return _mm256_fmadd_pd(a, b, c); }
};

}  // namespace

namespace avx2_fma {
void interval_product(const double* ma, const double* ra, const double* mb, const double* rb,
                      double* om, double* orad, std::size_t n) {
  loops::interval_product_fused<Fused>(ma, ra, mb, rb, om, orad, n);
}
}  // namespace avx2_fma
}  // namespace quorvex::simd
