// The micro-kernel variants of dgemm and how one is chosen. dgemm picks the
// best variant the processor supports on every call; tests and benchmarks use
// dgemm_with to run a particular one.
#pragma once

#include <cstddef>
#include <string_view>

#include "simd/features.hpp"

namespace quorvex::gemm {

enum class Variant {
  kAvx512,  // 8x8 tile, AVX-512F fused multiply-add
  kFma,     // 8x4 tile, AVX2 + FMA
  kAvx,     // 8x4 tile, AVX multiply and add
  kSse2,    // 4x4 tile, baseline x86-64
};

inline constexpr Variant kAllVariants[] = {Variant::kAvx512, Variant::kFma, Variant::kAvx,
                                           Variant::kSse2};

std::string_view variant_name(Variant v) noexcept;

// The first of AVX-512F, FMA+AVX2, AVX, SSE2 that `features` allows.
Variant select_variant(const simd::CpuFeatures& features) noexcept;

// Whether `v` can run on a processor with `features`.
bool variant_supported(Variant v, const simd::CpuFeatures& features) noexcept;

// dgemm on a given variant; the caller has checked that the processor supports it.
void dgemm_with(Variant v, std::size_t m, std::size_t k, std::size_t n, const double* a,
                std::size_t lda, const double* b, double beta, std::size_t ldb, double* c,
                std::size_t ldc);

}  // namespace quorvex::gemm
