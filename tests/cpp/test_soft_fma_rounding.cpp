// The software fused multiply-add against the C library's fma (correctly
// rounded by definition) on the cases that break naive emulations: heavy
// cancellation, exact ties, subnormal results, overflowing products that the
// addend brings back, signed zeros and special values.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "kernels/scalar/soft_fma.hpp"

namespace quorvex::kernels::scalar {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMinSub = std::numeric_limits<double>::denorm_min();

std::uint64_t bits(double x) {
  return std::bit_cast<std::uint64_t>(x);
}

::testing::AssertionResult agrees_with_libm(double a, double b, double c) {
  const double want = std::fma(a, b, c);
  const double got = soft_fma(a, b, c);
  if (bits(got) == bits(want) || (std::isnan(got) && std::isnan(want))) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << std::hexfloat << "fma(" << a << ", " << b << ", " << c
                                       << ") gave " << got << ", expected " << want;
}

struct HardCase {
  const char* name;
  double a, b, c;
};

class SoftFmaHardCase : public ::testing::TestWithParam<HardCase> {};

TEST_P(SoftFmaHardCase, SameBitsAsLibm) {
  const HardCase& h = GetParam();
  EXPECT_TRUE(agrees_with_libm(h.a, h.b, h.c));
}

// (1 + 2^-52)^2 = 1 + 2^-51 + 2^-104: only the last term decides many cases.
constexpr double kOnePlus = 1.0 + 0x1p-52;

INSTANTIATE_TEST_SUITE_P(
    Cases, SoftFmaHardCase,
    ::testing::Values(
        HardCase{"cancellation_leaves_product_error", kOnePlus, kOnePlus, -(1.0 + 0x1p-51)},
        HardCase{"cancellation_to_exact_zero_is_plus_zero", 3.0, 5.0, -15.0},
        HardCase{"negative_exact_zero_sum", -3.0, 5.0, 15.0},
        HardCase{"tie_broken_up_by_tiny_addend", 1.0 + 0x1p-52, 1.0 + 0x1p-1, 0x1p-200},
        HardCase{"tie_broken_down_by_tiny_addend", 1.0 + 0x1p-52, 1.0 + 0x1p-1, -0x1p-200},
        HardCase{"tie_to_even_without_addend", 1.0 + 0x1p-52, 1.0 + 0x1p-1, 0.0},
        HardCase{"addend_far_below_product", 0x1p600, 0x1p400, 0x1p-1000},
        HardCase{"product_far_below_addend", 0x1p-600, 0x1p-400, 1.0},
        HardCase{"product_below_half_ulp_of_power_of_two", -0x1p-54, 1.0 - 0x1p-53, 1.0},
        HardCase{"overflowing_product_brought_back", DBL_MAX, 1.5, -DBL_MAX},
        HardCase{"overflowing_product_stays_infinite", DBL_MAX, 4.0, -DBL_MAX},
        HardCase{"overflow_by_rounding", DBL_MAX, 1.0, DBL_MAX * 0x1p-53},
        HardCase{"just_below_overflow_threshold", DBL_MAX, 1.0, DBL_MAX * 0x1p-54},
        HardCase{"subnormal_result_from_cancellation", 0x1p-500 * kOnePlus, 0x1p-500 * kOnePlus,
                 -0x1p-1000},
        HardCase{"subnormal_tie_rounds_to_even", 3 * 0x1p-600, 0x1p-475, 0.0},
        HardCase{"subnormal_tie_broken_by_addend", 3 * 0x1p-600, 0x1p-475, kMinSub},
        HardCase{"subnormal_half_quantum_to_zero", 3 * 0x1p-600, 0x1p-475, -kMinSub},
        HardCase{"tiny_negative_product_keeps_sign", -0x1p-600, 0x1p-600, 0.0},
        HardCase{"tiny_negative_product_plus_zero", -0x1p-600, 0x1p-600, -0.0},
        HardCase{"top_subnormal_binade", 0x1.fffffffffffffp-512, 0x1.0000000000001p-511,
                 -0x1p-1074},
        HardCase{"rounds_up_to_smallest_normal", 0x1.fffffffffffffp-512, 0x1.fffffffffffffp-511,
                 0x1p-1074},
        HardCase{"subnormal_operands", kMinSub, 0x1p1000, 3 * kMinSub},
        HardCase{"all_subnormal", 0x0.8p-1022, 0x0.8p-1022, 0x0.0000000000003p-1022},
        HardCase{"signed_zero_product_plus_zero", -0.0, 5.0, 0.0},
        HardCase{"signed_zero_product_minus_zero", -0.0, 5.0, -0.0},
        HardCase{"inf_times_zero", kInf, 0.0, 1.0},
        HardCase{"inf_product_minus_inf", kInf, 2.0, -kInf},
        HardCase{"finite_product_plus_inf", DBL_MAX, 2.0, -kInf},
        HardCase{"nan_addend", 1.0, 2.0, kNaN}, HardCase{"nan_factor", kNaN, 0.0, 1.0}),
    [](const auto& info) { return std::string(info.param.name); });

// Random operands drawn to land in one region of difficulty each.
enum class Region { AnyBits, Cancellation, SubnormalResult, NearOverflow, IntegerTies };

class SoftFmaRandom : public ::testing::TestWithParam<Region> {};

double random_bits(std::mt19937_64& rng) {
  return std::bit_cast<double>(rng());
}

double random_with_exponent(std::mt19937_64& rng, int lo, int hi) {
  std::uniform_real_distribution<double> mant(1.0, 2.0);
  std::uniform_int_distribution<int> expo(lo, hi);
  return std::ldexp(mant(rng), expo(rng)) * ((rng() & 1) ? -1.0 : 1.0);
}

TEST_P(SoftFmaRandom, SameBitsAsLibm) {
  std::mt19937_64 rng(static_cast<unsigned>(GetParam()) * 7919 + 1);
  int failures = 0;
  for (int i = 0; i < 200000 && failures < 5; ++i) {
    double a = 0, b = 0, c = 0;
    switch (GetParam()) {
      case Region::AnyBits:
        a = random_bits(rng), b = random_bits(rng), c = random_bits(rng);
        break;
      case Region::Cancellation: {
        a = random_with_exponent(rng, -60, 60), b = random_with_exponent(rng, -60, 60);
        // c within a few ulps of -a*b, sometimes exactly -a*b rounded.
        const double p = -(a * b);
        c = std::bit_cast<double>(std::bit_cast<std::uint64_t>(p) + (rng() % 9) - 4);
        break;
      }
      case Region::SubnormalResult:
        a = random_with_exponent(rng, -560, -500), b = random_with_exponent(rng, -560, -500);
        c = (rng() & 1) ? std::bit_cast<double>(rng() & 0x800fffffffffffffull)  // subnormal
                        : -(a * b) * (1 + std::ldexp(1.0, -static_cast<int>(rng() % 60)));
        break;
      case Region::NearOverflow:
        a = random_with_exponent(rng, 500, 530), b = random_with_exponent(rng, 490, 500);
        c = random_with_exponent(rng, 1018, 1023);
        break;
      case Region::IntegerTies: {
        // Odd integers under 2^27: their product has up to 54 bits, so about
        // half of them are exact ties between two doubles.
        a = static_cast<double>((rng() % (1u << 27)) | 1u | (1u << 26));
        b = static_cast<double>((rng() % (1u << 27)) | 1u | (1u << 26));
        const int shift = static_cast<int>(rng() % 1100) - 550;
        a = std::ldexp(a, shift);
        b = std::ldexp(b, -shift - static_cast<int>(rng() % 1000));
        c = (rng() % 3 == 0) ? 0.0 : std::ldexp(a * b, -60 - static_cast<int>(rng() % 40));
        if (rng() & 1) c = -c;
        break;
      }
    }
    const auto ok = agrees_with_libm(a, b, c);
    if (!ok) ++failures;
    EXPECT_TRUE(ok);
  }
}

std::string region_name(const ::testing::TestParamInfo<Region>& info) {
  switch (info.param) {
    case Region::AnyBits:
      return "AnyBits";
    case Region::Cancellation:
      return "Cancellation";
    case Region::SubnormalResult:
      return "SubnormalResult";
    case Region::NearOverflow:
      return "NearOverflow";
    case Region::IntegerTies:
      return "IntegerTies";
  }
  return "Unknown";
}

INSTANTIATE_TEST_SUITE_P(Regions, SoftFmaRandom,
                         ::testing::Values(Region::AnyBits, Region::Cancellation,
                                           Region::SubnormalResult, Region::NearOverflow,
                                           Region::IntegerTies),
                         region_name);

}  // namespace
}  // namespace quorvex::kernels::scalar
