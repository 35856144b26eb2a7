#include "platform/system/abandonable_task.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace veltrum {

namespace {

// What the caller and the thread share; either may be the last to hold it.
struct Handover {
  std::shared_ptr<AbandonableTask> task;
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
};

}  // namespace

bool runWithin(const std::shared_ptr<AbandonableTask>& task, int64_t timeoutMilliseconds) {
  auto handover = std::make_shared<Handover>();
  handover->task = task;
  try {
    std::thread([handover] {
      handover->task->run();
      std::lock_guard<std::mutex> guard(handover->lock);
      handover->done = true;
      handover->finished.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    task->run();
    return true;
  }
  std::unique_lock<std::mutex> guard(handover->lock);
  return handover->finished.wait_for(
      guard, std::chrono::milliseconds(timeoutMilliseconds > 0 ? timeoutMilliseconds : 0),
      [&handover] { return handover->done; });
}

}  // namespace veltrum
