// 8x8 tiles with AVX-512F. The accumulators hold rows of a tile (8 columns
// each, 8 registers): per step of the depth loop one load of the B row and 8
// broadcasts of A feeding fused multiply-adds. Rows store straight into
// row-major C; a column mask keeps edge tiles inside C.
//
// gemm_8x16 runs two neighbouring tiles at once on the same A broadcasts:
// 16 fused multiply-adds per 10 loads instead of 8 per 9, which keeps both
// FMA ports of a two-port core busy where the single tile waits on loads.
// Each element still sums its products in depth order from zero, so both
// give the same bits.
#include <immintrin.h>

#include "kernels/kernels.hpp"

namespace quorvex::kernels::avx512 {
namespace {

void prefetch_rows(const double* c, std::size_t ldc, std::size_t rows) {
  for (std::size_t i = 0; i < rows; ++i) {
    _mm_prefetch(reinterpret_cast<const char*>(c + i * ldc), _MM_HINT_T0);
  }
}

// tile <- acc + beta * tile for the first `rows` rows and the columns in `mask`.
void store_tile(const __m512d* acc, double beta, double* c, std::size_t ldc, std::size_t rows,
                __mmask8 mask) {
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

__mmask8 columns_mask(std::size_t cols) {
  return static_cast<__mmask8>((1u << cols) - 1u);
}

}  // namespace

void gemm_8x8(std::size_t kc, const double* a, const double* b, double beta, double* c,
              std::size_t ldc, std::size_t rows, std::size_t cols) {
  prefetch_rows(c, ldc, rows);
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
  store_tile(acc, beta, c, ldc, rows, columns_mask(cols));
}

// b holds the two packed strips one after the other; 8 < cols <= 16.
void gemm_8x16(std::size_t kc, const double* a, const double* b, double beta, double* c,
               std::size_t ldc, std::size_t rows, std::size_t cols) {
  prefetch_rows(c, ldc, rows);
  prefetch_rows(c + 8, ldc, rows);
  const double* b1 = b + 8 * kc;
  __m512d left[8], right[8];
  for (auto& r : left) r = _mm512_setzero_pd();
  for (auto& r : right) r = _mm512_setzero_pd();

#pragma GCC unroll 4
  for (std::size_t p = 0; p < kc; ++p) {
    const __m512d bl = _mm512_loadu_pd(b);
    const __m512d br = _mm512_loadu_pd(b1);
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i) {
      const __m512d ai = _mm512_set1_pd(a[i]);
      left[i] = _mm512_fmadd_pd(ai, bl, left[i]);
      right[i] = _mm512_fmadd_pd(ai, br, right[i]);
    }
    a += 8;
    b += 8;
    b1 += 8;
  }
  store_tile(left, beta, c, ldc, rows, columns_mask(8));
  store_tile(right, beta, c + 8, ldc, rows, columns_mask(cols - 8));
}

}  // namespace quorvex::kernels::avx512
