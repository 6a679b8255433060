// Endpoint kernels, the endpoint driver and the elementary-function entry points.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ops/endpoint_driver.hpp"
#include "ops/endpoint_kernels.hpp"
#include "ops/math.hpp"
#include "pool/pool.hpp"

namespace quorvex {
namespace {

using endpoint_detail::saturating_to_i64;
using endpoint_detail::scan_candidates;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t kI64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kI64Min = std::numeric_limits<std::int64_t>::min();

std::uint64_t bits(double x) {
  return std::bit_cast<std::uint64_t>(x);
}

// Bit equality, except that any NaN matches any NaN: kernels built from
// std::numeric_limits NaNs and from inf - inf differ only in the NaN sign.
bool same(double x, double y) {
  if (std::isnan(x) || std::isnan(y)) return std::isnan(x) && std::isnan(y);
  return bits(x) == bits(y);
}

std::string show(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", x);
  return buf;
}

// ---------------------------------------------------------------- helpers

struct SaturationCase {
  double x;
  std::int64_t expected;
};

class SaturatingConversion : public ::testing::TestWithParam<SaturationCase> {};

TEST_P(SaturatingConversion, TruncatesAndSaturates) {
  EXPECT_EQ(saturating_to_i64(GetParam().x), GetParam().expected) << show(GetParam().x);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SaturatingConversion,
    ::testing::Values(SaturationCase{kNaN, 0}, SaturationCase{-kNaN, 0},
                      SaturationCase{kInf, kI64Max}, SaturationCase{-kInf, kI64Min},
                      SaturationCase{9223372036854775808.0, kI64Max},
                      SaturationCase{-9223372036854775808.0, kI64Min},
                      SaturationCase{1e300, kI64Max}, SaturationCase{-1e300, kI64Min},
                      // Largest double below 2^63 converts exactly.
                      SaturationCase{9223372036854774784.0, 9223372036854774784},
                      SaturationCase{-3.9, -3}, SaturationCase{3.9, 3}, SaturationCase{-0.0, 0}));

TEST(ScanCandidates, StopsAtLargestIndexWithoutOverflow) {
  int visits = 0;
  const bool stopped = scan_candidates(kI64Max - 2, kI64Max, 0.0, [&](double p) {
    EXPECT_EQ(bits(p), bits(static_cast<double>(kI64Max) * kPi));  // all three round alike
    return ++visits > 3;
  });
  EXPECT_FALSE(stopped);
  EXPECT_EQ(visits, 3);
}

TEST(ScanCandidates, EmptyWhenFirstExceedsLast) {
  int visits = 0;
  EXPECT_FALSE(scan_candidates(kI64Max, kI64Min, 0.0, [&](double) { return ++visits, false; }));
  EXPECT_EQ(visits, 0);
}

// ---------------------------------------------------------------- kernels

struct KernelCase {
  const char* what;
  EndpointKernel kernel;
  double lo, hi;
  double expect_lo, expect_hi;
};

void PrintTo(const KernelCase& c, std::ostream* os) {
  *os << c.what;
}

class EndpointKernels : public ::testing::TestWithParam<KernelCase> {};

TEST_P(EndpointKernels, MapsPair) {
  const KernelCase c = GetParam();
  const EndpointPair got = c.kernel(c.lo, c.hi);
  EXPECT_TRUE(same(got.lo, c.expect_lo)) << show(got.lo) << " vs " << show(c.expect_lo);
  EXPECT_TRUE(same(got.hi, c.expect_hi)) << show(got.hi) << " vs " << show(c.expect_hi);
}

const double kSin13 = std::sin(1.3);
const double kTanHalfPi = std::tan(kHalfPi);

INSTANTIATE_TEST_SUITE_P(
    Sqrt, EndpointKernels,
    ::testing::Values(KernelCase{"sqrt below zero", sqrt_endpoints, -5.0, -3.0, kNaN, kNaN},
                      KernelCase{"sqrt negative lo clamps", sqrt_endpoints, -1.0, 4.0, 0.0, 2.0},
                      KernelCase{"sqrt NaN lo clamps", sqrt_endpoints, kNaN, 9.0, 0.0, 3.0},
                      KernelCase{"sqrt NaN hi", sqrt_endpoints, 1.0, kNaN, kNaN, 1.0},
                      KernelCase{"sqrt hi -0 is not below zero", sqrt_endpoints, -1.0, -0.0, 0.0,
                                 -0.0},
                      KernelCase{"sqrt inf", sqrt_endpoints, 4.0, kInf, 2.0, kInf}));

INSTANTIATE_TEST_SUITE_P(
    Exp, EndpointKernels,
    ::testing::Values(
        KernelCase{"exp above high edge", exp_endpoints, 1.0, 709.5, std::exp(1.0), kInf},
        KernelCase{"exp at high edge stays finite", exp_endpoints, 1.0, 709.0, std::exp(1.0),
                   std::exp(709.0)},
        KernelCase{"exp below low edge", exp_endpoints, -745.5, 1.0, 0.0, std::exp(1.0)},
        KernelCase{"exp at low edge", exp_endpoints, -745.0, 1.0, std::exp(-745.0), std::exp(1.0)},
        KernelCase{"exp high edge wins over low", exp_endpoints, -800.0, 710.0, 0.0, kInf},
        KernelCase{"exp reversed pair is ordered", exp_endpoints, 2.0, 1.0, std::exp(1.0),
                   std::exp(2.0)},
        KernelCase{"exp NaN", exp_endpoints, kNaN, 1.0, std::exp(1.0), kNaN}));

INSTANTIATE_TEST_SUITE_P(
    Logs, EndpointKernels,
    ::testing::Values(
        KernelCase{"ln hi zero", ln_endpoints, -1.0, 0.0, kNaN, kNaN},
        KernelCase{"ln hi -0", ln_endpoints, -1.0, -0.0, kNaN, kNaN},
        KernelCase{"ln lo zero floors", ln_endpoints, 0.0, 1.0, kLnFloor, 0.0},
        KernelCase{"ln lo NaN floors", ln_endpoints, kNaN, 1.0, kLnFloor, 0.0},
        KernelCase{"ln smallest subnormal lo", ln_endpoints, 5e-324, 1.0, std::log(5e-324), 0.0},
        KernelCase{"ln NaN hi", ln_endpoints, 1.0, kNaN, kNaN, 0.0},
        KernelCase{"log2 lo negative floors", log2_endpoints, -3.0, 8.0, kLog2Floor, 3.0},
        KernelCase{"log2 hi zero", log2_endpoints, 0.0, 0.0, kNaN, kNaN},
        KernelCase{"log10 lo zero floors", log10_endpoints, 0.0, 1000.0, kLog10Floor,
                   std::log10(1000.0)},
        KernelCase{"log10 inf", log10_endpoints, 10.0, kInf, std::log10(10.0), kInf}));

INSTANTIATE_TEST_SUITE_P(
    Abs, EndpointKernels,
    ::testing::Values(KernelCase{"abs nonnegative unchanged, not ordered", abs_endpoints, 2.0, 1.0,
                                 2.0, 1.0},
                      KernelCase{"abs nonpositive negated", abs_endpoints, -4.0, -2.0, 2.0, 4.0},
                      KernelCase{"abs straddling left heavy", abs_endpoints, -5.0, 3.0, 0.0, 5.0},
                      KernelCase{"abs NaN lo, hi negative", abs_endpoints, kNaN, -3.0, kNaN, 3.0},
                      KernelCase{"abs NaN lo, hi positive", abs_endpoints, kNaN, 2.0, 0.0, 2.0},
                      KernelCase{"abs NaN hi", abs_endpoints, -2.0, kNaN, 0.0, 2.0},
                      KernelCase{"abs -inf +inf", abs_endpoints, -kInf, kInf, 0.0, kInf}));

INSTANTIATE_TEST_SUITE_P(
    Sin, EndpointKernels,
    ::testing::Values(
        KernelCase{"sin width exactly two pi", sin_endpoints, 1.0, 1.0 + kTwoPi, -1.0, 1.0},
        KernelCase{"sin candidate inside", sin_endpoints, 1.3, 1.7, kSin13, std::sin(kHalfPi)},
        KernelCase{"sin candidate on lower end", sin_endpoints, kHalfPi, 2.0, std::sin(2.0),
                   std::sin(kHalfPi)},
        KernelCase{"sin two candidates", sin_endpoints, 1.0, 5.0, std::sin(kPi + kHalfPi),
                   std::sin(kHalfPi)},
        KernelCase{"sin -inf +inf", sin_endpoints, -kInf, kInf, -1.0, 1.0},
        KernelCase{"sin NaN and inf", sin_endpoints, kNaN, kInf, kNaN, kNaN},
        KernelCase{"sin -inf and NaN", sin_endpoints, -kInf, kNaN, kNaN, kNaN},
        KernelCase{"sin huge point", sin_endpoints, 1e300, 1e300, std::sin(1e300),
                   std::sin(1e300)}));

INSTANTIATE_TEST_SUITE_P(
    Cos, EndpointKernels,
    ::testing::Values(KernelCase{"cos candidate zero", cos_endpoints, -1.0, 1.0, std::cos(1.0),
                                 1.0},
                      KernelCase{"cos candidate pi", cos_endpoints, 3.0, 3.5, std::cos(kPi),
                                 std::max(std::cos(3.0), std::cos(3.5))},
                      KernelCase{"cos NaN and inf", cos_endpoints, kNaN, kInf, kNaN, kNaN},
                      KernelCase{"cos reversed pair scans nothing", cos_endpoints, 1.0, -1.0,
                                 std::cos(1.0), std::cos(1.0)}));

INSTANTIATE_TEST_SUITE_P(
    Tan, EndpointKernels,
    ::testing::Values(KernelCase{"tan pole on upper end", tan_endpoints, 1.0, kHalfPi,
                                 std::tan(1.0), kTanHalfPi},
                      KernelCase{"tan poles on both ends, width pi", tan_endpoints, -kHalfPi,
                                 kHalfPi, std::tan(-kHalfPi), kTanHalfPi},
                      KernelCase{"tan -inf +inf", tan_endpoints, -kInf, kInf, -kInf, kInf},
                      KernelCase{"tan NaN and inf", tan_endpoints, kNaN, kInf, kNaN, kNaN},
                      // Neighbouring doubles 16 apart: no rounded candidate lies strictly
                      // between them, yet the interval holds five poles.
                      KernelCase{"tan wide interval where doubles are sparse", tan_endpoints, 1e17,
                                 std::nextafter(1e17, kInf), -kInf, kInf},
                      // The candidate indices saturate here.
                      KernelCase{"tan wide interval beyond the index range", tan_endpoints, 1e299,
                                 1e300, -kInf, kInf},
                      KernelCase{"tan point beyond the index range", tan_endpoints, 1e300, 1e300,
                                 std::tan(1e300), std::tan(1e300)}));

// ---------------------------------------------------------------- driver

// Random balls with the special values mixed in.
void random_balls(std::size_t n, std::uint32_t seed, std::vector<double>& mid,
                  std::vector<double>& rad) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> wide(-20.0, 20.0);
  std::uniform_real_distribution<double> width(0.0, 4.0);
  const double specials[] = {0.0, -0.0, kInf, -kInf, kNaN, 1e308, -745.5, 709.5, kHalfPi, kPi};
  mid.resize(n);
  rad.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    mid[i] = (rng() % 50 == 0) ? specials[rng() % 10] : wide(rng);
    rad[i] = (rng() % 50 == 0) ? specials[rng() % 5] : width(rng);
  }
}

template <EndpointKernel K>
struct KernelTag {
  static constexpr EndpointKernel kernel = K;
};

template <class Tag>
class EndpointDriver : public ::testing::Test {};

using AllKernels =
    ::testing::Types<KernelTag<sqrt_endpoints>, KernelTag<exp_endpoints>, KernelTag<ln_endpoints>,
                     KernelTag<log2_endpoints>, KernelTag<log10_endpoints>,
                     KernelTag<abs_endpoints>, KernelTag<sin_endpoints>, KernelTag<cos_endpoints>,
                     KernelTag<tan_endpoints>>;
TYPED_TEST_SUITE(EndpointDriver, AllKernels);

// The chunked path runs on the process pool (several threads unless
// RAYON_NUM_THREADS says otherwise) and must match the serial steps bit for bit.
TYPED_TEST(EndpointDriver, ChunkedEqualsSerialAtChunkEdges) {
  constexpr EndpointKernel K = TypeParam::kernel;
  SCOPED_TRACE("pool threads: " + std::to_string(pool::pool_thread_count()));
  // One element, a partial chunk, whole chunks and a one-element last chunk.
  for (const std::size_t n : {std::size_t{1}, std::size_t{4095}, std::size_t{8192},
                              std::size_t{8193}, std::size_t{40000}}) {
    std::vector<double> mid, rad;
    random_balls(n, static_cast<std::uint32_t>(n), mid, rad);
    std::vector<double> sm(n), sr(n), cm(n, 7.0), cr(n, 7.0);
    map_endpoints_serial<K>(mid, rad, sm, sr);
    map_endpoints_chunked<K>(mid, rad, cm, cr);
    for (std::size_t i = 0; i < n; ++i) {
      ASSERT_EQ(bits(sm[i]), bits(cm[i])) << "n=" << n << " i=" << i;
      ASSERT_EQ(bits(sr[i]), bits(cr[i])) << "n=" << n << " i=" << i;
    }
  }
}

// The driver evaluates two-call kernels a block at a time (calls first, then
// the finishing step); the result must be the per-element kernel's, including
// at block edges and for the special values.
TYPED_TEST(EndpointDriver, BlockedCallsEqualPerElementKernel) {
  constexpr EndpointKernel K = TypeParam::kernel;
  for (const std::size_t n :
       {std::size_t{0}, std::size_t{1}, std::size_t{15}, std::size_t{16}, std::size_t{17},
        std::size_t{63}, std::size_t{64}, std::size_t{65}, std::size_t{1000}}) {
    std::vector<double> mid, rad;
    random_balls(n, static_cast<std::uint32_t>(n + 77), mid, rad);
    std::vector<double> om(n), orad(n);
    map_endpoints_serial<K>(mid, rad, om, orad);
    for (std::size_t i = 0; i < n; ++i) {
      const EndpointPair image = K(mid[i] - rad[i], mid[i] + rad[i]);
      ASSERT_TRUE(same(om[i], (image.lo + image.hi) * 0.5)) << "n=" << n << " i=" << i;
      ASSERT_TRUE(same(orad[i], (image.hi - image.lo) * 0.5)) << "n=" << n << " i=" << i;
    }
  }
}

// The quick test that skips the candidate scan must never skip a scan that
// would find a candidate: intervals placed right at, just around and far from
// the candidate points, both inclusion rules.
TEST(EndpointDriver, QuickCandidateTestNeverHidesACandidate) {
  std::mt19937_64 rng(11);
  std::uniform_int_distribution<std::int64_t> index(-2000000, 2000000);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  // p itself, or its neighbour below or above.
  const auto near = [](double p, int which) {
    return which == 0 ? p : std::nextafter(p, which == 1 ? -kInf : kInf);
  };
  int skipped = 0;
  for (int trial = 0; trial < 200000; ++trial) {
    const double offset = trial % 2 == 0 ? kHalfPi : 0.0;
    const double p = static_cast<double>(index(rng)) * kPi + offset;
    double lo = p;
    double hi = p;
    switch (trial % 4) {
      case 0:  // candidate on an endpoint, or one ulp away
        lo = near(p, trial / 4 % 3);
        hi = lo + unit(rng);
        break;
      case 1:
        hi = near(p, trial / 4 % 3);
        lo = hi - unit(rng);
        break;
      case 2:  // somewhere between candidates
        lo = p + unit(rng) * kPi;
        hi = lo + unit(rng) * (kPi / 4);
        break;
      default:  // wide
        lo = p - unit(rng) * 4.0;
        hi = lo + unit(rng) * 8.0;
    }
    const auto k_first = saturating_to_i64(std::floor((lo - offset) / kPi));
    const auto k_last = saturating_to_i64(std::ceil((hi - offset) / kPi));
    const bool closed =
        scan_candidates(k_first, k_last, offset, [&](double c) { return lo <= c && c <= hi; });
    const bool open =
        scan_candidates(k_first, k_last, offset, [&](double c) { return lo < c && c < hi; });
    if (endpoint_detail::no_candidate_between<false>(lo, hi, offset)) {
      ++skipped;
      ASSERT_FALSE(closed) << show(lo) << " " << show(hi);
    }
    if (endpoint_detail::no_candidate_between<true>(lo, hi, offset)) {
      ASSERT_FALSE(open) << show(lo) << " " << show(hi);
    }
  }
  EXPECT_GT(skipped, 10000);  // the quick test does skip most candidate-free intervals
}

TEST(EndpointDriver, MismatchedRunsPanic) {
  std::vector<double> mid(4), rad(3), om(4), orad(4);
  EXPECT_THROW(map_endpoints_serial<abs_endpoints>(mid, rad, om, orad), Panic);
  EXPECT_THROW(map_endpoints_chunked<abs_endpoints>(mid, rad, om, orad), Panic);
}

// ---------------------------------------------------------------- entry points

using ArrayFunction = Result<IntervalArray> (*)(const IntervalArray&);

struct BallCase {
  const char* what;
  ArrayFunction fn;
  double m, r;
  double expect_mid, expect_rad;
};

void PrintTo(const BallCase& c, std::ostream* os) {
  *os << c.what;
}

class ArrayFunctionBalls : public ::testing::TestWithParam<BallCase> {};

TEST_P(ArrayFunctionBalls, GivesBall) {
  const BallCase c = GetParam();
  Result<IntervalArray> a = IntervalArray::uniform(Shape{1}, c.m, c.r);
  ASSERT_TRUE(a.has_value());
  Result<IntervalArray> out = c.fn(*a);
  ASSERT_TRUE(out.has_value());
  EXPECT_TRUE(same(out->midpoints()[0], c.expect_mid))
      << show(out->midpoints()[0]) << " vs " << show(c.expect_mid);
  EXPECT_TRUE(same(out->radii()[0], c.expect_rad))
      << show(out->radii()[0]) << " vs " << show(c.expect_rad);
  // The radius of an exact fast path is the allocator's +0.0, not -0.0.
  if (c.r == 0.0 && c.expect_rad == 0.0) {
    EXPECT_EQ(bits(out->radii()[0]), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, ArrayFunctionBalls,
    ::testing::Values(
        BallCase{"sqrt exact 4", array_sqrt, 4.0, 0.0, 2.0, 0.0},
        BallCase{"sqrt exact -4 fast path", array_sqrt, -4.0, 0.0, kNaN, 0.0},
        BallCase{"sqrt exact -0 keeps sign", array_sqrt, -0.0, 0.0, -0.0, 0.0},
        BallCase{"sqrt 0 +- 1", array_sqrt, 0.0, 1.0, 0.5, 0.5},
        BallCase{"sqrt -4 +- 1", array_sqrt, -4.0, 1.0, kNaN, kNaN},
        BallCase{"ln 0.5 +- 0.5", array_ln, 0.5, 0.5, -354.19820926613204, 354.19820926613204},
        BallCase{"log2 4 +- 4", array_log2, 4.0, 4.0, -509.5, 512.5},
        BallCase{"ln exact 0", array_ln, 0.0, 0.0, -kInf, 0.0},
        BallCase{"ln exact NaN", array_ln, kNaN, 0.0, -kInf, 0.0},
        BallCase{"log2 exact 0", array_log2, 0.0, 0.0, kNaN, kNaN},
        BallCase{"log10 exact 0", array_log10, 0.0, 0.0, kNaN, kNaN},
        BallCase{"ln -2 +- 1", array_ln, -2.0, 1.0, kNaN, kNaN},
        BallCase{"exp 700 +- 9.5", array_exp, 700.0, 9.5, kInf, kInf},
        BallCase{"exp 1000 +- 1", array_exp, 1000.0, 1.0, kInf, kNaN},
        BallCase{"exp -800 +- 1", array_exp, -800.0, 1.0, 0.0, 0.0},
        BallCase{"exp exact overflow", array_exp, 1000.0, 0.0, kInf, 0.0},
        BallCase{"abs -3 +- 1", array_abs, -3.0, 1.0, 3.0, 1.0},
        BallCase{"abs 1 +- 2", array_abs, 1.0, 2.0, 1.5, 1.5},
        BallCase{"abs 2 +- 1", array_abs, 2.0, 1.0, 2.0, 1.0},
        BallCase{"abs exact 1e308 overflows midpoint", array_abs, 1e308, 0.0, kInf, 0.0},
        BallCase{"sin 0 +- 0.1", array_sin, 0.0, 0.1, 0.0, 0.09983341664682815},
        BallCase{"sin 1.5 +- 0.2", array_sin, 1.5, 0.2, 0.9817790927085965, 0.01822090729140352},
        BallCase{"cos 0 +- 1", array_cos, 0.0, 1.0, 0.7701511529340699, 0.22984884706593012},
        BallCase{"sin 0 +- 3.2", array_sin, 0.0, 3.2, 0.0, 1.0},
        BallCase{"cos 0 +- 3.2", array_cos, 0.0, 3.2, 0.0, 1.0},
        BallCase{"tan 0 +- 1", array_tan, 0.0, 1.0, 0.0, 1.5574077246549023},
        BallCase{"tan 1.5 +- 0.1", array_tan, 1.5, 0.1, kNaN, kInf},
        BallCase{"sin exact inf", array_sin, kInf, 0.0, kNaN, 0.0},
        BallCase{"cos exact inf", array_cos, kInf, 0.0, kNaN, kNaN},
        BallCase{"cos 0 +- inf", array_cos, 0.0, kInf, 0.0, 1.0},
        BallCase{"tan 0 +- inf", array_tan, 0.0, kInf, kNaN, kInf},
        // Midpoint +-inf with radius inf: one endpoint is NaN, so no scan at all.
        BallCase{"sin inf +- inf", array_sin, kInf, kInf, kNaN, kNaN},
        BallCase{"cos -inf +- inf", array_cos, -kInf, kInf, kNaN, kNaN},
        BallCase{"tan inf +- inf", array_tan, kInf, kInf, kNaN, kNaN},
        BallCase{"tan -inf +- inf", array_tan, -kInf, kInf, kNaN, kNaN}));

}  // namespace
}  // namespace quorvex
