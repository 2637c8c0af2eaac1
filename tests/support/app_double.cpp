// A GUI program standing in for an application that the process functions look up,
// message, close, quit or kill. Every message that reaches its windows through the
// queue (WM_CLOSE, WM_QUIT, WM_USER and above) is recorded as a line
//   posted|close|quit WINDOW msg=M w=W l=L
// in the log file (stdout without one). It writes the ready file once its windows exist.
//   app_double --ready FILE [--log FILE] [--windows KIND] [--close HOW] [--quit HOW]
//              [--life SECONDS] [--title TEXT]
//   KIND  three     visible titled main window, hidden untitled tool window, and a
//                   visible titled dialog owned by the main window (default)
//         hidden    only a hidden untitled window
//         none      no window: waits on an event
//         many:N    N hidden untitled windows, then the main window
//   HOW (--close)   close (default): the main window closes, exit code 0
//                   ignore: recorded, nothing else; slow:N: closes N seconds later
//   HOW (--quit)    exit (default): a WM_QUIT ends it with its wParam as exit code
//                   ignore: recorded, the loop goes on
//   --life bounds the run (default 120 s, exit code 3 then); --title names the main
//   window (default "App Double Main").
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* kClass = "AppDoubleWindow";
std::string g_log;
std::string g_title = "App Double Main";
enum { kClose, kIgnore, kSlow } g_close = kClose;
int g_slowSeconds = 0;
bool g_ignoreQuit = false;
HWND g_main = nullptr, g_tool = nullptr, g_dialog = nullptr;
constexpr UINT_PTR kSlowTimer = 1, kLifeTimer = 2;

const char* NameOf(HWND w) {
  if (!w) return "thread";
  if (w == g_main) return "main";
  if (w == g_tool) return "tool";
  if (w == g_dialog) return "dialog";
  return "other";
}

void WriteLine(const std::string& line) {
  if (g_log.empty()) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    return;
  }
  HANDLE f = CreateFileA(g_log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(f, line.data(), DWORD(line.size()), &written, nullptr);
  CloseHandle(f);
}

void Record(const char* what, HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  char line[160];
  int n = std::snprintf(line, sizeof line, "%s %s msg=%u w=%lu l=%ld\r\n", what, NameOf(w), msg,
                        (unsigned long)wp, (long)lp);
  if (n > 0) WriteLine(std::string(line, size_t(n)));
}

std::string Env(const char* name) {
  char buf[1024];
  DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  return n && n < sizeof buf ? std::string(buf, n) : "";
}

LRESULT CALLBACK WindowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE:
      if (w != g_main || g_close == kIgnore) return 0;
      if (g_close == kSlow) {
        SetTimer(w, kSlowTimer, UINT(g_slowSeconds) * 1000, nullptr);
        return 0;
      }
      // The program ends with its windows; destroying a shown window first costs
      // Wine seconds on a display without a window manager.
      PostQuitMessage(0);
      return 0;
    case WM_TIMER:
      if (wp == kSlowTimer) PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(w, msg, wp, lp);
}

HWND Make(const char* title, DWORD style, DWORD exStyle, HWND owner) {
  return CreateWindowExA(exStyle, kClass, title, style, 40, 40, 240, 120, owner, nullptr, GetModuleHandleA(nullptr),
                         nullptr);
}

bool WriteReady(const char* path) {
  HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  char text[32];
  int n = std::snprintf(text, sizeof text, "%lu\r\n", GetCurrentProcessId());
  DWORD written = 0;
  WriteFile(f, text, DWORD(n), &written, nullptr);
  CloseHandle(f);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const char* ready = nullptr;
  std::string kind = "three";
  int life = 120;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i], value = argv[i + 1];
    if (key == "--ready") ready = argv[i + 1];
    else if (key == "--log") g_log = value;
    else if (key == "--windows") kind = value;
    else if (key == "--close" && value == "ignore") g_close = kIgnore;
    else if (key == "--close" && value.rfind("slow:", 0) == 0) {
      g_close = kSlow;
      g_slowSeconds = std::atoi(value.c_str() + 5);
    } else if (key == "--quit") g_ignoreQuit = value == "ignore";
    else if (key == "--life") life = std::atoi(value.c_str());
    else if (key == "--title") g_title = value;
    else if (key != "--close") return 2;
  }
  std::string envReady;
  if (argc == 1) {
    envReady = Env("APP_DOUBLE_READY");
    g_log = Env("APP_DOUBLE_LOG");
    if (!envReady.empty()) ready = envReady.c_str();
    WriteLine(std::string("start ") + GetCommandLineA() + "\r\n");
  }
  if (!ready || life <= 0) return 2;

  if (kind == "none") {
    if (!WriteReady(ready)) return 4;
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    WaitForSingleObject(never, DWORD(life) * 1000);
    return 3;
  }

  WNDCLASSA wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kClass;
  if (!RegisterClassA(&wc)) return 4;
  if (kind == "three") {
    g_main = Make(g_title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, nullptr);
    g_tool = Make("", WS_POPUP, WS_EX_TOOLWINDOW, nullptr);
    g_dialog = Make("App Double Dialog", WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, g_main);
    if (!g_main || !g_tool || !g_dialog) return 4;
  } else if (kind == "hidden") {
    if (!Make("", WS_POPUP, 0, nullptr)) return 4;
  } else if (kind.rfind("many:", 0) == 0) {
    int n = std::atoi(kind.c_str() + 5);
    for (int i = 0; i < n; ++i)
      if (!Make("", WS_POPUP, 0, nullptr)) return 4;
    g_main = Make(g_title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, nullptr);
    if (!g_main) return 4;
  } else {
    return 2;
  }
  SetTimer(nullptr, kLifeTimer, UINT(life) * 1000, nullptr);
  if (!WriteReady(ready)) return 4;

  MSG msg;
  for (;;) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == -1) return 5;
    if (got == 0) {
      Record("quit", msg.hwnd, msg.message, msg.wParam, msg.lParam);
      if (g_ignoreQuit && msg.hwnd) continue;  // only our own end comes without a window
      return int(msg.wParam);
    }
    if (msg.message == WM_TIMER && !msg.hwnd) return 3;
    if (msg.message == WM_CLOSE) Record("close", msg.hwnd, msg.message, msg.wParam, msg.lParam);
    else if (msg.message >= WM_USER) Record("posted", msg.hwnd, msg.message, msg.wParam, msg.lParam);
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}
