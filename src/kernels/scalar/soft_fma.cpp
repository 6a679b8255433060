// How it works: a and b are scaled to significands in [1, 2), so Dekker's
// product with Veltkamp splitting is exact (no overflow, no underflow), and c
// is scaled by the same power of two. The exact sum of the three resulting
// doubles is rounded once with Boldo and Melquiond's round-to-odd scheme, then
// scaled back. When the result falls below the normal range it must be rounded
// at the subnormal quantum instead; the 53-bit result is re-rounded there and
// the one case where that double rounding can go wrong (a tie at the quantum)
// is settled by the sign of the exact remainder.
#include "kernels/scalar/soft_fma.hpp"

#include <bit>
#include <cmath>
#include <cstdint>

namespace quorvex::kernels::scalar {
namespace {

std::uint64_t to_bits(double x) {
  return std::bit_cast<std::uint64_t>(x);
}
double from_bits(std::uint64_t b) {
  return std::bit_cast<double>(b);
}

// Biased exponent field minus the bias; only used on normal numbers.
int exponent_of(double x) {
  return static_cast<int>((to_bits(x) >> 52) & 0x7ff) - 1023;
}

// 2^e for -1022 <= e <= 1023.
double pow2(int e) {
  return from_bits(static_cast<std::uint64_t>(e + 1023) << 52);
}

// x * 2^e, exact unless the result overflows (then +-inf, as rounding to
// nearest gives) or is not representable (never asked for here). Each step
// moves toward the result, so no step over- or underflows before the last.
double scale(double x, int e) {
  while (e > 1023) {
    x *= 0x1p1023;
    e -= 1023;
  }
  while (e < -1022) {
    x *= 0x1p-1022;
    e += 1022;
  }
  return x * pow2(e);
}

// x = m * 2^e with 1 <= |m| < 2, for finite non-zero x (subnormals included).
struct Normalized {
  double m;
  int e;
};
Normalized normalize(double x) {
  int shift = 0;
  if (std::fabs(x) < 0x1p-1022) {
    x *= 0x1p64;  // exact: lifts a subnormal into the normal range
    shift = 64;
  }
  const std::uint64_t exponent_field = std::uint64_t{0x7ff} << 52;
  const double m = from_bits((to_bits(x) & ~exponent_field) | (std::uint64_t{1023} << 52));
  return {m, exponent_of(x) - shift};
}

struct Pair {
  double hi;
  double lo;
};

// Knuth's branch-free exact sum: hi = a + b rounded, hi + lo == a + b exactly.
Pair two_sum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// Veltkamp: hi holds the upper 26 bits of x, lo the rest, both exact.
Pair split(double x) {
  constexpr double kSplitter = 134217729.0;  // 2^27 + 1
  const double g = kSplitter * x;
  const double hi = g - (g - x);
  return {hi, x - hi};
}

// Dekker: hi = a * b rounded, hi + lo == a * b exactly (given no under/overflow).
Pair two_product(double a, double b) {
  const double p = a * b;
  const Pair as = split(a);
  const Pair bs = split(b);
  const double err = ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo;
  return {p, err};
}

// The exact s.hi + s.lo rounded to odd: when inexact, of the two neighbouring
// doubles the one with an odd last bit. s.hi is non-zero whenever s.lo is.
double round_to_odd(Pair s) {
  const std::uint64_t b = to_bits(s.hi);
  if (s.lo == 0 || (b & 1) != 0) return s.hi;
  const bool away_from_zero = (s.lo > 0) == (s.hi > 0);
  return from_bits(away_from_zero ? b + 1 : b - 1);
}

// Sign of the exact x + y + z: Shewchuk's growing of a non-overlapping
// expansion, whose largest non-zero component carries the sign.
int sign_of_sum(double x, double y, double z) {
  const Pair first = two_sum(x, y);
  const Pair low = two_sum(z, first.lo);
  const Pair high = two_sum(low.hi, first.hi);
  const double top = high.hi != 0 ? high.hi : (high.lo != 0 ? high.lo : low.lo);
  return (top > 0) - (top < 0);
}

}  // namespace

double soft_fma(double a, double b, double c) noexcept {
  if (!std::isfinite(a) || !std::isfinite(b)) return a * b + c;
  // A finite exact product cannot change an infinite or NaN addend.
  if (!std::isfinite(c)) return c + c;
  // An exactly zero product: IEEE addition already gets the signed zeros right.
  if (a == 0 || b == 0) return a * b + c;
  // No addend: the product rounded once. An underflow to zero keeps the
  // product's sign, which adding a zero could lose.
  if (c == 0) return a * b;

  const Normalized na = normalize(a);
  const Normalized nb = normalize(b);
  const Normalized nc = normalize(c);
  const int e = na.e + nb.e;  // the scaled domain is the true one times 2^-e
  const int d = nc.e - e;
  // |a*b| < 2^(e+2) stays under a quarter of c's smallest neighbouring gap.
  if (d > 60) return c;
  // The scaled product lies in [1, 4) on a grid of 2^-104, so an addend far
  // below it can only break a tie: any tiny value of the same sign does that.
  const double cs = d < -200 ? std::copysign(0x1p-200, c) : nc.m * pow2(d);

  const Pair p = two_product(na.m, nb.m);
  const Pair t = two_sum(cs, p.hi);
  const Pair low = two_sum(t.lo, p.lo);
  const double v = round_to_odd(low);
  const Pair z = two_sum(t.hi, v);  // z.hi is the exact sum rounded to 53 bits
  if (z.hi == 0) return 0.0;        // a*b == -c exactly; exact zero sums are +0

  if (exponent_of(z.hi) + e >= -1022) return scale(z.hi, e);

  // Subnormal result: round to a multiple of q, the quantum 2^-1074 in the
  // scaled domain. Adding k (same sign, 2^52 q) moves z.hi into the binade
  // whose spacing is q, so the hardware rounds there, ties to even.
  const double q = pow2(-1074 - e);
  const double k = std::copysign(0x1p52 * q, z.hi);
  double r = (z.hi + k) - k;
  if (std::fabs(z.hi - r) == 0.5 * q) {
    // z.hi sits exactly on a tie of the q grid; the exact sum may lie off it:
    // exact - z.hi = z.lo + (low.hi - v) + low.lo.
    const int side = sign_of_sum(z.lo, low.hi - v, low.lo);
    if (side > 0) r = z.hi + 0.5 * q;
    if (side < 0) r = z.hi - 0.5 * q;
  }
  if (r == 0) return std::copysign(0.0, z.hi);
  return scale(r, e);
}

}  // namespace quorvex::kernels::scalar
