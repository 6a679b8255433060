// Arithmetic results skip the zero fill: a result block recycled from an
// earlier, poisoned one must come out fully overwritten (exact fast paths
// included, whose radii must be +0.0), on the serial path, the chunked path
// and the fresh-pages path.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "array/interval_array.hpp"
#include "ops/arithmetic.hpp"
#include "ops/math.hpp"

namespace quorvex {
namespace {

constexpr std::uint64_t kPoison = 0x7FF4'DEAD'BEEF'0001ull;

IntervalArray make(std::uint64_t n, bool exact, double offset) {
  std::vector<double> mid(n), rad(n, exact ? 0.0 : 0.125);
  for (std::uint64_t i = 0; i < n; ++i) mid[i] = offset + static_cast<double>(i % 977) * 0.5;
  return IntervalArray::from_parts(mid, rad, Shape{n}).value();
}

// Allocates and frees a poisoned block of the result's size, so that the
// next allocation of that size is likely to reuse it.
void poison_a_block(std::uint64_t n) {
  auto block = IntervalArray::for_overwrite({n});
  ASSERT_TRUE(block.has_value());
  auto runs = block->writable();
  std::fill(runs->mid.begin(), runs->mid.end(), std::bit_cast<double>(kPoison));
  std::fill(runs->rad.begin(), runs->rad.end(), std::bit_cast<double>(kPoison));
}

using Op = std::function<Result<IntervalArray>(const IntervalArray&, const IntervalArray&)>;

TEST(ArithmeticResults, OverwriteEveryElementOfARecycledBlock) {
  const std::pair<const char*, Op> ops[] = {
      {"add", add},
      {"sub", sub},
      {"mul", mul},
      {"div", div},
      {"add_scalar", [](auto& a, auto&) { return add_scalar(a, 0.75); }},
      {"rsub_scalar", [](auto& a, auto&) { return rsub_scalar(0.75, a); }},
      {"mul_scalar", [](auto& a, auto&) { return mul_scalar(a, -3.0); }},
      {"negate", [](auto& a, auto&) { return negate(a); }},
      {"sqrt", [](auto& a, auto&) { return array_sqrt(a); }},
  };
  for (const std::uint64_t n :
       {std::uint64_t{1000}, std::uint64_t{40000}, std::uint64_t{3'000'000}}) {
    // Every pairing of exact and inexact operands: each takes its own path.
    for (const auto& [a_exact, b_exact] : {std::pair{true, true}, std::pair{true, false},
                                           std::pair{false, true}, std::pair{false, false}}) {
      const IntervalArray a = make(n, a_exact, 1.0), b = make(n, b_exact, 2.0);
      // Element 0 of z is 0, a divisor with zero inside: the whole quotient
      // goes by endpoints.
      const IntervalArray z = make(n, b_exact, 0.0);
      for (const auto& [name, op] : ops) {
        for (const IntervalArray* divisor : {&b, &z}) {
          if (divisor == &z && std::string(name) != "div") continue;
          const IntervalArray want = op(a, *divisor).value();
          poison_a_block(n);
          const IntervalArray got = op(a, *divisor).value();
          for (std::uint64_t i = 0; i < n; ++i) {
            for (const auto& [g, w] : {std::pair{got.midpoints()[i], want.midpoints()[i]},
                                       std::pair{got.radii()[i], want.radii()[i]}}) {
              ASSERT_NE(std::bit_cast<std::uint64_t>(g), kPoison)
                  << name << " n=" << n << " exact=" << a_exact << b_exact << " i=" << i;
              ASSERT_EQ(std::bit_cast<std::uint64_t>(g), std::bit_cast<std::uint64_t>(w))
                  << name << " n=" << n << " exact=" << a_exact << b_exact << " i=" << i;
            }
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace quorvex
