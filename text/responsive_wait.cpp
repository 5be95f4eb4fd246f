#include "text/responsive_wait.h"

#include <algorithm>
#include <thread>

#include "text/event_hook.h"

namespace raziriz {
namespace {

// About a hundred years: far beyond any real request, far inside what the
// steady clock's nanosecond count can add without overflowing.
constexpr double kLongestWaitMs = 100.0 * 365.25 * 24 * 3600 * 1000;
// The stop flag is looked at least this often.
constexpr std::chrono::milliseconds kLongestSlice{50};

}  // namespace

std::chrono::milliseconds ResponsiveWaitDuration(std::int32_t amount, std::int64_t unit) {
  std::int64_t perUnit = unit;
  switch (unit) {
    case 0: perUnit = 1; break;
    case 1: perUnit = 1000; break;
    case 2: perUnit = 60'000; break;
    case 3: perUnit = 3'600'000; break;
    default: break;
  }
  // In floating point: the product of an int32 and an int64 may not fit 64 bits.
  const double ms = static_cast<double>(amount) * static_cast<double>(perUnit);
  if (!(ms > 0)) return std::chrono::milliseconds(0);
  return std::chrono::milliseconds(static_cast<std::int64_t>(std::min(ms, kLongestWaitMs)));
}

bool ResponsiveWait(std::int32_t amount, std::int64_t unit) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + ResponsiveWaitDuration(amount, unit);
  while (!StopRequested()) {
    const auto now = Clock::now();
    if (now >= deadline) break;
    const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    const auto slice = std::min(remaining, kLongestSlice);
    WaitForEvents(slice);
    // A waiter that comes back at once time after time (events streaming in, or
    // one that cannot wait) must not turn this into a busy loop.
    if (Clock::now() - now < std::chrono::microseconds(200)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace raziriz
