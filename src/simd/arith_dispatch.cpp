// One dispatcher per arithmetic kernel family. Each call re-reads the cached
// feature set, checks that every slice is as long as the first one and runs
// the best variant this processor has.
#include <cstdint>

#include "simd/arith_kernels.hpp"
#include "support/panic.hpp"

namespace quorvex::simd {
namespace {

bool has_avx512_variant(ArithFamily family) {
  switch (family) {
    case ArithFamily::kIntervalSum:
    case ArithFamily::kIntervalDifference:
    case ArithFamily::kIntervalProduct:
    case ArithFamily::kMidpointSum:
    case ArithFamily::kMidpointDifference:
    case ArithFamily::kMidpointProduct:
    case ArithFamily::kMidpointQuotient:
      return true;
    default:
      return false;
  }
}

bool has_avx2_variant(ArithFamily family) {
  return family != ArithFamily::kQuotientRadius && family != ArithFamily::kEndpointDivision;
}

// Slices shorter than the first would be read or written out of bounds.
void check_length(std::size_t first, std::size_t other) {
  assert_eq(static_cast<std::uint64_t>(other), static_cast<std::uint64_t>(first),
            "kernel slices must have equal lengths");
}

template <class... Spans>
std::size_t common_length(std::size_t n, const Spans&... others) {
  (check_length(n, others.size()), ...);
  return n;
}

}  // namespace

Variant select_variant(ArithFamily family, const CpuFeatures& f) noexcept {
  if (family == ArithFamily::kEndpointDivision) return Variant::kScalar;
  if (has_avx512_variant(family) && f.avx512f &&
      (family != ArithFamily::kIntervalProduct || f.avx512dq)) {
    return Variant::kAvx512;
  }
  if (family == ArithFamily::kIntervalProduct && f.avx2 && f.fma) return Variant::kAvx2Fma;
  if (has_avx2_variant(family) && f.avx2) return Variant::kAvx2;
  return Variant::kSse2;
}

const char* variant_name(Variant variant) noexcept {
  switch (variant) {
    case Variant::kAvx512:
      return "avx512";
    case Variant::kAvx2Fma:
      return "avx2_fma";
    case Variant::kAvx2:
      return "avx2";
    case Variant::kSse2:
      return "sse2";
    case Variant::kScalar:
      return "scalar";
  }
  return "unknown";
}

const char* selected_variant_name(ArithFamily family) noexcept {
  return variant_name(select_variant(family, cpu_features()));
}

namespace {

Variant current(ArithFamily family) {
  return select_variant(family, cpu_features());
}

void run_quad(ArithFamily family, QuadKernel k512, QuadKernel kfma, QuadKernel k2, QuadKernel k1,
              In ma, In ra, In mb, In rb, Out om, Out orad) {
  const std::size_t n = common_length(ma.size(), ra, mb, rb, om, orad);
  QuadKernel kernel = k1;
  switch (current(family)) {
    case Variant::kAvx512:
      kernel = k512;
      break;
    case Variant::kAvx2Fma:
      kernel = kfma;
      break;
    case Variant::kAvx2:
      kernel = k2;
      break;
    default:
      break;
  }
  kernel(ma.data(), ra.data(), mb.data(), rb.data(), om.data(), orad.data(), n);
}

void run_binary(ArithFamily family, BinaryKernel k512, BinaryKernel k2, BinaryKernel k1, In x, In y,
                Out o) {
  const std::size_t n = common_length(x.size(), y, o);
  BinaryKernel kernel = k1;
  switch (current(family)) {
    case Variant::kAvx512:
      kernel = k512;
      break;
    case Variant::kAvx2:
      kernel = k2;
      break;
    default:
      break;
  }
  kernel(x.data(), y.data(), o.data(), n);
}

void run_broadcast(ArithFamily family, BroadcastKernel k2, BroadcastKernel k1, In x, double c,
                   Out o) {
  const std::size_t n = common_length(x.size(), o);
  const BroadcastKernel kernel = current(family) == Variant::kAvx2 ? k2 : k1;
  kernel(x.data(), c, o.data(), n);
}

}  // namespace

void interval_sum(In ma, In ra, In mb, In rb, Out om, Out orad) {
  run_quad(ArithFamily::kIntervalSum, avx512::interval_sum, nullptr, avx2::interval_sum,
           sse2::interval_sum, ma, ra, mb, rb, om, orad);
}
void interval_difference(In ma, In ra, In mb, In rb, Out om, Out orad) {
  run_quad(ArithFamily::kIntervalDifference, avx512::interval_difference, nullptr,
           avx2::interval_difference, sse2::interval_difference, ma, ra, mb, rb, om, orad);
}
void interval_product(In ma, In ra, In mb, In rb, Out om, Out orad) {
  run_quad(ArithFamily::kIntervalProduct, avx512::interval_product, avx2_fma::interval_product,
           avx2::interval_product, sse2::interval_product, ma, ra, mb, rb, om, orad);
}
void midpoint_sum(In x, In y, Out o) {
  run_binary(ArithFamily::kMidpointSum, avx512::midpoint_sum, avx2::midpoint_sum,
             sse2::midpoint_sum, x, y, o);
}
void midpoint_difference(In x, In y, Out o) {
  run_binary(ArithFamily::kMidpointDifference, avx512::midpoint_difference,
             avx2::midpoint_difference, sse2::midpoint_difference, x, y, o);
}
void midpoint_product(In x, In y, Out o) {
  run_binary(ArithFamily::kMidpointProduct, avx512::midpoint_product, avx2::midpoint_product,
             sse2::midpoint_product, x, y, o);
}
void midpoint_quotient(In x, In y, Out o) {
  run_binary(ArithFamily::kMidpointQuotient, avx512::midpoint_quotient, avx2::midpoint_quotient,
             sse2::midpoint_quotient, x, y, o);
}
void absolute_product(In x, In y, Out o) {
  run_binary(ArithFamily::kAbsoluteProduct, nullptr, avx2::absolute_product, sse2::absolute_product,
             x, y, o);
}
void broadcast_sum(In x, double c, Out o) {
  run_broadcast(ArithFamily::kBroadcastSum, avx2::broadcast_sum, sse2::broadcast_sum, x, c, o);
}
void broadcast_product(In x, double c, Out o) {
  run_broadcast(ArithFamily::kBroadcastProduct, avx2::broadcast_product, sse2::broadcast_product, x,
                c, o);
}
void sign_flip(In x, Out o) {
  const std::size_t n = common_length(x.size(), o);
  const UnaryKernel kernel =
      current(ArithFamily::kSignFlip) == Variant::kAvx2 ? avx2::sign_flip : sse2::sign_flip;
  kernel(x.data(), o.data(), n);
}
void quotient_radius(In ma, In ra, In mb, In rb, Out orad) {
  const std::size_t n = common_length(ma.size(), ra, mb, rb, orad);
  sse2::quotient_radius(ma.data(), ra.data(), mb.data(), rb.data(), orad.data(), n);
}
void endpoint_division(In ma, In ra, In mb, In rb, Out om, Out orad) {
  const std::size_t n = common_length(ma.size(), ra, mb, rb, om, orad);
  scalar::endpoint_division(ma.data(), ra.data(), mb.data(), rb.data(), om.data(), orad.data(), n);
}

}  // namespace quorvex::simd
