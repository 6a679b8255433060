// dgemm speed per micro-kernel variant on square matrices, as one call over
// all rows and as the 64-row blocks on each shared B panel that matmul runs. Figures: GFLOP/s and
// the speed-up over the baseline SSE2 variant measured in the same run, both from the fastest
// repetition in thread CPU time.
//
//   cmake -S . -B build/<dir> -G Ninja -DQUORVEX_BUILD_BENCH=ON
//   cmake --build build/<dir> --target bench_gemm && build/<dir>/bench_gemm
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstddef>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "gemm/gemm.hpp"
#include "simd/targets.hpp"

namespace {

using quorvex::gemm::GemmTile;
namespace simd = quorvex::simd;

// Thread CPU seconds: steadier than wall time on a shared machine.
double cpu_seconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

struct Matrices {
  std::vector<double> a, b, c;
  explicit Matrices(std::size_t n) : a(n * n), b(n * n), c(n * n) {
    std::mt19937_64 gen(42);
    std::uniform_real_distribution<double> dist(-1, 1);
    for (double& x : a) x = dist(gen);
    for (double& x : b) x = dist(gen);
  }
};

// One product of n x n matrices: one call when block == n, otherwise row
// blocks of `block` rows sharing one packed B, as matmul runs them.
void product(const GemmTile& v, Matrices& mats, std::size_t n, std::size_t block) {
  if (block >= n) {
    quorvex::gemm::dgemm_with(v, n, n, n, mats.a.data(), n, mats.b.data(), 0.0, n, mats.c.data(),
                              n);
    return;
  }
  quorvex::gemm::PanelProduct product(v, n, n, {mats.b.data(), n}, 0.0);
  const std::size_t blocks = (n + block - 1) / block;
  for (std::size_t panel = 0; panel < product.panel_count(); ++panel) {
    product.start(panel);
    for (std::size_t i = 0; i < blocks; ++i) {
      const std::size_t row = i * block, rows = std::min(block, n - row);
      product.multiply(rows, {mats.a.data() + row * n, n}, mats.c.data() + row * n, n, i, blocks);
    }
  }
}

// Seconds per product on the SSE2 variant, measured once per size and shape.
double baseline_seconds(std::size_t n, std::size_t block) {
  static std::map<std::pair<std::size_t, std::size_t>, double> cache;
  auto [it, fresh] = cache.try_emplace({n, block}, 0.0);
  if (fresh) {
    Matrices mats(n);
    double best = 1e300;
    for (int rep = 0; rep < 3; ++rep) {
      const double start = cpu_seconds();
      product(simd::target_entry(simd::Target::kSse2).kernels.gemm.kernel, mats, n, block);
      best = std::min(best, cpu_seconds() - start);
    }
    it->second = best;
  }
  return it->second;
}

void BM_Dgemm(benchmark::State& state, GemmTile v, simd::CpuFeatures needs, bool row_blocks) {
  if (!simd::covers(simd::cpu_features(), needs)) {
    state.SkipWithError("processor lacks this variant's instructions");
    return;
  }
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::size_t block = row_blocks ? 64 : n;
  const double baseline = baseline_seconds(n, block);
  Matrices mats(n);
  double best = 1e300;
  for (auto _ : state) {
    const double start = cpu_seconds();
    product(v, mats, n, block);
    best = std::min(best, cpu_seconds() - start);
    benchmark::DoNotOptimize(mats.c.data());
    benchmark::ClobberMemory();
  }
  state.counters["GFLOPs"] = 2.0 * n * n * n / best * 1e-9;
  state.counters["vs_sse2"] = baseline / best;
}

void register_all() {
  for (const simd::TargetEntry& entry : simd::target_table()) {
    const simd::Slot<GemmTile>& v = entry.kernels.gemm;
    if (!simd::has_kernel(v.kernel)) continue;
    for (bool blocks : {false, true}) {
      const std::string name = std::string("dgemm/") + simd::target_name(entry.target) + "_" +
                               std::to_string(v.kernel.mr) + "x" + std::to_string(v.kernel.nr) +
                               (blocks ? "/rows64" : "/whole");
      benchmark::RegisterBenchmark(name.c_str(), BM_Dgemm, v.kernel, entry.needs | v.extra, blocks)
          ->Arg(256)
          ->Arg(512)
          ->Arg(1024)
          ->Arg(2048)
          ->Unit(benchmark::kMillisecond);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  register_all();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
