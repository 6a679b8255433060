// C <- A*B + beta*C on row-major matrices (unit column stride), cache-blocked
// with packed panels and a micro-kernel chosen by processor features.
// beta == 0 never reads C. Reentrant: threads may run it on disjoint row ranges.
#pragma once

#include <cstddef>

namespace quorvex::gemm {

void dgemm(std::size_t m, std::size_t k, std::size_t n, const double* a, std::size_t lda,
           const double* b, double beta, std::size_t ldb, double* c, std::size_t ldc);

}  // namespace quorvex::gemm
