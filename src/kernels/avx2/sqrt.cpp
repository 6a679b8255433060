// Correctly rounded square roots, a register at a time. Every width uses the
// processor's IEEE square root, so all targets give identical bits.
#include "kernels/avx2/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/arith_loops.hpp"

namespace quorvex::kernels::avx2 {

void sqrt(const double* x, double* o, std::size_t n) {
  loops::unary<V>(
      x, o, n, [](auto a) { return V::sqrt(a); }, [](double a) { return __builtin_sqrt(a); });
}

}  // namespace quorvex::kernels::avx2
