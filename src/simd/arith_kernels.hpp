// Elementwise arithmetic kernels. Each family has one dispatcher (namespace
// quorvex::simd) that picks a variant from the cached processor features on
// every call; the variants themselves (namespaces sse2, avx2, avx2_fma,
// avx512, scalar) are declared here so tests and benchmarks can run each one
// directly on the same data.
//
// Every variant of a family computes bit-identical results, except the
// interval product: the fused variants give the elements covered by full
// vectors the radius fma(ra, rb, fma(ra, |mb|, |ma| * rb)) and the remaining
// tail elements the unfused ((|mb| * ra) + (|ma| * rb)) + (ra * rb).
//
// Variants take raw pointers and an element count and allow an output to be
// the very same buffer as an input (in-place); partial overlap is not allowed.
// Dispatchers take spans and require every slice to be as long as the first.
#pragma once

#include <cstddef>
#include <span>

#include "simd/features.hpp"

namespace quorvex::simd {

enum class ArithFamily {
  kIntervalSum,
  kIntervalDifference,
  kIntervalProduct,
  kMidpointSum,
  kMidpointDifference,
  kMidpointProduct,
  kMidpointQuotient,
  kAbsoluteProduct,
  kBroadcastSum,
  kBroadcastProduct,
  kSignFlip,
  kQuotientRadius,
  kEndpointDivision,
};

enum class Variant { kAvx512, kAvx2Fma, kAvx2, kSse2, kScalar };

// The variant a dispatcher runs for `family` on a processor with `features`.
Variant select_variant(ArithFamily family, const CpuFeatures& features) noexcept;
// "avx512", "avx2_fma", "avx2", "sse2" or "scalar".
const char* variant_name(Variant variant) noexcept;
// The name of the variant chosen on this machine.
const char* selected_variant_name(ArithFamily family) noexcept;

using In = std::span<const double>;
using Out = std::span<double>;

// Dispatchers.
void interval_sum(In ma, In ra, In mb, In rb, Out out_mid, Out out_rad);
void interval_difference(In ma, In ra, In mb, In rb, Out out_mid, Out out_rad);
void interval_product(In ma, In ra, In mb, In rb, Out out_mid, Out out_rad);
void midpoint_sum(In x, In y, Out o);
void midpoint_difference(In x, In y, Out o);
void midpoint_product(In x, In y, Out o);
void midpoint_quotient(In x, In y, Out o);
void absolute_product(In x, In y, Out o);       // |x| * y
void broadcast_sum(In x, double c, Out o);      // x + c
void broadcast_product(In x, double c, Out o);  // x * c
void sign_flip(In x, Out o);                    // bit 63 inverted
void quotient_radius(In ma, In ra, In mb, In rb, Out out_rad);
// Division by endpoints under directed rounding; leaves the thread in
// round-to-nearest. Must run on the calling thread, never on the pool.
void endpoint_division(In ma, In ra, In mb, In rb, Out out_mid, Out out_rad);

using QuadKernel = void (*)(const double* ma, const double* ra, const double* mb, const double* rb,
                            double* out_mid, double* out_rad, std::size_t n);
using BinaryKernel = void (*)(const double* x, const double* y, double* o, std::size_t n);
using BroadcastKernel = void (*)(const double* x, double c, double* o, std::size_t n);
using UnaryKernel = void (*)(const double* x, double* o, std::size_t n);
using RadiusKernel = void (*)(const double* ma, const double* ra, const double* mb,
                              const double* rb, double* out_rad, std::size_t n);

#define QUORVEX_DECLARE_QUAD(name)                                                  \
  void name(const double* ma, const double* ra, const double* mb, const double* rb, \
            double* out_mid, double* out_rad, std::size_t n)
#define QUORVEX_DECLARE_BINARY(name) \
  void name(const double* x, const double* y, double* o, std::size_t n)
#define QUORVEX_DECLARE_BROADCAST(name) \
  void name(const double* x, double c, double* o, std::size_t n)

namespace avx512 {  // AVX-512F; the product also needs AVX-512DQ
QUORVEX_DECLARE_QUAD(interval_sum);
QUORVEX_DECLARE_QUAD(interval_difference);
QUORVEX_DECLARE_QUAD(interval_product);  // fused, 8 wide
QUORVEX_DECLARE_BINARY(midpoint_sum);
QUORVEX_DECLARE_BINARY(midpoint_difference);
QUORVEX_DECLARE_BINARY(midpoint_product);
QUORVEX_DECLARE_BINARY(midpoint_quotient);
}  // namespace avx512

namespace avx2_fma {                     // AVX2 and FMA
QUORVEX_DECLARE_QUAD(interval_product);  // fused, 4 wide
}  // namespace avx2_fma

namespace avx2 {
QUORVEX_DECLARE_QUAD(interval_sum);
QUORVEX_DECLARE_QUAD(interval_difference);
QUORVEX_DECLARE_QUAD(interval_product);  // unfused
QUORVEX_DECLARE_BINARY(midpoint_sum);
QUORVEX_DECLARE_BINARY(midpoint_difference);
QUORVEX_DECLARE_BINARY(midpoint_product);
QUORVEX_DECLARE_BINARY(midpoint_quotient);
QUORVEX_DECLARE_BINARY(absolute_product);
QUORVEX_DECLARE_BROADCAST(broadcast_sum);
QUORVEX_DECLARE_BROADCAST(broadcast_product);
void sign_flip(const double* x, double* o, std::size_t n);
}  // namespace avx2

namespace sse2 {  // baseline x86-64
QUORVEX_DECLARE_QUAD(interval_sum);
QUORVEX_DECLARE_QUAD(interval_difference);
QUORVEX_DECLARE_QUAD(interval_product);
QUORVEX_DECLARE_BINARY(midpoint_sum);
QUORVEX_DECLARE_BINARY(midpoint_difference);
QUORVEX_DECLARE_BINARY(midpoint_product);
QUORVEX_DECLARE_BINARY(midpoint_quotient);
QUORVEX_DECLARE_BINARY(absolute_product);
QUORVEX_DECLARE_BROADCAST(broadcast_sum);
QUORVEX_DECLARE_BROADCAST(broadcast_product);
void sign_flip(const double* x, double* o, std::size_t n);
void quotient_radius(const double* ma, const double* ra, const double* mb, const double* rb,
                     double* out_rad, std::size_t n);
}  // namespace sse2

namespace scalar {
QUORVEX_DECLARE_QUAD(endpoint_division);
}  // namespace scalar

#undef QUORVEX_DECLARE_QUAD
#undef QUORVEX_DECLARE_BINARY
#undef QUORVEX_DECLARE_BROADCAST

}  // namespace quorvex::simd
