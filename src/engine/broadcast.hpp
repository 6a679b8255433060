// numpy's broadcasting, and the loop nest an elementwise operation walks:
// the result's shape with every operand's strides along it, size-1 axes
// dropped and axes merged where every operand steps through them as one.
#pragma once

#include <array>
#include <cstddef>

#include "engine/strided.hpp"

namespace quorvex::engine {

// The broadcast shape of a and b, or numpy's ValueError.
Result<Extents> broadcast_shapes(const Extents& a, const Extents& b);

// The strides of `view` along `shape`, a broadcast of its own shape: 0 on
// the axes it is stretched along or lacks.
Extents broadcast_strides(const StridedBalls& view, const Extents& shape);

// Up to two operands along one (contiguous, row-major) result.
template <std::size_t K>
struct LoopNest {
  Extents shape;                   // outermost axis first; empty for one element
  std::array<Extents, K> strides;  // per operand, along `shape`
};

// The nest of `shape` for operands with `strides` (each along `shape`).
template <std::size_t K>
LoopNest<K> coalesce(const Extents& shape, const std::array<Extents, K>& strides);

}  // namespace quorvex::engine
