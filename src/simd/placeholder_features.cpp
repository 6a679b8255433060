// Temporary stand-in: replaced by CPUID/XGETBV detection.
#include "simd/features.hpp"

namespace quorvex::simd {
const CpuFeatures& cpu_features() noexcept {
  static const CpuFeatures features = [] {
    CpuFeatures f;
    __builtin_cpu_init();
    f.avx = __builtin_cpu_supports("avx");
    f.avx2 = __builtin_cpu_supports("avx2");
    f.fma = __builtin_cpu_supports("fma");
    f.avx512f = __builtin_cpu_supports("avx512f");
    f.avx512dq = __builtin_cpu_supports("avx512dq");
    return f;
  }();
  return features;
}
}  // namespace quorvex::simd
