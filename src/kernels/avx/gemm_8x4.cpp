// 8x4 tile with AVX alone: separate multiply and add (no FMA on these processors).
#include "kernels/kernels.hpp"
#include "kernels/loops/gemm_tile_8x4.hpp"

namespace quorvex::kernels::avx {

void gemm_8x4(std::size_t kc, const double* a, const double* b, double beta, double* c,
              std::size_t ldc, std::size_t rows, std::size_t cols) {
  loops::kernel_8x4(
      [](__m256d x, __m256d y, __m256d acc) { return _mm256_add_pd(_mm256_mul_pd(x, y), acc); }, kc,
      a, b, beta, c, ldc, rows, cols);
}

}  // namespace quorvex::kernels::avx
