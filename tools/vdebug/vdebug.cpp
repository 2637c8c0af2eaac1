// vdebug: the debug viewer. Owns the ".VDebug." window, receives the text that the
// setup stub and the agent send with the ".V_DebugMsg." message (one global atom
// per message; the sender deletes the atom after the message returns) and writes it
// to standard output and/or a file.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kUsage[] =
    "usage: vdebug [options]\r\n"
    "Shows the debug text of Stub.exe and its update agent.\r\n"
    "  -o FILE            write the text to FILE (created anew)\r\n"
    "  -q, --quiet        do not write to standard output\r\n"
    "  --frames           write each message as [length]text\r\n"
    "  --slow MS          wait MS milliseconds in every message\r\n"
    "  --hang             after the first message stop answering (until --timeout)\r\n"
    "  --exit-after N     exit after N messages\r\n"
    "  --timeout SECONDS  exit after SECONDS seconds\r\n"
    "  --ready-file PATH  create PATH once the window exists\r\n"
    "  -h, --help         show this text\r\n";

struct Options {
  std::string outFile;
  std::string readyFile;
  bool quiet = false;
  bool frames = false;
  bool hang = false;
  unsigned long slowMs = 0;
  unsigned long exitAfter = 0;
  unsigned long timeoutSec = 0;
};

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (ok()) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  void reset(HANDLE h) {
    if (ok()) CloseHandle(h_);
    h_ = h;
  }
  HANDLE get() const { return h_; }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

Options g_opt;
Handle g_out;
UINT g_viewerMessage = 0;
unsigned long g_received = 0;
bool g_done = false;
DWORD g_start = 0;

void WriteAll(HANDLE h, const std::string& data) {
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return;
  DWORD written = 0;
  WriteFile(h, data.data(), DWORD(data.size()), &written, nullptr);
}

void Emit(const std::string& text) {
  if (!g_opt.quiet) WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), text);
  if (g_out.ok()) WriteAll(g_out.get(), text);
}

bool ParseCount(const char* text, unsigned long& out) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  unsigned long v = std::strtoul(text, &end, 10);
  if (*end != '\0' || v > 100000000UL) return false;
  out = v;
  return true;
}

// Milliseconds left before --timeout; INFINITE without one.
DWORD Remaining() {
  if (g_opt.timeoutSec == 0) return INFINITE;
  DWORD elapsed = GetTickCount() - g_start;
  DWORD total = DWORD(g_opt.timeoutSec * 1000UL);
  return elapsed >= total ? 0 : total - elapsed;
}

LRESULT CALLBACK ViewerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == g_viewerMessage && g_viewerMessage != 0) {
    // The text is whatever the atom holds now; the buffer bounds what a sender can
    // make us read.
    char buf[256];
    UINT n = GlobalGetAtomNameA(ATOM(LOWORD(lParam)), buf, UINT(sizeof buf));
    std::string text(buf, n < sizeof buf ? n : 0);
    ++g_received;
    if (g_opt.frames)
      Emit("[" + std::to_string(text.size()) + "]" + text);
    else
      Emit(text);
    if (g_opt.slowMs > 0) Sleep(g_opt.slowMs);
    if (g_opt.hang) {
      // Release this sender, then answer nothing more.
      ReplyMessage(1);
      Sleep(Remaining());
      g_done = true;
      return 1;
    }
    if (g_opt.exitAfter > 0 && g_received >= g_opt.exitAfter) g_done = true;
    return 1;
  }
  if (msg == WM_CLOSE) {
    g_done = true;
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

int Fail(const std::string& text) {
  WriteAll(GetStdHandle(STD_ERROR_HANDLE), "vdebug: " + text + "\r\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
    if (a == "-h" || a == "--help" || a == "/?") {
      WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), kUsage);
      return 0;
    } else if (a == "-q" || a == "--quiet") {
      g_opt.quiet = true;
    } else if (a == "--frames") {
      g_opt.frames = true;
    } else if (a == "--hang") {
      g_opt.hang = true;
    } else if (a == "-o" || a == "--ready-file") {
      if (next == nullptr || *next == '\0') return Fail(a + " needs a path");
      (a == "-o" ? g_opt.outFile : g_opt.readyFile) = next;
      ++i;
    } else if (a == "--slow" || a == "--exit-after" || a == "--timeout") {
      unsigned long v = 0;
      if (!ParseCount(next, v)) return Fail(a + " needs a number");
      if (a == "--slow") g_opt.slowMs = v;
      else if (a == "--exit-after") g_opt.exitAfter = v;
      else g_opt.timeoutSec = v;
      ++i;
    } else {
      WriteAll(GetStdHandle(STD_ERROR_HANDLE), kUsage);
      return Fail("unknown option " + a);
    }
  }
  if (g_opt.timeoutSec > 4000000UL) return Fail("--timeout is too large");

  if (!g_opt.outFile.empty()) {
    g_out.reset(CreateFileA(g_opt.outFile.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!g_out.ok()) return Fail("cannot create " + g_opt.outFile);
  }

  g_viewerMessage = RegisterWindowMessageA(".V_DebugMsg.");
  if (g_viewerMessage == 0) return Fail("cannot register the viewer message");
  if (FindWindowA(".VDebug.", nullptr) != nullptr)
    WriteAll(GetStdHandle(STD_ERROR_HANDLE), "vdebug: another viewer is running\r\n");

  HINSTANCE inst = GetModuleHandleA(nullptr);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ViewerProc;
  wc.hInstance = inst;
  wc.lpszClassName = ".VDebug.";
  if (!RegisterClassA(&wc)) return Fail("cannot register the window class");
  // A hidden top-level window: message-only windows are not found by FindWindowA.
  HWND hwnd = CreateWindowExA(0, ".VDebug.", "VDebug", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                              nullptr, inst, nullptr);
  if (hwnd == nullptr) return Fail("cannot create the window");

  g_start = GetTickCount();
  if (!g_opt.readyFile.empty()) {
    Handle ready(CreateFileA(g_opt.readyFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!ready.ok()) {
      DestroyWindow(hwnd);
      return Fail("cannot create " + g_opt.readyFile);
    }
    WriteAll(ready.get(), "ready\r\n");
  }

  while (!g_done) {
    DWORD wait = Remaining();
    if (wait == 0) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    MSG m;
    while (!g_done && PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) {
        g_done = true;
        break;
      }
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
  }
  DestroyWindow(hwnd);
  return 0;
}
