#include <windows.h>

#include "process/ProcessList.h"
#include "process/ProcessWindows.h"
#include "util/PlatformHelpers.h"
#include "util/WinHandle.h"

namespace {

constexpr uint32_t kDefaultExitWait = 1000;
constexpr uint32_t kExitPollStep = 100;

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  auto* analizer = reinterpret_cast<TAnalizer*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != analizer->ProcessId()) return TRUE;
  char cls[16];
  if (GetClassNameA(window, cls, sizeof cls) > 0 && IsInputMethodWindowClass(cls)) return TRUE;
  // GetWindowTextA reads another process's caption without sending it a message, so a
  // hung program cannot hold the lookup up.
  char title[2];
  bool titled = GetWindowTextA(window, title, 2) > 0;
  analizer->Add(uintptr_t(window), uintptr_t(RootOwner(window)), titled, IsWindowVisible(window) != 0);
  return analizer->Full() ? FALSE : TRUE;
}

}  // namespace

HWND FindMainWindow(const std::string& path, bool nameOnly, bool fromEnd) {
  uint32_t pid = FindProcessId(path, nameOnly, !fromEnd);
  if (pid == 0) return nullptr;
  TAnalizer analizer(pid);
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&analizer));
  return reinterpret_cast<HWND>(analizer.MainWindow());
}

bool PostProcessMessage(const std::string& path, bool nameOnly, UINT msg, WPARAM w, LPARAM l) {
  HWND window = FindMainWindow(path, nameOnly, false);
  return window && PostMessageA(window, msg, w, l) != 0;
}

bool CloseProcessWindows(const std::string& path, bool nameOnly, uint32_t waitMs) {
  if (!PostProcessMessage(path, nameOnly, WM_CLOSE, kCloseWParam, kCloseLParam)) return false;
  if (waitMs > 0) WaitForProcessExit(path, waitMs);
  return true;
}

bool QuitProcessWindows(const std::string& path, bool nameOnly) {
  return PostProcessMessage(path, nameOnly, WM_QUIT, kCloseWParam, kCloseLParam);
}

bool KillProcess(const std::string& path, bool nameOnly) {
  uint32_t pid = FindProcessId(path, nameOnly, true);
  if (pid == 0) return false;
  WinHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
  return process.ok() && TerminateProcess(process.get(), 0) != 0;
}

void WaitForProcessExit(const std::string& path, uint32_t ms) {
  const uint32_t total = ms ? ms : kDefaultExitWait;
  const DWORD start = GetTickCount();
  for (;;) {
    if (ProcessRunningState(path) == ProcessState::NotRunning) return;
    uint32_t elapsed = TicksSince(start, GetTickCount());
    if (elapsed >= total) return;
    uint32_t left = total - elapsed;
    WaitPumping(0, left < kExitPollStep ? left : kExitPollStep);
  }
}

void WaitWhileWindowExists(const std::string& windowClass, const std::string& title) {
  const char* cls = windowClass.empty() ? nullptr : windowClass.c_str();
  const char* text = title.empty() ? nullptr : title.c_str();
  if (!cls && !text) return;  // any window at all would hold the caller for ever
  while (FindWindowA(cls, text)) {
    PumpMessages();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
  }
}
