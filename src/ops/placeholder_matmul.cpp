// Temporary: replaced by the matrix-product implementation.
#include "ops/reduction.hpp"
#include "support/panic.hpp"

namespace quorvex {
Result<IntervalArray> matmul(const IntervalArray&, const IntervalArray&) { panic("not implemented"); }
}  // namespace quorvex
