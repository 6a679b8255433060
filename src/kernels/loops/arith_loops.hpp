// Loop bodies shared by the per-target arithmetic files. Each of them uses a
// register type V of internal linkage (kernels/<target>/vector.hpp or its own) and instantiates
// these templates with it, so every instantiation (and every helper below, all of internal linkage)
// is compiled for exactly one instruction set: no inline copy built with AVX can be picked by the
// linker for baseline code.
//
// V provides: kWidth, Reg, load, store, set1, add, sub, mul, div, abs and flip
// (sign bit), and fmadd(a, b, c) = a * b + c rounded once when fused loops are
// instantiated. Loops run full vectors from the start of the slice, two per
// iteration while they can, then the tail one element at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvex::kernels::loops {
namespace {

inline double abs_bits(double x) {
  return __builtin_bit_cast(double,
                            __builtin_bit_cast(std::uint64_t, x) & 0x7FFF'FFFF'FFFF'FFFFull);
}
inline double flip_bits(double x) {
  return __builtin_bit_cast(double,
                            __builtin_bit_cast(std::uint64_t, x) ^ 0x8000'0000'0000'0000ull);
}
inline double product_radius(double ma, double ra, double mb, double rb) {
  return ((abs_bits(mb) * ra) + (abs_bits(ma) * rb)) + (ra * rb);
}
// The radius that fits the quotient's midpoint q = ma / mb: for |mb| > rb,
// |a/b - ma/mb| <= (ra + |ma/mb| rb) / (|mb| - rb). It is taken from q itself,
// not from |mb| ra + |ma| rb over |mb| (|mb| - rb), which underflows to 0 for
// tiny operands.
inline double quotient_radius(double q, double ra, double mb, double rb) {
  return (ra + (abs_bits(q) * rb)) / (abs_bits(mb) - rb);
}

// out = f(x, y) elementwise; vf works on registers, sf on doubles.
template <class V, class VF, class SF>
void binary(const double* x, const double* y, double* o, std::size_t n, VF vf, SF sf) {
  constexpr std::size_t w = V::kWidth;
  std::size_t i = 0;
  for (; i + 2 * w <= n; i += 2 * w) {
    auto a0 = V::load(x + i), a1 = V::load(x + i + w);
    auto b0 = V::load(y + i), b1 = V::load(y + i + w);
    V::store(o + i, vf(a0, b0));
    V::store(o + i + w, vf(a1, b1));
  }
  for (; i + w <= n; i += w) V::store(o + i, vf(V::load(x + i), V::load(y + i)));
  for (; i < n; ++i) o[i] = sf(x[i], y[i]);
}

template <class V, class VF, class SF>
void unary(const double* x, double* o, std::size_t n, VF vf, SF sf) {
  constexpr std::size_t w = V::kWidth;
  std::size_t i = 0;
  for (; i + 2 * w <= n; i += 2 * w) {
    auto a0 = V::load(x + i), a1 = V::load(x + i + w);
    V::store(o + i, vf(a0));
    V::store(o + i + w, vf(a1));
  }
  for (; i + w <= n; i += w) V::store(o + i, vf(V::load(x + i)));
  for (; i < n; ++i) o[i] = sf(x[i]);
}

// Four inputs, two outputs: mf gives the midpoint, rf the radius.
template <class V, class MF, class RF, class SMF, class SRF>
void quad(const double* ma, const double* ra, const double* mb, const double* rb, double* om,
          double* orad, std::size_t n, MF mf, RF rf, SMF smf, SRF srf) {
  constexpr std::size_t w = V::kWidth;
  std::size_t i = 0;
  for (; i + w <= n; i += w) {
    auto vma = V::load(ma + i), vra = V::load(ra + i);
    auto vmb = V::load(mb + i), vrb = V::load(rb + i);
    V::store(om + i, mf(vma, vmb));
    V::store(orad + i, rf(vma, vra, vmb, vrb));
  }
  for (; i < n; ++i) {
    // Read all four first: an output may be the same buffer as an input.
    const double a = ma[i], r = ra[i], b = mb[i], s = rb[i];
    om[i] = smf(a, b);
    orad[i] = srf(a, r, b, s);
  }
}

template <class V>
void interval_sum(const double* ma, const double* ra, const double* mb, const double* rb,
                  double* om, double* orad, std::size_t n) {
  quad<V>(
      ma, ra, mb, rb, om, orad, n, [](auto a, auto b) { return V::add(a, b); },
      [](auto, auto r, auto, auto s) { return V::add(r, s); },
      [](double a, double b) { return a + b; },
      [](double, double r, double, double s) { return r + s; });
}

template <class V>
void interval_difference(const double* ma, const double* ra, const double* mb, const double* rb,
                         double* om, double* orad, std::size_t n) {
  quad<V>(
      ma, ra, mb, rb, om, orad, n, [](auto a, auto b) { return V::sub(a, b); },
      [](auto, auto r, auto, auto s) { return V::add(r, s); },
      [](double a, double b) { return a - b; },
      [](double, double r, double, double s) { return r + s; });
}

// Unfused product rule, every operation rounded.
template <class V>
void interval_product(const double* ma, const double* ra, const double* mb, const double* rb,
                      double* om, double* orad, std::size_t n) {
  quad<V>(
      ma, ra, mb, rb, om, orad, n, [](auto a, auto b) { return V::mul(a, b); },
      [](auto a, auto r, auto b, auto s) {
        return V::add(V::add(V::mul(V::abs(b), r), V::mul(V::abs(a), s)), V::mul(r, s));
      },
      [](double a, double b) { return a * b; }, product_radius);
}

// Fused product rule on full vectors; the tail keeps the unfused formula.
template <class V>
void interval_product_fused(const double* ma, const double* ra, const double* mb, const double* rb,
                            double* om, double* orad, std::size_t n) {
  quad<V>(
      ma, ra, mb, rb, om, orad, n, [](auto a, auto b) { return V::mul(a, b); },
      [](auto a, auto r, auto b, auto s) {
        return V::fmadd(r, s, V::fmadd(r, V::abs(b), V::mul(V::abs(a), s)));
      },
      [](double a, double b) { return a * b; }, product_radius);
}

template <class V>
void midpoint_sum(const double* x, const double* y, double* o, std::size_t n) {
  binary<V>(
      x, y, o, n, [](auto a, auto b) { return V::add(a, b); },
      [](double a, double b) { return a + b; });
}
template <class V>
void midpoint_difference(const double* x, const double* y, double* o, std::size_t n) {
  binary<V>(
      x, y, o, n, [](auto a, auto b) { return V::sub(a, b); },
      [](double a, double b) { return a - b; });
}
template <class V>
void midpoint_product(const double* x, const double* y, double* o, std::size_t n) {
  binary<V>(
      x, y, o, n, [](auto a, auto b) { return V::mul(a, b); },
      [](double a, double b) { return a * b; });
}
template <class V>
void midpoint_quotient(const double* x, const double* y, double* o, std::size_t n) {
  binary<V>(
      x, y, o, n, [](auto a, auto b) { return V::div(a, b); },
      [](double a, double b) { return a / b; });
}
template <class V>
void absolute_product(const double* x, const double* y, double* o, std::size_t n) {
  binary<V>(
      x, y, o, n, [](auto a, auto b) { return V::mul(V::abs(a), b); },
      [](double a, double b) { return abs_bits(a) * b; });
}
template <class V>
void broadcast_sum(const double* x, double c, double* o, std::size_t n) {
  const auto vc = V::set1(c);
  unary<V>(x, o, n, [vc](auto a) { return V::add(a, vc); }, [c](double a) { return a + c; });
}
template <class V>
void broadcast_product(const double* x, double c, double* o, std::size_t n) {
  const auto vc = V::set1(c);
  unary<V>(x, o, n, [vc](auto a) { return V::mul(a, vc); }, [c](double a) { return a * c; });
}
template <class V>
void sign_flip(const double* x, double* o, std::size_t n) {
  unary<V>(x, o, n, [](auto a) { return V::flip(a); }, flip_bits);
}

// Quotient rule: midpoint q = ma / mb, radius from that midpoint.
template <class V>
void interval_quotient(const double* ma, const double* ra, const double* mb, const double* rb,
                       double* om, double* orad, std::size_t n) {
  constexpr std::size_t w = V::kWidth;
  std::size_t i = 0;
  for (; i + w <= n; i += w) {
    auto a = V::load(ma + i), r = V::load(ra + i), b = V::load(mb + i), s = V::load(rb + i);
    auto q = V::div(a, b);
    V::store(om + i, q);
    V::store(orad + i, V::div(V::add(r, V::mul(V::abs(q), s)), V::sub(V::abs(b), s)));
  }
  for (; i < n; ++i) {
    // Read all four first: an output may be the same buffer as an input.
    const double a = ma[i], r = ra[i], b = mb[i], s = rb[i];
    const double q = a / b;
    om[i] = q;
    orad[i] = quotient_radius(q, r, b, s);
  }
}

}  // namespace
}  // namespace quorvex::kernels::loops
