#include "simd/dispatch.hpp"

#include <cstdint>

#include "simd/targets.hpp"
#include "support/panic.hpp"

namespace quorvex::simd {
namespace {

void check_length(std::size_t first, std::size_t other) {
  assert_eq(static_cast<std::uint64_t>(other), static_cast<std::uint64_t>(first),
            "kernel slices must have equal lengths");
}

template <class... Spans>
std::size_t common_length(std::size_t n, const Spans&... others) {
  (check_length(n, others.size()), ...);
  return n;
}

const Kernels& k() {
  return active_kernels();
}

}  // namespace

void interval_sum(In ma, In ra, In mb, In rb, Out om, Out orad) {
  const std::size_t n = common_length(ma.size(), ra, mb, rb, om, orad);
  k().interval_sum.kernel(ma.data(), ra.data(), mb.data(), rb.data(), om.data(), orad.data(), n);
}
void interval_difference(In ma, In ra, In mb, In rb, Out om, Out orad) {
  const std::size_t n = common_length(ma.size(), ra, mb, rb, om, orad);
  k().interval_difference.kernel(ma.data(), ra.data(), mb.data(), rb.data(), om.data(), orad.data(),
                                 n);
}
void interval_product(In ma, In ra, In mb, In rb, Out om, Out orad) {
  const std::size_t n = common_length(ma.size(), ra, mb, rb, om, orad);
  k().interval_product.kernel(ma.data(), ra.data(), mb.data(), rb.data(), om.data(), orad.data(),
                              n);
}
void midpoint_sum(In x, In y, Out o) {
  k().midpoint_sum.kernel(x.data(), y.data(), o.data(), common_length(x.size(), y, o));
}
void midpoint_difference(In x, In y, Out o) {
  k().midpoint_difference.kernel(x.data(), y.data(), o.data(), common_length(x.size(), y, o));
}
void midpoint_product(In x, In y, Out o) {
  k().midpoint_product.kernel(x.data(), y.data(), o.data(), common_length(x.size(), y, o));
}
void midpoint_quotient(In x, In y, Out o) {
  k().midpoint_quotient.kernel(x.data(), y.data(), o.data(), common_length(x.size(), y, o));
}
void absolute_product(In x, In y, Out o) {
  k().absolute_product.kernel(x.data(), y.data(), o.data(), common_length(x.size(), y, o));
}
void broadcast_sum(In x, double c, Out o) {
  k().broadcast_sum.kernel(x.data(), c, o.data(), common_length(x.size(), o));
}
void broadcast_product(In x, double c, Out o) {
  k().broadcast_product.kernel(x.data(), c, o.data(), common_length(x.size(), o));
}
void sign_flip(In x, Out o) {
  k().sign_flip.kernel(x.data(), o.data(), common_length(x.size(), o));
}
void rigorous_quotient(In ma, In ra, In mb, In rb, Out om, Out orad) {
  const std::size_t n = common_length(ma.size(), ra, mb, rb, om, orad);
  k().rigorous_quotient.kernel(ma.data(), ra.data(), mb.data(), rb.data(), om.data(), orad.data(),
                               n);
}
void interval_product_rounded(In ma, In ra, In mb, In rb, Out om, Out orad) {
  const std::size_t n = common_length(ma.size(), ra, mb, rb, om, orad);
  k().interval_product_rounded.kernel(ma.data(), ra.data(), mb.data(), rb.data(), om.data(),
                                      orad.data(), n);
}
void interval_quotient(In ma, In ra, In mb, In rb, Out om, Out orad) {
  const std::size_t n = common_length(ma.size(), ra, mb, rb, om, orad);
  k().interval_quotient.kernel(ma.data(), ra.data(), mb.data(), rb.data(), om.data(), orad.data(),
                               n);
}
void endpoint_division(In ma, In ra, In mb, In rb, Out om, Out orad) {
  const std::size_t n = common_length(ma.size(), ra, mb, rb, om, orad);
  k().endpoint_division.kernel(ma.data(), ra.data(), mb.data(), rb.data(), om.data(), orad.data(),
                               n);
}
void sqrt_exact(In x, Out out) {
  k().sqrt.kernel(x.data(), out.data(), common_length(x.size(), out));
}

kernels::ColumnSumKernel column_sum_kernel() noexcept {
  return k().sum_columns.kernel;
}

SumKernel sum_kernel() noexcept {
  return k().sum.kernel;
}
kernels::RigorousSumKernel rigorous_sum_kernel() noexcept {
  return k().rigorous_sums.kernel;
}

kernels::RigorousDotKernel rigorous_dot_kernel() noexcept {
  return k().rigorous_dot.kernel;
}

DotKernel dot_kernel() noexcept {
  return k().dot.kernel;
}
ProductKernel product_kernel() noexcept {
  return k().product.kernel;
}
const EndpointBlockKernels& endpoint_blocks() noexcept {
  return *k().endpoint_blocks.kernel;
}
const GemmTile& gemm_tile() noexcept {
  return k().gemm.kernel;
}

}  // namespace quorvex::simd
