// The elementwise operations the engine offers, by name: the one table that
// the binding exposes and the quorvex package maps numpy's ufuncs onto.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "engine/elementwise.hpp"

namespace quorvex::engine {

// X(code, "name", cost): kFunction where an element costs library calls.
#define QUORVEX_UNARY_OPERATIONS(X)         \
  X(kCopy, "copy", kArithmetic)             \
  X(kNegative, "negative", kArithmetic)     \
  X(kAbsolute, "absolute", kArithmetic)     \
  X(kSqrt, "sqrt", kArithmetic)             \
  X(kExp, "exp", kFunction)                 \
  X(kLog, "log", kFunction)                 \
  X(kLog2, "log2", kFunction)               \
  X(kLog10, "log10", kFunction)             \
  X(kSin, "sin", kFunction)                 \
  X(kCos, "cos", kFunction)                 \
  X(kTan, "tan", kFunction)                 \
  X(kPositive, "positive", kArithmetic)     \
  X(kSquare, "square", kArithmetic)         \
  X(kReciprocal, "reciprocal", kArithmetic) \
  X(kCbrt, "cbrt", kFunction)               \
  X(kExp2, "exp2", kFunction)               \
  X(kExpm1, "expm1", kFunction)             \
  X(kLog1p, "log1p", kFunction)             \
  X(kSinh, "sinh", kFunction)               \
  X(kCosh, "cosh", kFunction)               \
  X(kTanh, "tanh", kFunction)               \
  X(kArcsin, "arcsin", kFunction)           \
  X(kArccos, "arccos", kFunction)           \
  X(kArctan, "arctan", kFunction)           \
  X(kArcsinh, "arcsinh", kFunction)         \
  X(kArccosh, "arccosh", kFunction)         \
  X(kArctanh, "arctanh", kFunction)         \
  X(kDeg2rad, "deg2rad", kArithmetic)       \
  X(kRad2deg, "rad2deg", kArithmetic)       \
  X(kSign, "sign", kArithmetic)             \
  X(kFloor, "floor", kArithmetic)           \
  X(kCeil, "ceil", kArithmetic)             \
  X(kTrunc, "trunc", kArithmetic)           \
  X(kRint, "rint", kArithmetic)

#define QUORVEX_BINARY_OPERATIONS(X)    \
  X(kAdd, "add", kArithmetic)           \
  X(kSubtract, "subtract", kArithmetic) \
  X(kMultiply, "multiply", kArithmetic) \
  X(kDivide, "divide", kArithmetic)     \
  X(kArctan2, "arctan2", kFunction)     \
  X(kHypot, "hypot", kFunction)         \
  X(kLogaddexp, "logaddexp", kFunction) \
  X(kMaximum, "maximum", kArithmetic)   \
  X(kMinimum, "minimum", kArithmetic)   \
  X(kFmax, "fmax", kArithmetic)         \
  X(kFmin, "fmin", kArithmetic)         \
  X(kPower, "power", kFunction)

#define QV_CODE(code, name, cost) code,
enum class Unary { QUORVEX_UNARY_OPERATIONS(QV_CODE) };
enum class Binary { QUORVEX_BINARY_OPERATIONS(QV_CODE) };
#undef QV_CODE

// The rounding model of an operation: first order (nothing counted) or
// rigorous (every rounding counted).
enum class Model { kFirstOrder, kRigorous };

// Names in code order.
std::span<const std::string_view> unary_names() noexcept;
std::span<const std::string_view> binary_names() noexcept;

// The operation with its kernel for this process's target and the model;
// nullopt for a code out of range.
std::optional<UnaryOp> unary_op(int code, Model model = Model::kFirstOrder) noexcept;
std::optional<BinaryOp> binary_op(int code, Model model = Model::kFirstOrder) noexcept;

// The rigorous model's kernels (engine/rigorous_operations.cpp).
UnaryBalls rigorous_unary_kernel(Unary code) noexcept;
BinaryBalls rigorous_binary_kernel(Binary code) noexcept;

}  // namespace quorvex::engine
