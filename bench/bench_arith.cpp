// Arithmetic kernels and whole operators against the memory-bound baseline: a
// plain loop that reads four runs and writes two into a freshly allocated
// buffer (the same traffic as a + b on two inexact arrays). Figures are
// reported as ratios to that baseline measured in the same run:
//   build/<dir>/bench_arith --benchmark_min_time=0.5s
// or, in paired rounds (see paired.hpp), the operators against loops moving
// the same bytes, the division with one zero-containing divisor against the
// plain quotient, and the product reduction:
//   build/<dir>/bench_arith --paired=31
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "ops/arithmetic.hpp"
#include "ops/reduction.hpp"
#include "paired.hpp"
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

// A loop moving the bytes of an operator into a fresh result: `inputs` runs
// of n read (2 or 4), two written.
void move_bytes(const Operands& o, std::size_t n, int inputs) {
  auto buffer = quorvex::AlignedBuffer::for_overwrite(16 * n);
  double* out = static_cast<double*>(buffer.data());
  const double *ma = o.a.midpoints().data(), *ra = o.a.radii().data();
  const double *mb = o.b.midpoints().data(), *rb = o.b.radii().data();
  if (inputs == 4) {
    for (std::size_t i = 0; i < n; ++i) {
      out[i] = ma[i] + mb[i];
      out[n + i] = ra[i] + rb[i];
    }
  } else {
    for (std::size_t i = 0; i < n; ++i) {
      out[i] = -ma[i];
      out[n + i] = ra[i];
    }
  }
  benchmark::DoNotOptimize(out);
  benchmark::ClobberMemory();
}

template <class F>
std::function<void()> keep(F f) {
  return [f] {
    auto c = f();
    benchmark::DoNotOptimize(c);
  };
}

void run_paired(int count) {
  std::printf("%d paired rounds; target %s\n", count, simd::target_name(simd::active_target()));
  for (const std::size_t n : {std::size_t{100000}, std::size_t{10000000}}) {
    const Operands o(n);
    const auto r = bench::time_rounds<6>(
        count, {[&] { move_bytes(o, n, 4); }, keep([&] { return quorvex::add(o.a, o.b); }),
                keep([&] { return quorvex::mul(o.a, o.b); }), [&] { move_bytes(o, n, 2); },
                keep([&] { return quorvex::negate(o.a); }),
                keep([&] { return quorvex::mul_scalar(o.a, 2.0); })});
    std::printf(
        "n=%zu: a+b %.3f, a*b %.3f of the 4-in loop; -a %.3f, a*2.0 %.3f of the 2-in loop"
        " (loops %.3f / %.3f ms)\n",
        n, bench::median_ratio(r, 1, 0), bench::median_ratio(r, 2, 0), bench::median_ratio(r, 4, 3),
        bench::median_ratio(r, 5, 3), bench::median_time(r, 0) * 1e3,
        bench::median_time(r, 3) * 1e3);
  }
  // One divisor in 1e6 contains zero: the whole quotient goes by endpoints.
  constexpr std::size_t n = 1000000;
  const Operands o(n);
  std::vector<double> m(o.b.midpoints().begin(), o.b.midpoints().end());
  std::vector<double> rad(o.b.radii().begin(), o.b.radii().end());
  m[n / 2] = 0.0;
  const IntervalArray zero_inside = IntervalArray::from_parts(m, rad, {n}).value();
  // Factors near 1 in magnitude, of either sign, keep a long product finite
  // (and every step's ends in the normal range).
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> near_one(0.999, 1.001);
  std::vector<double> pm(n), pr(n, 1e-10);
  for (double& x : pm) x = (rng() & 1 ? -1.0 : 1.0) * near_one(rng);
  const IntervalArray factors = IntervalArray::from_parts(pm, pr, {n}).value();
  const auto r = bench::time_rounds<3>(
      count, {keep([&] { return quorvex::div(o.a, o.b); }),
              keep([&] { return quorvex::div(o.a, zero_inside); }),
              [&] { benchmark::DoNotOptimize(quorvex::array_prod(factors)); }});
  std::printf(
      "n=%zu: endpoint division %.3f of the plain quotient (%.2f ns/element); "
      "prod %.2f ns/element\n",
      n, bench::median_ratio(r, 1, 0), bench::median_time(r, 1) / n * 1e9,
      bench::median_time(r, 2) / n * 1e9);
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
  if (const int rounds = bench::paired_rounds(argc, argv); rounds > 0) {
    run_paired(rounds);
    return 0;
  }
  register_kernels();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
