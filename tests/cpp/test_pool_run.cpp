// The fork-join pool at work: exactly-once execution, ordered maps, nesting,
// exceptions, concurrent callers, sleeping callers and idle workers, the
// range division, and a pool whose threads cannot be created. Each test runs
// on private pools of several sizes; the last ones use the process-wide pool.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "pool/pool.hpp"
#include "pool/worker_pool.hpp"
#include "support/panic.hpp"

namespace quorvex::pool {
namespace {

using Clock = std::chrono::steady_clock;
using Piece = std::pair<std::size_t, std::size_t>;

double thread_cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double process_cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& tv) {
    return static_cast<double>(tv.tv_sec) + 1e-6 * static_cast<double>(tv.tv_usec);
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Keeps a processor busy (not asleep) for `duration` of wall time.
void busy_for(std::chrono::milliseconds duration) {
  const auto end = Clock::now() + duration;
  volatile std::uint64_t sink = 0;
  while (Clock::now() < end) sink = sink + 1;
}

std::uint64_t fib(WorkerPool& pool, unsigned n) {
  if (n < 2) return n;
  std::uint64_t x = 0;
  std::uint64_t y = 0;
  pool.fork_join([&] { x = fib(pool, n - 1); }, [&] { y = fib(pool, n - 2); });
  return x + y;
}

class PoolOf : public testing::TestWithParam<std::size_t> {
 protected:
  WorkerPool pool{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Threads, PoolOf, testing::Values(1, 2, 3, 8),
                         [](const auto& info) { return std::to_string(info.param); });

TEST_P(PoolOf, RunsEveryIndexExactlyOnce) {
  EXPECT_EQ(pool.thread_count(), GetParam());
  for (int round = 0; round < 20; ++round) {
    for (std::size_t k : {0, 1, 2, 3, 5, 8, 13, 31, 64, 65, 1000, 4097}) {
      std::vector<std::atomic<int>> hits(k);
      pool.chunk_for_each(k, [&](std::size_t j) { hits[j].fetch_add(1); });
      for (std::size_t j = 0; j < k; ++j) {
        ASSERT_EQ(hits[j].load(), 1) << "k=" << k << " j=" << j << " round " << round;
      }
    }
  }
}

TEST_P(PoolOf, MapKeepsIndexOrderAndMatchesSerialBitForBit) {
  // Per-chunk work of uneven length, so chunks finish out of order.
  const auto chunk = [](std::size_t j) {
    std::vector<double> v(1 + j % 17);
    double x = 1.0 + static_cast<double>(j);
    for (auto& e : v) e = x = std::sin(x) * 1.000001 + std::sqrt(x);
    return v;
  };
  for (std::size_t k : {1u, 2u, 9u, 257u, 2000u}) {
    const auto results = pool.chunk_map<std::vector<double>>(k, chunk);
    ASSERT_EQ(results.size(), k);
    for (std::size_t j = 0; j < k; ++j) ASSERT_EQ(results[j], chunk(j)) << j;
  }
}

TEST_P(PoolOf, NestedForkJoinComputesFibonacci) {
  EXPECT_EQ(fib(pool, 23), 28657u);
}

enum class Thrower { kA, kB, kBoth };

class PoolExceptions : public testing::TestWithParam<std::tuple<std::size_t, Thrower>> {
 protected:
  WorkerPool pool{std::get<0>(GetParam())};
};

INSTANTIATE_TEST_SUITE_P(Threads, PoolExceptions,
                         testing::Combine(testing::Values(1, 2, 8),
                                          testing::Values(Thrower::kA, Thrower::kB,
                                                          Thrower::kBoth)));

TEST_P(PoolExceptions, ReachTheCallerAfterBothHalvesFinished) {
  const Thrower who = std::get<1>(GetParam());
  for (bool from_worker : {false, true}) {
    std::atomic<int> finished{0};
    const auto half = [&](bool throws, const char* what) {
      busy_for(std::chrono::milliseconds(2));
      finished.fetch_add(1);
      if (throws) panic(what);
    };
    const auto run = [&] {
      pool.fork_join([&] { half(who != Thrower::kB, "left failed"); },
                     [&] { half(who != Thrower::kA, "right failed"); });
    };
    std::string message;
    try {
      if (from_worker) {
        pool.fork_join(run, [] {});
      } else {
        run();
      }
    } catch (const Panic& p) {
      message = p.message();
    }
    EXPECT_EQ(finished.load(), 2) << "from_worker=" << from_worker;
    EXPECT_EQ(message, who == Thrower::kB ? "right failed" : "left failed");
  }
  // The pool is still fully usable.
  std::atomic<std::size_t> sum{0};
  pool.chunk_for_each(100, [&](std::size_t j) { sum.fetch_add(j); });
  EXPECT_EQ(sum.load(), 4950u);
}

TEST_P(PoolOf, ConcurrentOutsideCallers) {
  constexpr int kCallers = 4;
  constexpr std::size_t kChunks = 300;
  std::vector<std::vector<std::atomic<int>>> hits(kCallers);
  for (auto& h : hits) h = std::vector<std::atomic<int>>(kChunks);
  std::vector<std::thread> callers;
  std::atomic<int> bad{0};
  for (int c = 0; c < kCallers; ++c) {
    callers.emplace_back([&, c] {
      for (int round = 0; round < 50; ++round) {
        pool.chunk_for_each(kChunks, [&](std::size_t j) { hits[c][j].fetch_add(1); });
        const auto squares =
            pool.chunk_map<std::size_t>(kChunks, [&](std::size_t j) { return j * j + c; });
        for (std::size_t j = 0; j < kChunks; ++j) bad += squares[j] != j * j + c;
      }
    });
  }
  for (auto& t : callers) t.join();
  EXPECT_EQ(bad.load(), 0);
  for (int c = 0; c < kCallers; ++c) {
    for (std::size_t j = 0; j < kChunks; ++j) ASSERT_EQ(hits[c][j].load(), 50);
  }
}

TEST_P(PoolOf, OutsideCallerAndIdleWorkersSleep) {
  const double before = thread_cpu_seconds();
  pool.chunk_for_each(2, [](std::size_t) { busy_for(std::chrono::milliseconds(300)); });
  // The caller spent the 300 ms (or 600 ms on one worker) asleep.
  EXPECT_LT(thread_cpu_seconds() - before, 0.05) << "the calling thread spun";
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // past the spin phase
  const double idle_before = process_cpu_seconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LT(process_cpu_seconds() - idle_before, 0.05) << "idle workers kept spinning";
}

TEST(WorkerPool, WorkerWaitingForAStolenHalfSleeps) {
  WorkerPool pool(2);
  double waited_cpu = -1;
  pool.fork_join(
      [&] {
        std::atomic<bool> b_started{false};
        double start = 0;
        pool.fork_join(
            [&] {
              // Make sure the other worker has taken b before measuring.
              while (!b_started.load()) std::this_thread::yield();
              start = thread_cpu_seconds();
            },
            [&] {
              b_started.store(true);
              busy_for(std::chrono::milliseconds(300));
            });
        waited_cpu = thread_cpu_seconds() - start;
      },
      [] {});
  EXPECT_GE(waited_cpu, 0.0);
  EXPECT_LT(waited_cpu, 0.05) << "the joining worker spun while b ran elsewhere";
}

// On one thread nothing is ever stolen, so the division is deterministic:
// from outside, both top halves count as moved to another thread and get a
// fresh budget; from a worker, a budget of 1 allows exactly one cut.
TEST(WorkerPool, SingleThreadDivisionFollowsTheBudgetRule) {
  WorkerPool pool(1);
  const auto pieces_of = [&](std::size_t k) {
    std::vector<Piece> pieces;
    pool.for_each_piece(k, [&](std::size_t b, std::size_t e) { pieces.emplace_back(b, e); });
    return pieces;
  };
  EXPECT_EQ(pieces_of(1), (std::vector<Piece>{{0, 1}}));
  EXPECT_EQ(
      pieces_of(16),
      (std::vector<Piece>{{0, 2}, {2, 4}, {4, 6}, {6, 8}, {8, 10}, {10, 12}, {12, 14}, {14, 16}}));
  EXPECT_EQ(pieces_of(5), (std::vector<Piece>{{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}}));
  std::vector<Piece> inside_16;
  std::vector<Piece> inside_5;
  pool.fork_join([&] { inside_16 = pieces_of(16); }, [&] { inside_5 = pieces_of(5); });
  EXPECT_EQ(inside_16, (std::vector<Piece>{{0, 8}, {8, 16}}));
  EXPECT_EQ(inside_5, (std::vector<Piece>{{0, 2}, {2, 5}}));
}

TEST(WorkerPool, StartsThreadsOnlyWhenThereIsWork) {
  WorkerPool pool(65535);
  EXPECT_EQ(pool.thread_count(), 65535u);
  EXPECT_EQ(pool.started_threads(), 1u);
  std::vector<std::atomic<int>> hits(200);
  pool.chunk_for_each(hits.size(), [&](std::size_t j) { hits[j].fetch_add(1); });
  for (auto& h : hits) ASSERT_EQ(h.load(), 1);
  // At most one start per hand-over: the injection and the k - 1 forks.
  EXPECT_LE(pool.started_threads(), 1 + hits.size());
}

void refuse_every_thread(std::size_t) {
  throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

void refuse_after_the_first(std::size_t index) {
  if (index > 0) refuse_every_thread(index);
}

TEST(WorkerPool, RefusedFirstThreadIsAPanicWithTheFixedPrefix) {
  try {
    WorkerPool pool(4, &refuse_every_thread);
    ADD_FAILURE() << "the pool started without threads";
  } catch (const Panic& p) {
    const std::string prefix = "The global thread pool has not been initialized.";
    EXPECT_EQ(p.message().substr(0, prefix.size()), prefix) << p.message();
    EXPECT_NE(p.message().find("Resource temporarily unavailable"), std::string::npos)
        << p.message();
  }
}

TEST(WorkerPool, RefusedLaterThreadsLeaveTheWorkToTheRunningOnes) {
  WorkerPool pool(4, &refuse_after_the_first);
  std::vector<std::atomic<int>> hits(500);
  pool.chunk_for_each(hits.size(), [&](std::size_t j) { hits[j].fetch_add(1); });
  for (auto& h : hits) ASSERT_EQ(h.load(), 1);
  EXPECT_EQ(pool.started_threads(), 1u);
  EXPECT_EQ(fib(pool, 15), 610u);
}

// The process-wide pool behind the free functions.
TEST(GlobalPool, SizedByTheEnvironmentRuleAndRunsEveryIndexOnceInOrder) {
  const auto env = [](const char* name) -> std::optional<std::string_view> {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string_view>(v) : std::nullopt;
  };
  EXPECT_EQ(pool_thread_count(),
            thread_count_from(env("RAYON_NUM_THREADS"), env("RAYON_RS_NUM_CPUS"),
                              default_thread_count()));
  parallel_chunk_for_each(0, [](std::size_t) { ADD_FAILURE() << "task ran for k = 0"; });
  std::vector<std::atomic<int>> hits(777);
  parallel_chunk_for_each(hits.size(), [&](std::size_t j) { hits[j].fetch_add(1); });
  for (auto& h : hits) ASSERT_EQ(h.load(), 1);
  // Ranges of 64 over 777 indices: 12 full ones and 9 left over, each once.
  std::vector<std::atomic<int>> ranges(13);
  parallel_ranges(777, 64, [&](std::size_t begin, std::size_t end) {
    EXPECT_EQ(begin % 64, 0u);
    EXPECT_EQ(end, std::min<std::size_t>(777, begin + 64));
    ranges[begin / 64].fetch_add(1);
  });
  for (auto& r : ranges) ASSERT_EQ(r.load(), 1);
  parallel_ranges(0, 64, [](std::size_t, std::size_t) { ADD_FAILURE() << "range for n = 0"; });
  // Not only Panic: any exception type reaches the caller.
  EXPECT_THROW(parallel_chunk_for_each(64,
                                       [](std::size_t j) {
                                         if (j == 41) throw std::runtime_error("chunk 41");
                                       }),
               std::runtime_error);
}

TEST(GlobalPool, AForkedChildGetsAWorkingPool) {
  std::atomic<std::size_t> sum{0};
  parallel_chunk_for_each(100, [&](std::size_t j) { sum.fetch_add(j); });  // pool running
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(30);  // a hang would otherwise stall the suite
    std::atomic<std::size_t> child_sum{0};
    parallel_chunk_for_each(1000, [&](std::size_t j) { child_sum.fetch_add(j); });
    _exit(child_sum.load() == 499500 && pool_thread_count() > 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  EXPECT_EQ(sum.load(), 4950u);
}

}  // namespace
}  // namespace quorvex::pool
