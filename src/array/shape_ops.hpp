#pragma once

#include "array/interval_array.hpp"

namespace quorvex {

// Same storage, new shape; panics when the element count differs.
Result<IntervalArray> reshape(const IntervalArray& a, const Shape& shape);
// Swaps the axes of a 2-D array into a new storage; panics for other ranks.
Result<IntervalArray> transpose(const IntervalArray& a);

}  // namespace quorvex
