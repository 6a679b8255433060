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
constexpr auto kNone = std::nullopt;

struct ParseCase {
  OptText text;
  std::optional<std::uint64_t> expected;
};

class ParseCount : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseCount, AcceptsOnlyPlusAndAsciiDigitsWithinSixtyFourBits) {
  EXPECT_EQ(parse_count(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ParseCount,
    testing::Values(ParseCase{"3", 3}, ParseCase{"+3", 3}, ParseCase{"0", 0}, ParseCase{"007", 7},
                    ParseCase{"18446744073709551615", UINT64_MAX},
                    ParseCase{"018446744073709551615", UINT64_MAX},
                    ParseCase{"18446744073709551616", kNone}, ParseCase{kNone, kNone},
                    ParseCase{"", kNone}, ParseCase{"+", kNone}, ParseCase{"++3", kNone},
                    ParseCase{"-3", kNone}, ParseCase{"-0", kNone}, ParseCase{" 3", kNone},
                    ParseCase{"3 ", kNone}, ParseCase{"abc", kNone}, ParseCase{"0x10", kNone},
                    // Non-UTF-8 bytes, and a non-ASCII digit (Arabic-Indic three).
                    ParseCase{"\xff\xfe", kNone}, ParseCase{"3\x80", kNone},
                    ParseCase{"\xd9\xa3", kNone}));

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
    testing::Values(CountCase{"3", "5", 2, 3}, CountCase{"+3", kNone, 2, 3},
                    // 0 means the default and the second variable is not consulted.
                    CountCase{"0", "5", 2, 2}, CountCase{"+0", "7", 6, 6},
                    // Unparsable first values fall through to the second...
                    CountCase{"abc", "5", 2, 5}, CountCase{" 3", "5", 2, 5},
                    CountCase{"-3", "5", 2, 5}, CountCase{"", "5", 2, 5},
                    CountCase{"18446744073709551616", "4", 2, 4},
                    // ...which must parse and be positive, else the default.
                    CountCase{kNone, "0", 2, 2}, CountCase{"abc", "-1", 3, 3},
                    CountCase{"x", " 9", 4, 4}, CountCase{kNone, kNone, 4, 4},
                    // The cap applies to every source; a default of 0 still gives one thread.
                    CountCase{"100000", kNone, 2, 65535}, CountCase{"65535", kNone, 2, 65535},
                    CountCase{"65536", kNone, 2, 65535}, CountCase{"abc", "100000", 2, 65535},
                    CountCase{"0", kNone, 70000, 65535}, CountCase{kNone, kNone, 0, 1}));

TEST(DefaultThreadCount, FollowsTheAffinitySet) {
  cpu_set_t saved;
  ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
  const std::size_t all = default_thread_count();
  EXPECT_GE(all, 1u);
  EXPECT_LE(all, static_cast<std::size_t>(CPU_COUNT(&saved)));
  // Narrowed to one processor, the default drops to 1.
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE && CPU_COUNT(&one) == 0; ++cpu) {
    if (CPU_ISSET(cpu, &saved)) CPU_SET(cpu, &one);
  }
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  const std::size_t narrowed = default_thread_count();
  ASSERT_EQ(sched_setaffinity(0, sizeof saved, &saved), 0);
  EXPECT_EQ(narrowed, 1u);
}

struct QuotaCase {
  std::string_view cpu_max;
  std::optional<std::size_t> expected;
};

class CpuMax : public testing::TestWithParam<QuotaCase> {};

TEST_P(CpuMax, GivesWholeProcessorsRoundedDownButAtLeastOne) {
  EXPECT_EQ(parse_cpu_max(GetParam().cpu_max), GetParam().expected) << GetParam().cpu_max;
}

INSTANTIATE_TEST_SUITE_P(Files, CpuMax,
                         testing::Values(QuotaCase{"max 100000\n", kNone},
                                         QuotaCase{"200000 100000\n", 2},
                                         QuotaCase{"399999 100000", 3},
                                         QuotaCase{"50000 100000", 1}, QuotaCase{"0 100000", kNone},
                                         QuotaCase{"-1 100000", kNone},
                                         QuotaCase{"100000 0", kNone}, QuotaCase{"", kNone},
                                         QuotaCase{"4x 100000", kNone}));

TEST(CgroupV1Quota, MinusOneMeansNoLimit) {
  // cpu.cfs_quota_us as the kernel writes it when no quota is set.
  const auto quota = parse_cgroup_integer("-1\n");
  ASSERT_EQ(quota, std::optional<std::int64_t>(-1));
  EXPECT_EQ(cpus_from_quota(*quota, 100000), kNone);
  EXPECT_EQ(parse_cgroup_integer("12ab"), kNone);
}

struct DirCase {
  std::string_view mount_root;
  std::string_view cgroup_path;
  std::optional<std::string> expected;
};

class CgroupDirectory : public testing::TestWithParam<DirCase> {};

TEST_P(CgroupDirectory, JoinsTheMountWithThePathBelowItsRoot) {
  const auto& c = GetParam();
  EXPECT_EQ(cgroup_directory("/sys/fs/cgroup", c.mount_root, c.cgroup_path), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, CgroupDirectory,
                         testing::Values(DirCase{"/", "/", "/sys/fs/cgroup"},
                                         DirCase{"/", "/user.slice/app/",
                                                 "/sys/fs/cgroup/user.slice/app"},
                                         // A container sees its own cgroup as the mount's root.
                                         DirCase{"/docker/42", "/docker/42/x", "/sys/fs/cgroup/x"},
                                         DirCase{"/docker/42", "/docker/421", kNone},
                                         DirCase{"/docker/42", "/other", kNone}));

}  // namespace
}  // namespace quorvex::pool
