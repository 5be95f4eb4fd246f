#pragma once
// A pause that keeps the window handling its events.

#include <chrono>
#include <cstdint>

namespace raziriz {

// Waits `amount` units while pending window events are processed; lasts at least
// the requested time. `unit`: 0 ms, 1 s, 2 min, 3 h, any other value is the
// number of milliseconds per unit. Returns true. Ends early when the thread's
// stop flag is set (see event_hook.h).
bool ResponsiveWait(std::int32_t amount, std::int64_t unit);

// The length of that wait: 0 for a zero or negative product, at most about a
// century (longer requests are cut there so that the deadline cannot overflow).
// ResponsiveWaitDuration(600, 0) is 600 ms; ResponsiveWaitDuration(2, 250) 500 ms.
[[nodiscard]] std::chrono::milliseconds ResponsiveWaitDuration(std::int32_t amount, std::int64_t unit);

}  // namespace raziriz
