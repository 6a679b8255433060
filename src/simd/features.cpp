// Processor feature detection. The flags are computed once and kept in one
// atomic word: two threads racing through the first call both compute and
// store the same value, so no lock is needed and later calls are one load.
#include "simd/features.hpp"

#include <cpuid.h>

#include <array>
#include <atomic>
#include <cstdint>

namespace quorvex::simd {
namespace {

constexpr unsigned bit(unsigned word, int n) {
  return (word >> n) & 1u;
}

// Every combination of the five flags, so cpu_features() can hand out a
// reference to an immutable object selected by the cached bit mask.
constexpr CpuFeatures from_mask(unsigned mask) {
  return CpuFeatures{(mask & 1u) != 0, (mask & 2u) != 0, (mask & 4u) != 0, (mask & 8u) != 0,
                     (mask & 16u) != 0};
}
constexpr unsigned to_mask(const CpuFeatures& f) {
  return (f.avx ? 1u : 0u) | (f.avx2 ? 2u : 0u) | (f.fma ? 4u : 0u) | (f.avx512f ? 8u : 0u) |
         (f.avx512dq ? 16u : 0u);
}
constexpr auto kAllCombinations = [] {
  std::array<CpuFeatures, 32> table{};
  for (unsigned m = 0; m < 32; ++m) table[m] = from_mask(m);
  return table;
}();

constexpr int kUnknown = -1;
std::atomic<int> cached_mask{kUnknown};

// XGETBV faults unless the OS has enabled it (OSXSAVE), so the caller checks first.
unsigned long long read_xcr0() {
  unsigned lo = 0, hi = 0;
  asm volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return (static_cast<unsigned long long>(hi) << 32) | lo;
}

CpuFeatures detect() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  const unsigned max_leaf = __get_cpuid_max(0, nullptr);
  if (max_leaf < 1) return {};
  __cpuid(1, eax, ebx, ecx, edx);
  const unsigned leaf1_ecx = ecx;
  unsigned leaf7_ebx = 0;
  // Asking for a leaf above the maximum returns the data of another leaf.
  if (max_leaf >= 7) {
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    leaf7_ebx = ebx;
  }
  const unsigned long long xcr0 = bit(leaf1_ecx, 27) ? read_xcr0() : 0;
  return features_from_cpuid(leaf1_ecx, leaf7_ebx, xcr0);
}

}  // namespace

CpuFeatures features_from_cpuid(unsigned leaf1_ecx, unsigned leaf7_ebx, unsigned long long xcr0) {
  // The OS must save the XMM (bit 1) and YMM (bit 2) state across context switches.
  const bool os_ymm = bit(leaf1_ecx, 26) && bit(leaf1_ecx, 27) && (xcr0 & 0x6) == 0x6;
  // ...and for AVX-512 also the opmask and both halves of the ZMM registers (bits 5-7).
  const bool os_zmm = os_ymm && (xcr0 & 0xE0) == 0xE0 && bit(leaf1_ecx, 12) && bit(leaf1_ecx, 29);
  CpuFeatures f;
  f.avx = os_ymm && bit(leaf1_ecx, 28);
  f.avx2 = os_ymm && bit(leaf7_ebx, 5);
  f.fma = os_ymm && bit(leaf1_ecx, 12);
  f.avx512f = os_zmm && bit(leaf7_ebx, 16);
  f.avx512dq = os_zmm && bit(leaf7_ebx, 17);
  return f;
}

const CpuFeatures& cpu_features() noexcept {
  int mask = cached_mask.load(std::memory_order_relaxed);
  if (mask == kUnknown) {
    mask = static_cast<int>(to_mask(detect()));
    cached_mask.store(mask, std::memory_order_relaxed);
  }
  return kAllCombinations[static_cast<unsigned>(mask)];
}

}  // namespace quorvex::simd
