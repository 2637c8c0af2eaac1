// The setup benchmark's control: what a window like the stub's progress window costs
// under Wine by itself. It creates a hidden top-level window of the main window's size
// with a status label and a progress bar, shows it for a while and hides it again,
// pumping its messages all along, and does nothing else.
//   window_control --show MS [--after MS]     shown for MS, then hidden
//   window_control --hidden MS [--after MS]   the same time, never shown
// --after (default 1000) keeps pumping after the window is hidden, as the stub does
// after hiding its window to start the engine. Exit code 0, or 2 for bad usage.
// bench/bench_setup.sh times it through the exit launcher beside the stub's own runs.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

namespace {

// The main window's geometry (492 x 110, label at 70,20, bar at 70,38).
constexpr int kWidth = 492, kHeight = 110;

LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

// Dispatches what arrives until ms have passed, sleeping in between like the stub's waits.
void Pump(DWORD ms) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return;
    DWORD left = ms - elapsed;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, left < 25 ? left : 25, QS_ALLINPUT);
  }
}

bool ParseMs(const char* text, DWORD& value) {
  char* end = nullptr;
  unsigned long v = std::strtoul(text, &end, 10);
  if (!*text || *end || v > 600000) return false;
  value = DWORD(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool show = false, haveTime = false;
  DWORD shownMs = 0, afterMs = 1000;
  for (int i = 1; i < argc; ++i) {
    bool last = i + 1 >= argc;
    if ((!std::strcmp(argv[i], "--show") || !std::strcmp(argv[i], "--hidden")) && !last) {
      show = !std::strcmp(argv[i], "--show");
      if (!ParseMs(argv[++i], shownMs)) return 2;
      haveTime = true;
    } else if (!std::strcmp(argv[i], "--after") && !last) {
      if (!ParseMs(argv[++i], afterMs)) return 2;
    } else {
      return 2;
    }
  }
  if (!haveTime) return 2;

  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = ControlProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = "WindowControl";
  RegisterClassA(&wc);
  RECT area{0, 0, 1024, 768};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  HWND window = CreateWindowExA(0, wc.lpszClassName, "Window control", WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                                area.left + (area.right - area.left - kWidth) / 2,
                                area.top + (area.bottom - area.top - kHeight) / 2, kWidth, kHeight, nullptr, nullptr,
                                instance, nullptr);
  if (!window) return 1;
  CreateWindowExA(0, "Static", "Extracting Files...", WS_CHILD | WS_VISIBLE, 70, 20, 340, 18, window, nullptr,
                  instance, nullptr);
  HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 70, 38, 392, 13, window, nullptr,
                             instance, nullptr);
  SendMessageA(bar, PBM_SETRANGE32, 0, 100);
  SendMessageA(bar, PBM_SETPOS, 50, 0);
  ShowWindow(window, SW_HIDE);

  if (show) ShowWindow(window, SW_SHOW);
  Pump(shownMs);
  if (show) ShowWindow(window, SW_HIDE);
  Pump(afterMs);
  DestroyWindow(window);
  return 0;
}
