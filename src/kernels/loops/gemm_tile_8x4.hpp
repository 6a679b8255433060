// The 8x4 tile for 256-bit vectors, shared by the AVX2+FMA and AVX kernels,
// which differ only in the multiply-add. The accumulators hold columns of the
// tile: two 4-row halves for each of the 4 columns, 8 registers, which is also
// the number of multiply-adds in flight needed to hide their latency on two
// pipes. Per step of the depth loop: 2 loads of A, 4 broadcasts of B and 8
// multiply-adds, so the load ports stay below the arithmetic rate. The tile is
// transposed to rows once at the end, since C is row-major.
//
// Internal linkage: each including file is built for its own instruction set.
#pragma once

#include <immintrin.h>

#include <cstddef>

#include "kernels/loops/gemm_tile_store.hpp"

namespace quorvex::kernels::loops {
namespace {

// Columns (c0..c3, each 4 rows) to rows (r0..r3, each 4 columns).
inline void transpose4(__m256d c0, __m256d c1, __m256d c2, __m256d c3, __m256d& r0, __m256d& r1,
                       __m256d& r2, __m256d& r3) {
  const __m256d t0 = _mm256_unpacklo_pd(c0, c1);
  const __m256d t1 = _mm256_unpackhi_pd(c0, c1);
  const __m256d t2 = _mm256_unpacklo_pd(c2, c3);
  const __m256d t3 = _mm256_unpackhi_pd(c2, c3);
  r0 = _mm256_permute2f128_pd(t0, t2, 0x20);
  r1 = _mm256_permute2f128_pd(t1, t3, 0x20);
  r2 = _mm256_permute2f128_pd(t0, t2, 0x31);
  r3 = _mm256_permute2f128_pd(t1, t3, 0x31);
}

inline void store_row(__m256d row, double beta, double* c) {
  if (beta == 0.0) {
    _mm256_storeu_pd(c, row);
  } else if (beta == 1.0) {
    _mm256_storeu_pd(c, _mm256_add_pd(row, _mm256_loadu_pd(c)));
  } else {
    const __m256d old = _mm256_loadu_pd(c);
    _mm256_storeu_pd(c, _mm256_add_pd(row, _mm256_mul_pd(_mm256_set1_pd(beta), old)));
  }
}

// The tile with `madd(x, y, acc)` as the multiply-add of the depth loop.
template <class MulAdd>
inline void kernel_8x4(MulAdd madd, std::size_t kc, const double* a, const double* b, double beta,
                       double* c, std::size_t ldc, std::size_t rows, std::size_t cols) {
  // Bring the tile's rows towards L1 while the depth loop runs.
  for (std::size_t i = 0; i < rows; ++i) {
    _mm_prefetch(reinterpret_cast<const char*>(c + i * ldc), _MM_HINT_T0);
  }

  __m256d c00 = _mm256_setzero_pd(), c10 = _mm256_setzero_pd();
  __m256d c01 = _mm256_setzero_pd(), c11 = _mm256_setzero_pd();
  __m256d c02 = _mm256_setzero_pd(), c12 = _mm256_setzero_pd();
  __m256d c03 = _mm256_setzero_pd(), c13 = _mm256_setzero_pd();

#pragma GCC unroll 4
  for (std::size_t p = 0; p < kc; ++p) {
    const __m256d a0 = _mm256_loadu_pd(a);
    const __m256d a1 = _mm256_loadu_pd(a + 4);
    __m256d bj = _mm256_broadcast_sd(b);
    c00 = madd(a0, bj, c00);
    c10 = madd(a1, bj, c10);
    bj = _mm256_broadcast_sd(b + 1);
    c01 = madd(a0, bj, c01);
    c11 = madd(a1, bj, c11);
    bj = _mm256_broadcast_sd(b + 2);
    c02 = madd(a0, bj, c02);
    c12 = madd(a1, bj, c12);
    bj = _mm256_broadcast_sd(b + 3);
    c03 = madd(a0, bj, c03);
    c13 = madd(a1, bj, c13);
    a += 8;
    b += 4;
  }

  __m256d r[8];
  transpose4(c00, c01, c02, c03, r[0], r[1], r[2], r[3]);
  transpose4(c10, c11, c12, c13, r[4], r[5], r[6], r[7]);
  if (rows == 8 && cols == 4) {
    for (std::size_t i = 0; i < 8; ++i) store_row(r[i], beta, c + i * ldc);
    return;
  }
  alignas(32) double tile[8 * 4];
  for (std::size_t i = 0; i < 8; ++i) _mm256_store_pd(tile + 4 * i, r[i]);
  store_tile_part(tile, 4, beta, c, ldc, rows, cols);
}

}  // namespace
}  // namespace quorvex::kernels::loops
