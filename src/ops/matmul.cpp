// The matrix product of two 2-D interval arrays. Midpoints are A_mid * B_mid;
// radii are |A_mid| * B_rad + A_rad * (|B_mid| + B_rad), each term only when
// the operand it depends on is inexact, so an exact product costs one dgemm.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <vector>

#include "gemm/gemm.hpp"
#include "ops/matmul.hpp"
#include "pool/pool.hpp"
#include "rules/ball.hpp"
#include "support/panic.hpp"

namespace quorvex {
namespace {

// From this many result rows the product runs as row blocks on the pool.
constexpr std::uint64_t kParallelRows = 256;
constexpr std::uint64_t kBlockRows = 64;
// A shared B panel is packed in this many parts, so that all workers help.
constexpr std::size_t kPackParts = 8;
// Elements per task when the derived matrices are built on the pool.
constexpr std::size_t kDerivedChunk = std::size_t{1} << 16;

// out[i] = f(i) for i < count; on the pool when `pooled`.
template <class F>
void fill_elements(double* out, std::size_t count, bool pooled, F&& f) {
  const auto range = [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) out[i] = f(i);
  };
  if (!pooled) {
    range(0, count);
    return;
  }
  pool::parallel_ranges(count, kDerivedChunk, range);
}

// An uninitialised work matrix: every element is written before it is read.
std::unique_ptr<double[]> work_matrix(std::size_t count) {
  return std::make_unique_for_overwrite<double[]>(count);
}

struct Operands {
  std::size_t k, n;
  const double* a_mid;
  const double* a_rad;
  const double* a_abs;  // |A_mid|, only when B is inexact
  const double* b_mid;
  const double* b_rad;
  const double* b_bound;  // |B_mid| + B_rad, only when A is inexact
  double* c_mid;
  double* c_rad;
};

// The three products for `rows` rows starting at `row`, B unpacked.
void product_rows(const Operands& o, std::size_t row, std::size_t rows) {
  const std::size_t a_off = row * o.k, c_off = row * o.n;
  gemm::dgemm(rows, o.k, o.n, o.a_mid + a_off, o.k, o.b_mid, 0.0, o.n, o.c_mid + c_off, o.n);
  if (o.a_abs != nullptr) {
    gemm::dgemm(rows, o.k, o.n, o.a_abs + a_off, o.k, o.b_rad, 0.0, o.n, o.c_rad + c_off, o.n);
  }
  if (o.b_bound != nullptr) {
    const double beta = o.a_abs != nullptr ? 1.0 : 0.0;
    gemm::dgemm(rows, o.k, o.n, o.a_rad + a_off, o.k, o.b_bound, beta, o.n, o.c_rad + c_off, o.n);
  }
}

// One product C <- A*B + beta*C over all m rows on the pool: B panel by B
// panel, each packed once and then shared by 64-row blocks running in
// parallel while it is still in cache. A failure inside a task (a refused
// buffer) is carried back to this thread, so it surfaces here whatever the pool
// does with exceptions. (k > 0 here.)
void pooled_product(std::size_t m, std::size_t k, std::size_t n, const double* a, const double* b,
                    double beta, double* c) {
  gemm::PanelProduct product(k, n, b, n, beta);
  const std::size_t blocks = (m + kBlockRows - 1) / kBlockRows;
  std::vector<std::exception_ptr> failures(blocks);
  for (std::size_t panel = 0; panel < product.panel_count(); ++panel) {
    pool::parallel_chunk_for_each(kPackParts,
                                  [&](std::size_t part) { product.pack(panel, part, kPackParts); });
    pool::parallel_chunk_for_each(blocks, [&](std::size_t block) {
      try {
        const std::size_t row = block * kBlockRows;
        const std::size_t rows = std::min<std::size_t>(kBlockRows, m - row);
        product.multiply(panel, rows, a + row * k, k, c + row * n, n);
      } catch (...) {
        failures[block] = std::current_exception();
      }
    });
    for (const auto& failure : failures) {
      if (failure) std::rethrow_exception(failure);
    }
  }
}

}  // namespace

Result<IntervalArray> matmul(const IntervalArray& a, const IntervalArray& b) {
  assert_eq(a.ndim(), std::uint64_t{2}, "matmul requires 2D arrays");
  assert_eq(b.ndim(), std::uint64_t{2}, "matmul requires 2D arrays");
  const std::uint64_t m = a.shape()[0], k = a.shape()[1], n = b.shape()[1];
  assert_eq(k, b.shape()[0], "matmul: inner dimensions must match");

  std::uint64_t count = 0, bytes = 0;
  if (__builtin_mul_overflow(m, n, &count) || __builtin_mul_overflow(count, 8, &bytes) ||
      bytes > static_cast<std::uint64_t>(PTRDIFF_MAX)) {
    panic("capacity overflow");
  }
  QV_TRY(result, IntervalArray::zeros(Shape{m, n}));
  // No result elements, or k == 0: the zero-filled result already holds the
  // answer (empty, or all zero balls), so no product runs.
  if (count == 0 || k == 0) return result;
  QV_TRY(runs, result.writable());

  const bool a_exact = rules::is_exact(a.radii());
  const bool b_exact = rules::is_exact(b.radii());

  const bool pooled = m >= kParallelRows;
  std::unique_ptr<double[]> a_abs, b_bound;
  if (!b_exact) {
    a_abs = work_matrix(m * k);
    const double* mids = a.midpoints().data();
    fill_elements(a_abs.get(), m * k, pooled, [&](std::size_t i) { return std::fabs(mids[i]); });
  }
  if (!a_exact) {
    b_bound = work_matrix(k * n);
    const double* mids = b.midpoints().data();
    const double* rads = b.radii().data();
    fill_elements(b_bound.get(), k * n, pooled,
                  [&](std::size_t i) { return std::fabs(mids[i]) + rads[i]; });
  }

  const Operands ops{k,
                     n,
                     a.midpoints().data(),
                     a.radii().data(),
                     a_abs.get(),
                     b.midpoints().data(),
                     b.radii().data(),
                     b_bound.get(),
                     runs.mid.data(),
                     runs.rad.data()};

  if (!pooled) {
    product_rows(ops, 0, m);
    return result;
  }
  // The products run one after another, each over all row blocks (which write
  // disjoint rows) with its own packed B.
  pooled_product(m, k, n, ops.a_mid, ops.b_mid, 0.0, ops.c_mid);
  if (ops.a_abs != nullptr) pooled_product(m, k, n, ops.a_abs, ops.b_rad, 0.0, ops.c_rad);
  if (ops.b_bound != nullptr) {
    const double beta = ops.a_abs != nullptr ? 1.0 : 0.0;
    pooled_product(m, k, n, ops.a_rad, ops.b_bound, beta, ops.c_rad);
  }
  return result;
}

}  // namespace quorvex
