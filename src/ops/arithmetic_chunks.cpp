#include "ops/arithmetic_chunks.hpp"

#include <algorithm>
#include <cstdint>

#include "pool/partition.hpp"
#include "pool/pool.hpp"
#include "support/panic.hpp"

namespace quorvex::arith {

void run_chunked(IntervalKernel kernel, std::span<const double> ma, std::span<const double> ra,
                 std::span<const double> mb, std::span<const double> rb, std::span<double> out_mid,
                 std::span<double> out_rad) {
  const std::size_t n = ma.size();
  for (std::size_t len : {ra.size(), mb.size(), rb.size(), out_mid.size(), out_rad.size()}) {
    assert_eq(static_cast<std::uint64_t>(len), static_cast<std::uint64_t>(n),
              "kernel slices must have equal lengths");
  }
  pool::parallel_ranges(n, pool::partition(n, pool::Cost::kArithmetic).chunk,
                        [&](std::size_t begin, std::size_t end) {
                          const std::size_t len = end - begin;
                          kernel(ma.subspan(begin, len), ra.subspan(begin, len),
                                 mb.subspan(begin, len), rb.subspan(begin, len),
                                 out_mid.subspan(begin, len), out_rad.subspan(begin, len));
                        });
}

void run_interval_kernel(IntervalKernel kernel, std::span<const double> ma,
                         std::span<const double> ra, std::span<const double> mb,
                         std::span<const double> rb, std::span<double> out_mid,
                         std::span<double> out_rad) {
  if (!pool::partition(ma.size(), pool::Cost::kArithmetic).pooled) {
    kernel(ma, ra, mb, rb, out_mid, out_rad);
  } else {
    run_chunked(kernel, ma, ra, mb, rb, out_mid, out_rad);
  }
}

}  // namespace quorvex::arith
