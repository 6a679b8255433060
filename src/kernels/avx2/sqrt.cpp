// Correctly rounded square roots, 4 at a time.
#include <immintrin.h>

#include "kernels/kernels.hpp"

namespace quorvex::kernels::avx2 {

void sqrt(const double* x, double* o, std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) _mm256_storeu_pd(o + i, _mm256_sqrt_pd(_mm256_loadu_pd(x + i)));
  for (; i < n; ++i) o[i] = __builtin_sqrt(x[i]);
}

}  // namespace quorvex::kernels::avx2
