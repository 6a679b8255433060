// Texts of the argument-parsing failures of every Python entry point. Kept free
// of Python so the wording can be checked without an interpreter.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace quorvex {

// "{name} takes {total} positional arguments but {given} were given", or
// "takes from {required} to {total}" when some parameters are optional.
std::string too_many_positional_message(std::string_view name, std::size_t required,
                                        std::size_t total, std::size_t given);
// "{name} got an unexpected keyword argument '{keyword}'"
std::string unexpected_keyword_message(std::string_view name, std::string_view keyword);
// "{name} got multiple values for argument '{keyword}'"
std::string duplicate_argument_message(std::string_view name, std::string_view keyword);
// "{name} missing 2 required positional arguments: 'a' and 'b'"
std::string missing_arguments_message(std::string_view name,
                                      std::span<const std::string_view> missing);
// "'{type_name}' object cannot be converted to '{target}'"
std::string type_mismatch_message(std::string_view type_name, std::string_view target);
// Prefix for the failed conversion of a named argument.
std::string argument_error_message(std::string_view parameter, std::string_view text);

}  // namespace quorvex
