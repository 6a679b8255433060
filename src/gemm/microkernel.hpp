// Micro-kernels: one MR x NR tile of C from a packed A strip and a packed B
// strip. Each lives in a file compiled for its instruction set.
//
// a: kc columns of MR values (the strip's rows, zero-padded), column after column.
// b: kc rows of NR values (the strip's columns, zero-padded), row after row.
// The tile becomes product + beta * tile; beta == 0 never reads C. Only the
// top-left rows x cols part of the tile is written, so edge tiles that stick
// out past C stay inside it.
#pragma once

#include <cstddef>

namespace quorvex::gemm {

using MicroKernel = void (*)(std::size_t kc, const double* a, const double* b, double beta,
                             double* c, std::size_t ldc, std::size_t rows, std::size_t cols);

void dgemm_kernel_avx512_8x8(std::size_t kc, const double* a, const double* b, double beta,
                             double* c, std::size_t ldc, std::size_t rows, std::size_t cols);
void dgemm_kernel_fma_8x4(std::size_t kc, const double* a, const double* b, double beta, double* c,
                          std::size_t ldc, std::size_t rows, std::size_t cols);
void dgemm_kernel_avx_8x4(std::size_t kc, const double* a, const double* b, double beta, double* c,
                          std::size_t ldc, std::size_t rows, std::size_t cols);
void dgemm_kernel_sse2_4x4(std::size_t kc, const double* a, const double* b, double beta, double* c,
                           std::size_t ldc, std::size_t rows, std::size_t cols);

}  // namespace quorvex::gemm
