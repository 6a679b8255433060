// The exact-sqrt vector kernels: every width must give the bits of the scalar
// IEEE square root, on full vectors and tails, and write nothing past the end.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "simd/dispatch.hpp"
#include "support/panic.hpp"
#include "target_variants.hpp"

namespace quorvex::simd {
namespace {

using SqrtVariantOf = test_support::Variant<kernels::UnaryKernel>;

class SqrtVariant : public ::testing::TestWithParam<SqrtVariantOf> {
 protected:
  void SetUp() override { QV_SKIP_UNLESS_RUNS_HERE(GetParam()); }
};

// Specials and ordinary values; a run of length n takes them cyclically from a
// rotating offset so that every special lands in vector lanes and in the tail.
const std::vector<double>& inputs() {
  static const std::vector<double> values = {
      4.0,
      -4.0,
      0.0,
      -0.0,
      std::numeric_limits<double>::infinity(),
      -std::numeric_limits<double>::infinity(),
      std::numeric_limits<double>::quiet_NaN(),
      -std::numeric_limits<double>::quiet_NaN(),
      std::numeric_limits<double>::denorm_min(),
      std::numeric_limits<double>::min(),
      std::numeric_limits<double>::max(),
      2.0,
      0.1,
      1e-300,
      12345.678,
      -std::numeric_limits<double>::denorm_min(),
      3.0,
  };
  return values;
}

TEST_P(SqrtVariant, MatchesScalarSqrtBitForBitOnLengthsUpTo40) {
  const std::vector<double>& pool = inputs();
  constexpr std::size_t kGuard = 3;
  constexpr double kCanary = -123.5;
  for (std::size_t n = 0; n <= 40; ++n) {
    for (std::size_t offset = 0; offset < pool.size(); offset += 5) {
      std::vector<double> x(n);
      for (std::size_t i = 0; i < n; ++i) x[i] = pool[(i + offset + n) % pool.size()];
      std::vector<double> out(n + kGuard, kCanary);
      GetParam().kernel(x.data(), out.data(), n);
      for (std::size_t i = 0; i < n; ++i) {
        ASSERT_EQ(std::bit_cast<std::uint64_t>(out[i]),
                  std::bit_cast<std::uint64_t>(std::sqrt(x[i])))
            << "n=" << n << " i=" << i << " x=" << x[i];
      }
      for (std::size_t g = n; g < n + kGuard; ++g) ASSERT_EQ(out[g], kCanary) << "n=" << n;
    }
  }
}

TEST(SqrtDispatch, OutputLengthMismatchPanics) {
  std::vector<double> x(5), out(4);
  EXPECT_THROW(sqrt_exact(x, out), Panic);
}

INSTANTIATE_TEST_SUITE_P(Widths, SqrtVariant,
                         ::testing::ValuesIn(test_support::variants_of(&KernelSlots::sqrt)),
                         [](const auto& info) { return info.param.name(); });

}  // namespace
}  // namespace quorvex::simd
