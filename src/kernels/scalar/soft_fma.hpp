// A correctly rounded fused multiply-add (round to nearest, ties to even) in
// plain double arithmetic, for processors without the instruction. Gives the
// same bits as the instruction for every input, subnormals, overflow and
// signed zeros included.
#pragma once

namespace quorvex::kernels::scalar {

double soft_fma(double a, double b, double c) noexcept;

}  // namespace quorvex::kernels::scalar
