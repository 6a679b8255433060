// Correctly rounded square roots, 8 at a time.
#include <immintrin.h>

#include "kernels/kernels.hpp"

namespace quorvex::kernels::avx512 {

void sqrt(const double* x, double* o, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    // All eight lanes selected; the masked form avoids GCC 12's uninitialised
    // pass-through operand in _mm512_sqrt_pd, which -Werror rejects.
    const __m512d v = _mm512_loadu_pd(x + i);
    _mm512_storeu_pd(o + i, _mm512_mask_sqrt_pd(v, 0xFF, v));
  }
  for (; i < n; ++i) o[i] = __builtin_sqrt(x[i]);
}

}  // namespace quorvex::kernels::avx512
