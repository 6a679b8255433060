// Both rendering formats: hand cases, then random doubles checked against
// independent oracles (strtod for round trips, snprintf for the digits).
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "array/number_format.hpp"

namespace quorvex {
namespace {

struct FormatCase {
  double value;
  std::string text;
};

class PlainFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(PlainFormat, WritesShortestDigitsPositionally) {
  EXPECT_EQ(format_plain(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    HandCases, PlainFormat,
    ::testing::Values(FormatCase{1.0, "1"}, FormatCase{0.5, "0.5"}, FormatCase{100.0, "100"},
                      FormatCase{1e20, "100000000000000000000"}, FormatCase{1e-7, "0.0000001"},
                      FormatCase{0.1, "0.1"},
                      FormatCase{0.30000000000000004, "0.30000000000000004"}, FormatCase{0.0, "0"},
                      FormatCase{-0.0, "-0"}, FormatCase{-2.5, "-2.5"},
                      FormatCase{123.456, "123.456"}, FormatCase{1e23, "100000000000000000000000"},
                      FormatCase{0.9999999999999999, "0.9999999999999999"},
                      FormatCase{INFINITY, "inf"}, FormatCase{-INFINITY, "-inf"},
                      FormatCase{NAN, "NaN"}, FormatCase{-NAN, "NaN"},
                      FormatCase{5e-324, "0." + std::string(323, '0') + "5"},
                      FormatCase{-DBL_MAX, "-17976931348623157" + std::string(292, '0')}));

class ExponentFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ExponentFormat, WritesSevenCorrectlyRoundedDigits) {
  EXPECT_EQ(format_exponent6(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    HandCases, ExponentFormat,
    ::testing::Values(FormatCase{0.0, "0.000000e0"}, FormatCase{0.25, "2.500000e-1"},
                      FormatCase{1.1102230246251565e-16, "1.110223e-16"},
                      FormatCase{12345678.0, "1.234568e7"}, FormatCase{1.0, "1.000000e0"},
                      // Rounding carries into a new leading digit.
                      FormatCase{9.9999996, "1.000000e1"},
                      // Exact ties go to the even digit.
                      FormatCase{1234568.5, "1.234568e6"}, FormatCase{1234567.5, "1.234568e6"},
                      FormatCase{5e-324, "4.940656e-324"}, FormatCase{DBL_MAX, "1.797693e308"},
                      FormatCase{-0.5, "-5.000000e-1"}, FormatCase{INFINITY, "inf"},
                      FormatCase{NAN, "NaN"}));

// Doubles from every binade, including subnormals, plus short decimals, which
// are the usual inputs and exercise the point placement in the middle.
std::vector<double> sample_doubles(std::size_t count) {
  std::mt19937_64 rng(0x5eed);
  std::vector<double> out;
  while (out.size() < count) {
    const double x = std::bit_cast<double>(rng());
    if (std::isfinite(x)) out.push_back(x);
    const double decimal = static_cast<double>(rng() % 2000001) / std::pow(10.0, rng() % 12);
    out.push_back(rng() % 2 ? decimal : -decimal);
    const int exponent = -1074 + static_cast<int>(rng() % 40);
    out.push_back(std::ldexp(static_cast<double>(rng() % 1000), exponent));
  }
  return out;
}

// The shortest round-trip digits per the C library: the smallest precision at
// which "%.*e" reads back exactly, with trailing zeros dropped.
std::string oracle_shortest_digits(double x) {
  for (int p = 0; p < 17; ++p) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", p, std::fabs(x));
    if (std::strtod(buf, nullptr) != std::fabs(x)) continue;
    std::string digits;
    for (char* c = buf; *c != 'e'; ++c) {
      if (*c != '.') digits += *c;
    }
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    return digits;
  }
  return "?";
}

// The significant digits of a positional text: no sign, point, leading or trailing zeros.
std::string significant_digits(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (c >= '0' && c <= '9' && !(digits.empty() && c == '0')) digits += c;
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  return digits.empty() ? "0" : digits;
}

TEST(PlainFormatRandom, ReadsBackExactlyWithTheShortestDigits) {
  for (double x : sample_doubles(60000)) {
    const std::string text = format_plain(x);
    SCOPED_TRACE(text);
    ASSERT_EQ(text.find_first_of("eE+"), std::string::npos);
    ASSERT_EQ(std::bit_cast<std::uint64_t>(std::strtod(text.c_str(), nullptr)),
              std::bit_cast<std::uint64_t>(x));
    ASSERT_EQ(significant_digits(text), oracle_shortest_digits(x));
    // A point only for a fractional part, and then no trailing zero after it.
    const auto point = text.find('.');
    if (point != std::string::npos) {
      ASSERT_NE(text.back(), '0');
    }
    ASSERT_EQ(point == std::string::npos, x == std::trunc(x));
    ASSERT_LE(text.size(), kPlainMaxChars);
  }
}

// snprintf's "%.6e" rounds the exact value correctly; only the exponent is
// written differently ("e+07" there, "e7" here).
std::string oracle_exponent6(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6e", x);
  std::string text(buf);
  const auto e = text.find('e');
  const int exponent = std::atoi(text.c_str() + e + 1);
  return text.substr(0, e + 1) + std::to_string(exponent);
}

TEST(ExponentFormatRandom, MatchesTheCLibraryDigits) {
  for (double x : sample_doubles(60000)) {
    ASSERT_EQ(format_exponent6(x), oracle_exponent6(x)) << std::hexfloat << x;
  }
}

TEST(FormatWriters, AgreeWithTheStringForms) {
  for (double x : {0.1, -3e-310, 1e300, -0.0, double{NAN}}) {
    char buf[kPlainMaxChars];
    EXPECT_EQ(std::string(buf, write_plain(x, buf)), format_plain(x));
    char small[kExponent6MaxChars];
    EXPECT_EQ(std::string(small, write_exponent6(x, small)), format_exponent6(x));
  }
}

}  // namespace
}  // namespace quorvex
