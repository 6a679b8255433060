// A Chase–Lev work-stealing deque of Job pointers. One owner thread pushes and
// pops at the bottom; any number of thieves take the oldest job at the top.
#pragma once

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

#include "pool/job.hpp"

namespace quorvex::pool {

class JobDeque {
 public:
  enum class Steal { kEmpty, kRetry, kTaken };
  struct StealResult {
    Steal status;
    Job* job;
  };

  // The capacity grows on demand; it starts at a power of two >= the request.
  explicit JobDeque(std::uint64_t initial_capacity = 64)
      : buffer_(new Buffer(static_cast<std::int64_t>(
            std::bit_ceil(std::max<std::uint64_t>(initial_capacity, 2))))) {
    retired_.emplace_back(buffer_.load(std::memory_order_relaxed));
  }
  JobDeque(const JobDeque&) = delete;
  JobDeque& operator=(const JobDeque&) = delete;

  // Owner only.
  void push(Job* job) {
    const std::int64_t b = bottom_.load(std::memory_order_relaxed);
    const std::int64_t t = top_.load(std::memory_order_acquire);
    Buffer* buffer = buffer_.load(std::memory_order_relaxed);
    if (b - t >= buffer->capacity) buffer = grow(buffer, t, b);
    buffer->put(b, job);
    // Release publishes the slot to thieves; seq_cst also orders this store
    // before the pusher's look at the sleeping-worker count, so a worker that
    // registers as sleeping afterwards is sure to see the job.
    bottom_.store(b + 1, std::memory_order_seq_cst);
  }

  // Owner only: the newest job, or nullptr.
  Job* pop() {
    const std::int64_t b = bottom_.load(std::memory_order_relaxed) - 1;
    Buffer* buffer = buffer_.load(std::memory_order_relaxed);
    // The store of the reserved bottom must be ordered before reading top
    // (store-load), or a thief and the owner could both take the last job.
    bottom_.store(b, std::memory_order_seq_cst);
    std::int64_t t = top_.load(std::memory_order_seq_cst);
    if (t > b) {
      bottom_.store(b + 1, std::memory_order_relaxed);
      return nullptr;
    }
    Job* job = buffer->get(b);
    if (t == b) {
      // The last job: race the thieves for it on top.
      if (!top_.compare_exchange_strong(t, t + 1, std::memory_order_seq_cst,
                                        std::memory_order_relaxed)) {
        job = nullptr;
      }
      bottom_.store(b + 1, std::memory_order_relaxed);
    }
    return job;
  }

  // Any thread: the oldest job. kRetry means another thread won the race.
  StealResult steal() {
    std::int64_t t = top_.load(std::memory_order_seq_cst);
    const std::int64_t b = bottom_.load(std::memory_order_seq_cst);
    if (t >= b) return {Steal::kEmpty, nullptr};
    // A slot read from an old buffer is still valid: the owner copies live
    // slots into a grown buffer and never reuses the retired one.
    Buffer* buffer = buffer_.load(std::memory_order_acquire);
    Job* job = buffer->get(t);
    if (!top_.compare_exchange_strong(t, t + 1, std::memory_order_seq_cst,
                                      std::memory_order_relaxed)) {
      return {Steal::kRetry, nullptr};
    }
    return {Steal::kTaken, job};
  }

  // Any thread; exact only when the deque is quiescent.
  bool looks_empty() const {
    const std::int64_t t = top_.load(std::memory_order_seq_cst);
    const std::int64_t b = bottom_.load(std::memory_order_seq_cst);
    return t >= b;
  }

  std::int64_t capacity() const { return buffer_.load(std::memory_order_relaxed)->capacity; }

 private:
  struct Buffer {
    explicit Buffer(std::int64_t cap)
        : capacity(cap), slots(std::make_unique<std::atomic<Job*>[]>(cap)) {}
    Job* get(std::int64_t i) const {
      return slots[i & (capacity - 1)].load(std::memory_order_relaxed);
    }
    void put(std::int64_t i, Job* job) {
      slots[i & (capacity - 1)].store(job, std::memory_order_relaxed);
    }
    const std::int64_t capacity;  // a power of two
    std::unique_ptr<std::atomic<Job*>[]> slots;
  };

  Buffer* grow(Buffer* old, std::int64_t t, std::int64_t b) {
    auto* bigger = new Buffer(old->capacity * 2);
    for (std::int64_t i = t; i < b; ++i) bigger->put(i, old->get(i));
    retired_.emplace_back(bigger);
    buffer_.store(bigger, std::memory_order_release);
    return bigger;
  }

  alignas(64) std::atomic<std::int64_t> top_{0};
  alignas(64) std::atomic<std::int64_t> bottom_{0};
  alignas(64) std::atomic<Buffer*> buffer_;
  // Every buffer ever used (owner only); thieves may still read an old one.
  std::vector<std::unique_ptr<Buffer>> retired_;
};

}  // namespace quorvex::pool
