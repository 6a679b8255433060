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

}  // namespace quorvex
