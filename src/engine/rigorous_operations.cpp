// The rigorous model's kernels for the engine's operations: every rounding
// error of the midpoint and of the radius counted (loops/ball_rules.hpp,
// ops/rigorous_functions.hpp), so each result ball contains the exact result
// for every real input inside the operand balls.
#include <cstring>

#include "engine/operations.hpp"
#include "ops/arithmetic.hpp"
#include "ops/rigorous_functions.hpp"
#include "simd/targets.hpp"

namespace quorvex::engine {
namespace {

void copy_balls(const double* m, const double* r, double* om, double* orad, std::size_t n) {
  std::memcpy(om, m, n * sizeof(double));
  std::memcpy(orad, r, n * sizeof(double));
}

// Negation is exact in both models.
void negate_balls(const double* m, const double* r, double* om, double* orad, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) om[i] = rules::flip_sign(m[i]);
  std::memcpy(orad, r, n * sizeof(double));
}

void divide_balls(const double* ma, const double* ra, const double* mb, const double* rb,
                  double* om, double* orad, std::size_t n) {
  divide_elementwise({ma, n}, {ra, n}, {mb, n}, {rb, n}, {om, n}, {orad, n}, true);
}

}  // namespace

UnaryBalls rigorous_unary_kernel(Unary code) noexcept {
  switch (code) {
    case Unary::kCopy:
      return copy_balls;
    case Unary::kNegative:
      return negate_balls;
    case Unary::kAbsolute:
      return rigorous::kAbsolute;
    case Unary::kSqrt:
      return rigorous::kSqrt;
    case Unary::kExp:
      return rigorous::kExp;
    case Unary::kLog:
      return rigorous::kLog;
    case Unary::kLog2:
      return rigorous::kLog2;
    case Unary::kLog10:
      return rigorous::kLog10;
    case Unary::kSin:
      return rigorous::kSin;
    case Unary::kCos:
      return rigorous::kCos;
    case Unary::kTan:
      return rigorous::kTan;
  }
  return copy_balls;
}

BinaryBalls rigorous_binary_kernel(Binary code) noexcept {
  const simd::Kernels& k = simd::active_kernels();
  switch (code) {
    case Binary::kAdd:
      return k.rigorous_sum.kernel;
    case Binary::kSubtract:
      return k.rigorous_difference.kernel;
    case Binary::kMultiply:
      return k.rigorous_product.kernel;
    case Binary::kDivide:
      return divide_balls;
  }
  return divide_balls;
}

}  // namespace quorvex::engine
