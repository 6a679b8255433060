// The kernel calls the operations make: each runs the kernel the target table
// chose for this process (simd/targets.hpp). The elementwise ones take spans
// and check that every slice is as long as the first (a shorter one would be
// read or written out of bounds); outputs may be the very same span as an
// input, but must not overlap one partially.
#pragma once

#include <span>

#include "kernels/kernel_types.hpp"

namespace quorvex::simd {

using kernels::BallPairsFn;
using kernels::BallsFn;
using kernels::DotInputs;
using kernels::DotKernel;
using kernels::DotSums;
using kernels::EndpointBlockKernels;
using kernels::FinishBlock;
using kernels::FinishDone;
using kernels::FinishFn;
using kernels::GemmTile;
using kernels::kFinishMax;
using kernels::PairFinishBlock;
using kernels::PairFinishFn;
using kernels::ProductEnds;
using kernels::ProductKernel;
using kernels::SumKernel;

using In = std::span<const double>;
using Out = std::span<double>;

void interval_sum(In ma, In ra, In mb, In rb, Out out_mid, Out out_rad);
void interval_difference(In ma, In ra, In mb, In rb, Out out_mid, Out out_rad);
// The fused variants give the elements covered by full vectors the radius
// fma(ra, rb, fma(ra, |mb|, |ma| * rb)) and the tail the unfused
// ((|mb| * ra) + (|ma| * rb)) + (ra * rb).
void interval_product(In ma, In ra, In mb, In rb, Out out_mid, Out out_rad);
// The product rule with every operation rounded, on every element and every
// target (the elementwise engine's product: its bits depend neither on the
// layout nor on the processor).
void interval_product_rounded(In ma, In ra, In mb, In rb, Out out_mid, Out out_rad);
// Quotient rule: midpoints ma / mb, radii (ra + |q| rb) / (|mb| - rb) from
// the midpoint q, for divisors that exclude zero.
void interval_quotient(In ma, In ra, In mb, In rb, Out out_mid, Out out_rad);
// The rigorous model's rules (loops/ball_rules.hpp), on every element.
void rigorous_quotient(In ma, In ra, In mb, In rb, Out out_mid, Out out_rad);
void midpoint_sum(In x, In y, Out o);
void midpoint_difference(In x, In y, Out o);
void midpoint_product(In x, In y, Out o);
void midpoint_quotient(In x, In y, Out o);
void absolute_product(In x, In y, Out o);       // |x| * y
void broadcast_sum(In x, double c, Out o);      // x + c
void broadcast_product(In x, double c, Out o);  // x * c
void sign_flip(In x, Out o);                    // bit 63 inverted
// Division by endpoints under directed rounding; leaves the thread in
// round-to-nearest. Must run on the calling thread, never on the pool.
void endpoint_division(In ma, In ra, In mb, In rb, Out out_mid, Out out_rad);
// Correctly rounded square roots (all variants give the same bits).
void sqrt_exact(In x, Out out);

// The kernels whose order of operations decides the last bits: callers that
// sum several columns take one and use it for all.
SumKernel sum_kernel() noexcept;
// Column sums with the bits of sum_kernel() on each column.
kernels::ColumnSumKernel column_sum_kernel() noexcept;
DotKernel dot_kernel() noexcept;
kernels::RigorousSumKernel rigorous_sum_kernel() noexcept;
kernels::RigorousDotKernel rigorous_dot_kernel() noexcept;
// The product reduction's kernel; leaves the thread in round-to-nearest.
ProductKernel product_kernel() noexcept;
const EndpointBlockKernels& endpoint_blocks() noexcept;
const GemmTile& gemm_tile() noexcept;

}  // namespace quorvex::simd
