#pragma once
// The process-wide hooks through which long work lets the window stay alive.
// Set by the window program at start, before any thread starts; until then (and
// in the headless tools) pumping does nothing and waiting simply sleeps.

#include <atomic>
#include <chrono>

namespace raziriz {

// Processes the calling thread's pending window events once, then returns.
using EventPump = void (*)();
// Waits up to `timeout` for window events on the calling thread, processing those
// that arrive; returns no later than about `timeout`.
using EventWait = void (*)(std::chrono::milliseconds timeout);

void SetEventPump(EventPump pump);
void SetEventWait(EventWait wait);

void PumpEvents();
void WaitForEvents(std::chrono::milliseconds timeout);

// Cooperative stop: the thread's long work (transfers, waits) ends early once the
// flag it was given is set. A thread without a flag is never asked to stop.
void SetThreadStopFlag(const std::atomic<bool>* flag);
[[nodiscard]] bool StopRequested();

}  // namespace raziriz
