// Arithmetic kernels and whole operators against the memory-bound baseline: a
// plain loop that reads four runs and writes two into a freshly allocated
// buffer (the same traffic as a + b on two inexact arrays). Figures are
// reported as ratios to that baseline measured in the same run:
//   build/<dir>/bench_arith --benchmark_min_time=0.5s
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "ops/arithmetic.hpp"
#include "simd/targets.hpp"
#include "support/aligned_buffer.hpp"

namespace {

using quorvex::IntervalArray;

IntervalArray random_array(std::size_t n, unsigned seed, bool exact) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.5, 2.0);
  std::vector<double> m(n), r(n);
  for (std::size_t i = 0; i < n; ++i) {
    m[i] = u(rng);
    r[i] = exact ? 0.0 : u(rng) * 1e-10;
  }
  return IntervalArray::from_parts(m, r, {n}).value();
}

struct Operands {
  IntervalArray a, b;
  explicit Operands(std::size_t n) : a(random_array(n, 1, false)), b(random_array(n, 2, false)) {}
};

// The memory-bound baseline: out_mid = ma + mb, out_rad = ra + rb into a fresh buffer.
void BM_baseline_loop(benchmark::State& state) {
  const std::size_t n = static_cast<std::size_t>(state.range(0));
  Operands o(n);
  const double *ma = o.a.midpoints().data(), *ra = o.a.radii().data();
  const double *mb = o.b.midpoints().data(), *rb = o.b.radii().data();
  for (auto _ : state) {
    auto buffer = quorvex::AlignedBuffer::zeroed(16 * n);
    double* out = static_cast<double*>(buffer.data());
    for (std::size_t i = 0; i < n; ++i) {
      out[i] = ma[i] + mb[i];
      out[n + i] = ra[i] + rb[i];
    }
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}

template <quorvex::Result<IntervalArray> (*Op)(const IntervalArray&, const IntervalArray&)>
void BM_operator(benchmark::State& state) {
  const std::size_t n = static_cast<std::size_t>(state.range(0));
  Operands o(n);
  for (auto _ : state) {
    auto c = Op(o.a, o.b);
    benchmark::DoNotOptimize(c);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}

void BM_scale(benchmark::State& state) {
  const std::size_t n = static_cast<std::size_t>(state.range(0));
  Operands o(n);
  for (auto _ : state) {
    auto c = quorvex::mul_scalar(o.a, 2.0);
    benchmark::DoNotOptimize(c);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}

void BM_negate(benchmark::State& state) {
  const std::size_t n = static_cast<std::size_t>(state.range(0));
  Operands o(n);
  for (auto _ : state) {
    auto c = quorvex::negate(o.a);
    benchmark::DoNotOptimize(c);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}

// One kernel variant on warm, preallocated buffers (compute cost only).
void BM_kernel(benchmark::State& state, quorvex::kernels::QuadKernel K,
               quorvex::simd::CpuFeatures needs) {
  if (!quorvex::simd::covers(quorvex::simd::cpu_features(), needs)) {
    state.SkipWithError("processor lacks this variant's instructions");
    return;
  }
  const std::size_t n = static_cast<std::size_t>(state.range(0));
  Operands o(n);
  std::vector<double> om(n), orad(n);
  for (auto _ : state) {
    K(o.a.midpoints().data(), o.a.radii().data(), o.b.midpoints().data(), o.b.radii().data(),
      om.data(), orad.data(), n);
    benchmark::DoNotOptimize(om.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}

constexpr std::int64_t kSizes[] = {8, 1000, 100000, 10000000};

void sizes(benchmark::internal::Benchmark* b) {
  for (auto n : kSizes) b->Arg(n);
  b->UseRealTime();
}

namespace simd = quorvex::simd;
BENCHMARK(BM_baseline_loop)->Apply(sizes);
BENCHMARK(BM_operator<quorvex::add>)->Apply(sizes);
BENCHMARK(BM_operator<quorvex::mul>)->Apply(sizes);
BENCHMARK(BM_operator<quorvex::div>)->Apply(sizes);
BENCHMARK(BM_scale)->Apply(sizes);
BENCHMARK(BM_negate)->Apply(sizes);

// Every variant of the quad families in the target table.
void register_kernels() {
  using Slots = simd::KernelSlots;
  const std::pair<const char*, simd::Slot<quorvex::kernels::QuadKernel> Slots::*> families[] = {
      {"interval_sum", &Slots::interval_sum},
      {"interval_product", &Slots::interval_product},
      {"endpoint_division", &Slots::endpoint_division}};
  for (const auto& [family, slot] : families) {
    for (const simd::TargetEntry& entry : simd::target_table()) {
      const auto& v = entry.kernels.*slot;
      if (!simd::has_kernel(v.kernel)) continue;
      const std::string name =
          std::string("BM_kernel/") + family + "_" + simd::target_name(entry.target);
      benchmark::RegisterBenchmark(name.c_str(), BM_kernel, v.kernel, entry.needs | v.extra)
          ->Arg(4096);
    }
  }
}

// Prints every operator's time as a ratio to the baseline of the same size.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      const std::string& base = run.run_name.function_name;
      const std::string& arg = run.run_name.args;
      const double t = run.GetAdjustedRealTime();
      if (base == "BM_baseline_loop") {
        baseline_[arg] = t;
      } else if (auto it = baseline_.find(arg);
                 it != baseline_.end() && base.rfind("BM_kernel", 0) != 0) {
        GetOutputStream() << "    " << base << " n=" << arg
                          << ": ratio to baseline loop = " << t / it->second << "\n";
      }
    }
  }

 private:
  std::map<std::string, double> baseline_;
};

}  // namespace

int main(int argc, char** argv) {
  register_kernels();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
