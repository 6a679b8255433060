// Processor features, detected once with CPUID/XGETBV and cached. Every kernel
// dispatcher reads them on each call.
#pragma once

namespace quorvex::simd {

struct CpuFeatures {
  bool avx = false;
  bool avx2 = false;
  bool fma = false;
  bool avx512f = false;
  bool avx512dq = false;
};

const CpuFeatures& cpu_features() noexcept;

// The detection itself, from raw CPUID/XCR0 words (exposed for tests).
CpuFeatures features_from_cpuid(unsigned leaf1_ecx, unsigned leaf7_ebx, unsigned long long xcr0);

}  // namespace quorvex::simd
