// The AVX2 registers plus the fused multiply-add, for the kernel files of
// src/kernels/fma/ (internal linkage, as V).
#pragma once

#include <immintrin.h>

#include "kernels/avx2/vector.hpp"

namespace quorvex::kernels {
namespace {

struct Fused : V {
  static Reg fmadd(Reg a, Reg b, Reg c) { return _mm256_fmadd_pd(a, b, c); }
};

}  // namespace
}  // namespace quorvex::kernels
