// 8x8 tile with AVX-512F. The accumulators hold rows of the tile (8 columns
// each, 8 registers): per step of the depth loop one load of the B row and 8
// broadcasts of A feeding fused multiply-adds. Rows store straight into
// row-major C; a column mask keeps edge tiles inside C.
#include <immintrin.h>

#include "kernels/kernels.hpp"

namespace quorvex::kernels::avx512 {

void gemm_8x8(std::size_t kc, const double* a, const double* b, double beta, double* c,
              std::size_t ldc, std::size_t rows, std::size_t cols) {
  for (std::size_t i = 0; i < rows; ++i) {
    _mm_prefetch(reinterpret_cast<const char*>(c + i * ldc), _MM_HINT_T0);
  }
  __m512d acc[8];
  for (auto& r : acc) r = _mm512_setzero_pd();

#pragma GCC unroll 4
  for (std::size_t p = 0; p < kc; ++p) {
    const __m512d bp = _mm512_loadu_pd(b);
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i) acc[i] = _mm512_fmadd_pd(_mm512_set1_pd(a[i]), bp, acc[i]);
    a += 8;
    b += 8;
  }

  const __mmask8 mask = static_cast<__mmask8>((1u << cols) - 1u);
  const __m512d vbeta = _mm512_set1_pd(beta);
  for (std::size_t i = 0; i < rows; ++i) {
    double* row = c + i * ldc;
    if (beta == 0.0) {
      _mm512_mask_storeu_pd(row, mask, acc[i]);
    } else {
      // Masked load: columns past the edge of C are never touched.
      const __m512d old = _mm512_maskz_loadu_pd(mask, row);
      _mm512_mask_storeu_pd(row, mask, _mm512_add_pd(acc[i], _mm512_mul_pd(vbeta, old)));
    }
  }
}

}  // namespace quorvex::kernels::avx512
