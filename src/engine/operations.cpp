#include "engine/operations.hpp"

#include <cstring>

#include "ops/arithmetic.hpp"
#include "ops/endpoint_driver.hpp"
#include "ops/endpoint_kernels.hpp"
#include "ops/function_driver.hpp"
#include "simd/dispatch.hpp"
#include "simd/targets.hpp"

namespace quorvex::engine {
namespace {

namespace f = functions;
using Blocks = simd::EndpointBlockKernels;

void copy_balls(const double* m, const double* r, double* om, double* orad, std::size_t n) {
  std::memcpy(om, m, n * sizeof(double));
  std::memcpy(orad, r, n * sizeof(double));
}

void negate_balls(const double* m, const double* r, double* om, double* orad, std::size_t n) {
  simd::sign_flip({m, n}, {om, n});
  std::memcpy(orad, r, n * sizeof(double));
}

// An elementary function: every ball through its endpoint kernel.
template <EndpointKernel Kernel>
void endpoint_balls(const double* m, const double* r, double* om, double* orad, std::size_t n) {
  endpoint_detail::map_balls<Kernel>(m, r, om, orad, n, simd::endpoint_blocks());
}

void divide_balls(const double* ma, const double* ra, const double* mb, const double* rb,
                  double* om, double* orad, std::size_t n) {
  divide_elementwise({ma, n}, {ra, n}, {mb, n}, {rb, n}, {om, n}, {orad, n});
}

UnaryBalls unary_kernel(Unary code) noexcept {
  switch (code) {
    case Unary::kCopy:
      return copy_balls;
    case Unary::kNegative:
      return negate_balls;
    case Unary::kAbsolute:
      return endpoint_balls<abs_endpoints>;
    case Unary::kSqrt:
      return endpoint_balls<sqrt_endpoints>;
    case Unary::kExp:
      return endpoint_balls<exp_endpoints>;
    case Unary::kLog:
      return endpoint_balls<ln_endpoints>;
    case Unary::kLog2:
      return endpoint_balls<log2_endpoints>;
    case Unary::kLog10:
      return endpoint_balls<log10_endpoints>;
    case Unary::kSin:
      return endpoint_balls<sin_endpoints>;
    case Unary::kCos:
      return endpoint_balls<cos_endpoints>;
    case Unary::kTan:
      return endpoint_balls<tan_endpoints>;
    case Unary::kPositive:
      return copy_balls;
    case Unary::kSquare:
      return f::map_images<f::square_image, &Blocks::square_balls>;
    case Unary::kReciprocal:
      return f::map_images<f::reciprocal_image, &Blocks::reciprocal_balls>;
    case Unary::kCbrt:
      return f::map_calls<f::Cbrt>;
    case Unary::kExp2:
      return f::map_calls<f::Exp2>;
    case Unary::kExpm1:
      return f::map_calls<f::Expm1>;
    case Unary::kLog1p:
      return f::map_calls<f::Log1p>;
    case Unary::kSinh:
      return f::map_calls<f::Sinh>;
    case Unary::kCosh:
      return f::map_calls<f::Cosh>;
    case Unary::kTanh:
      return f::map_calls<f::Tanh>;
    case Unary::kArcsin:
      return f::map_calls<f::Arcsin>;
    case Unary::kArccos:
      return f::map_calls<f::Arccos>;
    case Unary::kArctan:
      return f::map_calls<f::Arctan>;
    case Unary::kArcsinh:
      return f::map_calls<f::Arcsinh>;
    case Unary::kArccosh:
      return f::map_calls<f::Arccosh>;
    case Unary::kArctanh:
      return f::map_calls<f::Arctanh>;
    case Unary::kDeg2rad:
      return f::map_images<f::scaled_image<kDegToRad>, &Blocks::deg2rad_balls>;
    case Unary::kRad2deg:
      return f::map_images<f::scaled_image<kRadToDeg>, &Blocks::rad2deg_balls>;
    case Unary::kSign:
      return f::map_images<f::step_image<f::sign_of>, &Blocks::sign_balls>;
    case Unary::kFloor:
      return f::map_images<f::step_image<f::floor_of>, &Blocks::floor_balls>;
    case Unary::kCeil:
      return f::map_images<f::step_image<f::ceil_of>, &Blocks::ceil_balls>;
    case Unary::kTrunc:
      return f::map_images<f::step_image<f::trunc_of>, &Blocks::trunc_balls>;
    case Unary::kRint:
      return f::map_images<f::step_image<f::nearest_integer>, &Blocks::rint_balls>;
  }
  return copy_balls;
}

BinaryBalls binary_kernel(Binary code) noexcept {
  const simd::Kernels& k = simd::active_kernels();
  switch (code) {
    case Binary::kAdd:
      return k.interval_sum.kernel;
    case Binary::kSubtract:
      return k.interval_difference.kernel;
    case Binary::kMultiply:
      return k.interval_product_rounded.kernel;
    case Binary::kDivide:
      return divide_balls;
    case Binary::kArctan2:
      return f::map_binary_calls<f::Arctan2>;
    case Binary::kHypot:
      return f::map_binary_calls<f::Hypot>;
    case Binary::kLogaddexp:
      return f::map_binary_calls<f::LogAddExp>;
    case Binary::kMaximum:
      return f::map_rule<f::maximum_rule, &Blocks::maximum_balls>;
    case Binary::kMinimum:
      return f::map_rule<f::minimum_rule, &Blocks::minimum_balls>;
    case Binary::kFmax:
      return f::map_rule<f::ignoring_nan_rule<f::fmax_of>, &Blocks::fmax_balls>;
    case Binary::kFmin:
      return f::map_rule<f::ignoring_nan_rule<f::fmin_of>, &Blocks::fmin_balls>;
    case Binary::kPower:
      return f::map_binary_calls<f::Power>;
  }
  return divide_balls;
}

#define QV_NAME(code, name, cost) name,
constexpr std::string_view kUnaryNames[] = {QUORVEX_UNARY_OPERATIONS(QV_NAME)};
constexpr std::string_view kBinaryNames[] = {QUORVEX_BINARY_OPERATIONS(QV_NAME)};
#undef QV_NAME
#define QV_COST(code, name, cost) Cost::cost,
constexpr Cost kUnaryCosts[] = {QUORVEX_UNARY_OPERATIONS(QV_COST)};
constexpr Cost kBinaryCosts[] = {QUORVEX_BINARY_OPERATIONS(QV_COST)};
#undef QV_COST

}  // namespace

std::span<const std::string_view> unary_names() noexcept {
  return kUnaryNames;
}
std::span<const std::string_view> binary_names() noexcept {
  return kBinaryNames;
}

std::optional<UnaryOp> unary_op(int code, Model model) noexcept {
  if (code < 0 || static_cast<std::size_t>(code) >= std::size(kUnaryNames)) return std::nullopt;
  const auto op = static_cast<Unary>(code);
  return UnaryOp{model == Model::kRigorous ? rigorous_unary_kernel(op) : unary_kernel(op),
                 kUnaryCosts[code]};
}

std::optional<BinaryOp> binary_op(int code, Model model) noexcept {
  if (code < 0 || static_cast<std::size_t>(code) >= std::size(kBinaryNames)) return std::nullopt;
  const auto op = static_cast<Binary>(code);
  return BinaryOp{model == Model::kRigorous ? rigorous_binary_kernel(op) : binary_kernel(op),
                  kBinaryCosts[code]};
}

}  // namespace quorvex::engine
