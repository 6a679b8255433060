// apply_endpoint_kernel: the elementwise driver of the elementary functions.
// Each ball becomes its endpoint pair, the kernel maps the pair, and the image
// pair becomes a ball again. Small arrays run on the calling thread; larger ones
// in fixed chunks on the worker pool, each chunk writing its own range of the
// result. Every element goes through the same steps either way, so both paths
// give identical bits.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <utility>

#include "array/interval_array.hpp"
#include "ops/endpoint_kernels.hpp"
#include "pool/partition.hpp"
#include "pool/pool.hpp"
#include "pool/worker_pool.hpp"
#include "simd/dispatch.hpp"
#include "support/panic.hpp"

namespace quorvex {

namespace endpoint_detail {

// Elements per block of library calls in the two-call form: the endpoints and
// values wait in small arrays on the stack until the block is finished.
inline constexpr std::size_t kCallBlock = 32;
static_assert(kCallBlock <= simd::kFinishMax);

// The ball of an image pair, as element i of the result.
inline void write_ball(double* out_mid, double* out_rad, std::size_t i, EndpointPair image) {
  const Ball ball = rules::ball_from_endpoints(image.lo, image.hi);
  out_mid[i] = ball.mid;
  out_rad[i] = ball.rad;
}

// Element i by the per-element kernel.
template <EndpointKernel Kernel>
inline void map_one(const double* mid, const double* rad, double* out_mid, double* out_rad,
                    std::size_t i) {
  write_ball(out_mid, out_rad, i, Kernel(mid[i] - rad[i], mid[i] + rad[i]));
}

// The library calls of one block in a loop of their own, then the vector
// finishing step; what it leaves (a short tail, sin/cos/tan elements that may
// hold a candidate point) is finished one element at a time.
template <class Form>
inline void map_block(const double* mid, const double* rad, double* out_mid, double* out_rad,
                      std::size_t len, const simd::EndpointBlockKernels& vector) {
  double lo[kCallBlock];
  double hi[kCallBlock];
  double at_lo[kCallBlock];
  double at_hi[kCallBlock];
  for (std::size_t i = 0; i < len; ++i) {
    lo[i] = mid[i] - rad[i];
    hi[i] = mid[i] + rad[i];
    at_lo[i] = Form::call(lo[i]);
    at_hi[i] = Form::call(hi[i]);
  }
  const simd::FinishDone done =
      (vector.*Form::block)({lo, hi, at_lo, at_hi, out_mid, out_rad, len});
  const auto finish_one = [&](std::size_t i) {
    write_ball(out_mid, out_rad, i, Form::finish(lo[i], hi[i], at_lo[i], at_hi[i]));
  };
  for (std::size_t i = done.count; i < len; ++i) finish_one(i);
  for (std::uint64_t rest = done.scan; rest != 0; rest &= rest - 1) {
    finish_one(static_cast<std::size_t>(std::countr_zero(rest)));
  }
}

template <EndpointKernel Kernel>
inline void map_balls(const double* mid, const double* rad, double* out_mid, double* out_rad,
                      std::size_t n, const simd::EndpointBlockKernels& vector) {
  using Form = typename TwoCallForm<Kernel>::type;
  constexpr auto balls = VectorForm<Kernel>::balls;
  if constexpr (balls != nullptr) {
    const std::size_t done = (vector.*balls)(mid, rad, out_mid, out_rad, n);
    for (std::size_t i = done; i < n; ++i) map_one<Kernel>(mid, rad, out_mid, out_rad, i);
  } else if constexpr (std::is_void_v<Form>) {
    for (std::size_t i = 0; i < n; ++i) map_one<Kernel>(mid, rad, out_mid, out_rad, i);
  } else {
    for (std::size_t base = 0; base < n; base += kCallBlock) {
      map_block<Form>(mid + base, rad + base, out_mid + base, out_rad + base,
                      std::min(kCallBlock, n - base), vector);
    }
  }
}

}  // namespace endpoint_detail

// The serial steps over equally long runs (the operand's and the result's).
// `vector` picks the variant of the vector steps; every variant gives the same
// bits.
template <EndpointKernel Kernel>
void map_endpoints_serial(std::span<const double> mid, std::span<const double> rad,
                          std::span<double> out_mid, std::span<double> out_rad,
                          const simd::EndpointBlockKernels& vector = simd::endpoint_blocks()) {
  assert_eq(std::uint64_t{rad.size()}, std::uint64_t{mid.size()}, "radius run length");
  assert_eq(std::uint64_t{out_mid.size()}, std::uint64_t{mid.size()}, "result midpoint length");
  assert_eq(std::uint64_t{out_rad.size()}, std::uint64_t{mid.size()}, "result radius length");
  endpoint_detail::map_balls<Kernel>(mid.data(), rad.data(), out_mid.data(), out_rad.data(),
                                     mid.size(), vector);
}

namespace endpoint_detail {

// The parallel steps, whatever the length: the partitioner's chunks for
// functions, given to `run_ranges` (a pool's range division), each mapping
// its own element range straight into the result. The ranges are disjoint and each element
// goes through the same steps as on the serial path, so the bits match it;
// writing in place instead of into per-chunk vectors that are copied
// afterwards saves a full write and read of the result.
template <EndpointKernel Kernel, class RunRanges>
void map_ranges(RunRanges run_ranges, std::span<const double> mid, std::span<const double> rad,
                std::span<double> out_mid, std::span<double> out_rad) {
  const std::size_t n = mid.size();
  assert_eq(std::uint64_t{rad.size()}, std::uint64_t{n}, "radius run length");
  assert_eq(std::uint64_t{out_mid.size()}, std::uint64_t{n}, "result midpoint length");
  assert_eq(std::uint64_t{out_rad.size()}, std::uint64_t{n}, "result radius length");
  if (n == 0) return;
  const simd::EndpointBlockKernels& vector = simd::endpoint_blocks();
  run_ranges(n, pool::partition(n, pool::Cost::kFunction).chunk,
             [&](std::size_t begin, std::size_t end) {
               map_balls<Kernel>(mid.data() + begin, rad.data() + begin, out_mid.data() + begin,
                                 out_rad.data() + begin, end - begin, vector);
             });
}

}  // namespace endpoint_detail

// The parallel steps on `pool`.
template <EndpointKernel Kernel>
void map_endpoints_chunked(pool::WorkerPool& pool, std::span<const double> mid,
                           std::span<const double> rad, std::span<double> out_mid,
                           std::span<double> out_rad) {
  const auto on_pool = [&pool](std::size_t n, std::size_t chunk, auto body) {
    pool.range_for_each(n, chunk, body);
  };
  endpoint_detail::map_ranges<Kernel>(on_pool, mid, rad, out_mid, out_rad);
}

// The same on the process-wide pool.
template <EndpointKernel Kernel>
void map_endpoints_chunked(std::span<const double> mid, std::span<const double> rad,
                           std::span<double> out_mid, std::span<double> out_rad) {
  endpoint_detail::map_ranges<Kernel>(&pool::parallel_ranges, mid, rad, out_mid, out_rad);
}

// A new array of a's shape holding Kernel's image of every element.
template <EndpointKernel Kernel>
Result<IntervalArray> apply_endpoint_kernel(const IntervalArray& a) {
  // Every element is written below, so the result skips the zero fill.
  QV_TRY(result, IntervalArray::for_overwrite(a.shape()));
  if (a.size() == 0) return result;
  QV_TRY(out, result.writable());
  if (!pool::partition(static_cast<std::size_t>(a.size()), pool::Cost::kFunction).pooled) {
    map_endpoints_serial<Kernel>(a.midpoints(), a.radii(), out.mid, out.rad);
  } else {
    map_endpoints_chunked<Kernel>(a.midpoints(), a.radii(), out.mid, out.rad);
  }
  return result;
}

}  // namespace quorvex
