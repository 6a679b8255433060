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
      return functions::map_images<functions::square_image,
                                   &simd::EndpointBlockKernels::square_balls>;
    case Unary::kReciprocal:
      return functions::map_images<functions::reciprocal_image,
                                   &simd::EndpointBlockKernels::reciprocal_balls>;
    case Unary::kCbrt:
      return functions::map_calls<functions::Cbrt>;
    case Unary::kExp2:
      return functions::map_calls<functions::Exp2>;
    case Unary::kExpm1:
      return functions::map_calls<functions::Expm1>;
    case Unary::kLog1p:
      return functions::map_calls<functions::Log1p>;
    case Unary::kSinh:
      return functions::map_calls<functions::Sinh>;
    case Unary::kCosh:
      return functions::map_calls<functions::Cosh>;
    case Unary::kTanh:
      return functions::map_calls<functions::Tanh>;
    case Unary::kArcsin:
      return functions::map_calls<functions::Arcsin>;
    case Unary::kArccos:
      return functions::map_calls<functions::Arccos>;
    case Unary::kArctan:
      return functions::map_calls<functions::Arctan>;
    case Unary::kArcsinh:
      return functions::map_calls<functions::Arcsinh>;
    case Unary::kArccosh:
      return functions::map_calls<functions::Arccosh>;
    case Unary::kArctanh:
      return functions::map_calls<functions::Arctanh>;
    case Unary::kDeg2rad:
      return functions::map_images<functions::scaled_image<kDegToRad>,
                                   &simd::EndpointBlockKernels::deg2rad_balls>;
    case Unary::kRad2deg:
      return functions::map_images<functions::scaled_image<kRadToDeg>,
                                   &simd::EndpointBlockKernels::rad2deg_balls>;
    case Unary::kSign:
      return functions::map_images<functions::step_image<functions::sign_of>,
                                   &simd::EndpointBlockKernels::sign_balls>;
    case Unary::kFloor:
      return functions::map_images<functions::step_image<functions::floor_of>,
                                   &simd::EndpointBlockKernels::floor_balls>;
    case Unary::kCeil:
      return functions::map_images<functions::step_image<functions::ceil_of>,
                                   &simd::EndpointBlockKernels::ceil_balls>;
    case Unary::kTrunc:
      return functions::map_images<functions::step_image<functions::trunc_of>,
                                   &simd::EndpointBlockKernels::trunc_balls>;
    case Unary::kRint:
      return functions::map_images<functions::step_image<functions::nearest_integer>,
                                   &simd::EndpointBlockKernels::rint_balls>;
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
      return functions::map_binary_calls<functions::Arctan2>;
    case Binary::kHypot:
      return functions::map_binary_calls<functions::Hypot>;
    case Binary::kLogaddexp:
      return functions::map_binary_calls<functions::LogAddExp>;
    case Binary::kMaximum:
      return functions::map_rule<functions::maximum_rule,
                                 &simd::EndpointBlockKernels::maximum_balls>;
    case Binary::kMinimum:
      return functions::map_rule<functions::minimum_rule,
                                 &simd::EndpointBlockKernels::minimum_balls>;
    case Binary::kFmax:
      return functions::map_rule<functions::ignoring_nan_rule<functions::fmax_of>,
                                 &simd::EndpointBlockKernels::fmax_balls>;
    case Binary::kFmin:
      return functions::map_rule<functions::ignoring_nan_rule<functions::fmin_of>,
                                 &simd::EndpointBlockKernels::fmin_balls>;
    case Binary::kPower:
      return functions::map_binary_calls<functions::Power>;
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

std::optional<UnaryOp> unary_op(int code) noexcept {
  if (code < 0 || static_cast<std::size_t>(code) >= std::size(kUnaryNames)) return std::nullopt;
  return UnaryOp{unary_kernel(static_cast<Unary>(code)), kUnaryCosts[code]};
}

std::optional<BinaryOp> binary_op(int code) noexcept {
  if (code < 0 || static_cast<std::size_t>(code) >= std::size(kBinaryNames)) return std::nullopt;
  return BinaryOp{binary_kernel(static_cast<Binary>(code)), kBinaryCosts[code]};
}

}  // namespace quorvex::engine
