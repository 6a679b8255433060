// The rigorous kernels of every target: an element's result depends on its
// own operands only (the vector and the leftover elements round alike). The
// enclosures themselves are tested from Python against exact arithmetic, on
// every target.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "kernels/kernel_types.hpp"
#include "rules/outward.hpp"
#include "simd/features.hpp"
#include "target_variants.hpp"

namespace quorvex::simd {
namespace {

using kernels::QuadKernel;

struct Family {
  const char* name;
  Slot<QuadKernel> KernelSlots::* slot;
};

constexpr Family kFamilies[] = {{"rigorous_sum", &KernelSlots::rigorous_sum},
                                {"rigorous_difference", &KernelSlots::rigorous_difference},
                                {"rigorous_product", &KernelSlots::rigorous_product},
                                {"rigorous_quotient", &KernelSlots::rigorous_quotient}};

std::vector<double> values(std::size_t n, unsigned seed, bool radius) {
  static const double kSpecial[] = {0.0,      -0.0, 5e-324, 1e-310,          1.7e308,
                                    -1.7e308, 0.1,  3.0,    __builtin_inf(), __builtin_nan("")};
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> expo(-1000, 1000), pick(0, 7);
  std::vector<double> v(n);
  for (double& x : v) {
    x = pick(rng) == 0 ? kSpecial[rng() % std::size(kSpecial)] : std::ldexp(mant(rng), expo(rng));
    if (radius) x = std::fabs(x);
  }
  return v;
}

TEST(RigorousKernels, EveryElementDependsOnItsOwnOperandsOnly) {
  const std::size_t n = 45;
  const auto ma = values(n, 1, false), ra = values(n, 2, true);
  const auto mb = values(n, 3, false), rb = values(n, 4, true);
  for (const Family& family : kFamilies) {
    for (const auto& v : test_support::variants_of(family.slot)) {
      if (!v.runs_here()) continue;
      std::vector<double> om(n), orad(n);
      v.kernel(ma.data(), ra.data(), mb.data(), rb.data(), om.data(), orad.data(), n);
      for (std::size_t i = 0; i < n; ++i) {
        double m = 0, r = 0;
        v.kernel(&ma[i], &ra[i], &mb[i], &rb[i], &m, &r, 1);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(m), std::bit_cast<std::uint64_t>(om[i]))
            << family.name << " " << v.name() << " element " << i;
        if (!std::isnan(r) || !std::isnan(orad[i])) {
          EXPECT_EQ(std::bit_cast<std::uint64_t>(r), std::bit_cast<std::uint64_t>(orad[i]))
              << family.name << " " << v.name() << " element " << i;
        }
      }
    }
  }
}

// The upward step of radii: at least the next double above every y >= 0
// (zeros, subnormals, binade edges, the largest double) and +inf and NaN kept.
TEST(UpFromNearest, ReachesTheNextDoubleAboveEveryKindOfValue) {
  std::vector<double> ys = {0.0,
                            -0.0,
                            5e-324,
                            0x1p-1023,
                            0x1.fffffffffffffp-1023,
                            0x1p-1022,
                            0x1.0000000000001p-1022,
                            1.0,
                            1.5,
                            0x1.fffffffffffffp0,
                            2.0,
                            0x1p1000,
                            1.7976931348623157e308};
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<std::uint64_t> bits(0, 0x7FEFFFFFFFFFFFFFull);
  for (int i = 0; i < 100000; ++i) ys.push_back(std::bit_cast<double>(bits(rng)));
  for (const double y : ys) {
    EXPECT_GE(rules::up_from_nearest(y), std::nextafter(y + 0.0, __builtin_inf())) << y;
  }
  EXPECT_EQ(rules::up_from_nearest(__builtin_inf()), __builtin_inf());
  EXPECT_TRUE(std::isnan(rules::up_from_nearest(__builtin_nan(""))));
}

}  // namespace
}  // namespace quorvex::simd
