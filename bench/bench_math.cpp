// Elementwise functions on 1e6 inexact elements against a plain loop making
// the same two C-library calls per element, and sqrt of an exact array against
// a copy of the midpoints into a fresh result (memory speed). The pool size
// comes from RAYON_NUM_THREADS as usual; run once with 1 and once with 2.
// Prints each function's time as a ratio to its baseline from the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ops/endpoint_driver.hpp"
#include "ops/math.hpp"
#include "paired.hpp"
#include "pool/pool.hpp"
#include "pool/worker_pool.hpp"

namespace {

using quorvex::IntervalArray;
using ArrayFn = quorvex::Result<IntervalArray> (*)(const IntervalArray&);
using LibmFn = double (*)(double);

constexpr std::size_t kN = 1'000'000;

// One call into a fresh result: the driver's serial steps on this thread, or
// its chunked steps on the given pool.
using SerialRun = void (*)(const IntervalArray&);
using PooledRun = void (*)(quorvex::pool::WorkerPool&, const IntervalArray&);

struct Function {
  const char* name;
  ArrayFn array_fn;
  SerialRun serial;
  PooledRun pooled;
  LibmFn libm;
  double lo, hi;  // midpoint range
};

// The result is allocated as the library allocates it.
template <quorvex::EndpointKernel Kernel>
void run_serial(const IntervalArray& a) {
  auto out = IntervalArray::for_overwrite(a.shape());
  auto runs = out->writable();
  quorvex::map_endpoints_serial<Kernel>(a.midpoints(), a.radii(), runs->mid, runs->rad);
  benchmark::DoNotOptimize(out->midpoints().data());
}

template <quorvex::EndpointKernel Kernel>
void run_pooled(quorvex::pool::WorkerPool& pool, const IntervalArray& a) {
  auto out = IntervalArray::for_overwrite(a.shape());
  auto runs = out->writable();
  quorvex::map_endpoints_chunked<Kernel>(pool, a.midpoints(), a.radii(), runs->mid, runs->rad);
  benchmark::DoNotOptimize(out->midpoints().data());
}

double libm_sqrt(double x) {
  return std::sqrt(x);
}
double libm_exp(double x) {
  return std::exp(x);
}
double libm_log(double x) {
  return std::log(x);
}
double libm_log2(double x) {
  return std::log2(x);
}
double libm_log10(double x) {
  return std::log10(x);
}
double libm_fabs(double x) {
  return std::fabs(x);
}
double libm_sin(double x) {
  return std::sin(x);
}
double libm_cos(double x) {
  return std::cos(x);
}
double libm_tan(double x) {
  return std::tan(x);
}

const Function kFunctions[] = {
    {"sqrt", quorvex::array_sqrt, run_serial<quorvex::sqrt_endpoints>,
     run_pooled<quorvex::sqrt_endpoints>, libm_sqrt, 1.0, 1000.0},
    {"exp", quorvex::array_exp, run_serial<quorvex::exp_endpoints>,
     run_pooled<quorvex::exp_endpoints>, libm_exp, -50.0, 50.0},
    {"ln", quorvex::array_ln, run_serial<quorvex::ln_endpoints>, run_pooled<quorvex::ln_endpoints>,
     libm_log, 1.0, 1000.0},
    {"log2", quorvex::array_log2, run_serial<quorvex::log2_endpoints>,
     run_pooled<quorvex::log2_endpoints>, libm_log2, 1.0, 1000.0},
    {"log10", quorvex::array_log10, run_serial<quorvex::log10_endpoints>,
     run_pooled<quorvex::log10_endpoints>, libm_log10, 1.0, 1000.0},
    {"abs", quorvex::array_abs, run_serial<quorvex::abs_endpoints>,
     run_pooled<quorvex::abs_endpoints>, libm_fabs, -100.0, 100.0},
    {"sin", quorvex::array_sin, run_serial<quorvex::sin_endpoints>,
     run_pooled<quorvex::sin_endpoints>, libm_sin, -100.0, 100.0},
    {"cos", quorvex::array_cos, run_serial<quorvex::cos_endpoints>,
     run_pooled<quorvex::cos_endpoints>, libm_cos, -100.0, 100.0},
    {"tan", quorvex::array_tan, run_serial<quorvex::tan_endpoints>,
     run_pooled<quorvex::tan_endpoints>, libm_tan, -100.0, 100.0},
};

std::vector<double> uniform(std::size_t n, double lo, double hi, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> dist(lo, hi);
  std::vector<double> v(n);
  for (double& x : v) x = dist(rng);
  return v;
}

// Built once per function and shared (the array is immutable), so repeated and
// interleaved repetitions do not pay for the random numbers again.
const IntervalArray& make_array(const Function& f) {
  static std::map<const Function*, IntervalArray> cache;
  auto it = cache.find(&f);
  if (it == cache.end()) {
    const std::vector<double> mid = uniform(kN, f.lo, f.hi, 1);
    const std::vector<double> rad(kN, 1e-3);
    it = cache.emplace(&f, IntervalArray::from_parts(mid, rad, quorvex::Shape{kN}).value()).first;
  }
  return it->second;
}

void BM_function(benchmark::State& state, const Function* f) {
  const IntervalArray& a = make_array(*f);
  for (auto _ : state) {
    auto out = f->array_fn(a);
    benchmark::DoNotOptimize(out->midpoints().data());
  }
}

// The kernel alone: the serial steps over the whole array on this thread (no
// pool), to separate kernel cost from the rest.
void BM_kernel(benchmark::State& state, const Function* f) {
  const IntervalArray& a = make_array(*f);
  for (auto _ : state) f->serial(a);
}

// The baseline: endpoints, two library calls, ball from endpoints; one thread,
// into a result fresh from the heap as a plain C loop would allocate it.
void two_calls_once(const Function& f, const IntervalArray& a) {
  const double* m = a.midpoints().data();
  const double* r = a.radii().data();
  const LibmFn fn = f.libm;
  const std::unique_ptr<double[]> out(new double[2 * kN]);
  double* mid = out.get();
  double* rad = out.get() + kN;
  for (std::size_t i = 0; i < kN; ++i) {
    const double x = fn(m[i] - r[i]);
    const double y = fn(m[i] + r[i]);
    mid[i] = (x + y) * 0.5;
    rad[i] = (y - x) * 0.5;
  }
  benchmark::DoNotOptimize(mid);
  benchmark::DoNotOptimize(rad);
}

void BM_two_calls(benchmark::State& state, const Function* f) {
  const IntervalArray& a = make_array(*f);
  for (auto _ : state) two_calls_once(*f, a);
}

void BM_sqrt_exact(benchmark::State& state) {
  const auto mids = uniform(kN, 0.0, 1e6, 2);
  const IntervalArray a = std::move(IntervalArray::exact_1d(mids)).value();
  for (auto _ : state) {
    auto out = quorvex::array_sqrt(a);
    benchmark::DoNotOptimize(out->midpoints().data());
  }
}

// Memory-speed baseline: a fresh zero result and one copy of the midpoints.
void copy_exact_once(const IntervalArray& a) {
  auto out = IntervalArray::zeros(a.shape());
  auto runs = out->writable();
  std::memcpy(runs->mid.data(), a.midpoints().data(), kN * sizeof(double));
  benchmark::DoNotOptimize(out->midpoints().data());
}

void BM_copy_exact(benchmark::State& state) {
  const auto mids = uniform(kN, 0.0, 1e6, 2);
  const IntervalArray a = std::move(IntervalArray::exact_1d(mids)).value();
  for (auto _ : state) copy_exact_once(a);
}

// Collects each function's best time so ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // The best repetition stands for the function: on a shared machine every
    // disturbance only adds time.
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      keep_min(real_, run.run_name.function_name, run.GetAdjustedRealTime());
      keep_min(cpu_, run.run_name.function_name, run.GetAdjustedCPUTime());
    }
    // Show the median of repeated runs, or the single run.
    std::vector<Run> shown;
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate ? run.aggregate_name == "median"
                                            : run.repetitions <= 1) {
        shown.push_back(run);
      }
    }
    ConsoleReporter::ReportRuns(shown);
  }
  double real(const std::string& name) const { return find(real_, name); }
  double cpu(const std::string& name) const { return find(cpu_, name); }

 private:
  static void keep_min(std::map<std::string, double>& m, const std::string& name, double t) {
    auto [it, inserted] = m.try_emplace(name, t);
    if (!inserted && t < it->second) it->second = t;
  }
  static double find(const std::map<std::string, double>& m, const std::string& name) {
    auto it = m.find(name);
    return it == m.end() ? 0.0 : it->second;
  }
  std::map<std::string, double> real_;
  std::map<std::string, double> cpu_;
};

using bench::median_ratio;
using bench::time_rounds;

void run_paired(int count) {
  quorvex::pool::WorkerPool one(1);
  quorvex::pool::WorkerPool two(2);
  std::printf("%d paired rounds, 1e6 elements; process pool: %zu threads\n", count,
              quorvex::pool::pool_thread_count());
  std::printf("%-8s %10s %10s %10s %10s %12s\n", "function", "2calls ms", "serial/2c", "pool1/2c",
              "call/2c", "pool1/pool2");
  for (const Function& f : kFunctions) {
    const IntervalArray& a = make_array(f);
    const auto rounds =
        time_rounds<5>(count, {
                                  [&] { two_calls_once(f, a); },
                                  [&] { f.serial(a); },
                                  [&] { f.pooled(one, a); },
                                  [&] { f.pooled(two, a); },
                                  [&] {
                                    auto out = f.array_fn(a);
                                    benchmark::DoNotOptimize(out->midpoints().data());
                                  },
                              });
    std::vector<double> base;
    for (const auto& t : rounds) base.push_back(t[0]);
    std::sort(base.begin(), base.end());
    std::printf("%-8s %10.3f %10.3f %10.3f %10.3f %12.3f\n", f.name, base[base.size() / 2] * 1e3,
                median_ratio(rounds, 1, 0), median_ratio(rounds, 2, 0), median_ratio(rounds, 4, 0),
                median_ratio(rounds, 2, 3));
  }
  const auto mids = uniform(kN, 0.0, 1e6, 2);
  const IntervalArray exact = std::move(IntervalArray::exact_1d(mids)).value();
  // The exact path must also read every radius (the exact-array test): the
  // second baseline reads them too, with a plain vectorisable loop.
  const auto read_radii_and_copy = [&] {
    std::uint64_t any = 0;
    for (const double r : exact.radii()) any |= std::bit_cast<std::uint64_t>(r);
    benchmark::DoNotOptimize(any);
    copy_exact_once(exact);
  };
  const auto rounds = time_rounds<3>(count, {
                                                [&] { copy_exact_once(exact); },
                                                read_radii_and_copy,
                                                [&] {
                                                  auto out = quorvex::array_sqrt(exact);
                                                  benchmark::DoNotOptimize(out->midpoints().data());
                                                },
                                            });
  std::printf("exact sqrt / copy of the midpoints: %.3f; / radii read and copy: %.3f\n",
              median_ratio(rounds, 2, 0), median_ratio(rounds, 2, 1));
}

}  // namespace

int main(int argc, char** argv) {
  // --paired=N: N paired rounds instead of the benchmark library's runs.
  if (const int rounds = bench::paired_rounds(argc, argv); rounds > 0) {
    run_paired(rounds);
    return 0;
  }
  for (const Function& f : kFunctions) {
    benchmark::RegisterBenchmark((std::string("two_calls/") + f.name).c_str(), BM_two_calls, &f)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark((std::string("kernel/") + f.name).c_str(), BM_kernel, &f)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark((std::string("quorvex/") + f.name).c_str(), BM_function, &f)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime();
  }
  benchmark::RegisterBenchmark("copy_exact", BM_copy_exact)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->MeasureProcessCPUTime();
  benchmark::RegisterBenchmark("sqrt_exact", BM_sqrt_exact)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->MeasureProcessCPUTime();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // Wall-clock ratios, and process CPU time (all threads) ratios, which a busy
  // machine disturbs less and which show the work added on top of the loop.
  std::printf("\npool threads: %zu\n%-8s %14s %14s %16s\n", quorvex::pool::pool_thread_count(),
              "function", "ours/2calls", "ours/2calls cpu", "kernel/2calls cpu");
  for (const Function& f : kFunctions) {
    const std::string base = std::string("two_calls/") + f.name;
    const std::string ours = std::string("quorvex/") + f.name;
    const std::string kernel = std::string("kernel/") + f.name;
    if (reporter.real(base) > 0) {
      std::printf("%-8s %14.3f %14.3f %16.3f\n", f.name, reporter.real(ours) / reporter.real(base),
                  reporter.cpu(ours) / reporter.cpu(base),
                  reporter.cpu(kernel) / reporter.cpu(base));
    }
  }
  if (reporter.real("copy_exact") > 0) {
    std::printf("exact sqrt / copy of the midpoints: %.3f (wall), %.3f (cpu)\n",
                reporter.real("sqrt_exact") / reporter.real("copy_exact"),
                reporter.cpu("sqrt_exact") / reporter.cpu("copy_exact"));
  }
  benchmark::Shutdown();
  return 0;
}
