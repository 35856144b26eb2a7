#include "platform/system/abandonable_task.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace veltrum {
namespace {

// Sleeps for a given time, then records that it ran to the end.
class Sleeper final : public AbandonableTask {
 public:
  Sleeper(int milliseconds, std::shared_ptr<std::atomic<int>> ended)
      : milliseconds_(milliseconds), ended_(std::move(ended)) {}
  void run() override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds_));
    result = 42;
    ++*ended_;
  }
  int result = 0;

 private:
  int milliseconds_;
  std::shared_ptr<std::atomic<int>> ended_;
};

TEST(AbandonableTask, FinishedInTimeOrLeftToItsThread) {
  struct Case {
    int workMilliseconds;
    int timeoutMilliseconds;
    bool inTime;
  };
  // The abandoned work sleeps far longer than any load can delay the caller:
  // that its end was not seen when runWithin returned shows it was left to
  // its thread, without measuring how long the caller waited.
  for (const Case& c : {Case{0, 2000, true}, Case{10, 2000, true}, Case{10000, 50, false}}) {
    auto ended = std::make_shared<std::atomic<int>>(0);
    auto task = std::make_shared<Sleeper>(c.workMilliseconds, ended);
    EXPECT_EQ(runWithin(task, c.timeoutMilliseconds), c.inTime);
    EXPECT_EQ(ended->load(), c.inTime ? 1 : 0);
    if (c.inTime) {
      EXPECT_EQ(task->result, 42);
    }
  }
}

}  // namespace
}  // namespace veltrum
