// apply_endpoint_kernel: the elementwise driver of the elementary functions.
// Each ball becomes its endpoint pair, the kernel maps the pair, and the image
// pair becomes a ball again. Small arrays run on the calling thread; larger ones
// in fixed chunks on the worker pool, each chunk filling vectors of its own that
// the caller then copies into the result in chunk order. Every element goes
// through the same steps either way, so both paths give identical bits.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "array/interval_array.hpp"
#include "ops/chunk_scratch.hpp"
#include "ops/endpoint_kernels.hpp"
#include "pool/pool.hpp"
#include "support/panic.hpp"

namespace quorvex {

// Largest element count handled on the calling thread alone.
inline constexpr std::uint64_t MATH_SERIAL_MAX = 32767;
// Elements per task on the parallel path (the last chunk holds the rest).
inline constexpr std::size_t MATH_CHUNK = 4096;

namespace endpoint_detail {

template <EndpointKernel Kernel>
inline void map_balls(const double* mid, const double* rad, double* out_mid, double* out_rad,
                      std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const double lo = mid[i] - rad[i];
    const double hi = mid[i] + rad[i];
    const EndpointPair image = Kernel(lo, hi);
    out_mid[i] = (image.lo + image.hi) * 0.5;
    out_rad[i] = (image.hi - image.lo) * 0.5;
  }
}

// One chunk's vectors as the task hands them back.
struct ChunkRuns {
  double* mid;
  double* rad;
  std::size_t len;
};

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
// filling a midpoint and a radius vector of its own (carved from the calling
// thread's scratch), then copied into the result in chunk order by the calling
// thread. A refused scratch allocation is reported before any task runs.
template <EndpointKernel Kernel>
Status map_endpoints_chunked(std::span<const double> mid, std::span<const double> rad,
                             std::span<double> out_mid, std::span<double> out_rad) {
  using endpoint_detail::ChunkRuns;
  const std::size_t n = mid.size();
  assert_eq(std::uint64_t{rad.size()}, std::uint64_t{n}, "radius run length");
  assert_eq(std::uint64_t{out_mid.size()}, std::uint64_t{n}, "result midpoint length");
  assert_eq(std::uint64_t{out_rad.size()}, std::uint64_t{n}, "result radius length");
  if (n == 0) return Ok{};
  ChunkScratch scratch(2 * n);
  if (scratch.data() == nullptr) {
    return memory_error("memory allocation of " + std::to_string(2 * n * sizeof(double)) +
                        " bytes failed");
  }
  const std::size_t chunks = n / MATH_CHUNK + (n % MATH_CHUNK != 0 ? 1 : 0);
  std::vector<ChunkRuns> runs = pool::parallel_chunk_map<ChunkRuns>(chunks, [&](std::size_t j) {
    const std::size_t start = j * MATH_CHUNK;
    const std::size_t len = std::min(n - start, MATH_CHUNK);
    // Chunk j's vectors: 2 * len values starting at 2 * start.
    const ChunkRuns chunk{scratch.data() + 2 * start, scratch.data() + 2 * start + len, len};
    endpoint_detail::map_balls<Kernel>(mid.data() + start, rad.data() + start, chunk.mid, chunk.rad,
                                       len);
    return chunk;
  });
  std::size_t start = 0;
  for (const ChunkRuns& chunk : runs) {
    std::memcpy(out_mid.data() + start, chunk.mid, chunk.len * sizeof(double));
    std::memcpy(out_rad.data() + start, chunk.rad, chunk.len * sizeof(double));
    start += chunk.len;
  }
  return Ok{};
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
    Status done = map_endpoints_chunked<Kernel>(a.midpoints(), a.radii(), out.mid, out.rad);
    if (!done) return std::move(done).error();
  }
  return result;
}

}  // namespace quorvex
