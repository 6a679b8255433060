#include "simd/sum_kernels.hpp"

namespace quorvex::simd {

SumKernel select_sum_kernel(const CpuFeatures& features) noexcept {
  if (features.avx512f) return sum_avx512;
  if (features.avx2) return sum_avx2;
  return sum_scalar;
}

SumKernel sum_kernel() noexcept {
  return select_sum_kernel(cpu_features());
}

}  // namespace quorvex::simd
