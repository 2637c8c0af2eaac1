#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>

#include "agent/AgentControl.h"
#include "dialogs/MessageBox.h"
#include "net/HttpDownload.h"
#include "net/ProgressEvents.h"
#include "stub/MainWindow.h"
#include "stub/StubState.h"
#include "stub/TempFolders.h"
#include "util/DebugLog.h"
#include "util/PlatformHelpers.h"
#include "util/SeparatorLists.h"
#include "util/WinHandle.h"

namespace {

constexpr UINT_PTR kMainTimer = 1;
constexpr UINT kTimerPeriod = 1000;

struct MainWindowState {
  MainWindowSetup setup;
  HWND window = nullptr;
  HWND status = nullptr;
  HWND bigBar = nullptr;
  HWND activityBar = nullptr;
  UniqueGdi statusFont;
  bool loopExit = false;
  bool stepRunning = false;
  bool tearDownPending = false;
  bool setupFlowStarted = false;
  HWND listener = nullptr;
  UINT listenerMessage = 0;
  int activity = 0;
  std::string statusText;   // as SetStatusText set it
  std::string shownStatus;  // what the label shows: that text, or it with a transfer's progress
};
MainWindowState g_main;

HWND CreateChild(const char* className, DWORD style, const ChildRect& r, HWND parent) {
  return CreateWindowExA(0, className, "", WS_CHILD | style, r.x, r.y, r.width, r.height, parent, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

void BuildChildren(HWND window) {
  MainWindowLayout layout = MainWindowLayoutFor(g_main.setup.charset);
  g_main.status = CreateChild("Static", WS_VISIBLE, layout.status, window);
  g_main.bigBar = CreateChild(PROGRESS_CLASSA, WS_VISIBLE, layout.bigBar, window);
  g_main.activityBar = CreateChild(PROGRESS_CLASSA, 0, layout.activityBar, window);
  SetTimer(window, kMainTimer, kTimerPeriod, nullptr);
  g_main.statusFont.reset(CreateFontA(-11, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Tahoma"));
  SendMessageA(g_main.status, WM_SETFONT, reinterpret_cast<WPARAM>(g_main.statusFont.get()), FALSE);
}

void Paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  if (!dc) return;
  RECT client;
  GetClientRect(window, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), "MainIcon");
  if (icon) DrawIcon(dc, 18, 20, icon);
  EndPaint(window, &ps);
}

// The timer's work; close requests and destroy messages that arrive while it runs
// are answered after it has returned.
void RunStep(HWND window, WPARAM timerId) {
  // Once the loop is to end no further work starts.
  if (timerId != kMainTimer || g_main.stepRunning || g_main.loopExit) return;
  void (*work)(HWND) = nullptr;
  if (g_main.setup.agent) {
    work = g_main.setup.agentTick;
  } else if (!g_main.setupFlowStarted) {
    g_main.setupFlowStarted = true;
    KillTimer(window, kMainTimer);
    work = g_main.setup.setupFlow;
    if (!work) PostQuitMessage(0);
  }
  if (!work) return;
  g_main.stepRunning = true;
  work(window);
  g_main.stepRunning = false;
  if (g_main.tearDownPending) DestroyMainWindow();
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      g_main.window = window;
      BuildChildren(window);
      break;
    case WM_DESTROY:
      DebugWriteLine("- wm_Destroy -");
      DestroyMainWindow();
      g_main.window = nullptr;
      break;
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_CLOSE:
      if (!CloseMainWindow()) return 0;
      break;
    case WM_QUIT:
      DebugWriteLine("- wm_Quit -");
      DestroyMainWindow();
      break;
    case WM_TIMER:
      RunStep(window, wParam);
      break;
    case kWmShutDown:
      AgentVars().stopTicks = StopTicksFromMessage(uint32_t(wParam));
      DebugWriteLine(IntToStr(GetCurrentProcessId()) + " wm_ShutDown (" + IntToStr(AgentVars().stopTicks) + ")");
      break;
    case kWmLocalMsg: {
      HWND listener = reinterpret_cast<HWND>(wParam);
      if (!ListenerAccepted(wParam, uint32_t(lParam), listener && IsWindow(listener))) {
        DebugWriteLine(" --- wm_LocalMsg refused: not a listener window and message");
        break;
      }
      g_main.listener = listener;
      g_main.listenerMessage = UINT(lParam);
      NotifyListener(kNotifyWindow, reinterpret_cast<LPARAM>(window));
      NotifyListener(kNotifyRequestMessage, kWmAgentMsg);
      break;
    }
    case kWmAgentMsg:
      return g_main.setup.agentRequest ? g_main.setup.agentRequest(wParam, lParam) : 0;
    default:
      break;
  }
  UINT autoPlay = AutoPlayMessage();
  if (autoPlay != 0 && message == autoPlay) return 1;
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

namespace StubWin {

void WinMain(const MainWindowSetup& setup) {
  g_main.setup = setup;
  g_main.loopExit = false;
  int64_t sleep = GetParamInt("/SleepX=", -1);
  if (sleep >= 0) AgentVars().tickCounter = -sleep;

  // Bound at run time from the system folder: a comctl32.dll planted beside a
  // downloaded setup file must never be loaded.
  using InitControlsFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  if (auto init = reinterpret_cast<InitControlsFn>(
          reinterpret_cast<void*>(LoadProc("comctl32.dll", "InitCommonControlsEx")))) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    init(&controls);
  }

  const std::string& className = setup.className;
  WNDCLASSA wc{};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = MainProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hIcon = LoadIconA(wc.hInstance, "MainIcon");
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  wc.lpszClassName = className.c_str();
  RegisterClassA(&wc);

  POINT at = CenterInWorkArea(kMainWindowWidth, kMainWindowHeight);
  HWND window = CreateWindowExA(0, className.c_str(), setup.caption.c_str(), WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                                at.x, at.y, kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, wc.hInstance,
                                nullptr);
  SetMsgBoxFont(setup.fontName, setup.fontSize, setup.charset);
  if (window) {
    ShowWindow(window, SW_HIDE);
    MSG msg;
    while (!g_main.loopExit && GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  } else {
    DebugWriteLine(" --- the main window cannot be created (" + LastErrorText() + ")");
  }
  if (window) KillTimer(window, kMainTimer);
  SetAbortFlag(true);
  HTTP_Unload();
  NotifyListener(kNotifyEnded, 0);
  if (g_main.window) DestroyWindow(g_main.window);
  // The tear-down posts a quit message of its own: it must not end a later loop.
  MSG quit;
  while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  UnregisterClassA(className.c_str(), wc.hInstance);
}

}  // namespace StubWin

HWND MainWindow() { return g_main.window; }
HWND StatusLabel() { return g_main.status; }
bool StepRunning() { return g_main.stepRunning; }

void ShowMainWindow(bool show) {
  if (g_main.window) ShowWindow(g_main.window, show ? SW_SHOW : SW_HIDE);
}

void ShowActivityBar() {
  if (g_main.activityBar) ShowWindow(g_main.activityBar, SW_SHOW);
}

void DestroyMainWindow() {
  DebugWriteLine(".. DestroyMainWindow() - Start");
  SetAbortFlag(true);
  if (g_main.stepRunning) {
    g_main.tearDownPending = true;  // the step still works in the temp folder
  } else {
    g_main.tearDownPending = false;
    RemoveSetupTempFolder();
    PostQuitMessage(0);
    g_main.loopExit = true;
  }
  DebugWriteLine(".. DestroyMainWindow() - End");
}

bool CloseMainWindow() {
  DebugWriteLine(".. CloseMainWindow() - Start");
  bool wasSet = AbortFlag();
  SetAbortFlag(true);
  DebugWriteLine(".. CloseMainWindow() - End");
  return CloseRequestDestroys(wasSet, g_main.stepRunning);
}

void SetStatusText(HWND label, const std::string& text, const std::string& fontName, int charset, int fontSize) {
  if (!label) return;
  bool rightToLeft = IsRightToLeftCharset(charset);
  SetWindowLongA(label, GWL_EXSTYLE, rightToLeft ? WS_EX_RTLREADING : 0);
  SetWindowLongA(label, GWL_STYLE, WS_CHILD | WS_VISIBLE | (rightToLeft ? SS_RIGHT : 0));
  UniqueGdi font(CreateFontA(-PointsToPixels(fontSize), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DWORD(charset),
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, fontName.c_str()));
  SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  // The label uses the new font from now on: the one it had before may go.
  g_main.statusFont = std::move(font);
  SetWindowTextA(label, text.c_str());
  if (label == g_main.status) g_main.statusText = g_main.shownStatus = text;
}

// A transfer's amount and rate behind the status text; the label is redrawn only
// when that changes.
void ShowStatusWith(const char* progress) {
  std::string shown = progress && *progress ? g_main.statusText + "   " + progress : g_main.statusText;
  if (shown == g_main.shownStatus || !g_main.status) return;
  g_main.shownStatus = shown;
  SetWindowTextA(g_main.status, shown.c_str());
}

void MainWindowProgress(int mode, int, int maximum, int text, int step, int position) {
  if (mode == 0) {
    SendMessageA(g_main.bigBar, PBM_SETRANGE32, 0, maximum);
    SendMessageA(g_main.bigBar, PBM_SETPOS, WPARAM(position), 0);
    SendMessageA(g_main.bigBar, PBM_SETSTEP, WPARAM(step), 0);
    SendMessageA(g_main.activityBar, PBM_SETRANGE32, 0, 5);
    SendMessageA(g_main.activityBar, PBM_SETPOS, 0, 0);
    SendMessageA(g_main.activityBar, PBM_SETSTEP, 1, 0);
    g_main.activity = 0;
    ShowStatusWith(nullptr);
  } else if (mode == 1) {
    MainWindowSteps(1, text);
  }
}

void MainWindowAdvance(int count) { MainWindowSteps(count, 0); }

void MainWindowSteps(int count, int text) {
  if (count <= 0) return;
  if (text) ShowStatusWith(reinterpret_cast<const char*>(intptr_t(text)));
  // A progress bar repaints on every change of its position: up to the end of the
  // range, count steps land as one jump; a wrap past the end is left to the bar itself.
  int position = int(SendMessageA(g_main.bigBar, PBM_GETPOS, 0, 0));
  int step = int(SendMessageA(g_main.bigBar, PBM_GETSTEP, 0, 0));
  int high = int(SendMessageA(g_main.bigBar, PBM_GETRANGE, FALSE, 0));
  int64_t target = int64_t(position) + int64_t(step) * count;
  if (step >= 0 && target <= high) {
    SendMessageA(g_main.bigBar, PBM_SETPOS, WPARAM(target), 0);
  } else {
    for (int i = 0; i < count; ++i) SendMessageA(g_main.bigBar, PBM_STEPIT, 0, 0);
  }
  // The activity counter runs through its six positions and starts over.
  for (int i = 0; i < count % 6; ++i) g_main.activity = NextActivityPosition(g_main.activity);
  SendMessageA(g_main.activityBar, PBM_SETPOS, WPARAM(g_main.activity), 0);
}

TProgBar& ProgramProgBar() {
  static TProgBar bar(MainWindowProgress, PumpPendingMessages, WaitPumpingMs, ProgressClockMs, MainWindowSteps);
  return bar;
}

void NotifyListener(WPARAM code, LPARAM value) {
  if (g_main.listener && g_main.listenerMessage) PostMessageA(g_main.listener, g_main.listenerMessage, code, value);
}
