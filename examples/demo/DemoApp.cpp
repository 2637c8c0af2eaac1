// The demo's application: one small window that shows the version the setup
// installed, from DemoApp.ini beside the program ([DemoApp] Version and Greeting).
// It stands for the vendor's program that the update agent closes (WM_CLOSE), updates
// and starts again, so that a user sees the update happen:
//   caption  "Demo App - version <Version>"
//   text     "<Greeting>" and "Version <Version>" on two lines
// It ends on WM_CLOSE (or a posted WM_QUIT) with exit code 0.
#include <windows.h>

#include <string>

namespace {

constexpr char kClassName[] = "VabrixDemoApp";
constexpr DWORD kValueMax = 256;

std::string IniValue(const std::string& file, const char* key, const char* fallback) {
  char buf[kValueMax];
  DWORD n = GetPrivateProfileStringA("DemoApp", key, fallback, buf, kValueMax, file.c_str());
  return std::string(buf, n < kValueMax ? n : 0);
}

// DemoApp.ini beside the program file (never the current folder, which the starter chose).
std::string IniPath() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return "";
  std::string self(path, n);
  size_t slash = self.find_last_of('\\');
  return slash == std::string::npos ? "" : self.substr(0, slash + 1) + "DemoApp.ini";
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  std::string ini = IniPath();
  std::string version = ini.empty() ? "?" : IniValue(ini, "Version", "?");
  std::string greeting = ini.empty() ? "" : IniValue(ini, "Greeting", "");

  WNDCLASSA wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  if (!RegisterClassA(&wc)) return 1;

  std::string caption = "Demo App - version " + version;
  HWND window = CreateWindowExA(0, kClassName, caption.c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                CW_USEDEFAULT, CW_USEDEFAULT, 340, 130, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  std::string text = greeting + "\r\nVersion " + version;
  HWND label = CreateWindowExA(0, "STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_CENTER, 10, 20, 310, 50, window,
                               nullptr, instance, nullptr);
  if (label) SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
  ShowWindow(window, show);
  UpdateWindow(window);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
