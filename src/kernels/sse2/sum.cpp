// Summation from -0.0, every element in order (the order of processors
// without AVX2).
#include "kernels/kernels.hpp"
#include "kernels/loops/sum_columns.hpp"
#include "kernels/sse2/vector.hpp"

namespace quorvex::kernels::sse2 {

double sum(const double* x, std::size_t n) {
  // -0.0 is the additive identity for every double, -0.0 included.
  double s = -0.0;
  for (std::size_t i = 0; i < n; ++i) s += x[i];
  return s;
}

void sum_columns(const double* x, std::ptrdiff_t stride, std::size_t rows, std::size_t cols,
                 double* out) {
  loops::sum_columns<V, loops::SumOrder::kSequential>(x, stride, rows, cols, out);
}

}  // namespace quorvex::kernels::sse2
