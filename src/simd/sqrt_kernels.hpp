// Correctly rounded square roots of a run of doubles (the exact fast path of
// sqrt). Every variant uses the processor's IEEE square root, so all widths
// give identical bits; they differ only in how many lanes they take at once.
#pragma once

#include <span>

namespace quorvex::simd {

// out[i] = sqrt(x[i]); out must be as long as x (checked).
void sqrt_avx512(std::span<const double> x, std::span<double> out);  // 8 wide, needs AVX-512F
void sqrt_avx2(std::span<const double> x, std::span<double> out);    // 4 wide, needs AVX2
void sqrt_sse2(std::span<const double> x, std::span<double> out);    // 2 wide, baseline

// The widest variant the processor supports.
void sqrt_exact(std::span<const double> x, std::span<double> out);

}  // namespace quorvex::simd
