// Summation in order from -0.0, the order of processors without AVX2 (loops/sum_loops.hpp has the
// orders), and its column form for reductions along leading axes.
#include "kernels/kernels.hpp"
#include "kernels/loops/sum_loops.hpp"
#include "kernels/sse2/vector.hpp"

namespace quorvex::kernels::sse2 {

double sum(const double* x, std::size_t n) {
  return loops::sum<V, loops::SumOrder::kSequential>(x, n);
}

void sum_columns(const double* x, std::ptrdiff_t stride, std::size_t rows, std::size_t cols,
                 double* out) {
  loops::sum_columns<V, loops::SumOrder::kSequential>(x, stride, rows, cols, out);
}

}  // namespace quorvex::kernels::sse2
