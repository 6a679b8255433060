#include "array/number_format.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

namespace quorvex {

namespace {

// Writes the special values shared by both formats; returns 0 for finite x.
std::size_t write_special(double x, char* out) {
  if (std::isnan(x)) {
    std::memcpy(out, "NaN", 3);
    return 3;
  }
  if (std::isinf(x)) {
    if (x < 0) {
      std::memcpy(out, "-inf", 4);
      return 4;
    }
    std::memcpy(out, "inf", 3);
    return 3;
  }
  return 0;
}

// Scientific text from to_chars split into its parts: "-1.25e-07" gives
// negative, digits "125" and exponent -7.
struct Scientific {
  bool negative = false;
  char digits[24];
  std::size_t count = 0;
  int exponent = 0;
};

Scientific split_scientific(const char* begin, const char* end) {
  Scientific s;
  const char* p = begin;
  if (*p == '-') {
    s.negative = true;
    ++p;
  }
  for (; p != end && *p != 'e'; ++p) {
    if (*p != '.') s.digits[s.count++] = *p;
  }
  // to_chars always writes an exponent with a sign; from_chars takes no '+'.
  ++p;  // 'e'
  const bool negative_exponent = *p == '-';
  ++p;
  int magnitude = 0;
  std::from_chars(p, end, magnitude);
  s.exponent = negative_exponent ? -magnitude : magnitude;
  return s;
}

}  // namespace

std::size_t write_plain(double x, char* out) {
  if (std::size_t n = write_special(x, out)) return n;
  // Shortest round-trip digits; the exponent is only used to place the point.
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific);
  const Scientific s = split_scientific(buf, res.ptr);

  char* p = out;
  if (s.negative) *p++ = '-';
  const int n = static_cast<int>(s.count);
  const int e = s.exponent;  // value = d0.d1d2... x 10^e
  if (e < 0) {
    *p++ = '0';
    *p++ = '.';
    std::memset(p, '0', static_cast<std::size_t>(-e - 1));
    p += -e - 1;
    std::memcpy(p, s.digits, s.count);
    p += n;
  } else if (e >= n - 1) {
    std::memcpy(p, s.digits, s.count);
    p += n;
    std::memset(p, '0', static_cast<std::size_t>(e - (n - 1)));
    p += e - (n - 1);
  } else {
    std::memcpy(p, s.digits, static_cast<std::size_t>(e + 1));
    p += e + 1;
    *p++ = '.';
    std::memcpy(p, s.digits + e + 1, static_cast<std::size_t>(n - e - 1));
    p += n - e - 1;
  }
  return static_cast<std::size_t>(p - out);
}

std::size_t write_exponent6(double x, char* out) {
  if (std::size_t n = write_special(x, out)) return n;
  // to_chars with a precision rounds the exact binary value correctly; only
  // the exponent needs rewriting ("e+07" -> "e7", "e-01" -> "e-1").
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 6);
  const Scientific s = split_scientific(buf, res.ptr);

  char* p = out;
  if (s.negative) *p++ = '-';
  *p++ = s.digits[0];
  *p++ = '.';
  std::memcpy(p, s.digits + 1, 6);
  p += 6;
  *p++ = 'e';
  if (s.exponent < 0) *p++ = '-';
  const int magnitude = s.exponent < 0 ? -s.exponent : s.exponent;
  p = std::to_chars(p, p + 4, magnitude).ptr;
  return static_cast<std::size_t>(p - out);
}

std::string format_plain(double x) {
  char buf[kPlainMaxChars];
  return std::string(buf, write_plain(x, buf));
}

std::string format_exponent6(double x) {
  char buf[kExponent6MaxChars];
  return std::string(buf, write_exponent6(x, buf));
}

}  // namespace quorvex
