// The matrix product of two 2-D interval arrays: midpoints A_mid * B_mid,
// radii |A_mid| * B_rad + A_rad * (|B_mid| + B_rad). From 256 result rows it
// runs in row blocks on the worker pool, with the serial product's bits.
#pragma once

#include "array/interval_array.hpp"

namespace quorvex {

// Panics "matmul requires 2D arrays" and on mismatched inner dimensions.
Result<IntervalArray> matmul(const IntervalArray& a, const IntervalArray& b);
// The rigorous model's product: every rounding counted (three products over
// matrices rounded upward, as the first-order model's three, and a bound on
// their own rounding).
Result<IntervalArray> matmul_rigorous(const IntervalArray& a, const IntervalArray& b);

}  // namespace quorvex
