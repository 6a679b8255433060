// The entry points of the per-target kernel files: one namespace per directory
// src/kernels/<target>/, whose files are compiled with that target's
// instruction-set flags. These are the only names with external linkage such
// a file defines (scripts/check_isa.py holds every build to it); everything
// else in it has internal linkage, so no code built for one instruction set
// can stand in for shared code. The target table (simd/targets.cpp) is their
// one caller; tests and benchmarks reach them through it.
#pragma once

#include "kernels/kernel_types.hpp"

#define QV_QUAD(name)                                                               \
  void name(const double* ma, const double* ra, const double* mb, const double* rb, \
            double* out_mid, double* out_rad, std::size_t n)
#define QV_BINARY(name) void name(const double* x, const double* y, double* o, std::size_t n)
#define QV_BROADCAST(name) void name(const double* x, double c, double* o, std::size_t n)
#define QV_UNARY(name) void name(const double* x, double* o, std::size_t n)
#define QV_SUM(name) double name(const double* x, std::size_t n)
#define QV_SUM_COLUMNS(name) \
  void name(const double* x, std::ptrdiff_t stride, std::size_t rows, std::size_t cols, double* out)
#define QV_DOT(name) DotSums name(const DotInputs& in)
#define QV_RIGOROUS_SUMS(name) \
  RigorousSums name(const double* mid, const double* rad, std::size_t n)
#define QV_RIGOROUS_DOT(name) RigorousSums name(const DotInputs& in)
#define QV_PRODUCT(name) ProductEnds name(const double* mid, const double* rad, std::size_t n)
#define QV_TILE(name)                                                                 \
  void name(std::size_t kc, const double* a, const double* b, double beta, double* c, \
            std::size_t ldc, std::size_t rows, std::size_t cols)

namespace quorvex::kernels {

// The families every vector target has (sse2, avx2, avx512).
#define QV_COMMON_ARITH              \
  QV_QUAD(interval_sum);             \
  QV_QUAD(interval_difference);      \
  QV_QUAD(interval_product);         \
  QV_QUAD(interval_product_rounded); \
  QV_QUAD(interval_quotient);        \
  QV_QUAD(rigorous_sum);             \
  QV_QUAD(rigorous_difference);      \
  QV_QUAD(rigorous_product);         \
  QV_QUAD(rigorous_quotient);        \
  QV_BINARY(midpoint_sum);           \
  QV_BINARY(midpoint_difference);    \
  QV_BINARY(midpoint_product);       \
  QV_BINARY(midpoint_quotient);      \
  QV_RIGOROUS_SUMS(rigorous_sums);   \
  QV_RIGOROUS_DOT(rigorous_dot)
// ... and those AVX-512 has no variant of (sse2, avx2).
#define QV_NARROW_ARITH            \
  QV_BINARY(absolute_product);     \
  QV_BROADCAST(broadcast_sum);     \
  QV_BROADCAST(broadcast_product); \
  QV_UNARY(sign_flip)

namespace sse2 {  // baseline x86-64, 2 doubles per register
QV_COMMON_ARITH;  // interval_product unfused
QV_NARROW_ARITH;
QV_UNARY(sqrt);
QV_SUM(sum);  // scalar order from -0.0
QV_SUM_COLUMNS(sum_columns);
QV_DOT(dot);  // scalar order, software fused multiply-add
QV_TILE(gemm_4x4);
extern const EndpointBlockKernels endpoint_blocks;
// Its rigorous square root and square, in a round-upward scope per call.
std::size_t upward_sqrt_balls(const double* mid, const double* rad, double* out_mid,
                              double* out_rad, std::size_t n);
std::size_t upward_square_balls(const double* mid, const double* rad, double* out_mid,
                                double* out_rad, std::size_t n);
}  // namespace sse2

namespace avx {  // AVX without AVX2 or FMA
QV_TILE(gemm_8x4);
}  // namespace avx

namespace avx2 {  // 4 doubles per register, no FMA
QV_COMMON_ARITH;  // interval_product unfused
QV_NARROW_ARITH;
QV_UNARY(sqrt);
QV_SUM(sum);
QV_SUM_COLUMNS(sum_columns);
extern const EndpointBlockKernels endpoint_blocks;
// Its rigorous square root and square, in a round-upward scope per call.
std::size_t upward_sqrt_balls(const double* mid, const double* rad, double* out_mid,
                              double* out_rad, std::size_t n);
std::size_t upward_square_balls(const double* mid, const double* rad, double* out_mid,
                                double* out_rad, std::size_t n);
}  // namespace avx2

namespace fma {             // AVX2 and FMA
QV_QUAD(interval_product);  // fused on full vectors
QV_DOT(dot);
QV_TILE(gemm_8x4);
// Directed results from exact error terms (fused multiply-adds).
QV_QUAD(endpoint_division);
QV_PRODUCT(product);
}  // namespace fma

namespace scalar_fma {  // the FMA instruction, scalar code only
QV_DOT(dot);
}  // namespace scalar_fma

// 8 doubles per register, AVX-512F instructions only; the table still asks for
// AVX-512DQ before it picks the fused product, as the choice rules have it.
namespace avx512 {
QV_COMMON_ARITH;  // interval_product fused on full vectors
QV_UNARY(sqrt);
QV_SUM(sum);
QV_SUM_COLUMNS(sum_columns);
QV_DOT(dot);
QV_TILE(gemm_8x8);
QV_TILE(gemm_8x16);  // two 8x8 tiles side by side
// Directed results by the instructions' embedded rounding.
QV_QUAD(endpoint_division);
QV_PRODUCT(product);
extern const EndpointBlockKernels endpoint_blocks;
}  // namespace avx512

// Scalar reference code in src/kernels/scalar/, built for baseline x86-64 like
// the rest of the library; per-target kernels may call it for the elements
// their vector forms leave over.
namespace scalar {
// Division by endpoints under directed rounding: switches the rounding mode
// of the calling thread and leaves it in round-to-nearest.
QV_QUAD(endpoint_division);
// The product reduction under directed rounding; the endpoints of its first
// element; and one step with element (mid, rad) of endpoints blo, bhi: the
// least of lo*blo, lo*bhi, hi*blo, hi*bhi rounded down, the greatest rounded
// up. The steps leave the thread in round-to-nearest.
QV_PRODUCT(product);
ProductEnds product_start(double mid, double rad);
ProductEnds product_step(double lo, double hi, double mid, double rad);
}  // namespace scalar

#undef QV_COMMON_ARITH
#undef QV_NARROW_ARITH

}  // namespace quorvex::kernels

#undef QV_QUAD
#undef QV_BINARY
#undef QV_BROADCAST
#undef QV_UNARY
#undef QV_SUM
#undef QV_SUM_COLUMNS
#undef QV_DOT
#undef QV_RIGOROUS_SUMS
#undef QV_RIGOROUS_DOT
#undef QV_TILE
#undef QV_PRODUCT
