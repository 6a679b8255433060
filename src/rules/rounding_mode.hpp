// The rounding-mode scope: switches the MXCSR rounding-control bits (13-14) of
// the calling thread. Leaving always selects round-to-nearest; every other
// MXCSR bit (masks, sticky flags, FTZ/DAZ) is carried through unchanged.
//
// The compiler must not move or merge floating-point operations across a mode
// change: code that uses these scopes lives in *_directed.cpp files (built with
// -frounding-math), and every value computed under a mode is passed through
// fp_barrier so it is neither hoisted above the switch nor reused from an
// evaluation under another mode.
#pragma once

#include <xmmintrin.h>

#include "rules/ball.hpp"

namespace quorvex {

inline constexpr unsigned kRoundingFieldClear = 0xFFFF9FFFu;
inline constexpr unsigned kRoundDownward = 0x2000u;
inline constexpr unsigned kRoundUpward = 0x4000u;

// Makes x opaque to the optimizer at this point of the instruction stream.
inline double fp_barrier(double x) {
  asm volatile("" : "+x"(x)::"memory");
  return x;
}

inline void enter_rounding(unsigned mode) {
  asm volatile("" ::: "memory");
  _mm_setcsr((_mm_getcsr() & kRoundingFieldClear) | mode);
  asm volatile("" ::: "memory");
}
inline void enter_downward() {
  enter_rounding(kRoundDownward);
}
inline void enter_upward() {
  enter_rounding(kRoundUpward);
}

inline void leave_rounding() {
  asm volatile("" ::: "memory");
  _mm_setcsr(_mm_getcsr() & kRoundingFieldClear);
  asm volatile("" ::: "memory");
}

// The least / greatest of the four endpoint products of (alo, ahi) and
// (blo, bhi) in the rounding mode in force: alo*blo, alo*bhi, ahi*blo, ahi*bhi
// reduced in that order by the NaN-ignoring rule. Operands and result pass a
// barrier, so the products are taken under this scope and no other.
inline double lowest_product(double alo, double ahi, double blo, double bhi) {
  alo = fp_barrier(alo);
  ahi = fp_barrier(ahi);
  blo = fp_barrier(blo);
  bhi = fp_barrier(bhi);
  using rules::nan_min;
  return fp_barrier(nan_min(nan_min(nan_min(alo * blo, alo * bhi), ahi * blo), ahi * bhi));
}
inline double highest_product(double alo, double ahi, double blo, double bhi) {
  alo = fp_barrier(alo);
  ahi = fp_barrier(ahi);
  blo = fp_barrier(blo);
  bhi = fp_barrier(bhi);
  using rules::nan_max;
  return fp_barrier(nan_max(nan_max(nan_max(alo * blo, alo * bhi), ahi * blo), ahi * bhi));
}

}  // namespace quorvex
