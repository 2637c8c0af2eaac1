// Holds a top-level window of a given class for a while, standing in for a running
// instance in the second-instance tests.
//   hold_window CLASS READY_FILE SECONDS
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = argv[1];
  if (!RegisterClassA(&wc)) return 3;
  HWND w = CreateWindowA(argv[1], "holder", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  if (!w) return 4;
  HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  DWORD until = GetTickCount() + DWORD(std::atoi(argv[3])) * 1000;
  MSG msg;
  while (GetTickCount() < until) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  DestroyWindow(w);
  return 0;
}
