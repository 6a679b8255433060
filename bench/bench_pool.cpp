// What the pool costs: an empty parallel_chunk_for_each of k chunks and an
// empty fork_join, each against the plain loop / plain calls it replaces in
// the same run. Run the Baseline rows and read the others as ratios.
#include <benchmark/benchmark.h>

#include <cstddef>

#include "pool/pool.hpp"
#include "pool/worker_pool.hpp"

namespace {

using quorvex::pool::WorkerPool;

// Keeps the optimiser from deleting the "work".
void touch(std::size_t j) {
  benchmark::DoNotOptimize(j);
}

void BM_PlainLoop(benchmark::State& state) {
  const auto k = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    for (std::size_t j = 0; j < k; ++j) touch(j);
  }
}

// From a thread outside the pool: the caller hands over and sleeps.
void BM_ChunkForEachFromOutside(benchmark::State& state) {
  const auto k = static_cast<std::size_t>(state.range(0));
  quorvex::pool::pool_thread_count();  // start the pool outside the timing
  for (auto _ : state) quorvex::pool::parallel_chunk_for_each(k, [](std::size_t j) { touch(j); });
}

// From inside a worker, as nested parallel code sees it.
void BM_ChunkForEachFromWorker(benchmark::State& state) {
  const auto k = static_cast<std::size_t>(state.range(0));
  WorkerPool& pool = quorvex::pool::global_pool();
  pool.fork_join(
      [&] {
        for (auto _ : state) pool.chunk_for_each(k, [](std::size_t j) { touch(j); });
      },
      [] {});
}

void BM_TwoPlainCalls(benchmark::State& state) {
  for (auto _ : state) {
    touch(1);
    touch(2);
  }
}

void BM_ForkJoinFromOutside(benchmark::State& state) {
  quorvex::pool::pool_thread_count();
  for (auto _ : state) quorvex::pool::global_pool().fork_join([] { touch(1); }, [] { touch(2); });
}

void BM_ForkJoinFromWorker(benchmark::State& state) {
  WorkerPool& pool = quorvex::pool::global_pool();
  pool.fork_join(
      [&] {
        for (auto _ : state) pool.fork_join([] { touch(1); }, [] { touch(2); });
      },
      [] {});
}

BENCHMARK(BM_PlainLoop)->RangeMultiplier(2)->Range(1, 64);
BENCHMARK(BM_ChunkForEachFromOutside)->RangeMultiplier(2)->Range(1, 64)->UseRealTime();
BENCHMARK(BM_ChunkForEachFromWorker)->RangeMultiplier(2)->Range(1, 64)->UseRealTime();
BENCHMARK(BM_TwoPlainCalls);
BENCHMARK(BM_ForkJoinFromOutside)->UseRealTime();
BENCHMARK(BM_ForkJoinFromWorker)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
