// 8x4 tile with AVX2 + FMA: one rounding per multiply-add.
#include "kernels/kernels.hpp"
#include "kernels/loops/gemm_tile_8x4.hpp"

namespace quorvex::kernels::fma {

void gemm_8x4(std::size_t kc, const double* a, const double* b, double beta, double* c,
              std::size_t ldc, std::size_t rows, std::size_t cols) {
  loops::kernel_8x4([](__m256d x, __m256d y, __m256d acc) { return _mm256_fmadd_pd(x, y, acc); },
                    kc, a, b, beta, c, ldc, rows, cols);
}

}  // namespace quorvex::kernels::fma
