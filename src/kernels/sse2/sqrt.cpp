// Correctly rounded square roots, 2 at a time. Every width uses the
// processor's IEEE square root, so all give identical bits.
#include <emmintrin.h>

#include "kernels/kernels.hpp"

namespace quorvex::kernels::sse2 {

void sqrt(const double* x, double* o, std::size_t n) {
  std::size_t i = 0;
  for (; i + 2 <= n; i += 2) _mm_storeu_pd(o + i, _mm_sqrt_pd(_mm_loadu_pd(x + i)));
  for (; i < n; ++i) o[i] = __builtin_sqrt(x[i]);
}

}  // namespace quorvex::kernels::sse2
