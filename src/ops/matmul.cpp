// The matrix product of two 2-D interval arrays. Midpoints are A_mid * B_mid;
// radii are |A_mid| * B_rad + A_rad * (|B_mid| + B_rad), each term only when
// the operand it depends on is inexact, so an exact product costs one dgemm.
#include <algorithm>
#include <cstdint>
#include <exception>
#include <vector>

#include "gemm/gemm.hpp"
#include "ops/matmul.hpp"
#include "pool/pool.hpp"
#include "rules/ball.hpp"
#include "rules/outward.hpp"
#include "support/panic.hpp"

namespace quorvex {
namespace {

// From this many result rows the product runs as row blocks on the pool.
constexpr std::uint64_t kParallelRows = 256;
constexpr std::uint64_t kBlockRows = 64;

// One of the (up to) three products C <- A*B + beta*C. |A_mid| and
// |B_mid| + B_rad are read through the packing (gemm::Entries), so neither
// derived matrix is ever stored.
struct Product {
  gemm::Operand a, b;
  double beta;
  double* c;
};

// `op` from row `row` on.
gemm::Operand from_row(const gemm::Operand& op, std::size_t row) {
  const std::size_t offset = row * op.ld;
  return {op.x + offset, op.ld, op.entries, op.y != nullptr ? op.y + offset : nullptr};
}

// One product over all m rows on the pool: B panel by B panel, each shared by
// the 64-row blocks that run in parallel and pack it between them while it
// is still in cache. `zero_rad`, when not null, also gets the blocks' rows
// cleared (the radii of an exact product). A failure inside a task (a refused
// buffer) is carried back to this thread, so it surfaces here whatever the
// pool does with exceptions. (k > 0 here.)
void pooled_product(std::size_t m, std::size_t k, std::size_t n, const Product& p,
                    double* zero_rad) {
  gemm::PanelProduct product(k, n, p.b, p.beta);
  const std::size_t blocks = (m + kBlockRows - 1) / kBlockRows;
  std::vector<std::exception_ptr> failures(blocks);
  for (std::size_t panel = 0; panel < product.panel_count(); ++panel) {
    product.start(panel);
    pool::parallel_chunk_for_each(blocks, [&](std::size_t block) {
      try {
        const std::size_t row = block * kBlockRows;
        const std::size_t rows = std::min<std::size_t>(kBlockRows, m - row);
        if (zero_rad != nullptr && panel == 0) {
          std::fill(zero_rad + row * n, zero_rad + (row + rows) * n, 0.0);
        }
        product.multiply(rows, from_row(p.a, row), p.c + row * n, n, block, blocks);
      } catch (...) {
        failures[block] = std::current_exception();
      }
    });
    for (const auto& failure : failures) {
      if (failure) std::rethrow_exception(failure);
    }
  }
}

// The products one after another, each over all m rows: serially below
// kParallelRows rows (or with one pool thread, where handing the row blocks
// over would only add the waits for the worker; the serial product gives the
// same bits), otherwise each over all row blocks (which write disjoint rows)
// with its own shared B panels. `zero_rad`, when not null, is cleared first.
void run_products(std::size_t m, std::size_t k, std::size_t n, const Product* products,
                  std::size_t count, double* zero_rad) {
  if (m < kParallelRows || pool::pool_thread_count() == 1) {
    if (zero_rad != nullptr) std::fill(zero_rad, zero_rad + m * n, 0.0);
    for (std::size_t i = 0; i < count; ++i) {
      const Product& p = products[i];
      gemm::dgemm(m, k, n, p.a, p.b, p.beta, p.c, n);
    }
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    pooled_product(m, k, n, products[i], i == 0 ? zero_rad : nullptr);
  }
}

// The result's element count, or the panic a layout too large calls for.
std::uint64_t result_count(std::uint64_t m, std::uint64_t n) {
  std::uint64_t count = 0, bytes = 0;
  if (__builtin_mul_overflow(m, n, &count) || __builtin_mul_overflow(count, 8, &bytes) ||
      bytes > static_cast<std::uint64_t>(PTRDIFF_MAX)) {
    panic("capacity overflow");
  }
  return count;
}

}  // namespace

Result<IntervalArray> matmul(const IntervalArray& a, const IntervalArray& b) {
  assert_eq(a.ndim(), std::uint64_t{2}, "matmul requires 2D arrays");
  assert_eq(b.ndim(), std::uint64_t{2}, "matmul requires 2D arrays");
  const std::uint64_t m = a.shape()[0], k = a.shape()[1], n = b.shape()[1];
  assert_eq(k, b.shape()[0], "matmul: inner dimensions must match");

  const std::uint64_t count = result_count(m, n);
  // No result elements, or k == 0: the zero array already holds the answer
  // (empty, or all zero balls), so no product runs.
  if (count == 0 || k == 0) return IntervalArray::zeros(Shape{m, n});
  // Every element is written below: the midpoints by the first product
  // (beta == 0), the radii by the second or third, or cleared when both
  // operands are exact.
  QV_TRY(result, IntervalArray::for_overwrite(Shape{m, n}));
  QV_TRY(runs, result.writable());

  const bool a_exact = rules::is_exact(a.radii());
  const bool b_exact = rules::is_exact(b.radii());
  const double* a_mid = a.midpoints().data();
  const double* b_mid = b.midpoints().data();
  double* c_rad = runs.rad.data();

  Product products[3];
  std::size_t count_products = 0;
  products[count_products++] = {{a_mid, k}, {b_mid, n}, 0.0, runs.mid.data()};
  if (!b_exact) {
    products[count_products++] = {
        {a_mid, k, gemm::Entries::kMagnitude}, {b.radii().data(), n}, 0.0, c_rad};
  }
  if (!a_exact) {
    products[count_products++] = {{a.radii().data(), k},
                                  {b_mid, n, gemm::Entries::kBound, b.radii().data()},
                                  b_exact ? 0.0 : 1.0,
                                  c_rad};
  }
  double* const zero_rad = a_exact && b_exact ? c_rad : nullptr;

  run_products(m, k, n, products, count_products, zero_rad);
  return result;
}

Result<IntervalArray> matmul_rigorous(const IntervalArray& a, const IntervalArray& b) {
  assert_eq(a.ndim(), std::uint64_t{2}, "matmul requires 2D arrays");
  assert_eq(b.ndim(), std::uint64_t{2}, "matmul requires 2D arrays");
  const std::uint64_t m = a.shape()[0], k = a.shape()[1], n = b.shape()[1];
  assert_eq(k, b.shape()[0], "matmul: inner dimensions must match");
  const std::uint64_t count = result_count(m, n);
  if (count == 0 || k == 0) return IntervalArray::zeros(Shape{m, n});
  QV_TRY(result, IntervalArray::for_overwrite(Shape{m, n}));
  QV_TRY(runs, result.writable());
  // With gamma the a priori bound on the rounding of a sum of k products,
  // |fl(A_mid B_mid) - A_mid B_mid| <= gamma |A_mid| |B_mid| + k eta, so the
  // radius |A_mid| (B_rad + gamma |B_mid|) + A_rad (|B_mid| + B_rad) + k eta
  // holds the exact products and the midpoint's rounding: three products as
  // in the first-order model, over matrices rounded upward. Their own
  // rounding (sums of nonnegative terms, 2k of them with the accumulation)
  // is covered by the factor 1 / (1 - gamma_2k+1) and the underflow terms.
  const double gamma = rules::gamma_up(k);
  const auto bm = b.midpoints(), br = b.radii();
  std::vector<double> near(bm.size()), bound;
  for (std::size_t i = 0; i < near.size(); ++i) {
    near[i] = rules::next_up(br[i] + rules::next_up(gamma * rules::abs_bits(bm[i])));
  }
  const bool a_exact = rules::is_exact(a.radii());
  Product products[3];
  std::size_t count_products = 0;
  products[count_products++] = {{a.midpoints().data(), k}, {bm.data(), n}, 0.0, runs.mid.data()};
  products[count_products++] = {
      {a.midpoints().data(), k, gemm::Entries::kMagnitude}, {near.data(), n}, 0.0, runs.rad.data()};
  if (!a_exact) {
    bound.resize(bm.size());
    for (std::size_t i = 0; i < bound.size(); ++i) {
      bound[i] = rules::next_up(rules::abs_bits(bm[i]) + br[i]);
    }
    products[count_products++] = {{a.radii().data(), k}, {bound.data(), n}, 1.0, runs.rad.data()};
  }
  run_products(m, k, n, products, count_products, nullptr);
  const double factor = rules::next_up(1.0 / rules::next_down(1.0 - rules::gamma_up(2 * k + 1)));
  const double underflow = rules::next_up(3.0 * static_cast<double>(k) * 0x1p-1074);
  for (std::size_t i = 0; i < count; ++i) {
    double rad = rules::next_up(rules::next_up(runs.rad[i] + underflow) * factor);
    const double mid = runs.mid[i];
    if (!(mid > -rules::kInf && mid < rules::kInf)) rad = rules::kInf;
    runs.rad[i] = rad;
  }
  return result;
}

}  // namespace quorvex
