#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/processes/process.h"

namespace veltrum {
namespace {

void noisyCleanup() {
  const char text[] = "clean-up ran\n";
  if (write(2, text, sizeof text - 1) < 0) _exit(3);
}

// Each case in a child of its own: the signal ends it, or, ignored at
// start, leaves it running to its own exit. Each child sets the disposition
// it starts from: a suite started from a background job or nohup inherits
// SIGINT or SIGHUP ignored, which the product rightly keeps.
TEST(CloseSignalDeathTest, EndsTheRunByTheSignalWithoutCleanUpUnlessIgnoredAtStart) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (int signalNumber : {SIGHUP, SIGINT, SIGTERM}) {
    EXPECT_EXIT(
        {
          signal(signalNumber, SIG_DFL);
          addCleanup(noisyCleanup);
          installCloseHandler();
          raise(signalNumber);
        },
        testing::KilledBySignal(signalNumber), "^$")
        << signalNumber;
    EXPECT_EXIT(
        {
          signal(signalNumber, SIG_IGN);
          installCloseHandler();
          raise(signalNumber);
          _exit(7);
        },
        testing::ExitedWithCode(7), "")
        << signalNumber;
  }
}

TEST(StandardDescriptorsDeathTest, ClosedOnesGetTheNullDevice) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        close(0);
        close(1);
        claimStandardDescriptors();
        const int next = open("/dev/null", O_RDONLY);
        _exit(fcntl(0, F_GETFD) >= 0 && fcntl(1, F_GETFD) >= 0 && next > 2 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace veltrum
