// The rigorous model's kernels for the engine's operations: every rounding
// error of the midpoint and of the radius counted (loops/ball_rules.hpp,
// ops/rigorous_functions.hpp), so each result ball contains the exact result
// for every real input inside the operand balls.
#include <cstring>

#include "engine/operations.hpp"
#include "ops/arithmetic.hpp"
#include "ops/rigorous_functions.hpp"
#include "ops/rigorous_more_functions.hpp"
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

namespace f = functions;
namespace r = rigorous_detail;

using Blocks = simd::EndpointBlockKernels;

// Block: the vector form of the rigorous finishing step.
template <class Form, simd::FinishFn Blocks::* Block, int Ulps = kLibraryUlps>
constexpr UnaryBalls calls = r::map_calls<Form, r::form_finish<Form>, Ulps, Block>;

// The image functions of exact or correctly rounded operations: Ulps covers
// their rounding (and, for the angle conversions, that of the constant).
template <EndpointPair (*Image)(double, double), int Ulps, simd::BallsFn Blocks::* Vector>
constexpr UnaryBalls images = r::map_images<Image, Ulps, Vector>;

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
    case Unary::kPositive:
      return copy_balls;
    case Unary::kSquare:
      return images<f::square_image, rules::kCorrectlyRoundedUlps, &Blocks::rigorous_square_balls>;
    case Unary::kReciprocal:
      return images<f::reciprocal_image, rules::kCorrectlyRoundedUlps,
                    &Blocks::rigorous_reciprocal_balls>;
    case Unary::kCbrt:
      return calls<f::Cbrt, &Blocks::rigorous_cbrt_finish, r::kCbrtUlps>;
    case Unary::kExp2:
      return calls<f::Exp2, &Blocks::rigorous_rising_finish>;
    case Unary::kExpm1:
      return calls<f::Expm1, &Blocks::rigorous_rising_finish>;
    case Unary::kLog1p:
      return r::map_calls<f::Log1p, r::log1p_finish, kLibraryUlps, &Blocks::rigorous_log1p_finish>;
    case Unary::kSinh:
      return calls<f::Sinh, &Blocks::rigorous_rising_finish>;
    case Unary::kCosh:
      return calls<f::Cosh, &Blocks::rigorous_cosh_finish>;
    case Unary::kTanh:
      return calls<f::Tanh, &Blocks::rigorous_rising_finish>;
    case Unary::kArcsin:
      return calls<f::Arcsin, &Blocks::rigorous_unit_rising_finish>;
    case Unary::kArccos:
      return calls<f::Arccos, &Blocks::rigorous_unit_falling_finish>;
    case Unary::kArctan:
      return calls<f::Arctan, &Blocks::rigorous_rising_finish>;
    case Unary::kArcsinh:
      return calls<f::Arcsinh, &Blocks::rigorous_rising_finish>;
    case Unary::kArccosh:
      return calls<f::Arccosh, &Blocks::rigorous_acosh_finish>;
    case Unary::kArctanh:
      return calls<f::Arctanh, &Blocks::rigorous_unit_rising_finish>;
    case Unary::kDeg2rad:
      return images<f::scaled_image<kDegToRad>, rules::kScaledUlps,
                    &Blocks::rigorous_deg2rad_balls>;
    case Unary::kRad2deg:
      return images<f::scaled_image<kRadToDeg>, rules::kScaledUlps,
                    &Blocks::rigorous_rad2deg_balls>;
    case Unary::kSign:
      return images<f::step_image<f::sign_of>, 0, &Blocks::rigorous_sign_balls>;
    case Unary::kFloor:
      return images<f::step_image<f::floor_of>, 0, &Blocks::rigorous_floor_balls>;
    case Unary::kCeil:
      return images<f::step_image<f::ceil_of>, 0, &Blocks::rigorous_ceil_balls>;
    case Unary::kTrunc:
      return images<f::step_image<f::trunc_of>, 0, &Blocks::rigorous_trunc_balls>;
    case Unary::kRint:
      return images<f::step_image<f::nearest_integer>, 0, &Blocks::rigorous_rint_balls>;
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
    case Binary::kArctan2:
      return r::map_binary_form<f::Arctan2, kLibraryUlps, &Blocks::rigorous_arctan2_finish>;
    case Binary::kHypot:
      return r::map_binary_form<f::Hypot, kLibraryUlps, &Blocks::rigorous_hypot_finish>;
    case Binary::kLogaddexp:
      return r::logaddexp_balls;
    case Binary::kMaximum:
      return r::map_ball_pairs<r::selection_ball<f::max_of>, &Blocks::rigorous_maximum_balls>;
    case Binary::kMinimum:
      return r::map_ball_pairs<r::selection_ball<f::min_of>, &Blocks::rigorous_minimum_balls>;
    case Binary::kFmax:
      return r::map_ball_pairs<r::ignoring_nan_ball<f::fmax_of>, &Blocks::rigorous_fmax_balls>;
    case Binary::kFmin:
      return r::map_ball_pairs<r::ignoring_nan_ball<f::fmin_of>, &Blocks::rigorous_fmin_balls>;
    case Binary::kPower:
      return r::map_binary_form<f::Power, kLibraryUlps>;
  }
  return divide_balls;
}

}  // namespace quorvex::engine
