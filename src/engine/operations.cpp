#include "engine/operations.hpp"

#include <cstring>

#include "ops/arithmetic.hpp"
#include "ops/endpoint_driver.hpp"
#include "ops/endpoint_kernels.hpp"
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
