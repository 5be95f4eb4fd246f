#pragma once
// A pause that keeps the window handling its events.

#include <cstdint>

namespace raziriz {

// Waits `amount` units while pending window events are processed; lasts at least
// the requested time. `unit`: 0 ms, 1 s, 2 min, 3 h, any other value is the
// number of milliseconds per unit. Returns true.
bool ResponsiveWait(std::int32_t amount, std::int64_t unit);

}  // namespace raziriz
