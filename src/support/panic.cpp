#include "support/panic.hpp"

#include <utility>

namespace quorvex {

Panic::Panic(std::string message, std::source_location where)
    : message_(std::move(message)), where_(where) {}

void panic(std::string message, std::source_location where) {
  throw Panic(std::move(message), where);
}

std::string format_dims(std::span<const std::uint64_t> dims) {
  std::string text = "[";
  for (std::size_t i = 0; i < dims.size(); ++i) {
    if (i != 0) text += ", ";
    text += std::to_string(dims[i]);
  }
  text += "]";
  return text;
}

std::string assertion_message(std::string_view message, std::string_view left,
                              std::string_view right) {
  std::string text = "assertion `left == right` failed";
  if (!message.empty()) {
    text += ": ";
    text += message;
  }
  text += "\n  left: ";
  text += left;
  text += "\n right: ";
  text += right;
  return text;
}

}  // namespace quorvex
