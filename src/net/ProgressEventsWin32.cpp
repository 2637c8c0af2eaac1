#include <windows.h>

#include "net/ProgressEvents.h"
#include "util/PlatformHelpers.h"

void PumpPendingMessages() {
  // PeekMessage is a round trip to the window system; every few milliseconds keeps
  // every window responsive while a fast transfer does not pay it per chunk.
  static DWORD last = 0;
  static bool pumped = false;
  DWORD now = GetTickCount();
  if (pumped && now - last < kPumpIntervalMs) return;
  pumped = true;
  last = now;
  PumpMessages();
}

void WaitPumpingMs(uint32_t ms) { WaitPumping(0, ms); }

uint32_t ProgressClockMs() { return uint32_t(MilliClock()); }
