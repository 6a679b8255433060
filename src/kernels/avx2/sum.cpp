// Summation 4 lanes in pairs of halves, the order of AVX2 processors (loops/sum_loops.hpp has the
// orders), and its column form for reductions along leading axes.
#include "kernels/avx2/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/sum_loops.hpp"

namespace quorvex::kernels::avx2 {

double sum(const double* x, std::size_t n) {
  return loops::sum<V, loops::SumOrder::kPairs4>(x, n);
}

void sum_columns(const double* x, std::ptrdiff_t stride, std::size_t rows, std::size_t cols,
                 double* out) {
  loops::sum_columns<V, loops::SumOrder::kPairs4>(x, stride, rows, cols, out);
}

}  // namespace quorvex::kernels::avx2
