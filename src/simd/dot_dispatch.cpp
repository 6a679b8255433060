#include "simd/dot_kernels.hpp"

namespace quorvex::simd {

DotKernel select_dot_kernel(const CpuFeatures& features) noexcept {
  if (features.avx512f) return dot_avx512;
  if (features.avx2 && features.fma) return dot_fma;
  if (features.fma) return dot_scalar_fma;
  return dot_scalar;
}

DotKernel dot_kernel() noexcept {
  return select_dot_kernel(cpu_features());
}

}  // namespace quorvex::simd
