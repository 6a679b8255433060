// The vector endpoint steps: each variant, called directly, must give the
// scalar kernels' bits on every lane it reports as done, leave the rest of the
// block alone, and flag every sin/cos/tan lane whose result needs the scan.
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <algorithm>
#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "array/interval_array.hpp"
#include "ops/endpoint_driver.hpp"
#include "ops/endpoint_kernels.hpp"
#include "ops/function_kernels.hpp"
#include "ops/rigorous_functions.hpp"
#include "ops/rigorous_more_functions.hpp"
#include "simd/dispatch.hpp"
#include "target_variants.hpp"

namespace quorvex {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kSentinel = -12345.0;

// Bit equality; any NaN matches any NaN (only the NaN sign can differ when the
// compiler orders the operands of a commutative addition differently).
bool same(double x, double y) {
  if (std::isnan(x) || std::isnan(y)) return std::isnan(x) && std::isnan(y);
  return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
}

struct Variant {
  test_support::Variant<const simd::EndpointBlockKernels*> entry;
  const simd::EndpointBlockKernels& kernels() const { return *entry.kernel; }
  // Doubles per register: the finishing steps do whole registers only.
  std::size_t width() const {
    switch (entry.target) {
      case simd::Target::kSse2:
        return 2;
      case simd::Target::kAvx512:
        return 8;
      default:
        return 4;
    }
  }
};

void PrintTo(const Variant& v, std::ostream* os) {
  *os << v.entry.name();
}

std::vector<Variant> all_variants() {
  std::vector<Variant> out;
  for (const auto& v : test_support::variants_of(&simd::KernelSlots::endpoint_blocks)) {
    out.push_back({v});
  }
  return out;
}

class EndpointBlocks : public ::testing::TestWithParam<Variant> {
 protected:
  void SetUp() override { QV_SKIP_UNLESS_RUNS_HERE(GetParam().entry); }
};

INSTANTIATE_TEST_SUITE_P(Variants, EndpointBlocks, ::testing::ValuesIn(all_variants()),
                         [](const auto& info) { return info.param.entry.name(); });

// Endpoint pairs: ordinary ones, reversed ones, the specials of every kernel,
// and intervals at, around and across the candidate points of sin, cos and tan.
std::vector<std::pair<double, double>> endpoint_pairs(std::size_t count, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> wide(-30.0, 30.0);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double specials[] = {0.0,    -0.0,   kInf,   -kInf, kNaN,    1e308, -1e308,
                             -745.5, -745.0, 709.0,  709.5, kHalfPi, kPi,   -kPi,
                             1e17,   1e300,  -1e300, 2e15,  4.0,     -4.0,  1e-310};
  const std::size_t n_specials = std::size(specials);
  std::vector<std::pair<double, double>> pairs;
  for (std::size_t i = 0; i < count; ++i) {
    double lo = 0.0;
    double hi = 0.0;
    switch (rng() % 6) {
      case 0:  // two specials
        lo = specials[rng() % n_specials];
        hi = specials[rng() % n_specials];
        break;
      case 1: {  // an endpoint on or one ulp off a candidate point
        const double p = static_cast<double>(static_cast<int>(rng() % 40) - 20) * kPi +
                         (rng() % 2 == 0 ? kHalfPi : 0.0);
        const double q = rng() % 3 == 0 ? p : std::nextafter(p, rng() % 2 == 0 ? -kInf : kInf);
        if (rng() % 2 == 0) {
          lo = q;
          hi = q + unit(rng) * 2.0;
        } else {
          hi = q;
          lo = q - unit(rng) * 2.0;
        }
        break;
      }
      case 2:  // reversed
        hi = wide(rng);
        lo = hi + unit(rng);
        break;
      case 3:  // wide: full periods, wider than pi
        lo = wide(rng);
        hi = lo + unit(rng) * 8.0;
        break;
      default:  // narrow
        lo = wide(rng);
        hi = lo + unit(rng) * 0.01;
    }
    pairs.emplace_back(lo, hi);
  }
  return pairs;
}

struct FinishCase {
  const char* name;
  simd::FinishFn simd::EndpointBlockKernels::* block;
  double (*call)(double);
  EndpointPair (*finish)(double, double, double, double);
};

template <class Form>
FinishCase finish_case(const char* name) {
  return {name, Form::block, Form::call, Form::finish};
}

const FinishCase kFinishCases[] = {
    finish_case<endpoint_detail::ExpForm>("exp"),
    finish_case<endpoint_detail::LnForm>("ln"),
    finish_case<endpoint_detail::Log2Form>("log2"),
    finish_case<endpoint_detail::Log10Form>("log10"),
    finish_case<endpoint_detail::SinForm>("sin"),
    finish_case<endpoint_detail::CosForm>("cos"),
    finish_case<endpoint_detail::TanForm>("tan"),
};

TEST_P(EndpointBlocks, FinishGivesScalarBitsAndFlagsEveryScan) {
  const simd::EndpointBlockKernels& kernels = GetParam().kernels();
  const std::size_t w = GetParam().width();
  for (const FinishCase& c : kFinishCases) {
    SCOPED_TRACE(c.name);
    std::size_t flagged = 0;
    std::size_t lanes = 0;
    for (std::size_t n = 0; n <= simd::kFinishMax; ++n) {
      const auto pairs = endpoint_pairs(n, static_cast<unsigned>(n * 31 + 7));
      std::vector<double> lo(n), hi(n), f_lo(n), f_hi(n);
      for (std::size_t i = 0; i < n; ++i) {
        lo[i] = pairs[i].first;
        hi[i] = pairs[i].second;
        f_lo[i] = c.call(lo[i]);
        f_hi[i] = c.call(hi[i]);
      }
      std::vector<double> om(n, kSentinel), orad(n, kSentinel);
      const simd::FinishDone done = (kernels.*c.block)(
          {lo.data(), hi.data(), f_lo.data(), f_hi.data(), om.data(), orad.data(), n});
      ASSERT_EQ(done.count, n - n % w) << "n=" << n;
      if (done.count < 64) {
        ASSERT_EQ(done.scan >> done.count, 0u) << "n=" << n;
      }
      for (std::size_t i = 0; i < n; ++i) {
        const std::string where = "n=" + std::to_string(n) + " i=" + std::to_string(i) +
                                  " lo=" + std::to_string(lo[i]) + " hi=" + std::to_string(hi[i]);
        if (i >= done.count) {
          ASSERT_EQ(om[i], kSentinel) << where;
          ASSERT_EQ(orad[i], kSentinel) << where;
          continue;
        }
        ++lanes;
        if (done.scan >> i & 1) {
          ++flagged;
          continue;
        }
        const EndpointPair image = c.finish(lo[i], hi[i], f_lo[i], f_hi[i]);
        ASSERT_TRUE(same(om[i], (image.lo + image.hi) * 0.5)) << where;
        ASSERT_TRUE(same(orad[i], (image.hi - image.lo) * 0.5)) << where;
      }
    }
    // Only the periodic kernels scan, and the quick test settles most lanes.
    const bool periodic = std::string(c.name) == "sin" || std::string(c.name) == "cos" ||
                          std::string(c.name) == "tan";
    if (periodic) {
      EXPECT_GT(flagged, 0u);
      EXPECT_LT(flagged * 3, lanes);
    } else {
      EXPECT_EQ(flagged, 0u);
    }
  }
}

struct BallsCase {
  const char* name;
  simd::BallsFn simd::EndpointBlockKernels::* balls;
  EndpointKernel kernel;
};

TEST_P(EndpointBlocks, BallKernelsGiveScalarBitsOnWholeRegisters) {
  const simd::EndpointBlockKernels& kernels = GetParam().kernels();
  const std::size_t w = GetParam().width();
  const BallsCase cases[] = {{"sqrt", VectorForm<sqrt_endpoints>::balls, sqrt_endpoints},
                             {"abs", VectorForm<abs_endpoints>::balls, abs_endpoints}};
  for (const BallsCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (std::size_t n = 0; n <= 70; ++n) {
      const auto pairs = endpoint_pairs(n, static_cast<unsigned>(n + 1000));
      // Balls whose endpoints are (about) the pairs above, and some of their own.
      std::vector<double> mid(n), rad(n);
      for (std::size_t i = 0; i < n; ++i) {
        mid[i] = i % 5 == 4 ? pairs[i].first : (pairs[i].first + pairs[i].second) * 0.5;
        rad[i] = i % 5 == 4 ? pairs[i].second : (pairs[i].second - pairs[i].first) * 0.5;
      }
      std::vector<double> om(n, kSentinel), orad(n, kSentinel);
      const std::size_t done =
          (kernels.*c.balls)(mid.data(), rad.data(), om.data(), orad.data(), n);
      ASSERT_EQ(done, n - n % w);
      for (std::size_t i = 0; i < n; ++i) {
        if (i >= done) {
          ASSERT_EQ(om[i], kSentinel);
          ASSERT_EQ(orad[i], kSentinel);
          continue;
        }
        const EndpointPair image = c.kernel(mid[i] - rad[i], mid[i] + rad[i]);
        ASSERT_TRUE(same(om[i], (image.lo + image.hi) * 0.5)) << "n=" << n << " i=" << i;
        ASSERT_TRUE(same(orad[i], (image.hi - image.lo) * 0.5)) << "n=" << n << " i=" << i;
      }
    }
  }
}

// Balls for the functions of a few operations: the pairs above as balls, with
// ties of rint, integers and values about 2^52, and NaN and infinite radii.
void function_balls(std::size_t n, unsigned seed, std::vector<double>& mid,
                    std::vector<double>& rad) {
  const double own[][2] = {{0.5, 0.0},
                           {-2.5, 0.0},
                           {1.5, 1.0},
                           {-0.5, 0.25},
                           {3.0, 0.0},
                           {-0.0, 0.0},
                           {4.5e15, 0.5},
                           {-4503599627370495.5, 0.0},
                           {1e308, 0.0},
                           {0.0, 1e308},
                           {1.0, kNaN},
                           {kNaN, 1.0},
                           {0.0, kInf},
                           {-kInf, 1.0},
                           {kInf, kInf},
                           {2.0, 2.0},
                           // Points 8 ulps from an extremum of sin or cos,
                           // inside the quick test's slack.
                           {1.5707963267948984, 0.0},
                           {1.5707963267948948, 0.0},
                           {3.1415926535897967, 0.0},
                           {4e15, 1.0},
                           // Its outward lower end is +0: a corner on arctan2's cut.
                           {0x1p-1074, 0.0}};
  const auto pairs = endpoint_pairs(n, seed);
  mid.assign(n, 0.0);
  rad.assign(n, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    const bool listed = i % 3 == 2;
    mid[i] = listed ? own[i % std::size(own)][0] : (pairs[i].first + pairs[i].second) * 0.5;
    rad[i] = listed ? own[i % std::size(own)][1] : std::fabs(pairs[i].second - pairs[i].first);
  }
}

void expect_ball(double mid, double rad, Ball want, const std::string& where) {
  ASSERT_TRUE(same(mid, want.mid)) << where;
  ASSERT_TRUE(same(rad, want.rad)) << where;
}

// Results in the processor's rounding mode (a second way to the bounds that
// the instructions' own rounding gives): volatile keeps the compiler from
// folding the operations or moving them across the mode switches.
template <int Mode, class Op>
double rounded(Op op, double a, double b = 0.0) {
  std::fesetround(Mode);
  volatile double x = a, y = b;
  volatile double r = op(x, y);
  std::fesetround(FE_TONEAREST);
  return r;
}
constexpr auto kMinus = [](double a, double b) { return a - b; };
constexpr auto kPlus = [](double a, double b) { return a + b; };
constexpr auto kTimes = [](double a, double b) { return a * b; };
constexpr auto kRoot = [](double a, double) { return std::sqrt(a); };

// The directed image of sqrt or square over the ball (mid, rad).
EndpointPair directed_image(bool square, double mid, double rad) {
  const double lo = rounded<FE_DOWNWARD>(kMinus, mid, rad);
  const double hi = rounded<FE_UPWARD>(kPlus, mid, rad);
  if (!square) {
    return {rounded<FE_DOWNWARD>(kRoot, lo > 0.0 ? lo : 0.0), rounded<FE_UPWARD>(kRoot, hi)};
  }
  const double lo_up = rounded<FE_UPWARD>(kTimes, lo, lo);
  const double hi_up = rounded<FE_UPWARD>(kTimes, hi, hi);
  if (lo >= 0.0) return {rounded<FE_DOWNWARD>(kTimes, lo, lo), hi_up};
  if (hi <= 0.0) return {rounded<FE_DOWNWARD>(kTimes, hi, hi), lo_up};
  return {0.0, lo_up > hi_up ? lo_up : hi_up};
}

// The rigorous square root and square have directed results (by AVX-512's
// instructions, or in a round-upward scope below it) and take the whole run:
// each lane is what the element alone gives, holds the
// directed image, is never wider than the portable rule and is NaN where it
// is. (Exact references check them in Python too.)
using RunFn = void (*)(const double*, const double*, double*, double*, std::size_t);
void expect_directed(simd::BallsFn kernel, bool square, const std::vector<double>& mid,
                     const std::vector<double>& rad, RunFn portable, const std::string& at) {
  const std::size_t n = mid.size();
  std::vector<double> om(n, kSentinel), orad(n, kSentinel);
  ASSERT_EQ(kernel(mid.data(), rad.data(), om.data(), orad.data(), n), n) << at;
  // A scope of its own is left: the MXCSR rounding field (which fegetround does not read)
  // is back at nearest.
  ASSERT_EQ(_mm_getcsr() & 0x6000u, 0u) << at;
  for (std::size_t i = 0; i < n; ++i) {
    const std::string where = at + " directed i=" + std::to_string(i);
    Ball alone{}, rule{};
    ASSERT_EQ(kernel(&mid[i], &rad[i], &alone.mid, &alone.rad, 1), 1u) << where;
    expect_ball(om[i], orad[i], alone, where);
    portable(&mid[i], &rad[i], &rule.mid, &rule.rad, 1);
    ASSERT_EQ(std::isnan(om[i]), std::isnan(rule.mid)) << where;
    ASSERT_TRUE(orad[i] <= rule.rad || std::isnan(rule.rad)) << where;
    const EndpointPair image = directed_image(square, mid[i], rad[i]);
    if (!(orad[i] < kInf) || std::isnan(image.lo) || std::isnan(image.hi)) continue;
    ASSERT_LE(rounded<FE_DOWNWARD>(kMinus, om[i], orad[i]), image.lo) << where;
    ASSERT_GE(rounded<FE_UPWARD>(kPlus, om[i], orad[i]), image.hi) << where;
  }
}

TEST_P(EndpointBlocks, FunctionKernelsGiveScalarBitsOnWholeRegisters) {
  using K = simd::EndpointBlockKernels;
  namespace f = functions;
  // Each with its rigorous form, against rigorous_detail::map_pairs.
  using Rule = void (*)(const double*, const double*, double*, double*, std::size_t);
  namespace r = rigorous_detail;
  constexpr int kRounded = rules::kCorrectlyRoundedUlps, kScaled = rules::kScaledUlps;
  const struct {
    const char* name;
    simd::BallsFn K::* balls;
    EndpointPair (*image)(double, double);
    simd::BallsFn K::* rigorous;
    Rule rigorous_rule;
  } unary[] = {{"square", &K::square_balls, f::square_image, &K::rigorous_square_balls,
                r::map_pairs<f::square_image, kRounded>},
               {"reciprocal", &K::reciprocal_balls, f::reciprocal_image,
                &K::rigorous_reciprocal_balls, r::map_pairs<f::reciprocal_image, kRounded>},
               {"deg2rad", &K::deg2rad_balls, f::scaled_image<kDegToRad>,
                &K::rigorous_deg2rad_balls, r::map_pairs<f::scaled_image<kDegToRad>, kScaled>},
               {"rad2deg", &K::rad2deg_balls, f::scaled_image<kRadToDeg>,
                &K::rigorous_rad2deg_balls, r::map_pairs<f::scaled_image<kRadToDeg>, kScaled>},
               {"sign", &K::sign_balls, f::step_image<f::sign_of>, &K::rigorous_sign_balls,
                r::map_pairs<f::step_image<f::sign_of>, 0>},
               {"floor", &K::floor_balls, f::step_image<f::floor_of>, &K::rigorous_floor_balls,
                r::map_pairs<f::step_image<f::floor_of>, 0>},
               {"ceil", &K::ceil_balls, f::step_image<f::ceil_of>, &K::rigorous_ceil_balls,
                r::map_pairs<f::step_image<f::ceil_of>, 0>},
               {"trunc", &K::trunc_balls, f::step_image<f::trunc_of>, &K::rigorous_trunc_balls,
                r::map_pairs<f::step_image<f::trunc_of>, 0>},
               {"rint", &K::rint_balls, f::step_image<f::nearest_integer>, &K::rigorous_rint_balls,
                r::map_pairs<f::step_image<f::nearest_integer>, 0>}};
  const struct {
    const char* name;
    simd::BallPairsFn K::* balls;
    Ball (*rule)(const f::Operands&);
    simd::BallPairsFn K::* rigorous;
    Ball (*rigorous_rule)(double, double, double, double);
  } binary[] = {{"maximum", &K::maximum_balls, f::maximum_rule, &K::rigorous_maximum_balls,
                 r::selection_ball<f::max_of>},
                {"minimum", &K::minimum_balls, f::minimum_rule, &K::rigorous_minimum_balls,
                 r::selection_ball<f::min_of>},
                {"fmax", &K::fmax_balls, f::ignoring_nan_rule<f::fmax_of>, &K::rigorous_fmax_balls,
                 r::ignoring_nan_ball<f::fmax_of>},
                {"fmin", &K::fmin_balls, f::ignoring_nan_rule<f::fmin_of>, &K::rigorous_fmin_balls,
                 r::ignoring_nan_ball<f::fmin_of>}};
  const simd::EndpointBlockKernels& kernels = GetParam().kernels();
  const std::size_t w = GetParam().width();
  for (std::size_t n = 0; n <= 70; ++n) {
    std::vector<double> am, ar, bm, br;
    function_balls(n, static_cast<unsigned>(n + 77), am, ar);
    function_balls(n, static_cast<unsigned>(n + 78), bm, br);
    std::rotate(bm.begin(), bm.begin() + static_cast<std::ptrdiff_t>(n / 3), bm.end());
    for (const auto& c : unary) {
      std::vector<double> om(n, kSentinel), orad(n, kSentinel);
      ASSERT_EQ((kernels.*c.balls)(am.data(), ar.data(), om.data(), orad.data(), n), n - n % w);
      for (std::size_t i = 0; i < n; ++i) {
        const std::string where =
            std::string(c.name) + " n=" + std::to_string(n) + " i=" + std::to_string(i);
        const Ball want = i < n - n % w ? f::image_ball(c.image(am[i] - ar[i], am[i] + ar[i]))
                                        : Ball{kSentinel, kSentinel};
        expect_ball(om[i], orad[i], want, where);
      }
      if (c.rigorous == &K::rigorous_square_balls) {
        expect_directed(kernels.*c.rigorous, true, am, ar, c.rigorous_rule,
                        "square n=" + std::to_string(n));
        continue;
      }
      std::fill(om.begin(), om.end(), kSentinel);
      ASSERT_EQ((kernels.*c.rigorous)(am.data(), ar.data(), om.data(), orad.data(), n), n - n % w);
      for (std::size_t i = 0; i < n - n % w; ++i) {
        Ball want{};
        c.rigorous_rule(&am[i], &ar[i], &want.mid, &want.rad, 1);
        expect_ball(om[i], orad[i], want,
                    std::string("rigorous ") + c.name + " i=" + std::to_string(i) +
                        " n=" + std::to_string(n));
      }
    }
    for (const auto& c : binary) {
      std::vector<double> om(n, kSentinel), orad(n, kSentinel);
      ASSERT_EQ(
          (kernels.*c.balls)(am.data(), ar.data(), bm.data(), br.data(), om.data(), orad.data(), n),
          n - n % w);
      for (std::size_t i = 0; i < n; ++i) {
        const std::string where =
            std::string(c.name) + " n=" + std::to_string(n) + " i=" + std::to_string(i);
        const Ball want = i < n - n % w ? c.rule(f::operands_of(am[i], ar[i], bm[i], br[i]))
                                        : Ball{kSentinel, kSentinel};
        expect_ball(om[i], orad[i], want, where);
      }
      std::fill(om.begin(), om.end(), kSentinel);
      ASSERT_EQ((kernels.*c.rigorous)(am.data(), ar.data(), bm.data(), br.data(), om.data(),
                                      orad.data(), n),
                n - n % w);
      for (std::size_t i = 0; i < n - n % w; ++i) {
        expect_ball(om[i], orad[i], c.rigorous_rule(am[i], ar[i], bm[i], br[i]),
                    std::string("rigorous ") + c.name + " i=" + std::to_string(i));
      }
    }
    // abs: its first-order form is checked with the ball kernels above.
    std::vector<double> om(n, kSentinel), orad(n, kSentinel);
    ASSERT_EQ(kernels.rigorous_abs_balls(am.data(), ar.data(), om.data(), orad.data(), n),
              n - n % w);
    for (std::size_t i = 0; i < n - n % w; ++i) {
      expect_ball(om[i], orad[i], rigorous::abs_ball(am[i], ar[i]),
                  "rigorous abs i=" + std::to_string(i));
    }
  }
}

// The rigorous finishing steps of hypot and arctan2 against their scalar
// rules, on operands of every sign (zeros, straddling, NaN and infinite).
template <class Form>
void expect_pair_finish(simd::PairFinishFn step, std::size_t w, unsigned seed) {
  for (std::size_t n = 0; n <= simd::kFinishMax; ++n) {
    std::vector<double> am, ar, bm, br;
    function_balls(n, seed + static_cast<unsigned>(n), am, ar);
    function_balls(n, seed + 500 + static_cast<unsigned>(n), bm, br);
    std::rotate(bm.begin(), bm.begin() + static_cast<std::ptrdiff_t>(n / 3), bm.end());
    std::vector<double> alo(n), ahi(n), blo(n), bhi(n), f1(n), f2(n);
    std::vector<functions::Operands> o(n);
    for (std::size_t i = 0; i < n; ++i) {
      o[i] = rigorous_detail::outward_operands(am[i], ar[i], bm[i], br[i]);
      std::tie(alo[i], ahi[i], blo[i], bhi[i]) = std::tuple(o[i].alo, o[i].ahi, o[i].blo, o[i].bhi);
      const functions::Points p = Form::points(o[i]);
      f1[i] = Form::call(p.u1, p.v1);
      f2[i] = Form::call(p.u2, p.v2);
    }
    std::vector<double> om(n, kSentinel), orad(n, kSentinel);
    ASSERT_EQ(step({alo.data(), ahi.data(), blo.data(), bhi.data(), f1.data(), f2.data(), om.data(),
                    orad.data(), n}),
              n - n % w);
    for (std::size_t i = 0; i < n; ++i) {
      const Ball want =
          i < n - n % w ? rigorous_detail::widened<kLibraryUlps>(Form::finish(o[i], f1[i], f2[i]))
                        : Ball{kSentinel, kSentinel};
      expect_ball(om[i], orad[i], want, "n=" + std::to_string(n) + " i=" + std::to_string(i));
    }
  }
}

TEST_P(EndpointBlocks, RigorousPairFinishesGiveScalarBitsOnWholeRegisters) {
  const simd::EndpointBlockKernels& kernels = GetParam().kernels();
  expect_pair_finish<functions::Hypot>(kernels.rigorous_hypot_finish, GetParam().width(), 31u);
  expect_pair_finish<functions::Arctan2>(kernels.rigorous_arctan2_finish, GetParam().width(), 37u);
}

// The finishing steps of the functions with library calls: the balls of
// image_ball, on pairs about their domain edges and the pairs above.
TEST_P(EndpointBlocks, FunctionFinishesGiveScalarBitsOnWholeRegisters) {
  namespace f = functions;
  const FinishCase cases[] = {
      finish_case<f::Cbrt>("cbrt"),       finish_case<f::Log1p>("log1p"),
      finish_case<f::Cosh>("cosh"),       finish_case<f::Arcsin>("arcsin"),
      finish_case<f::Arccos>("arccos"),   finish_case<f::Arccosh>("arccosh"),
      finish_case<f::Arctanh>("arctanh"), finish_case<f::Sinh>("sinh"),
  };
  const double edges[] = {-1.0,
                          1.0,
                          -1.0000000000000002,
                          1.0000000000000002,
                          0.999,
                          -0.5,
                          0.0,
                          -0.0,
                          710.0,
                          -710.5,
                          1e308,
                          -kInf,
                          kInf,
                          kNaN,
                          3.0,
                          -2.0};
  const simd::EndpointBlockKernels& kernels = GetParam().kernels();
  const std::size_t w = GetParam().width();
  for (const FinishCase& c : cases) {
    for (std::size_t n = 0; n <= simd::kFinishMax; ++n) {
      auto pairs = endpoint_pairs(n, static_cast<unsigned>(n * 13 + 5));
      for (std::size_t i = 0; i < n; i += 2) {
        pairs[i] = {edges[(i * 7 + n) % std::size(edges)],
                    edges[(i * 3 + 2 * n) % std::size(edges)]};
      }
      std::vector<double> lo(n), hi(n), f_lo(n), f_hi(n);
      for (std::size_t i = 0; i < n; ++i) {
        lo[i] = pairs[i].first;
        hi[i] = pairs[i].second;
        f_lo[i] = c.call(lo[i]);
        f_hi[i] = c.call(hi[i]);
      }
      std::vector<double> om(n, kSentinel), orad(n, kSentinel);
      const simd::FinishDone done = (kernels.*c.block)(
          {lo.data(), hi.data(), f_lo.data(), f_hi.data(), om.data(), orad.data(), n});
      ASSERT_EQ(done.count, n - n % w);
      ASSERT_EQ(done.scan, 0u);
      for (std::size_t i = 0; i < n; ++i) {
        const std::string where =
            std::string(c.name) + " n=" + std::to_string(n) + " i=" + std::to_string(i);
        expect_ball(om[i], orad[i],
                    i < done.count ? f::image_ball(c.finish(lo[i], hi[i], f_lo[i], f_hi[i]))
                                   : Ball{kSentinel, kSentinel},
                    where);
      }
    }
  }
}

// The whole serial driver on this variant against the per-element kernel,
// across block edges and with the tails and scans finished one by one.
template <EndpointKernel K>
void expect_driver_matches_kernel(const simd::EndpointBlockKernels& kernels) {
  for (const std::size_t n : {0, 1, 3, 31, 32, 33, 95, 1000}) {
    const auto pairs = endpoint_pairs(n, static_cast<unsigned>(n + 5));
    std::vector<double> mid(n), rad(n);
    for (std::size_t i = 0; i < n; ++i) {
      mid[i] = pairs[i].first;
      rad[i] = std::fabs(pairs[i].second - pairs[i].first) * (i % 7 == 0 ? 1.0 : 0.5);
    }
    std::vector<double> om(n), orad(n);
    map_endpoints_serial<K>(mid, rad, om, orad, kernels);
    for (std::size_t i = 0; i < n; ++i) {
      const EndpointPair image = K(mid[i] - rad[i], mid[i] + rad[i]);
      ASSERT_TRUE(same(om[i], (image.lo + image.hi) * 0.5)) << "n=" << n << " i=" << i;
      ASSERT_TRUE(same(orad[i], (image.hi - image.lo) * 0.5)) << "n=" << n << " i=" << i;
    }
  }
}

// The rigorous steps against the scalar rules they stand for, on the balls
// above (NaN and infinite radii, the double range's ends included).
void portable_sqrt(const double* mid, const double* rad, double* om, double* orad, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const Ball b = rigorous::sqrt_ball(mid[i], rad[i]);
    om[i] = b.mid;
    orad[i] = b.rad;
  }
}

TEST_P(EndpointBlocks, RigorousStepsGiveScalarBitsOnWholeRegisters) {
  const simd::EndpointBlockKernels& kernels = GetParam().kernels();
  const std::size_t w = GetParam().width();
  for (std::size_t n = 0; n <= simd::kFinishMax; ++n) {
    std::vector<double> mid, rad;
    function_balls(n, static_cast<unsigned>(n + 2000), mid, rad);
    const std::string at = "n=" + std::to_string(n);
    std::vector<double> lo(n, kSentinel), hi(n, kSentinel);
    ASSERT_EQ(kernels.outward_endpoints(mid.data(), rad.data(), lo.data(), hi.data(), n),
              n - n % w);
    for (std::size_t i = n - n % w; i < n; ++i) ASSERT_EQ(lo[i], kSentinel) << at;
    std::vector<double> om(n), orad(n);
    for (std::size_t i = 0; i < n - n % w; ++i) {
      const rules::Endpoints e = rules::outward_endpoints(mid[i], rad[i]);
      ASSERT_TRUE(same(lo[i], e.lo) && same(hi[i], e.hi)) << at << " i=" << i;
    }
    expect_directed(kernels.rigorous_sqrt_balls, false, mid, rad, portable_sqrt, at + " sqrt");
    // Widening: the endpoints as an image pair, and the finishing steps.
    std::vector<double> f_lo(n), f_hi(n);
    ASSERT_EQ(kernels.widened_balls(lo.data(), hi.data(), 3, om.data(), orad.data(), n), n - n % w);
    for (std::size_t i = 0; i < n - n % w; ++i) {
      const Ball want = rules::ball_outward(rules::steps_down(lo[i], 3), rules::steps_up(hi[i], 3));
      expect_ball(om[i], orad[i], want, at + " widened i=" + std::to_string(i));
    }
    using K = simd::EndpointBlockKernels;
    namespace f = functions;
    // sin, cos and tan leave to the scalar step exactly the lanes that
    // neither span a period nor pass the scalar quick test (offset < 0: no
    // scans).
    const struct {
      simd::FinishFn simd::EndpointBlockKernels::* block;
      double (*call)(double);
      EndpointPair (*finish)(double, double, double, double);
      double offset;
      double period = kTwoPi;
    } finishes[] = {{&simd::EndpointBlockKernels::rigorous_exp_finish, endpoint_detail::libm_exp,
                     endpoint_detail::exp_finish, -1.0},
                    {&simd::EndpointBlockKernels::rigorous_log_finish, endpoint_detail::libm_log,
                     rigorous_detail::log_finish, -1.0},
                    {&simd::EndpointBlockKernels::rigorous_sin_finish, endpoint_detail::libm_sin,
                     rigorous_detail::periodic_finish<true>, kHalfPi},
                    {&simd::EndpointBlockKernels::rigorous_cos_finish, endpoint_detail::libm_cos,
                     rigorous_detail::periodic_finish<false>, 0.0},
                    {&simd::EndpointBlockKernels::rigorous_tan_finish, endpoint_detail::libm_tan,
                     rigorous_detail::tan_finish, kHalfPi, kPi},
                    {&K::rigorous_rising_finish, f::libm_sinh, f::Sinh::finish, -1.0},
                    {&K::rigorous_unit_rising_finish, f::libm_asin, f::Arcsin::finish, -1.0},
                    {&K::rigorous_unit_falling_finish, f::libm_acos, f::Arccos::finish, -1.0},
                    {&K::rigorous_acosh_finish, f::libm_acosh, f::Arccosh::finish, -1.0},
                    {&K::rigorous_log1p_finish, f::libm_log1p, rigorous_detail::log1p_finish, -1.0},
                    {&K::rigorous_cosh_finish, f::libm_cosh, f::Cosh::finish, -1.0}};
    for (const auto& step : finishes) {
      for (std::size_t i = 0; i < n; ++i) {
        f_lo[i] = step.call(lo[i]);
        f_hi[i] = step.call(hi[i]);
      }
      const simd::FinishDone done = (kernels.*step.block)(
          {lo.data(), hi.data(), f_lo.data(), f_hi.data(), om.data(), orad.data(), n});
      ASSERT_EQ(done.count, n - n % w);
      for (std::size_t i = 0; i < done.count; ++i) {
        const std::string where = at + " finish i=" + std::to_string(i);
        const bool settled = step.offset < 0.0 || hi[i] - lo[i] >= step.period ||
                             rigorous_detail::clearly_no_candidate(lo[i], hi[i], step.offset);
        ASSERT_EQ((done.scan >> i & 1) != 0, !settled) << where;
        if (!settled) continue;
        const Ball want =
            rigorous_detail::widened<kLibraryUlps>(step.finish(lo[i], hi[i], f_lo[i], f_hi[i]));
        expect_ball(om[i], orad[i], want, where);
      }
    }
    // cbrt: the rising step with its own error bound.
    for (std::size_t i = 0; i < n; ++i) {
      f_lo[i] = f::libm_cbrt(lo[i]);
      f_hi[i] = f::libm_cbrt(hi[i]);
    }
    ASSERT_EQ(kernels
                  .rigorous_cbrt_finish(
                      {lo.data(), hi.data(), f_lo.data(), f_hi.data(), om.data(), orad.data(), n})
                  .count,
              n - n % w);
    for (std::size_t i = 0; i < n - n % w; ++i) {
      const Ball want = rigorous_detail::widened<rules::kCbrtUlps>(
          f::Cbrt::finish(lo[i], hi[i], f_lo[i], f_hi[i]));
      expect_ball(om[i], orad[i], want, at + " cbrt i=" + std::to_string(i));
    }
  }
}

// sin, cos and tan over whole runs on this process's target, the lanes their
// vector step leaves to a scan included, against the scalar rule.
TEST(RigorousPeriodicRuns, GiveTheScalarRuleBits) {
  const struct {
    rigorous::BallsFn run;
    double (*call)(double);
    EndpointPair (*finish)(double, double, double, double);
  } cases[] = {{rigorous::kSin, endpoint_detail::libm_sin, rigorous_detail::periodic_finish<true>},
               {rigorous::kCos, endpoint_detail::libm_cos, rigorous_detail::periodic_finish<false>},
               {rigorous::kTan, endpoint_detail::libm_tan, rigorous_detail::tan_finish}};
  std::vector<double> mid, rad;
  function_balls(300, 4242u, mid, rad);
  for (const auto& c : cases) {
    std::vector<double> om(mid.size()), orad(mid.size());
    c.run(mid.data(), rad.data(), om.data(), orad.data(), mid.size());
    for (std::size_t i = 0; i < mid.size(); ++i) {
      const rules::Endpoints e = rules::outward_endpoints(mid[i], rad[i]);
      const Ball want =
          rigorous_detail::widened<kLibraryUlps>(c.finish(e.lo, e.hi, c.call(e.lo), c.call(e.hi)));
      expect_ball(om[i], orad[i], want, "i=" + std::to_string(i));
    }
  }
}

TEST_P(EndpointBlocks, DriverOnThisVariantEqualsPerElementKernel) {
  const simd::EndpointBlockKernels& kernels = GetParam().kernels();
  expect_driver_matches_kernel<sqrt_endpoints>(kernels);
  expect_driver_matches_kernel<exp_endpoints>(kernels);
  expect_driver_matches_kernel<ln_endpoints>(kernels);
  expect_driver_matches_kernel<log2_endpoints>(kernels);
  expect_driver_matches_kernel<log10_endpoints>(kernels);
  expect_driver_matches_kernel<abs_endpoints>(kernels);
  expect_driver_matches_kernel<sin_endpoints>(kernels);
  expect_driver_matches_kernel<cos_endpoints>(kernels);
  expect_driver_matches_kernel<tan_endpoints>(kernels);
}

// Results skip the zero fill, so a result block recycled from an earlier one
// still holds that one's values: every element must be overwritten. Lengths
// on the serial path, the chunked path and the fresh-pages path.
TEST(EndpointDriverResult, OverwritesEveryElementOfARecycledBlock) {
  for (const std::uint64_t n :
       {std::uint64_t{32767}, std::uint64_t{40000}, std::uint64_t{2'100'000}}) {
    {
      // Poison a block of the same size, then free it for the result to reuse.
      auto poisoned = IntervalArray::for_overwrite({n});
      ASSERT_TRUE(poisoned.has_value());
      auto runs = poisoned->writable();
      std::fill(runs->mid.begin(), runs->mid.end(), -7.5);
      std::fill(runs->rad.begin(), runs->rad.end(), -7.5);
    }
    std::vector<double> mid(n), rad(n, 0.25);
    for (std::uint64_t i = 0; i < n; ++i) mid[i] = static_cast<double>(i % 1000) * 0.01;
    const IntervalArray a = IntervalArray::from_parts(mid, rad, Shape{n}).value();
    const IntervalArray out = apply_endpoint_kernel<abs_endpoints>(a).value();
    for (std::uint64_t i = 0; i < n; ++i) {
      const EndpointPair image = abs_endpoints(mid[i] - rad[i], mid[i] + rad[i]);
      ASSERT_TRUE(same(out.midpoints()[i], (image.lo + image.hi) * 0.5)) << "n=" << n << " i=" << i;
      ASSERT_TRUE(same(out.radii()[i], (image.hi - image.lo) * 0.5)) << "n=" << n << " i=" << i;
    }
  }
}

}  // namespace
}  // namespace quorvex
