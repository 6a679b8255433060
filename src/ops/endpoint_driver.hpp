// apply_endpoint_kernel: the elementwise driver of the elementary functions.
// Each ball becomes its endpoint pair, the kernel maps the pair, and the image
// pair becomes a ball again. Small arrays run on the calling thread; larger ones
// in fixed chunks on the worker pool, each chunk writing its own range of the
// result. Every element goes through the same steps either way, so both paths
// give identical bits.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <utility>

#include "array/interval_array.hpp"
#include "ops/endpoint_kernels.hpp"
#include "pool/pool.hpp"
#include "support/panic.hpp"

namespace quorvex {

// Largest element count handled on the calling thread alone.
inline constexpr std::uint64_t MATH_SERIAL_MAX = 32767;
// Elements per task on the parallel path (the last chunk holds the rest).
inline constexpr std::size_t MATH_CHUNK = 4096;

namespace endpoint_detail {

// Elements per block of library calls in the two-call form: the values wait
// in two small arrays on the stack until the block is finished.
inline constexpr std::size_t kCallBlock = 16;

template <EndpointKernel Kernel>
inline void map_balls(const double* mid, const double* rad, double* out_mid, double* out_rad,
                      std::size_t n) {
  using Form = typename TwoCallForm<Kernel>::type;
  if constexpr (std::is_void_v<Form>) {
    for (std::size_t i = 0; i < n; ++i) {
      const double lo = mid[i] - rad[i];
      const double hi = mid[i] + rad[i];
      const EndpointPair image = Kernel(lo, hi);
      out_mid[i] = (image.lo + image.hi) * 0.5;
      out_rad[i] = (image.hi - image.lo) * 0.5;
    }
  } else {
    double at_lo[kCallBlock];
    double at_hi[kCallBlock];
    for (std::size_t base = 0; base < n; base += kCallBlock) {
      const std::size_t len = std::min(kCallBlock, n - base);
      for (std::size_t i = 0; i < len; ++i) {
        at_lo[i] = Form::call(mid[base + i] - rad[base + i]);
        at_hi[i] = Form::call(mid[base + i] + rad[base + i]);
      }
      for (std::size_t i = 0; i < len; ++i) {
        const double lo = mid[base + i] - rad[base + i];
        const double hi = mid[base + i] + rad[base + i];
        const EndpointPair image = Form::finish(lo, hi, at_lo[i], at_hi[i]);
        out_mid[base + i] = (image.lo + image.hi) * 0.5;
        out_rad[base + i] = (image.hi - image.lo) * 0.5;
      }
    }
  }
}

}  // namespace endpoint_detail

// The serial steps over equally long runs (the operand's and the result's).
template <EndpointKernel Kernel>
void map_endpoints_serial(std::span<const double> mid, std::span<const double> rad,
                          std::span<double> out_mid, std::span<double> out_rad) {
  assert_eq(std::uint64_t{rad.size()}, std::uint64_t{mid.size()}, "radius run length");
  assert_eq(std::uint64_t{out_mid.size()}, std::uint64_t{mid.size()}, "result midpoint length");
  assert_eq(std::uint64_t{out_rad.size()}, std::uint64_t{mid.size()}, "result radius length");
  endpoint_detail::map_balls<Kernel>(mid.data(), rad.data(), out_mid.data(), out_rad.data(),
                                     mid.size());
}

// The parallel steps, whatever the length: ceil(n / MATH_CHUNK) pool tasks, each
// mapping its own element range straight into the result. The ranges are
// disjoint and each element goes through the same steps as on the serial path,
// so the bits match it; writing in place instead of into per-chunk vectors that
// are copied afterwards saves a full write and read of the result.
template <EndpointKernel Kernel>
void map_endpoints_chunked(std::span<const double> mid, std::span<const double> rad,
                           std::span<double> out_mid, std::span<double> out_rad) {
  const std::size_t n = mid.size();
  assert_eq(std::uint64_t{rad.size()}, std::uint64_t{n}, "radius run length");
  assert_eq(std::uint64_t{out_mid.size()}, std::uint64_t{n}, "result midpoint length");
  assert_eq(std::uint64_t{out_rad.size()}, std::uint64_t{n}, "result radius length");
  const std::size_t chunks = n / MATH_CHUNK + (n % MATH_CHUNK != 0 ? 1 : 0);
  pool::parallel_chunk_for_each(chunks, [&](std::size_t j) {
    const std::size_t start = j * MATH_CHUNK;
    const std::size_t len = std::min(n - start, MATH_CHUNK);
    endpoint_detail::map_balls<Kernel>(mid.data() + start, rad.data() + start,
                                       out_mid.data() + start, out_rad.data() + start, len);
  });
}

// A new array of a's shape holding Kernel's image of every element.
template <EndpointKernel Kernel>
Result<IntervalArray> apply_endpoint_kernel(const IntervalArray& a) {
  QV_TRY(result, IntervalArray::zeros(a.shape()));
  if (a.size() == 0) return result;
  QV_TRY(out, result.writable());
  if (a.size() <= MATH_SERIAL_MAX) {
    map_endpoints_serial<Kernel>(a.midpoints(), a.radii(), out.mid, out.rad);
  } else {
    map_endpoints_chunked<Kernel>(a.midpoints(), a.radii(), out.mid, out.rad);
  }
  return result;
}

}  // namespace quorvex
