// Work that must not hold the run past a deadline although the call it makes
// cannot be bounded (name resolution: the system's resolver keeps timeouts of
// its own). The work runs on a thread of its own; when the time is up the
// caller goes on, and the thread is left to finish alone.
#pragma once

#include <cstdint>
#include <memory>

namespace veltrum {

// Everything the work touches belongs to the task, so an abandoned thread
// never reaches into its caller; the task is destroyed by whoever lets go of
// it last.
class AbandonableTask {
 public:
  virtual ~AbandonableTask() = default;
  virtual void run() = 0;
};

// Runs `task` and waits at most `timeoutMilliseconds` for it. True when it
// finished in time: its results may be read then. False when the time ran
// out first; the task is then left to its thread. Where no thread can be
// started, the task runs on the caller's thread, unbounded.
bool runWithin(const std::shared_ptr<AbandonableTask>& task, int64_t timeoutMilliseconds);

}  // namespace veltrum
