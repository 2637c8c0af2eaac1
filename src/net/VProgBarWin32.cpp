#include <windows.h>

#include "net/VProgBar.h"
#include "stub/StubWin.h"
#include "util/Utils.h"

void PumpPendingMessages() {
  // PeekMessage is a round trip to the window system; once per millisecond keeps
  // every window responsive while a fast transfer does not pay it per chunk.
  static DWORD last = 0;
  static bool pumped = false;
  DWORD now = GetTickCount();
  if (pumped && now == last) return;
  pumped = true;
  last = now;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(int(msg.wParam));  // the loop that owns the thread must see it
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void WaitPumpingMs(uint32_t ms) { WaitPumping(0, ms); }

TProgBar& ProgramProgBar() {
  static TProgBar bar(MainWindowProgress, PumpPendingMessages, WaitPumpingMs);
  return bar;
}
