// Argument-parsing texts that no Python entry point can reach: three or more
// missing names (serial comma) and the singular "was" of a count error.
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

TEST_P(MissingArguments, ListsNames) {
  EXPECT_EQ(missing_arguments_message("f()", GetParam().names), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, MissingArguments,
    ::testing::Values(
        MissingCase{{"v"}, "f() missing 1 required positional argument: 'v'"},
        MissingCase{{"a", "b"}, "f() missing 2 required positional arguments: 'a' and 'b'"},
        MissingCase{{"a", "b", "c"},
                    "f() missing 3 required positional arguments: 'a', 'b', and 'c'"},
        MissingCase{{"a", "b", "c", "d"},
                    "f() missing 4 required positional arguments: 'a', 'b', 'c', and 'd'"}));

TEST(TooManyPositional, VerbFollowsTheGivenCount) {
  EXPECT_EQ(too_many_positional_message("g()", 0, 0, 1),
            "g() takes 0 positional arguments but 1 was given");
  EXPECT_EQ(too_many_positional_message("g()", 0, 2, 1),
            "g() takes from 0 to 2 positional arguments but 1 was given");
  EXPECT_EQ(too_many_positional_message("g()", 1, 1, 2),
            "g() takes 1 positional arguments but 2 were given");
}

}  // namespace
}  // namespace quorvex
