#include "engine/reduce.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kernels/kernels.hpp"
#include "ops/reduction.hpp"
#include "pool/partition.hpp"
#include "rules/outward.hpp"
#include "simd/dispatch.hpp"

namespace quorvex::engine {
namespace {

using pool::Partition;
using pool::partition_outputs;
using pool::run_partitioned;

#define QV_NAME(code, name) name,
constexpr std::string_view kReductionNames[] = {QUORVEX_REDUCTIONS(QV_NAME)};
constexpr std::string_view kAccumulationNames[] = {QUORVEX_ACCUMULATIONS(QV_NAME)};
#undef QV_NAME

// Balls gathered per task at most (midpoints and radii each), so a group of
// runs stays in the second-level cache.
constexpr std::size_t kGatherBudget = 32768;

// An odometer over some axes of a view: the element offsets of their
// positions in row-major order.
class Axes {
 public:
  Axes(Extents shape, Extents strides) : shape_(std::move(shape)), strides_(std::move(strides)) {}

  std::int64_t count() const {
    std::int64_t n = 1;
    for (std::int64_t d : shape_) n *= d;
    return n;
  }
  // The offset of position `pos`.
  std::int64_t offset_of(std::int64_t pos) const {
    std::int64_t offset = 0;
    for (std::size_t d = shape_.size(); d-- > 0;) {
      offset += (pos % shape_[d]) * strides_[d];
      pos /= shape_[d];
    }
    return offset;
  }
  // Calls visit(offset) for every position in order.
  template <class Visit>
  void for_each(Visit&& visit) const {
    if (count() == 0) return;
    Extents index(shape_.size(), 0);
    std::int64_t offset = 0;
    for (;;) {
      visit(offset);
      std::size_t d = shape_.size();
      for (;;) {
        if (d == 0) return;
        --d;
        ++index[d];
        offset += strides_[d];
        if (index[d] < shape_[d]) break;
        offset -= index[d] * strides_[d];
        index[d] = 0;
      }
    }
  }
  // Whether the positions are consecutive elements (stride 1 in order).
  bool contiguous() const { return strides_ == row_major(shape_); }

 private:
  Extents shape_;
  Extents strides_;
};

// Splits x's axes into the kept ones (the result's) and the reduced ones.
struct Split {
  Extents kept_shape, kept_strides, reduced_shape, reduced_strides;
};

Split split_axes(const StridedBalls& x, std::span<const std::int64_t> axes) {
  std::vector<bool> reduced(x.ndim(), false);
  for (std::int64_t a : axes) reduced[static_cast<std::size_t>(a)] = true;
  Split s;
  for (std::size_t d = 0; d < x.ndim(); ++d) {
    (reduced[d] ? s.reduced_shape : s.kept_shape).push_back(x.shape[d]);
    (reduced[d] ? s.reduced_strides : s.kept_strides).push_back(x.strides[d]);
  }
  return s;
}

Ball rigorous_run(Reduction reduction, BallRun run, double ddof) {
  switch (reduction) {
    case Reduction::kSum:
      return rigorous_sum_of(run);
    case Reduction::kMean:
      return rigorous_mean_of(run);
    case Reduction::kVar:
      return rigorous_var_of(run, ddof);
    case Reduction::kStd:
      return rigorous_std_of(run, ddof);
    case Reduction::kProd:
      return rigorous_prod_of(run);
    case Reduction::kMin:
      return rigorous_min_of(run);
    case Reduction::kMax:
      return rigorous_max_of(run);
    case Reduction::kNorm:
      break;
  }
  return rigorous_norm_of(run);
}

Ball reduce_run(Reduction reduction, BallRun run, double ddof, Model model) {
  if (model == Model::kRigorous) return rigorous_run(reduction, run, ddof);
  switch (reduction) {
    case Reduction::kSum:
      return sum_of(run);
    case Reduction::kMean:
      return mean_of(run);
    case Reduction::kVar:
      return var_of(run, ddof);
    case Reduction::kStd:
      return std_of(run, ddof);
    case Reduction::kProd:
      return prod_of(run);
    case Reduction::kMin:
      return min_of(run);
    case Reduction::kMax:
      return max_of(run);
    case Reduction::kNorm:
      break;
  }
  return norm_of(run);
}

// The reduced axes as one axis (length, stride), when they step through the
// data as one; nullopt otherwise.
std::optional<std::pair<std::int64_t, std::int64_t>> as_one_axis(const Extents& shape,
                                                                 const Extents& strides) {
  std::int64_t length = 1;
  std::int64_t stride = 0;
  bool started = false;
  for (std::size_t d = 0; d < shape.size(); ++d) {
    if (shape[d] == 1) continue;
    if (started && stride != strides[d] * shape[d]) return std::nullopt;
    length *= shape[d];
    stride = strides[d];
    started = true;
  }
  return std::pair{length, stride};
}

// One step of a rigorous running reduction with element (m, r). Sums: the
// running midpoint sum rounded to nearest, the running radius sum and the
// bound on the midpoint sum's rounding (u |s| per addition) both upward.
// Products: the running endpoint pair, each product rounded outward.
Ball rigorous_step(Accumulation accumulation, bool first, double m, double r, double& a, double& b,
                   double& error) {
  using rules::next_up;
  if (accumulation == Accumulation::kCumsum) {
    a = first ? 0.0 + m : a + m;
    b = first ? 0.0 + r : next_up(b + r);
    error = first ? 0.0 : next_up(error + next_up(rules::abs_bits(a) * 0x1p-53));
    const double rad = next_up(b + error);
    return {a, a > -rules::kInf && a < rules::kInf ? rad : rules::kInf};
  }
  const rules::Endpoints e = rules::outward_endpoints(m, r);
  const rules::Endpoints p = first ? e : rigorous_product_step({a, b}, e);
  a = p.lo;
  b = p.hi;
  return rules::ball_outward(p.lo, p.hi);
}

// How many consecutive results, from `o` on, lie along the innermost kept axis.
std::int64_t group_room(const Extents& kept_shape, std::int64_t o) {
  if (kept_shape.empty()) return 1;
  return kept_shape.back() - o % kept_shape.back();
}

}  // namespace

std::span<const std::string_view> reduction_names() noexcept {
  return kReductionNames;
}
std::span<const std::string_view> accumulation_names() noexcept {
  return kAccumulationNames;
}

Result<IntervalArray> reduce(Reduction reduction, const StridedBalls& x,
                             std::span<const std::int64_t> axes, double ddof, Model model) {
  const Split s = split_axes(x, axes);
  const Axes results(s.kept_shape, s.kept_strides);
  const Axes run(s.reduced_shape, s.reduced_strides);
  const std::int64_t outputs = results.count();
  const std::int64_t length = run.count();
  if (length == 0 && outputs != 0 &&
      (reduction == Reduction::kMin || reduction == Reduction::kMax)) {
    return value_error(std::string("zero-size array to reduction operation ") +
                       (reduction == Reduction::kMin ? "minimum" : "maximum") +
                       " which has no identity");
  }
  QV_TRY(result, IntervalArray::for_overwrite(to_shape(s.kept_shape)));
  if (outputs == 0) return result;
  QV_TRY(out, result.writable());
  const bool in_place = run.contiguous();
  const auto len = static_cast<std::size_t>(length);
  // Sums along leading axes: whole rows of neighbouring results are summed at
  // once, each column in the sum kernel's own order (the bits of a sum of
  // that column alone).
  const auto one_axis = as_one_axis(s.reduced_shape, s.reduced_strides);
  if (!in_place && one_axis && model == Model::kFirstOrder &&
      (reduction == Reduction::kSum || reduction == Reduction::kMean) && !s.kept_strides.empty() &&
      s.kept_strides.back() == 1) {
    const auto [rows, stride] = *one_axis;
    const kernels::ColumnSumKernel columns = simd::column_sum_kernel();
    // Rows of up to kColumns results per kernel call, and per task, keep the
    // reads streaming.
    constexpr std::size_t kColumns = 512;
    const Partition p = partition_outputs(static_cast<std::size_t>(outputs), len, kColumns);
    run_partitioned(static_cast<std::size_t>(outputs), p, [&](std::size_t begin, std::size_t end) {
      double m[kColumns];
      double r[kColumns];
      for (std::size_t o = begin; o < end;) {
        const auto group = static_cast<std::size_t>(std::min<std::int64_t>(
            {static_cast<std::int64_t>(kColumns), static_cast<std::int64_t>(end - o),
             group_room(s.kept_shape, static_cast<std::int64_t>(o))}));
        const std::int64_t base = results.offset_of(static_cast<std::int64_t>(o));
        columns(x.mid + base, stride, static_cast<std::size_t>(rows), group, m);
        columns(x.rad + base, stride, static_cast<std::size_t>(rows), group, r);
        for (std::size_t g = 0; g < group; ++g) {
          const Ball b = reduction == Reduction::kSum ? sum_from_sums(m[g], r[g], len)
                                                      : mean_from_sums(m[g], r[g], len);
          out.mid[o + g] = b.mid;
          out.rad[o + g] = b.rad;
        }
        o += group;
      }
    });
    return result;
  }
  const std::int64_t inner_step = s.kept_strides.empty() ? 0 : s.kept_strides.back();
  const Partition p = partition_outputs(static_cast<std::size_t>(outputs), len);
  run_partitioned(static_cast<std::size_t>(outputs), p, [&](std::size_t begin, std::size_t end) {
    const std::size_t group_max =
        in_place ? 1 : std::max<std::size_t>(1, kGatherBudget / std::max<std::size_t>(len, 1));
    std::vector<double> mids(in_place ? 0 : std::min(group_max, end - begin) * len);
    std::vector<double> rads(mids.size());
    for (std::size_t o = begin; o < end;) {
      const std::int64_t base = results.offset_of(static_cast<std::int64_t>(o));
      if (in_place) {
        const Ball b = reduce_run(reduction, {x.mid + base, x.rad + base, len}, ddof, model);
        out.mid[o] = b.mid;
        out.rad[o] = b.rad;
        ++o;
        continue;
      }
      // A group of results next to each other along the innermost kept axis:
      // their runs are gathered together, reading neighbouring elements at
      // every position of the run.
      const auto group = static_cast<std::size_t>(std::min<std::int64_t>(
          {static_cast<std::int64_t>(group_max), static_cast<std::int64_t>(end - o),
           group_room(s.kept_shape, static_cast<std::int64_t>(o))}));
      std::size_t position = 0;
      run.for_each([&](std::int64_t offset) {
        const double* m = x.mid + base + offset;
        const double* r = x.rad + base + offset;
        for (std::size_t g = 0; g < group; ++g) {
          mids[g * len + position] = m[static_cast<std::int64_t>(g) * inner_step];
          rads[g * len + position] = r[static_cast<std::int64_t>(g) * inner_step];
        }
        ++position;
      });
      for (std::size_t g = 0; g < group; ++g) {
        const Ball b =
            reduce_run(reduction, {mids.data() + g * len, rads.data() + g * len, len}, ddof, model);
        out.mid[o + g] = b.mid;
        out.rad[o + g] = b.rad;
      }
      o += group;
    }
  });
  return result;
}

Result<IntervalArray> accumulate(Accumulation accumulation, const StridedBalls& x,
                                 std::int64_t axis, Model model) {
  const bool rigorous = model == Model::kRigorous;
  const std::int64_t a[1] = {axis};
  const Split s = split_axes(x, a);
  const Axes fibers(s.kept_shape, s.kept_strides);
  const std::int64_t count = fibers.count();
  const std::int64_t length = x.shape[static_cast<std::size_t>(axis)];
  const std::int64_t step = x.strides[static_cast<std::size_t>(axis)];
  QV_TRY(result, IntervalArray::for_overwrite(to_shape(x.shape)));
  if (result.size() == 0) return result;
  QV_TRY(out, result.writable());
  // Where fiber f's element i goes in the row-major result.
  const Extents out_strides = row_major(x.shape);
  Extents kept_out_strides;
  for (std::size_t d = 0; d < x.ndim(); ++d) {
    if (static_cast<std::int64_t>(d) != axis) kept_out_strides.push_back(out_strides[d]);
  }
  const Axes out_fibers(s.kept_shape, kept_out_strides);
  const std::int64_t out_step = out_strides[static_cast<std::size_t>(axis)];
  const std::int64_t inner_step = s.kept_strides.empty() ? 0 : s.kept_strides.back();
  const std::int64_t out_inner = kept_out_strides.empty() ? 0 : kept_out_strides.back();
  constexpr std::size_t kGroup = 64;
  const Partition p =
      partition_outputs(static_cast<std::size_t>(count), static_cast<std::size_t>(length));
  run_partitioned(static_cast<std::size_t>(count), p, [&](std::size_t begin, std::size_t end) {
    // The running state of each fiber of the group: the sums (or the product
    // endpoints) and, for the rigorous sums, the bound on their rounding.
    std::array<double, kGroup> first{}, second{}, error{};
    for (std::size_t f = begin; f < end;) {
      // Neighbouring fibers run together, one element of each at a time, so
      // a reduction along a leading axis reads whole rows.
      const auto group = static_cast<std::size_t>(std::min<std::int64_t>(
          {static_cast<std::int64_t>(kGroup), static_cast<std::int64_t>(end - f),
           group_room(s.kept_shape, static_cast<std::int64_t>(f))}));
      const std::int64_t base = fibers.offset_of(static_cast<std::int64_t>(f));
      const std::int64_t out_base = out_fibers.offset_of(static_cast<std::int64_t>(f));
      for (std::int64_t i = 0; i < length; ++i) {
        for (std::size_t g = 0; g < group; ++g) {
          const std::int64_t at = base + i * step + static_cast<std::int64_t>(g) * inner_step;
          const std::int64_t to =
              out_base + i * out_step + static_cast<std::int64_t>(g) * out_inner;
          const double m = x.mid[at];
          const double r = x.rad[at];
          if (rigorous) {
            const Ball b = rigorous_step(accumulation, i == 0, m, r, first[g], second[g], error[g]);
            out.mid[static_cast<std::size_t>(to)] = b.mid;
            out.rad[static_cast<std::size_t>(to)] = b.rad;
          } else if (accumulation == Accumulation::kCumsum) {
            // Strictly sequential, from +0.0: each stored value is a prefix sum.
            first[g] = i == 0 ? 0.0 + m : first[g] + m;
            second[g] = i == 0 ? 0.0 + r : second[g] + r;
            out.mid[static_cast<std::size_t>(to)] = first[g];
            out.rad[static_cast<std::size_t>(to)] = second[g];
          } else {
            // The product reduction's steps, with every prefix kept.
            const kernels::ProductEnds e =
                i == 0 ? kernels::scalar::product_start(m, r)
                       : kernels::scalar::product_step(first[g], second[g], m, r);
            first[g] = e.lo;
            second[g] = e.hi;
            const Ball b = rules::ball_from_endpoints(e.lo, e.hi);
            out.mid[static_cast<std::size_t>(to)] = b.mid;
            out.rad[static_cast<std::size_t>(to)] = b.rad;
          }
        }
      }
      f += group;
    }
  });
  return result;
}

}  // namespace quorvex::engine
