#include "text/responsive_wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "text/event_hook.h"

namespace raziriz {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A stand-in for the window's event loop: counts the waits, runs the "events"
// posted to it inside the wait, and either sleeps like a real waiter or returns
// at once like a waiter that cannot wait.
struct FakeLoop {
  static inline std::atomic<int> waits{0};
  static inline std::atomic<bool> sleeps{true};
  static inline std::vector<std::function<void()>> posted;

  static void Wait(milliseconds timeout) {
    ++waits;
    std::vector<std::function<void()>> due;
    due.swap(posted);
    for (auto& event : due) event();
    if (sleeps) std::this_thread::sleep_for(timeout);
  }
};

class ResponsiveWaitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeLoop::waits = 0;
    FakeLoop::sleeps = true;
    FakeLoop::posted.clear();
    SetEventWait(&FakeLoop::Wait);
  }
  void TearDown() override {
    SetEventWait(nullptr);
    SetThreadStopFlag(nullptr);
  }
};

TEST(ResponsiveWaitDurationTest, UnitsAndOddValues) {
  struct Case {
    std::int32_t amount;
    std::int64_t unit;
    std::int64_t ms;
  };
  const Case cases[] = {
      {600, 0, 600},       {2, 1, 2000},   {1, 2, 60'000},  {2, 3, 7'200'000}, {3, 250, 750},
      {5, -1, 0},          {-5, 0, 0},     {0, 1, 0},       {7, 4, 28},
      // Beyond 64 bits as a product, and past the century cap: cut at the cap.
      {2'000'000'000, 9'000'000'000'000'000'000, 3'155'760'000'000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResponsiveWaitDuration(c.amount, c.unit).count(), c.ms) << c.amount << " x unit " << c.unit;
  }
}

TEST_F(ResponsiveWaitTest, HandlesPostedEventsAndLastsAtLeastTheTime) {
  Clock::time_point handledAt{};
  FakeLoop::posted.push_back([&] { handledAt = Clock::now(); });
  const auto started = Clock::now();
  EXPECT_TRUE(ResponsiveWait(60, 0));
  const auto ended = Clock::now();
  EXPECT_GE(ended - started, milliseconds(60));
  ASSERT_NE(handledAt, Clock::time_point{}) << "the posted event was not handled inside the wait";
  EXPECT_LT(handledAt, ended);
}

TEST_F(ResponsiveWaitTest, WaiterThatReturnsAtOnceDoesNotSpin) {
  FakeLoop::sleeps = false;
  const auto started = Clock::now();
  ResponsiveWait(40, 0);
  EXPECT_GE(Clock::now() - started, milliseconds(40));
  // Each quick return is followed by a pause of a millisecond.
  EXPECT_LE(FakeLoop::waits.load(), 41);
}

TEST_F(ResponsiveWaitTest, ZeroOrNegativeDoesNotWait) {
  ResponsiveWait(0, 0);
  ResponsiveWait(-10, 1);
  EXPECT_EQ(FakeLoop::waits.load(), 0);
}

TEST_F(ResponsiveWaitTest, StopFlagEndsALongWait) {
  std::atomic<bool> stop{false};
  SetThreadStopFlag(&stop);
  FakeLoop::posted.push_back([&] { stop = true; });
  EXPECT_TRUE(ResponsiveWait(1, 3));  // an hour, unless the flag ends it
  EXPECT_EQ(FakeLoop::waits.load(), 1);
}

TEST(ResponsiveWaitHeadlessTest, SleepsWithoutAWindow) {
  const auto started = Clock::now();
  EXPECT_TRUE(ResponsiveWait(30, 0));
  EXPECT_GE(Clock::now() - started, milliseconds(30));
}

}  // namespace
}  // namespace raziriz
