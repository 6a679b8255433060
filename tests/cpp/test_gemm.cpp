// dgemm against a long-double triple loop, for every micro-kernel variant the
// processor can run, plus its contract on beta, empty sizes, strides and threads.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "gemm/gemm.hpp"
#include "target_variants.hpp"

namespace quorvex::gemm {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A micro-kernel and tile of the target table.
using Variant = test_support::Variant<kernels::GemmTile>;
const std::vector<Variant> kAllVariants = test_support::variants_of(&simd::KernelSlots::gemm);

std::string variant_name(const Variant& v) {
  return v.name() + "_" + std::to_string(v.kernel.mr) + "x" + std::to_string(v.kernel.nr);
}

// Fixture base: a variant the processor cannot run is skipped, not run into SIGILL.
template <class Param>
class ForVariant : public testing::TestWithParam<Param> {
 protected:
  static Variant variant_of(const Variant& v) { return v; }
  template <class Tuple>
  static Variant variant_of(const Tuple& t) {
    return std::get<0>(t);
  }
  Variant variant() const { return variant_of(this->GetParam()); }
  void SetUp() override { QV_SKIP_UNLESS_RUNS_HERE(variant()); }
};

std::vector<double> random_matrix(std::size_t rows, std::size_t ld, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<double> m(rows * ld);
  for (double& x : m) x = dist(gen);
  return m;
}

// A stored m x n matrix with row stride ld; the gaps between rows hold a
// sentinel so stray writes past the last column show.
struct Strided {
  std::size_t rows, cols, ld;
  std::vector<double> data;
  double& at(std::size_t i, std::size_t j) { return data[i * ld + j]; }
};

struct Shape3 {
  std::size_t m, k, n;
};

std::string shape_name(const Shape3& s) {
  return std::to_string(s.m) + "x" + std::to_string(s.k) + "x" + std::to_string(s.n);
}

// Checks c against A*B + beta*c0 within the worst-case bound of any
// summation order, fused or not: |error| <= gamma_(k+2) * (|A||B| + |beta c0|).
void expect_product(std::size_t m, std::size_t k, std::size_t n, const double* a, std::size_t lda,
                    const double* b, std::size_t ldb, double beta, const double* c0,
                    const double* c, std::size_t ldc) {
  const double u = std::numeric_limits<double>::epsilon() / 2;
  const double gamma = (k + 2) * u / (1 - (k + 2) * u);
  std::size_t failures = 0;
  for (std::size_t i = 0; i < m; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      long double exact = 0, magnitude = 0;
      for (std::size_t p = 0; p < k; ++p) {
        exact += static_cast<long double>(a[i * lda + p]) * b[p * ldb + j];
        magnitude += std::fabs(static_cast<long double>(a[i * lda + p]) * b[p * ldb + j]);
      }
      if (beta != 0.0) {
        exact += static_cast<long double>(beta) * c0[i * ldc + j];
        magnitude += std::fabs(static_cast<long double>(beta) * c0[i * ldc + j]);
      }
      const double got = c[i * ldc + j];
      const long double err = std::fabs(got - exact);
      if (!(err <= gamma * magnitude) && ++failures <= 5) {
        ADD_FAILURE() << "C(" << i << ", " << j << ") = " << got << ", expected "
                      << static_cast<double>(exact) << " within " << gamma * magnitude;
      }
    }
  }
  EXPECT_EQ(failures, 0u);
}

using ProductParam = std::tuple<Variant, Shape3, double>;

class GemmProduct : public ForVariant<ProductParam> {};

// Shapes chosen off every block and tile size (MR, NR, 64, 256, 1024), plus
// exact multiples. With beta == 0 the C buffer starts as NaN, which must vanish.
TEST_P(GemmProduct, MatchesTripleLoop) {
  const auto [variant, shape, beta] = GetParam();
  const auto [m, k, n] = shape;
  const std::vector<double> a = random_matrix(m, k, 1);
  const std::vector<double> b = random_matrix(k, n, 2);
  std::vector<double> c0 = random_matrix(m, n, 3);
  if (beta == 0.0) c0.assign(m * n, kNaN);
  std::vector<double> c = c0;
  dgemm_with(variant.kernel, m, k, n, a.data(), k, b.data(), beta, n, c.data(), n);
  expect_product(m, k, n, a.data(), k, b.data(), n, beta, c0.data(), c.data(), n);
}

INSTANTIATE_TEST_SUITE_P(
    AllVariants, GemmProduct,
    testing::Combine(testing::ValuesIn(kAllVariants),
                     testing::Values(Shape3{1, 1, 1}, Shape3{7, 3, 5}, Shape3{300, 17, 9},
                                     Shape3{65, 257, 1025}, Shape3{64, 256, 1024},
                                     Shape3{9, 513, 6}, Shape3{1, 700, 1}, Shape3{130, 1, 70},
                                     Shape3{3, 40, 2051}),
                     testing::Values(0.0, 1.0, -2.5)),
    [](const testing::TestParamInfo<ProductParam>& info) {
      const double beta = std::get<2>(info.param);
      const std::string b = beta == 0.0 ? "beta0" : beta == 1.0 ? "beta1" : "betaNeg2p5";
      return std::string(variant_name(std::get<0>(info.param))) + "_" +
             shape_name(std::get<1>(info.param)) + "_" + b;
    });

// Panel by panel, row blocks of 64 on three threads at once (sharing the
// packing of the panel, each block starting at its own column group, taken
// in reverse order) must give dgemm's bits exactly: matmul relies on it to
// match its serial path under any thread count.
TEST_P(GemmProduct, PanelProductMatchesDgemmBits) {
  const auto [variant, shape, beta] = GetParam();
  const auto [m, k, n] = shape;
  const std::vector<double> a = random_matrix(m, k, 4);
  const std::vector<double> b = random_matrix(k, n, 5);
  std::vector<double> c0 = random_matrix(m, n, 6);
  if (beta == 0.0) c0.assign(m * n, kNaN);
  std::vector<double> expected = c0;
  dgemm_with(variant.kernel, m, k, n, a.data(), k, b.data(), beta, n, expected.data(), n);
  std::vector<double> c = c0;
  PanelProduct product(variant.kernel, k, n, {b.data(), n}, beta);
  const std::size_t blocks = (m + 63) / 64;
  for (std::size_t panel = 0; panel < product.panel_count(); ++panel) {
    product.start(panel);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < 3; ++t) {
      threads.emplace_back([&, t] {
        for (std::size_t blk = blocks - 1 - t; blk < blocks; blk -= 3) {
          const std::size_t rows = std::min<std::size_t>(64, m - blk * 64);
          product.multiply(rows, {a.data() + blk * 64 * k, k}, c.data() + blk * 64 * n, n, blk,
                           blocks);
        }
      });
    }
    for (auto& th : threads) th.join();
  }
  for (std::size_t i = 0; i < m * n; ++i) {
    ASSERT_EQ(std::bit_cast<std::uint64_t>(c[i]), std::bit_cast<std::uint64_t>(expected[i]))
        << "element " << i;
  }
}

class GemmVariant : public ForVariant<Variant> {};

// Row strides wider than the rows: only the m x n part of C changes, the gaps
// keep their sentinel, and the gaps of A and B (also sentinels) are not read.
TEST_P(GemmVariant, HonoursLeadingDimensions) {
  const std::size_t m = 19, k = 300, n = 13, lda = k + 5, ldb = n + 3, ldc = n + 7;
  std::vector<double> a = random_matrix(m, lda, 4);
  std::vector<double> b = random_matrix(k, ldb, 5);
  for (std::size_t i = 0; i < m; ++i) {
    for (std::size_t p = k; p < lda; ++p) a[i * lda + p] = kNaN;
  }
  for (std::size_t p = 0; p < k; ++p) {
    for (std::size_t j = n; j < ldb; ++j) b[p * ldb + j] = kNaN;
  }
  std::vector<double> c0 = random_matrix(m, ldc, 6);
  const double sentinel = -1234.5;
  for (std::size_t i = 0; i < m; ++i) {
    for (std::size_t j = n; j < ldc; ++j) c0[i * ldc + j] = sentinel;
  }
  std::vector<double> c = c0;
  dgemm_with(GetParam().kernel, m, k, n, a.data(), lda, b.data(), 1.0, ldb, c.data(), ldc);
  expect_product(m, k, n, a.data(), lda, b.data(), ldb, 1.0, c0.data(), c.data(), ldc);
  for (std::size_t i = 0; i < m; ++i) {
    for (std::size_t j = n; j < ldc; ++j) ASSERT_EQ(c[i * ldc + j], sentinel) << i << "," << j;
  }
}

// Magnitudes and magnitude bounds read through the packing, on either side,
// give the bits of the same product over matrices built beforehand (row
// strides, edge tiles, -0.0, infinities and NaN included).
TEST_P(GemmVariant, DerivedEntriesMatchBuiltMatrices) {
  const std::size_t m = 70, k = 300, n = 45;
  const std::size_t ld = k + 3;  // x, y: 300 rows of 303, as A (70 x 300) or B (300 x 45)
  std::vector<double> x = random_matrix(k, ld, 10), y = random_matrix(k, ld, 11);
  for (double& r : y) r = std::fabs(r);
  x[5] = -0.0;
  x[2 * ld + 7] = -kInf;
  y[3 * ld + 9] = kInf;
  x[4 * ld + 11] = kNaN;
  std::vector<double> magnitude(x.size()), bound(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    magnitude[i] = std::fabs(x[i]);
    bound[i] = std::fabs(x[i]) + y[i];
  }
  const std::vector<double> other = random_matrix(k, ld, 12);
  for (const auto& [entries, built] :
       {std::pair{Entries::kMagnitude, &magnitude}, std::pair{Entries::kBound, &bound}}) {
    const Operand derived{x.data(), ld, entries, y.data()};
    for (bool on_a : {true, false}) {
      std::vector<double> want(m * n, kNaN), got(m * n, kNaN);
      const Operand plain{built->data(), ld}, rest{other.data(), ld};
      dgemm_with(GetParam().kernel, m, k, n, on_a ? plain : rest, on_a ? rest : plain, 0.0,
                 want.data(), n);
      dgemm_with(GetParam().kernel, m, k, n, on_a ? derived : rest, on_a ? rest : derived, 0.0,
                 got.data(), n);
      for (std::size_t i = 0; i < m * n; ++i) {
        ASSERT_EQ(std::bit_cast<std::uint64_t>(got[i]), std::bit_cast<std::uint64_t>(want[i]))
            << "entries " << static_cast<int>(entries) << (on_a ? " on A" : " on B") << ", " << i;
      }
    }
  }
}

// A target's two-tile kernel gives the bits of its single tile, on every edge
// (column groups ending after one strip, partial right tiles, partial rows),
// for beta 0 (over NaN) and 2 and for a second depth block.
TEST_P(GemmVariant, PairedTilesMatchSingleTilesBitForBit) {
  const kernels::GemmTile paired = GetParam().kernel;
  if (paired.pair == nullptr) GTEST_SKIP() << "no two-tile kernel";
  kernels::GemmTile single = paired;
  single.pair = nullptr;
  for (const Shape3 s : {Shape3{13, 300, 9}, Shape3{70, 257, 45}, Shape3{65, 40, 1030}}) {
    const std::vector<double> a = random_matrix(s.m, s.k, 20), b = random_matrix(s.k, s.n, 21);
    for (double beta : {0.0, 2.0}) {
      std::vector<double> want =
          beta == 0.0 ? std::vector<double>(s.m * s.n, kNaN) : random_matrix(s.m, s.n, 22);
      std::vector<double> got = want;
      dgemm_with(single, s.m, s.k, s.n, a.data(), s.k, b.data(), beta, s.n, want.data(), s.n);
      dgemm_with(paired, s.m, s.k, s.n, a.data(), s.k, b.data(), beta, s.n, got.data(), s.n);
      for (std::size_t i = 0; i < s.m * s.n; ++i) {
        ASSERT_EQ(std::bit_cast<std::uint64_t>(got[i]), std::bit_cast<std::uint64_t>(want[i]))
            << shape_name(s) << " beta " << beta << ", element " << i;
      }
    }
  }
}

// k == 0: beta == 0 (also -0.0) writes +0.0 over NaN without reading; beta == 2 doubles C.
TEST_P(GemmVariant, EmptyDepthScalesByBeta) {
  const std::size_t m = 5, n = 7, ldc = 9;
  for (double beta : {0.0, -0.0}) {
    std::vector<double> c(m * ldc, kNaN);
    dgemm_with(GetParam().kernel, m, 0, n, nullptr, 0, nullptr, beta, n, c.data(), ldc);
    for (std::size_t i = 0; i < m; ++i) {
      for (std::size_t j = 0; j < ldc; ++j) {
        const double x = c[i * ldc + j];
        if (j < n) {
          EXPECT_EQ(std::bit_cast<std::uint64_t>(x), 0u) << "beta " << beta;
        } else {
          EXPECT_TRUE(std::isnan(x)) << "gap written at " << i << "," << j;
        }
      }
    }
  }
  std::vector<double> c = random_matrix(m, ldc, 7);
  c[3] = -kInf;
  const std::vector<double> c0 = c;
  dgemm_with(GetParam().kernel, m, 0, n, nullptr, 0, nullptr, 2.0, n, c.data(), ldc);
  for (std::size_t i = 0; i < m; ++i) {
    for (std::size_t j = 0; j < ldc; ++j) {
      EXPECT_EQ(c[i * ldc + j], j < n ? 2.0 * c0[i * ldc + j] : c0[i * ldc + j]);
    }
  }
}

// m == 0 or n == 0: nothing is read or written, not even with beta == 0.
TEST_P(GemmVariant, EmptyResultTouchesNothing) {
  std::vector<double> c(16, kNaN);
  dgemm_with(GetParam().kernel, 0, 4, 4, nullptr, 4, nullptr, 0.0, 4, c.data(), 4);
  dgemm_with(GetParam().kernel, 4, 4, 0, nullptr, 4, nullptr, 0.0, 0, c.data(), 4);
  dgemm_with(GetParam().kernel, 0, 0, 4, nullptr, 0, nullptr, 0.0, 4, c.data(), 4);
  for (double x : c) EXPECT_TRUE(std::isnan(x));
}

// Special values stay in their own rows and columns: zero padding of the
// packed edge strips must not turn an infinity into a NaN elsewhere.
TEST_P(GemmVariant, SpecialValuesStayInTheirRowsAndColumns) {
  const std::size_t m = 11, k = 6, n = 7;
  std::vector<double> a(m * k, 1.0), b(k * n, 1.0);
  a[9 * k + 2] = kInf;  // row 9
  b[4 * n + 6] = kNaN;  // column 6
  std::vector<double> c(m * n, kNaN);
  dgemm_with(GetParam().kernel, m, k, n, a.data(), k, b.data(), 0.0, n, c.data(), n);
  for (std::size_t i = 0; i < m; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      const double x = c[i * n + j];
      if (j == 6) {
        EXPECT_TRUE(std::isnan(x)) << i << "," << j;
      } else if (i == 9) {
        EXPECT_EQ(x, kInf) << i << "," << j;
      } else {
        EXPECT_EQ(x, 6.0) << i << "," << j;
      }
    }
  }
}

// Threads running disjoint row ranges of one C give the very bits of one call:
// no shared state, and a row's result does not depend on where it sits in a block.
TEST_P(GemmVariant, ConcurrentRowRangesMatchOneCall) {
  const std::size_t m = 203, k = 300, n = 150;
  const std::vector<double> a = random_matrix(m, k, 8);
  const std::vector<double> b = random_matrix(k, n, 9);
  std::vector<double> whole(m * n, kNaN), split(m * n, kNaN);
  dgemm_with(GetParam().kernel, m, k, n, a.data(), k, b.data(), 0.0, n, whole.data(), n);
  const std::size_t cuts[] = {0, 37, 64, 130, 131, m};
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t + 1 < std::size(cuts); ++t) {
    threads.emplace_back([&, lo = cuts[t], hi = cuts[t + 1]] {
      for (int rep = 0; rep < 3; ++rep) {
        dgemm_with(GetParam().kernel, hi - lo, k, n, a.data() + lo * k, k, b.data(), 0.0, n,
                   split.data() + lo * n, n);
      }
    });
  }
  for (auto& th : threads) th.join();
  for (std::size_t i = 0; i < m * n; ++i) {
    ASSERT_EQ(std::bit_cast<std::uint64_t>(split[i]), std::bit_cast<std::uint64_t>(whole[i]))
        << "element " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(AllVariants, GemmVariant, testing::ValuesIn(kAllVariants),
                         [](const testing::TestParamInfo<Variant>& info) {
                           return std::string(variant_name(info.param));
                         });

}  // namespace
}  // namespace quorvex::gemm
