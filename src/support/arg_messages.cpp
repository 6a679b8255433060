#include "support/arg_messages.hpp"

namespace quorvex {

namespace {

std::string quoted(std::string_view s) {
  std::string out = "'";
  out += s;
  out += "'";
  return out;
}

}  // namespace

std::string too_many_positional_message(std::string_view name, std::size_t required,
                                        std::size_t total, std::size_t given) {
  std::string text(name);
  text += " takes ";
  if (required == total) {
    text += std::to_string(total);
  } else {
    text += "from " + std::to_string(required) + " to " + std::to_string(total);
  }
  text += " positional arguments but " + std::to_string(given);
  text += given == 1 ? " was given" : " were given";
  return text;
}

std::string unexpected_keyword_message(std::string_view name, std::string_view keyword) {
  return std::string(name) + " got an unexpected keyword argument " + quoted(keyword);
}

std::string duplicate_argument_message(std::string_view name, std::string_view keyword) {
  return std::string(name) + " got multiple values for argument " + quoted(keyword);
}

std::string missing_arguments_message(std::string_view name,
                                      std::span<const std::string_view> missing) {
  const std::size_t k = missing.size();
  std::string text(name);
  text += " missing " + std::to_string(k) + " required positional ";
  text += k == 1 ? "argument: " : "arguments: ";
  for (std::size_t i = 0; i < k; ++i) {
    if (i != 0) {
      // Two names read "'a' and 'b'"; longer lists take the serial comma.
      if (k == 2) {
        text += " and ";
      } else {
        text += i + 1 == k ? ", and " : ", ";
      }
    }
    text += quoted(missing[i]);
  }
  return text;
}

std::string type_mismatch_message(std::string_view type_name, std::string_view target) {
  return quoted(type_name) + " object cannot be converted to " + quoted(target);
}

std::string argument_error_message(std::string_view parameter, std::string_view text) {
  return "argument " + quoted(parameter) + ": " + std::string(text);
}

}  // namespace quorvex
