// The elementwise engine: one driver that runs any unary or binary ball
// operation over strided, broadcasting views and writes a fresh contiguous
// result of the broadcast shape. Operands that are contiguous along a run go
// to the kernel as they are; the others are gathered into small blocks that
// stay in cache and go through the same kernel. Every kernel computes each
// element from its own operands alone, so the bits never depend on the
// layout, the blocks or the chunks.
#pragma once

#include <cstddef>

#include "engine/strided.hpp"
#include "kernels/kernel_types.hpp"
#include "pool/partition.hpp"

namespace quorvex::engine {

using pool::Cost;

// Balls in, balls out, over contiguous runs of n elements. Outputs never
// alias inputs here.
using UnaryBalls = void (*)(const double* mid, const double* rad, double* out_mid, double* out_rad,
                            std::size_t n);
using BinaryBalls = kernels::QuadKernel;

struct UnaryOp {
  UnaryBalls kernel;
  Cost cost;
};
struct BinaryOp {
  BinaryBalls kernel;
  Cost cost;
};

// Elements per kernel call when operands are gathered.
inline constexpr std::size_t kBlock = 512;

Result<IntervalArray> apply(const UnaryOp& op, const StridedBalls& x);
// numpy's broadcasting; ValueError when the shapes do not broadcast.
Result<IntervalArray> apply(const BinaryOp& op, const StridedBalls& x, const StridedBalls& y);

}  // namespace quorvex::engine
