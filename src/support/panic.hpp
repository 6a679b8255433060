// Internal assertions. A failed assertion throws Panic; the binding catches it
// at the entry point, writes a diagnostic and raises PanicException.
#pragma once

#include <cstdint>
#include <exception>
#include <source_location>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

class Panic : public std::exception {
 public:
  Panic(std::string message, std::source_location where);
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const noexcept { return message_; }
  const std::source_location& where() const noexcept { return where_; }

 private:
  std::string message_;
  std::source_location where_;
};

[[noreturn]] void panic(std::string message,
                        std::source_location where = std::source_location::current());

// "[4, 2]": how shapes appear in assertion messages and reprs.
std::string format_dims(std::span<const std::uint64_t> dims);

inline std::string debug_text(std::uint64_t v) {
  return std::to_string(v);
}
inline std::string debug_text(std::int64_t v) {
  return std::to_string(v);
}
inline std::string debug_text(int v) {
  return std::to_string(v);
}
inline std::string debug_text(const std::vector<std::uint64_t>& dims) {
  return format_dims(dims);
}

// "assertion `left == right` failed: msg\n  left: L\n right: R" (no ": msg" when empty).
std::string assertion_message(std::string_view message, std::string_view left,
                              std::string_view right);

template <class L, class R>
void assert_eq(const L& left, const R& right, std::string_view message,
               std::source_location where = std::source_location::current()) {
  if (!(left == right)) {
    panic(assertion_message(message, debug_text(left), debug_text(right)), where);
  }
}

}  // namespace quorvex
