// The thread-count rule: parsing the environment values, their fall-through
// order, the cap, and the processor count with its control-group quota.
#include <gtest/gtest.h>
#include <sched.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pool/cpu_count.hpp"
#include "pool/pool.hpp"

namespace quorvex::pool {
namespace {

using OptText = std::optional<std::string_view>;
using OptCount = std::optional<std::uint64_t>;

struct ParseCase {
  OptText text;
  OptCount expected;
};

class ParseCount : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseCount, AcceptsOnlyPlusAndAsciiDigitsWithinSixtyFourBits) {
  EXPECT_EQ(parse_count(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ParseCount,
    testing::Values(ParseCase{"3", 3}, ParseCase{"+3", 3}, ParseCase{"0", 0},
                    ParseCase{"+0", 0}, ParseCase{"007", 7},
                    ParseCase{"18446744073709551615", UINT64_MAX},
                    ParseCase{"018446744073709551615", UINT64_MAX},
                    ParseCase{"18446744073709551616", std::nullopt},
                    ParseCase{"99999999999999999999", std::nullopt},
                    ParseCase{std::nullopt, std::nullopt}, ParseCase{"", std::nullopt},
                    ParseCase{"+", std::nullopt}, ParseCase{"++3", std::nullopt},
                    ParseCase{"-3", std::nullopt}, ParseCase{"-0", std::nullopt},
                    ParseCase{" 3", std::nullopt}, ParseCase{"3 ", std::nullopt},
                    ParseCase{"abc", std::nullopt}, ParseCase{"3a", std::nullopt},
                    ParseCase{"0x10", std::nullopt}, ParseCase{"1e3", std::nullopt},
                    // Non-UTF-8 bytes, and a non-ASCII digit (Arabic-Indic three).
                    ParseCase{"\xff\xfe", std::nullopt}, ParseCase{"3\x80", std::nullopt},
                    ParseCase{"\xd9\xa3", std::nullopt}));

struct CountCase {
  OptText num_threads;
  OptText rs_num_cpus;
  std::size_t default_count;
  std::size_t expected;
};

class ThreadCountFrom : public testing::TestWithParam<CountCase> {};

TEST_P(ThreadCountFrom, FollowsTheFallThroughOrderAndCap) {
  const auto& c = GetParam();
  EXPECT_EQ(thread_count_from(c.num_threads, c.rs_num_cpus, c.default_count), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ThreadCountFrom,
    testing::Values(
        // The first variable wins when it parses and is positive.
        CountCase{"3", "5", 2, 3}, CountCase{"+3", std::nullopt, 2, 3},
        // 0 means the default and the second variable is not consulted.
        CountCase{"0", "5", 2, 2}, CountCase{"+0", "7", 6, 6},
        // Unparsable first values fall through to the second.
        CountCase{"abc", "5", 2, 5}, CountCase{" 3", "5", 2, 5}, CountCase{"-3", "5", 2, 5},
        CountCase{"", "5", 2, 5}, CountCase{std::nullopt, "5", 2, 5},
        CountCase{"18446744073709551616", "4", 2, 4},
        // The second must parse and be positive, else the default.
        CountCase{std::nullopt, "0", 2, 2}, CountCase{"abc", "-1", 3, 3},
        CountCase{std::nullopt, std::nullopt, 4, 4}, CountCase{"x", " 9", 4, 4},
        // The cap applies to every source.
        CountCase{"100000", std::nullopt, 2, 65535}, CountCase{"65535", std::nullopt, 2, 65535},
        CountCase{"65536", std::nullopt, 2, 65535}, CountCase{"abc", "100000", 2, 65535},
        CountCase{"18446744073709551615", std::nullopt, 2, 65535},
        CountCase{"0", std::nullopt, 70000, 65535},
        // A default of 0 (cannot happen) still yields one thread.
        CountCase{std::nullopt, std::nullopt, 0, 1}));

TEST(DefaultThreadCount, IsPositiveAndWithinTheAffinitySet) {
  const std::size_t n = default_thread_count();
  EXPECT_GE(n, 1u);
  cpu_set_t set;
  CPU_ZERO(&set);
  ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
  EXPECT_LE(n, static_cast<std::size_t>(CPU_COUNT(&set)));
}

TEST(DefaultThreadCount, FollowsANarrowedAffinitySet) {
  // Run on one processor only: the default must drop to 1.
  cpu_set_t saved;
  ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &saved)) {
      CPU_SET(cpu, &one);
      break;
    }
  }
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  const std::size_t n = default_thread_count();
  ASSERT_EQ(sched_setaffinity(0, sizeof saved, &saved), 0);
  EXPECT_EQ(n, 1u);
}

struct QuotaCase {
  std::string_view cpu_max;
  std::optional<std::size_t> expected;
};

class CpuMax : public testing::TestWithParam<QuotaCase> {};

TEST_P(CpuMax, GivesWholeProcessorsRoundedDownButAtLeastOne) {
  EXPECT_EQ(parse_cpu_max(GetParam().cpu_max), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, CpuMax,
    testing::Values(QuotaCase{"max 100000\n", std::nullopt}, QuotaCase{"200000 100000\n", 2},
                    QuotaCase{"150000 100000", 1}, QuotaCase{"399999 100000", 3},
                    QuotaCase{"50000 100000", 1}, QuotaCase{"1 100000", 1},
                    QuotaCase{"0 100000", std::nullopt}, QuotaCase{"-1 100000", std::nullopt},
                    QuotaCase{"100000 0", std::nullopt}, QuotaCase{"", std::nullopt},
                    QuotaCase{"garbage", std::nullopt}, QuotaCase{"4x 100000", std::nullopt}));

TEST(CgroupV1Quota, MinusOneMeansUnlimitedAndPositiveQuotasDivide) {
  // cpu.cfs_quota_us / cpu.cfs_period_us as the kernel writes them.
  const auto none = parse_cgroup_integer("-1\n");
  ASSERT_EQ(none, std::optional<std::int64_t>(-1));
  EXPECT_EQ(cpus_from_quota(*none, 100000), std::nullopt);
  const auto quota = parse_cgroup_integer("250000\n");
  const auto period = parse_cgroup_integer("100000\n");
  ASSERT_TRUE(quota && period);
  EXPECT_EQ(cpus_from_quota(*quota, *period), std::optional<std::size_t>(2));
  EXPECT_EQ(parse_cgroup_integer("12ab"), std::nullopt);
  EXPECT_EQ(parse_cgroup_integer("\n"), std::nullopt);
}

struct DirCase {
  std::string_view mount_point;
  std::string_view mount_root;
  std::string_view cgroup_path;
  std::optional<std::string> expected;
};

class CgroupDirectory : public testing::TestWithParam<DirCase> {};

TEST_P(CgroupDirectory, JoinsTheMountWithThePathBelowItsRoot) {
  const auto& c = GetParam();
  EXPECT_EQ(cgroup_directory(c.mount_point, c.mount_root, c.cgroup_path), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, CgroupDirectory,
    testing::Values(
        DirCase{"/sys/fs/cgroup", "/", "/", "/sys/fs/cgroup"},
        DirCase{"/sys/fs/cgroup", "/", "/user.slice/app", "/sys/fs/cgroup/user.slice/app"},
        DirCase{"/sys/fs/cgroup/cpu", "/", "/a/b/", "/sys/fs/cgroup/cpu/a/b"},
        // A container sees its own cgroup as the mount's root.
        DirCase{"/sys/fs/cgroup", "/docker/42", "/docker/42", "/sys/fs/cgroup"},
        DirCase{"/sys/fs/cgroup", "/docker/42", "/docker/42/x", "/sys/fs/cgroup/x"},
        DirCase{"/sys/fs/cgroup", "/docker/42", "/docker/421", std::nullopt},
        DirCase{"/sys/fs/cgroup", "/docker/42", "/other", std::nullopt}));

}  // namespace
}  // namespace quorvex::pool
