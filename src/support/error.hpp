// Error values: how a failing operation reports to its caller. Operations
// return Result<T>; only the binding turns an Error into a Python exception.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace quorvex {

enum class ErrorKind {
  TypeError,
  IndexError,
  ValueError,
  MemoryError,
};

// A deferred exception: the class and the final message text.
struct Error {
  ErrorKind kind;
  std::string message;
};

inline Error type_error(std::string message) {
  return {ErrorKind::TypeError, std::move(message)};
}
inline Error index_error(std::string message) {
  return {ErrorKind::IndexError, std::move(message)};
}
inline Error value_error(std::string message) {
  return {ErrorKind::ValueError, std::move(message)};
}
inline Error memory_error(std::string message) {
  return {ErrorKind::MemoryError, std::move(message)};
}

// Either a value or an Error (std::expected is C++23; this is the subset we use).
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}      // NOLINT: implicit
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit

  bool has_value() const noexcept { return state_.index() == 0; }
  explicit operator bool() const noexcept { return has_value(); }

  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const& { return std::get<1>(state_); }
  Error&& error() && { return std::get<1>(std::move(state_)); }

 private:
  std::variant<T, Error> state_;
};

struct Ok {};
using Status = Result<Ok>;

}  // namespace quorvex

// Propagates the error of a Result-returning expression, otherwise yields its value.
#define QV_TRY(var, expr)                                      \
  auto var##_result_ = (expr);                                 \
  if (!var##_result_) return std::move(var##_result_).error(); \
  auto var = std::move(var##_result_).value()
