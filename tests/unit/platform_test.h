#pragma once

#include "tests/unit/fakes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Every test on the fakes ends with nothing held: no reference the tool took
// is left, none was given back twice, and every task-allocator block handed
// out was freed.
class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    task_memory_before_ = OutstandingTaskMemory();
  }
  void TearDown() override {
    EXPECT_EQ(platform.OutstandingReferences(), 0) << "references the tool did not release";
    EXPECT_EQ(platform.ExtraReleases(), 0) << "references released more often than taken";
    EXPECT_EQ(OutstandingTaskMemory(), task_memory_before_) << "task-allocator blocks not freed";
  }

  FakePlatform platform;

 private:
  long task_memory_before_ = 0;
};

// What a command line printed on standard output, and the status it ended with.
struct Outcome {
  int status;
  std::string text;
};

inline Outcome RunCaptured(FakePlatform& platform, const std::vector<std::string>& words) {
  CapturedOutput output;
  const int status = platform.RunCommandLine(words);
  return {status, output.Text()};
}
