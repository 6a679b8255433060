// 4x4 tile with baseline SSE2. The accumulators hold rows of the tile, two
// 2-column halves each (8 of the 16 registers): per step of the depth loop two
// loads of the B row and 4 broadcasts of A, multiplied and added separately.
#include <emmintrin.h>

#include "kernels/kernels.hpp"
#include "kernels/loops/gemm_tile_store.hpp"

namespace quorvex::kernels::sse2 {

void gemm_4x4(std::size_t kc, const double* a, const double* b, double beta, double* c,
              std::size_t ldc, std::size_t rows, std::size_t cols) {
  __m128d lo[4], hi[4];
  for (int i = 0; i < 4; ++i) lo[i] = hi[i] = _mm_setzero_pd();

#pragma GCC unroll 4
  for (std::size_t p = 0; p < kc; ++p) {
    const __m128d b0 = _mm_loadu_pd(b);
    const __m128d b1 = _mm_loadu_pd(b + 2);
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i) {
      const __m128d ai = _mm_set1_pd(a[i]);
      lo[i] = _mm_add_pd(_mm_mul_pd(ai, b0), lo[i]);
      hi[i] = _mm_add_pd(_mm_mul_pd(ai, b1), hi[i]);
    }
    a += 4;
    b += 4;
  }

  alignas(16) double tile[4 * 4];
  for (int i = 0; i < 4; ++i) {
    _mm_store_pd(tile + 4 * i, lo[i]);
    _mm_store_pd(tile + 4 * i + 2, hi[i]);
  }
  loops::store_tile_part(tile, 4, beta, c, ldc, rows, cols);
}

}  // namespace quorvex::kernels::sse2
