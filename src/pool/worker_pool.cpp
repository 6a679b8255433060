#include "pool/worker_pool.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "pool/job.hpp"
#include "pool/job_deque.hpp"
#include "support/panic.hpp"

namespace quorvex::pool {
namespace detail {

// Rounds of looking for work before an idle worker goes to sleep. Each round
// ends with a yield, so a worker stays awake for a few microseconds after its
// last job: long enough to catch the next fork, short enough not to matter.
constexpr int kSpinRounds = 32;

struct Worker;

// The worker whose thread this is (a plain pointer: nothing to destroy at
// thread exit).
thread_local Worker* current_worker = nullptr;

// Completion of a fork_join's second half, awaited by the worker that forked
// (which keeps working while it waits, and may sleep).
class SpinLatch {
 public:
  explicit SpinLatch(Worker* owner) : owner_(owner) {}
  // seq_cst: the owner's "am I done" check before sleeping pairs with set().
  bool probe() const noexcept { return done_.load(std::memory_order_seq_cst); }
  void set() noexcept;

 private:
  std::atomic<bool> done_{false};
  Worker* const owner_;
};

// The second half of a fork_join, on the forking worker's stack.
struct StackJob final : Job {
  StackJob(FunctionRef<void(bool)> body_in, Worker* owner)
      : Job{&StackJob::run}, body(body_in), latch(owner) {}

  static void run(Job* self, bool migrated) {
    auto* job = static_cast<StackJob*>(self);
    try {
      job->body(migrated);
    } catch (...) {
      job->error = std::current_exception();
    }
    job->latch.set();  // the last touch: the owner may now return
  }

  FunctionRef<void(bool)> body;
  std::exception_ptr error;
  SpinLatch latch;
};

// Work handed over by a thread outside the pool, which sleeps until done.
struct InjectedJob final : Job {
  explicit InjectedJob(FunctionRef<void(Worker&)> body_in)
      : Job{&InjectedJob::run}, body(body_in) {}

  static void run(Job* self, bool /*migrated*/) {
    auto* job = static_cast<InjectedJob*>(self);
    try {
      job->body(*current_worker);
    } catch (...) {
      job->error = std::current_exception();
    }
    // Notify while holding the lock: the waiter cannot see `done` and destroy
    // the job before the notification is over.
    std::lock_guard lock(job->mutex);
    job->done = true;
    job->finished.notify_one();
  }

  void wait() {
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return done; });
  }

  FunctionRef<void(Worker&)> body;
  std::exception_ptr error;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
};

struct Worker {
  Worker(WorkerPool::Impl& pool_in, std::size_t index_in)
      : pool(pool_in), index(index_in), rng(0x9E3779B97F4A7C15ULL * (index_in + 1)) {}

  std::size_t next_random() {
    rng ^= rng << 13;
    rng ^= rng >> 7;
    rng ^= rng << 17;
    return static_cast<std::size_t>(rng);
  }

  WorkerPool::Impl& pool;
  const std::size_t index;
  JobDeque deque;
  std::uint64_t rng;
  // Set (seq_cst) by a worker about to sleep, before its last look for work,
  // so that SpinLatch::set sees it and wakes the worker.
  std::atomic<bool> asleep{false};
  // Guarded by the pool's sleep mutex.
  bool in_sleep_list = false;
  std::condition_variable wake;
  std::thread thread;
};

}  // namespace detail

using detail::current_worker;
using detail::InjectedJob;
using detail::kSpinRounds;
using detail::SpinLatch;
using detail::StackJob;
using detail::Worker;

struct WorkerPool::Impl {
  Impl(std::size_t count_in, SpawnHook hook_in)
      : count(std::max<std::size_t>(count_in, 1)), hook(hook_in), slots(count) {
    available.store(count, std::memory_order_relaxed);
  }

  // --- finding and running work -------------------------------------------

  // A job for `w`: its own newest, else the oldest of another worker, else
  // one handed in from outside. `migrated` tells whether it came from
  // another thread.
  Job* find_work(Worker& w, bool& migrated) {
    if (Job* job = w.deque.pop()) {
      migrated = false;
      return job;
    }
    migrated = true;
    const std::size_t n = started.load(std::memory_order_acquire);
    if (n > 1) {
      const std::size_t first = w.next_random() % n;
      for (std::size_t i = 0; i < n; ++i) {
        Worker* victim = slots[(first + i) % n].get();
        if (victim == &w) continue;
        for (;;) {
          const auto stolen = victim->deque.steal();
          if (stolen.status == JobDeque::Steal::kTaken) return stolen.job;
          if (stolen.status == JobDeque::Steal::kEmpty) break;
        }
      }
    }
    return pop_injected();
  }

  Job* pop_injected() {
    if (injected_count.load(std::memory_order_relaxed) == 0) return nullptr;
    std::lock_guard lock(injector_mutex);
    if (injector.empty()) return nullptr;
    Job* job = injector.front();
    injector.pop_front();
    injected_count.store(injector.size(), std::memory_order_seq_cst);
    return job;
  }

  void inject(Job* job) {
    {
      std::lock_guard lock(injector_mutex);
      injector.push_back(job);
      injected_count.store(injector.size(), std::memory_order_seq_cst);
    }
    notify_work();
  }

  // The main loop of a worker thread.
  void worker_main(Worker& w) {
    current_worker = &w;
    int idle = 0;
    for (;;) {
      bool migrated = false;
      if (Job* job = find_work(w, migrated)) {
        job->execute(job, migrated);
        idle = 0;
      } else if (++idle < kSpinRounds) {
        std::this_thread::yield();
      } else {
        idle = 0;
        if (!sleep(w, nullptr)) return;
      }
    }
  }

  // Keeps `w` busy with other jobs until `latch` is set, sleeping when there
  // is nothing to do.
  void wait_until(Worker& w, const SpinLatch& latch) {
    int idle = 0;
    while (!latch.probe()) {
      bool migrated = false;
      if (Job* job = find_work(w, migrated)) {
        job->execute(job, migrated);
        idle = 0;
      } else if (++idle < kSpinRounds) {
        std::this_thread::yield();
      } else {
        idle = 0;
        sleep(w, &latch);
      }
    }
  }

  void join_on_worker(Worker& w, FunctionRef<void(bool)> a, FunctionRef<void(bool)> b,
                      bool injected) {
    StackJob job_b(b, &w);
    w.deque.push(&job_b);
    notify_work();
    std::exception_ptr error;
    try {
      a(injected);
    } catch (...) {
      error = std::current_exception();
    }
    // b still runs when a threw: it may already be running elsewhere, and it
    // lives on this frame, so this frame cannot leave before b is done.
    for (;;) {
      if (job_b.latch.probe()) {
        if (!error) error = job_b.error;
        break;
      }
      Job* job = w.deque.pop();
      if (job == &job_b) {
        try {
          b(injected);
        } catch (...) {
          if (!error) error = std::current_exception();
        }
        break;
      }
      if (job != nullptr) {
        // Not reachable in practice (b is stolen only after every older job
        // is), but an own job is work like any other.
        job->execute(job, false);
        continue;
      }
      wait_until(w, job_b.latch);
    }
    if (error) std::rethrow_exception(error);
  }

  void run_injected(FunctionRef<void(Worker&)> body) {
    InjectedJob job(body);
    inject(&job);
    job.wait();
    if (job.error) std::rethrow_exception(job.error);
  }

  // --- sleeping and waking ------------------------------------------------
  //
  // `available` counts sleeping workers plus slots whose thread may still be
  // started. A thread that publishes work (seq_cst) then reads `available`
  // (seq_cst); a worker going to sleep raises `available` (seq_cst) and then
  // looks for work once more. One of the two always sees the other, so work
  // is never left with everybody asleep.

  bool work_visible() const {
    if (injected_count.load(std::memory_order_seq_cst) != 0) return true;
    const std::size_t n = started.load(std::memory_order_acquire);
    for (std::size_t i = 0; i < n; ++i) {
      if (!slots[i]->deque.looks_empty()) return true;
    }
    return false;
  }

  // Returns false when the pool shuts down (only while not awaiting a latch).
  bool sleep(Worker& w, const SpinLatch* latch) {
    std::unique_lock lock(sleep_mutex);
    if (shutting_down && latch == nullptr) return false;
    available.fetch_add(1, std::memory_order_seq_cst);
    w.asleep.store(true, std::memory_order_seq_cst);
    if ((latch != nullptr && latch->probe()) || work_visible()) {
      w.asleep.store(false, std::memory_order_relaxed);
      available.fetch_sub(1, std::memory_order_relaxed);
      return true;
    }
    w.in_sleep_list = true;
    sleepers.push_back(&w);
    w.wake.wait(lock, [&] { return !w.in_sleep_list; });
    return true;
  }

  // Takes `w` out of the sleep list and wakes it (sleep mutex held).
  void wake_locked(Worker& w) {
    w.in_sleep_list = false;
    w.asleep.store(false, std::memory_order_relaxed);
    available.fetch_sub(1, std::memory_order_relaxed);
    w.wake.notify_one();
  }

  // New work exists: make sure some worker will look for it.
  void notify_work() {
    if (available.load(std::memory_order_seq_cst) == 0) return;
    std::lock_guard lock(sleep_mutex);
    if (!sleepers.empty()) {
      Worker* w = sleepers.back();
      sleepers.pop_back();
      wake_locked(*w);
    } else if (!spawn_failed && started.load(std::memory_order_relaxed) < count) {
      try_start_next_locked();
    }
  }

  // The latch `w` waits for is set: wake `w` if it sleeps.
  void wake_worker(Worker& w) {
    std::lock_guard lock(sleep_mutex);
    if (!w.in_sleep_list) return;
    sleepers.erase(std::find(sleepers.begin(), sleepers.end(), &w));
    wake_locked(w);
  }

  // Starts the thread of the next slot (sleep mutex held). A refusal is
  // final: the threads that run already do all the work.
  void try_start_next_locked() {
    try {
      start_next_locked();
    } catch (...) {
      spawn_failed = true;
      available.fetch_sub(count - started.load(std::memory_order_relaxed),
                          std::memory_order_relaxed);
    }
  }

  void start_next_locked() {
    const std::size_t index = started.load(std::memory_order_relaxed);
    if (hook != nullptr) hook(index);
    auto worker = std::make_unique<Worker>(*this, index);
    Worker& w = *worker;
    slots[index] = std::move(worker);
    try {
      w.thread = std::thread([this, &w] { worker_main(w); });
    } catch (...) {
      slots[index].reset();
      throw;
    }
    available.fetch_sub(1, std::memory_order_relaxed);
    started.store(index + 1, std::memory_order_release);
  }

  void shut_down() {
    {
      std::lock_guard lock(sleep_mutex);
      shutting_down = true;
      while (!sleepers.empty()) {
        Worker* w = sleepers.back();
        sleepers.pop_back();
        wake_locked(*w);
      }
    }
    const std::size_t n = started.load(std::memory_order_acquire);
    for (std::size_t i = 0; i < n; ++i) slots[i]->thread.join();
  }

  const std::size_t count;
  const SpawnHook hook;
  // Slot i is filled before `started` passes i and never changes afterwards.
  std::vector<std::unique_ptr<Worker>> slots;
  std::atomic<std::size_t> started{0};

  std::mutex injector_mutex;
  std::deque<Job*> injector;
  std::atomic<std::size_t> injected_count{0};

  std::mutex sleep_mutex;
  std::vector<Worker*> sleepers;
  std::atomic<std::size_t> available{0};
  bool spawn_failed = false;
  bool shutting_down = false;
};

namespace detail {

void SpinLatch::set() noexcept {
  // Read everything needed before the store: once done_ is set, the owner may
  // return and this latch may be gone.
  Worker* owner = owner_;
  done_.store(true, std::memory_order_seq_cst);
  if (owner->asleep.load(std::memory_order_seq_cst)) owner->pool.wake_worker(*owner);
}

}  // namespace detail

WorkerPool::WorkerPool(std::size_t threads, SpawnHook spawn_hook)
    : impl_(std::make_unique<Impl>(threads, spawn_hook)) {
  std::lock_guard lock(impl_->sleep_mutex);
  try {
    impl_->start_next_locked();
  } catch (const std::system_error& e) {
    throw StartFailure(std::string("The global thread pool has not been initialized. "
                                   "The operating system refused a worker thread: ") +
                           e.what(),
                       std::source_location::current());
  }
}

WorkerPool::~WorkerPool() {
  impl_->shut_down();
}

std::size_t WorkerPool::thread_count() const noexcept {
  return impl_->count;
}

std::size_t WorkerPool::started_threads() const noexcept {
  return impl_->started.load(std::memory_order_acquire);
}

bool WorkerPool::on_worker_thread() const noexcept {
  return current_worker != nullptr && &current_worker->pool == impl_.get();
}

void WorkerPool::fork_join_context(FunctionRef<void(bool)> a, FunctionRef<void(bool)> b) {
  if (on_worker_thread()) {
    impl_->join_on_worker(*current_worker, a, b, false);
    return;
  }
  // From outside, both halves run away from the calling thread.
  impl_->run_injected([&](Worker& w) { impl_->join_on_worker(w, a, b, true); });
}

void WorkerPool::fork_join(FunctionRef<void()> a, FunctionRef<void()> b) {
  fork_join_context([&](bool) { a(); }, [&](bool) { b(); });
}

void WorkerPool::split(std::size_t begin, std::size_t end, bool migrated, std::size_t budget,
                       FunctionRef<void(std::size_t, std::size_t)> piece) {
  const std::size_t len = end - begin;
  bool cut = false;
  if (len > 1) {
    if (migrated) {
      // A stolen piece means threads are idle: give it a fresh budget.
      budget = std::max(budget / 2, impl_->count);
      cut = true;
    } else if (budget > 0) {
      budget /= 2;
      cut = true;
    }
  }
  if (!cut) {
    piece(begin, end);
    return;
  }
  const std::size_t mid = begin + len / 2;
  fork_join_context([&](bool m) { split(begin, mid, m, budget, piece); },
                    [&](bool m) { split(mid, end, m, budget, piece); });
}

void WorkerPool::for_each_piece(std::size_t k, FunctionRef<void(std::size_t, std::size_t)> piece) {
  if (k == 0) return;
  split(0, k, false, impl_->count, piece);
}

void WorkerPool::chunk_for_each(std::size_t k, FunctionRef<void(std::size_t)> task) {
  for_each_piece(k, [&](std::size_t begin, std::size_t end) {
    for (std::size_t j = begin; j < end; ++j) task(j);
  });
}

void WorkerPool::range_for_each(std::size_t n, std::size_t chunk,
                                FunctionRef<void(std::size_t, std::size_t)> body) {
  const std::size_t k = n / chunk + (n % chunk != 0 ? 1 : 0);
  chunk_for_each(k, [&](std::size_t j) { body(j * chunk, std::min(n, (j + 1) * chunk)); });
}

}  // namespace quorvex::pool
