// Summation 8 lanes, the order of AVX-512 processors (loops/sum_loops.hpp has the
// orders), and its column form for reductions along leading axes.
#include "kernels/avx512/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/sum_loops.hpp"

namespace quorvex::kernels::avx512 {

double sum(const double* x, std::size_t n) {
  return loops::sum<V, loops::SumOrder::kLanes8>(x, n);
}

void sum_columns(const double* x, std::ptrdiff_t stride, std::size_t rows, std::size_t cols,
                 double* out) {
  loops::sum_columns<V, loops::SumOrder::kLanes8>(x, stride, rows, cols, out);
}

}  // namespace quorvex::kernels::avx512
