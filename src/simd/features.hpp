// Processor features, detected once with CPUID/XGETBV and cached.
#pragma once

namespace quorvex::simd {

struct CpuFeatures {
  bool avx = false;
  bool avx2 = false;
  bool fma = false;
  bool avx512f = false;
  bool avx512dq = false;
};

// Both sets of flags together.
constexpr CpuFeatures operator|(const CpuFeatures& a, const CpuFeatures& b) noexcept {
  return {a.avx || b.avx, a.avx2 || b.avx2, a.fma || b.fma, a.avx512f || b.avx512f,
          a.avx512dq || b.avx512dq};
}

// Whether `have` includes every flag of `need`.
constexpr bool covers(const CpuFeatures& have, const CpuFeatures& need) noexcept {
  return (have.avx || !need.avx) && (have.avx2 || !need.avx2) && (have.fma || !need.fma) &&
         (have.avx512f || !need.avx512f) && (have.avx512dq || !need.avx512dq);
}

// The processor's own features (QUORVEX_TARGET does not change them: the
// kernels read the capped set of simd/targets.hpp).
const CpuFeatures& cpu_features() noexcept;

// The detection itself, from raw CPUID/XCR0 words (exposed for tests).
CpuFeatures features_from_cpuid(unsigned leaf1_ecx, unsigned leaf7_ebx, unsigned long long xcr0);

}  // namespace quorvex::simd
