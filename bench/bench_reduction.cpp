// Reductions against two floors measured in the same run: a loop that only
// reads the same bytes (memory bound) and a loop with one dependent addition
// per element (latency bound). bench_reduction.py turns the times into ratios.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "ops/reduction.hpp"

namespace {

using quorvex::IntervalArray;

IntervalArray random_array(std::size_t n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> mid(0.5, 1.5), rad(0.0, 1e-6);
  std::vector<double> m(n), r(n);
  for (std::size_t i = 0; i < n; ++i) {
    m[i] = mid(rng);
    r[i] = rad(rng);
  }
  return IntervalArray::from_parts(m, r, {n}).value();
}

// Cached per size so the 1e7 arrays are built once.
const IntervalArray& operand(std::size_t n, unsigned which) {
  static std::vector<std::pair<std::size_t, IntervalArray>> cache;
  for (auto& [size, a] : cache) {
    if (size == n * 2 + which) return a;
  }
  cache.emplace_back(n * 2 + which, random_array(n, static_cast<unsigned>(n) + which));
  return cache.back().second;
}

template <class Op>
void run(benchmark::State& state, Op op) {
  const auto n = static_cast<std::size_t>(state.range(0));
  operand(n, 0);  // built (and paged in) before the clock starts
  operand(n, 1);
  for (auto _ : state) benchmark::DoNotOptimize(op(n));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

#define REDUCTION_BENCH(name, fn)                                         \
  void BM_##name(benchmark::State& state) {                               \
    run(state, [](std::size_t n) { return quorvex::fn(operand(n, 0)); }); \
  }                                                                       \
  BENCHMARK(BM_##name)->Arg(1000)->Arg(100000)->Arg(10000000)

REDUCTION_BENCH(sum, array_sum);
REDUCTION_BENCH(mean, array_mean);
REDUCTION_BENCH(var, array_var);
REDUCTION_BENCH(std, array_std);
REDUCTION_BENCH(norm, array_norm);
REDUCTION_BENCH(prod, array_prod);
REDUCTION_BENCH(min_val, array_min_val);
REDUCTION_BENCH(max_val, array_max_val);

void BM_dot(benchmark::State& state) {
  run(state, [](std::size_t n) { return quorvex::array_dot(operand(n, 0), operand(n, 1)); });
}
BENCHMARK(BM_dot)->Arg(1000)->Arg(100000)->Arg(10000000);

void BM_cumsum(benchmark::State& state) {
  run(state, [](std::size_t n) { return quorvex::array_cumsum(operand(n, 0)).value().size(); });
}
BENCHMARK(BM_cumsum)->Arg(1000)->Arg(100000)->Arg(10000000);

// Reads `columns` runs of n doubles as integers (no floating-point latency,
// freely vectorised): the memory floor for touching those bytes.
std::uint64_t read_only(const double* const* cols, int columns, std::size_t n) {
  std::uint64_t acc[4] = {};
  for (int c = 0; c < columns; ++c) {
    const double* p = cols[c];
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
      for (int j = 0; j < 4; ++j) {
        std::uint64_t w;
        std::memcpy(&w, p + i + j, 8);
        acc[j] ^= w;
      }
    }
    for (; i < n; ++i) {
      std::uint64_t w;
      std::memcpy(&w, p + i, 8);
      acc[0] ^= w;
    }
  }
  return acc[0] ^ acc[1] ^ acc[2] ^ acc[3];
}

// Midpoints and radii of one array: what sum, mean, norm, var, prod, min read.
void BM_floor_memory_2col(benchmark::State& state) {
  run(state, [](std::size_t n) {
    const IntervalArray& a = operand(n, 0);
    const double* cols[] = {a.midpoints().data(), a.radii().data()};
    return read_only(cols, 2, n);
  });
}
BENCHMARK(BM_floor_memory_2col)->Arg(1000)->Arg(100000)->Arg(10000000);

// Both arrays: what dot reads.
void BM_floor_memory_4col(benchmark::State& state) {
  run(state, [](std::size_t n) {
    const IntervalArray& a = operand(n, 0);
    const IntervalArray& b = operand(n, 1);
    const double* cols[] = {a.midpoints().data(), a.radii().data(), b.midpoints().data(),
                            b.radii().data()};
    return read_only(cols, 4, n);
  });
}
BENCHMARK(BM_floor_memory_4col)->Arg(1000)->Arg(100000)->Arg(10000000);

// One dependent floating-point addition per element (over the midpoints).
void BM_floor_latency(benchmark::State& state) {
  run(state, [](std::size_t n) {
    const double* p = operand(n, 0).midpoints().data();
    double s = 0.0;
    for (std::size_t i = 0; i < n; ++i) s += p[i];
    return s;
  });
}
BENCHMARK(BM_floor_latency)->Arg(1000)->Arg(100000)->Arg(10000000);

}  // namespace

BENCHMARK_MAIN();
