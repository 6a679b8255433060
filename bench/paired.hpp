// Paired rounds for benchmarks on a shared host, whose speed drifts by tens of
// percent within seconds, more than a best-of-repetitions hides. Each round
// times every variant once, back to back and in a rotating order, and a ratio
// is the median over rounds of the ratios within one round.
#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace bench {

template <class Run>
double seconds_of(Run&& run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <std::size_t V>
using Rounds = std::vector<std::array<double, V>>;

inline double median(std::vector<double> xs) {
  std::sort(xs.begin(), xs.end());
  const std::size_t h = xs.size() / 2;
  return xs.size() % 2 == 1 ? xs[h] : (xs[h - 1] + xs[h]) * 0.5;
}

// Median over rounds of time[num] / time[den].
template <std::size_t V>
double median_ratio(const Rounds<V>& rounds, std::size_t num, std::size_t den) {
  std::vector<double> ratios;
  for (const auto& t : rounds) ratios.push_back(t[num] / t[den]);
  return median(ratios);
}

// Median over rounds of one variant's time.
template <std::size_t V>
double median_time(const Rounds<V>& rounds, std::size_t v) {
  std::vector<double> times;
  for (const auto& t : rounds) times.push_back(t[v]);
  return median(times);
}

template <std::size_t V>
Rounds<V> time_rounds(int count, const std::array<std::function<void()>, V>& variants) {
  for (const auto& v : variants) v();  // warm up: pool threads, page cache of the operands
  Rounds<V> rounds(count);
  for (int r = 0; r < count; ++r) {
    for (std::size_t j = 0; j < V; ++j) {
      const std::size_t v = (r + j) % V;
      rounds[r][v] = seconds_of(variants[v]);
    }
  }
  return rounds;
}

// The N of a --paired=N argument, or 0 when there is none.
inline int paired_rounds(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--paired=", 9) == 0) return std::atoi(argv[i] + 9);
  }
  return 0;
}

}  // namespace bench
