// The sums behind the rigorous reductions, written once over a target's
// register type with upward radius operations (Up) and its one-double form
// (S): for terms (c_i, r_i), the midpoint sum M = sum c_i and the magnitude
// sum A = sum |c_i|, both rounded to nearest, and the radius sum R = sum r_i
// rounded upward at every step. With the a priori bound on the rounding of a
// sum of n terms, |fl(sum c) - sum c| <= gamma_n sum |c|, gamma_n = n u/(1-n u),
// the caller encloses the exact sum as M +- (R + gamma_n A / (1 - gamma_n)).
// The terms are the balls themselves (sums) or their rigorous products (dot).
#pragma once

#include <cstddef>

#include "kernels/kernel_types.hpp"
#include "kernels/loops/ball_rules.hpp"

namespace quorvex::kernels::loops {
namespace {

// Four chains of accumulators: below AVX-512 an upward addition is an
// addition and a step, whose latency a single chain would wait on.
template <class Up, class S, class Term, class... Runs>
RigorousSums rigorous_sums(std::size_t n, const Runs*... runs) {
  using Reg = typename Up::Reg;
  constexpr std::size_t w = Up::kWidth;
  constexpr std::size_t chains = 4;
  Reg m[chains], a[chains], r[chains];
  for (std::size_t j = 0; j < chains; ++j) m[j] = a[j] = r[j] = Up::set1(0.0);
  std::size_t i = 0;
  for (; i + chains * w <= n; i += chains * w) {
    for (std::size_t j = 0; j < chains; ++j) {
      const auto [c, rad] = Term::template at<Up>(i + j * w, runs...);
      m[j] = Up::add(m[j], c);
      a[j] = Up::add(a[j], Up::abs(c));
      r[j] = Up::add_up(r[j], rad);
    }
  }
  for (; i + w <= n; i += w) {
    const auto [c, rad] = Term::template at<Up>(i, runs...);
    m[0] = Up::add(m[0], c);
    a[0] = Up::add(a[0], Up::abs(c));
    r[0] = Up::add_up(r[0], rad);
  }
  for (std::size_t j = 1; j < chains; ++j) {
    m[0] = Up::add(m[0], m[j]);
    a[0] = Up::add(a[0], a[j]);
    r[0] = Up::add_up(r[0], r[j]);
  }
  alignas(64) double lm[w], la[w], lr[w];
  Up::store(lm, m[0]);
  Up::store(la, a[0]);
  Up::store(lr, r[0]);
  RigorousSums sums{0.0, 0.0, 0.0};
  for (std::size_t j = 0; j < w; ++j) {
    sums.mid += lm[j];
    sums.magnitude += la[j];
    sums.rad = S::add_up(sums.rad, lr[j]);
  }
  for (; i < n; ++i) {
    const auto [c, rad] = Term::template at<S>(i, runs...);
    sums.mid += c;
    sums.magnitude += S::abs(c);
    sums.rad = S::add_up(sums.rad, rad);
  }
  return sums;
}

// The terms of a sum: the balls as they are.
struct BallTerm {
  template <class R>
  static auto at(std::size_t i, const double* mid, const double* rad) {
    struct {
      typename R::Reg c, r;
    } t{R::load(mid + i), R::load(rad + i)};
    return t;
  }
};

// The terms of an inner product: rigorous products of the balls.
struct ProductTerm {
  template <class R>
  static auto at(std::size_t i, const double* am, const double* ar, const double* bm,
                 const double* br) {
    const auto a = R::load(am + i), ra = R::load(ar + i), b = R::load(bm + i), rb = R::load(br + i);
    const auto c = RigorousProduct::mid<R>(a, b);
    struct {
      typename R::Reg c, r;
    } t{c, RigorousProduct::rad<R>(a, ra, b, rb, c)};
    return t;
  }
};

template <class Up, class S>
RigorousSums rigorous_ball_sums(const double* mid, const double* rad, std::size_t n) {
  return rigorous_sums<Up, S, BallTerm>(n, mid, rad);
}

template <class Up, class S>
RigorousSums rigorous_dot_sums(const DotInputs& in) {
  return rigorous_sums<Up, S, ProductTerm>(in.n, in.a_mid, in.a_rad, in.b_mid, in.b_rad);
}

}  // namespace
}  // namespace quorvex::kernels::loops
