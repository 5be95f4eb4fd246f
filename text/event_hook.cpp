#include "text/event_hook.h"

#include <thread>

namespace raziriz {
namespace {

std::atomic<EventPump> gPump{nullptr};
std::atomic<EventWait> gWait{nullptr};
thread_local const std::atomic<bool>* tStopFlag = nullptr;

}  // namespace

void SetEventPump(EventPump pump) { gPump.store(pump, std::memory_order_release); }
void SetEventWait(EventWait wait) { gWait.store(wait, std::memory_order_release); }

void PumpEvents() {
  if (EventPump pump = gPump.load(std::memory_order_acquire)) pump();
}

void WaitForEvents(std::chrono::milliseconds timeout) {
  if (timeout.count() < 0) timeout = std::chrono::milliseconds(0);
  if (EventWait wait = gWait.load(std::memory_order_acquire)) {
    wait(timeout);
    return;
  }
  PumpEvents();
  std::this_thread::sleep_for(timeout);
}

void SetThreadStopFlag(const std::atomic<bool>* flag) { tStopFlag = flag; }

bool StopRequested() { return tStopFlag != nullptr && tStopFlag->load(std::memory_order_relaxed); }

}  // namespace raziriz
