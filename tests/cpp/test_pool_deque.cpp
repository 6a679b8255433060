// The work-stealing deque: owner order, growth, and that under a race of one
// owner and several thieves every job is taken exactly once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "pool/job_deque.hpp"

namespace quorvex::pool {
namespace {

void never_run(Job*, bool) {}

std::vector<Job> make_jobs(std::size_t n) {
  return std::vector<Job>(n, Job{&never_run});
}

TEST(JobDeque, OwnerTakesNewestAndThievesOldestAcrossGrowth) {
  JobDeque deque(2);
  auto jobs = make_jobs(100);  // several doublings from 2 slots
  for (auto& job : jobs) deque.push(&job);
  EXPECT_EQ(deque.steal().job, &jobs[0]);
  for (std::size_t i = jobs.size(); i-- > 1;) ASSERT_EQ(deque.pop(), &jobs[i]) << i;
  EXPECT_EQ(deque.pop(), nullptr);
  EXPECT_EQ(deque.steal().status, JobDeque::Steal::kEmpty);
  EXPECT_TRUE(deque.looks_empty());
}

class JobDequeRace : public testing::TestWithParam<int> {};

TEST_P(JobDequeRace, EveryJobIsTakenExactlyOnce) {
  const int thieves = GetParam();
  constexpr std::size_t kJobs = 300000;
  auto jobs = make_jobs(kJobs);
  std::vector<std::atomic<int>> taken(kJobs);
  JobDeque deque(4);  // small, so growth races with steals
  std::atomic<bool> done{false};
  const auto take = [&](Job* job) { taken[job - jobs.data()].fetch_add(1); };

  std::vector<std::thread> threads;
  for (int t = 0; t < thieves; ++t) {
    threads.emplace_back([&] {
      for (;;) {
        const auto r = deque.steal();
        if (r.status == JobDeque::Steal::kTaken) {
          take(r.job);
        } else if (r.status == JobDeque::Steal::kEmpty && done.load()) {
          return;
        }
      }
    });
  }
  // The owner mixes bursts of pushes with pops, like nested fork-joins. Most
  // bursts are short, so the deque often holds a single job that the owner
  // and the thieves race for; some are long, so the buffer grows.
  std::size_t next = 0;
  std::uint32_t rng = 12345;
  // First a stretch of push-one-pop-one: a single job raced for every time.
  // A short random pause lets thieves be mid-steal when the owner pops.
  for (; next < kJobs / 2; ++next) {
    deque.push(&jobs[next]);
    rng = rng * 1664525u + 1013904223u;
    std::atomic<std::uint32_t> spin{rng >> 26};
    while (spin.fetch_sub(1, std::memory_order_relaxed) > 0) {
    }
    if (Job* job = deque.pop()) take(job);
  }
  while (next < kJobs) {
    rng = rng * 1664525u + 1013904223u;
    const std::size_t limit = (rng >> 28) == 0 ? 64 : 3;
    const std::size_t burst = 1 + (rng >> 8) % limit;
    for (std::size_t i = 0; i < burst && next < kJobs; ++i) deque.push(&jobs[next++]);
    const std::size_t pops = (rng >> 16) % (limit + 1);
    for (std::size_t i = 0; i < pops; ++i) {
      if (Job* job = deque.pop()) take(job);
    }
  }
  while (Job* job = deque.pop()) take(job);
  done.store(true);
  for (auto& t : threads) t.join();

  std::size_t wrong = 0;
  for (std::size_t i = 0; i < kJobs; ++i) wrong += taken[i].load() != 1;
  EXPECT_EQ(wrong, 0u);
}

INSTANTIATE_TEST_SUITE_P(Thieves, JobDequeRace, testing::Values(1, 2, 3));

}  // namespace
}  // namespace quorvex::pool
