// 8x4 tile with AVX2 + FMA: one rounding per multiply-add.
#include "gemm/microkernel.hpp"
#include "gemm/tile_8x4_avx.hpp"

namespace quorvex::gemm {

void dgemm_kernel_fma_8x4(std::size_t kc, const double* a, const double* b, double beta, double* c,
                          std::size_t ldc, std::size_t rows, std::size_t cols) {
  kernel_8x4([](__m256d x, __m256d y, __m256d acc) { return _mm256_fmadd_pd(x, y, acc); }, kc, a, b,
             beta, c, ldc, rows, cols);
}

}  // namespace quorvex::gemm
