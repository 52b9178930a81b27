#pragma once

#include "tests/unit/fakes.h"

#include <gtest/gtest.h>

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
