// Wording of the argument-parsing failures, including the list forms that no
// Python entry point can reach (three or more missing names).
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/arg_messages.hpp"

namespace quorvex {
namespace {

struct MissingCase {
  std::vector<std::string_view> names;
  std::string expected;
};

class MissingArguments : public ::testing::TestWithParam<MissingCase> {};

TEST_P(MissingArguments, ListsNamesWithAndAndSerialComma) {
  EXPECT_EQ(missing_arguments_message("f()", GetParam().names), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, MissingArguments,
    ::testing::Values(
        MissingCase{{"value"}, "f() missing 1 required positional argument: 'value'"},
        MissingCase{{"shape", "value"},
                    "f() missing 2 required positional arguments: 'shape' and 'value'"},
        MissingCase{{"a", "b", "c"},
                    "f() missing 3 required positional arguments: 'a', 'b', and 'c'"},
        MissingCase{{"a", "b", "c", "d"},
                    "f() missing 4 required positional arguments: 'a', 'b', 'c', and 'd'"}));

struct CountCase {
  std::size_t required;
  std::size_t total;
  std::size_t given;
  std::string expected;
};

class TooManyPositional : public ::testing::TestWithParam<CountCase> {};

TEST_P(TooManyPositional, NamesRangeAndVerb) {
  const CountCase& c = GetParam();
  EXPECT_EQ(too_many_positional_message("g()", c.required, c.total, c.given), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, TooManyPositional,
    ::testing::Values(
        // A parameterless function given one argument is the only "was" case.
        CountCase{0, 0, 1, "g() takes 0 positional arguments but 1 was given"},
        CountCase{1, 1, 2, "g() takes 1 positional arguments but 2 were given"},
        CountCase{2, 3, 4, "g() takes from 2 to 3 positional arguments but 4 were given"},
        CountCase{0, 2, 1, "g() takes from 0 to 2 positional arguments but 1 was given"}));

TEST(ArgumentMessages, KeywordAndConversionTexts) {
  EXPECT_EQ(unexpected_keyword_message("array()", "bad"),
            "array() got an unexpected keyword argument 'bad'");
  EXPECT_EQ(duplicate_argument_message("array()", "values"),
            "array() got multiple values for argument 'values'");
  EXPECT_EQ(type_mismatch_message("tuple", "PyList"),
            "'tuple' object cannot be converted to 'PyList'");
  EXPECT_EQ(argument_error_message("shape", "Can't extract `str` to `Vec`"),
            "argument 'shape': Can't extract `str` to `Vec`");
}

}  // namespace
}  // namespace quorvex
