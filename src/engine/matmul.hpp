// Matrix products of strided views: numpy's matmul of stacks of matrices,
// each product by the core's matrix product.
#pragma once

#include "engine/operations.hpp"
#include "engine/strided.hpp"

namespace quorvex::engine {

// An operand of at least two dimensions; `whole`, when not null, is the same
// data as a contiguous array (so a plain matrix needs no copy).
struct MatrixOperand {
  StridedBalls view;
  const IntervalArray* whole = nullptr;
};

// a (..., m, k) times b (..., k, n), the leading axes broadcast: a result of
// (..., m, n). ValueError on mismatched or unbroadcastable shapes,
// MemoryError for a result too large to lay out.
Result<IntervalArray> matmul(const MatrixOperand& a, const MatrixOperand& b,
                             Model model = Model::kFirstOrder);

}  // namespace quorvex::engine
