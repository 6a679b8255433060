#include "simd/features.hpp"
#include "simd/sqrt_kernels.hpp"

namespace quorvex::simd {

void sqrt_exact(std::span<const double> x, std::span<double> out) {
  const CpuFeatures& features = cpu_features();
  if (features.avx512f) return sqrt_avx512(x, out);
  if (features.avx2) return sqrt_avx2(x, out);
  sqrt_sse2(x, out);
}

}  // namespace quorvex::simd
