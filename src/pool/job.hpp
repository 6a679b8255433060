// The unit of work that moves between threads: a pointer to a job object that
// lives on the stack of the thread waiting for it.
#pragma once

namespace quorvex::pool {

struct Job {
  // Runs the job. `migrated` tells whether it runs on another thread than the
  // one that created it. After the job reports completion its owner may
  // return and destroy it, so `execute` touches nothing of it afterwards.
  void (*execute)(Job* self, bool migrated);
};

}  // namespace quorvex::pool
