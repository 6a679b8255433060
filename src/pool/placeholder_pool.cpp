// Temporary serial stand-in: replaced by the work-stealing pool.
#include <thread>

#include "pool/pool.hpp"

namespace quorvex::pool {
std::size_t pool_thread_count() { return std::thread::hardware_concurrency(); }
void fork_join(FunctionRef<void()> a, FunctionRef<void()> b) {
  a();
  b();
}
void parallel_chunk_for_each(std::size_t k, FunctionRef<void(std::size_t)> task) {
  for (std::size_t j = 0; j < k; ++j) task(j);
}
}  // namespace quorvex::pool
