// Setup engine double: packed into test packages as "Engine.exe". It records how the
// stub started it and what the stub unpacked beside it, and behaves as the
// environment tells it (the stub passes its environment on):
//   ENGINE_DOUBLE_REPORT      report file; each run appends one block of KEY=VALUE lines
//   ENGINE_DOUBLE_EXIT        exit code, unsigned decimal (259 and values above 255 too)
//   ENGINE_DOUBLE_ATOM        "delete" (default) or "keep" the run atom
//   ENGINE_DOUBLE_DIALOG_MS   keep a ".SDialog_Class_Name." + token window for N ms
//   ENGINE_DOUBLE_DIALOG_AFTER=1  that window lives in a helper process that outlasts
//                             the engine (the stub must wait for the window itself)
//   ENGINE_DOUBLE_SLEEP_MS    stay N ms longer (a long install), pumping messages
// Report block: pid, cmdline, cwd, exe, token, atom_found, file=name|size|local
// date-time|crc32 for each file beside it (sorted by name), dir=name for folders,
// show, dialog_ms, atom_deleted, atom_after, exit, done=1.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr char kAtomPrefix[] = "AutoUpdateAtomTokenByVabrix";
constexpr char kDialogPrefix[] = ".SDialog_Class_Name.";
constexpr char kHoldSwitch[] = "--hold-dialog";

class Handle {
public:
  explicit Handle(HANDLE h = nullptr) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  ~Handle() {
    if (h_) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }

private:
  HANDLE h_;
};

class FindHandle {
public:
  explicit FindHandle(HANDLE h) : h_(h) {}
  ~FindHandle() {
    if (h_ != INVALID_HANDLE_VALUE) FindClose(h_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

private:
  HANDLE h_;
};

class Window {
public:
  explicit Window(HWND w) : w_(w) {}
  ~Window() {
    if (w_) DestroyWindow(w_);
  }
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  HWND get() const { return w_; }

private:
  HWND w_;
};

std::string Env(const char* name) {
  char buf[1024];
  DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  return n && n < sizeof buf ? std::string(buf, n) : "";
}

// Unsigned 32-bit decimal; false for anything else.
bool ParseU32(const std::string& text, uint32_t& out) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + uint64_t(c - '0');
  }
  if (v > 0xFFFFFFFFu) return false;
  out = uint32_t(v);
  return true;
}

uint32_t EnvNumber(const char* name, uint32_t fallback) {
  uint32_t v = 0;
  return ParseU32(Env(name), v) ? v : fallback;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }

bool LessCI(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i)
    if (Upper(a[i]) != Upper(b[i])) return (unsigned char)Upper(a[i]) < (unsigned char)Upper(b[i]);
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

bool SameCI(const std::string& a, const std::string& b) { return !LessCI(a, b) && !LessCI(b, a) && a.size() == b.size(); }

// The value of "/TH_ID=" up to the next blank, as the stub writes it.
std::string TokenOf(const std::string& commandLine) {
  std::string upper;
  for (char c : commandLine) upper += Upper(c);
  size_t at = upper.find("/TH_ID=");
  if (at == std::string::npos) return "";
  at += 7;
  size_t end = commandLine.find_first_of(" \t", at);
  return commandLine.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::string OwnPath() {
  std::vector<char> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), DWORD(buf.size()));
    if (n == 0) return "";
    if (n < buf.size()) return std::string(buf.data(), n);
    if (buf.size() >= 32768) return "";
    buf.resize(buf.size() * 2);
  }
}

std::string CurrentFolder() {
  DWORD n = GetCurrentDirectoryA(0, nullptr);
  if (n == 0 || n > 32768) return "";
  std::vector<char> buf(n);
  DWORD got = GetCurrentDirectoryA(n, buf.data());
  return got && got < n ? std::string(buf.data(), got) : "";
}

uint32_t Crc32Of(const std::string& path, bool& ok) {
  static uint32_t table[256];
  if (!table[1]) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
  }
  ok = false;
  Handle f(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!f.get()) return 0;
  uint32_t crc = 0xFFFFFFFFu;
  std::vector<unsigned char> buf(65536);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(f.get(), buf.data(), DWORD(buf.size()), &got, nullptr)) return 0;
    if (got == 0) break;
    for (DWORD i = 0; i < got; ++i) crc = table[(crc ^ buf[i]) & 0xFF] ^ (crc >> 8);
  }
  ok = true;
  return crc ^ 0xFFFFFFFFu;
}

std::string Hex8(uint32_t v) {
  char buf[9];
  wsprintfA(buf, "%08x", v);
  return buf;
}

std::string LocalTimeText(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME t;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &t)) return "?";
  char buf[32];
  wsprintfA(buf, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  return buf;
}

// Lines for everything beside the program, sorted by name.
std::string FolderLines(const std::string& folder, const std::string& selfName) {
  struct Entry {
    std::string name;
    WIN32_FIND_DATAA data;
  };
  std::vector<Entry> entries;
  WIN32_FIND_DATAA found;
  FindHandle search(FindFirstFileA((folder + "\\*").c_str(), &found));
  if (search.ok()) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == ".." || SameCI(name, selfName)) continue;
      entries.push_back({name, found});
    } while (FindNextFileA(search.get(), &found));
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return LessCI(a.name, b.name); });
  std::string out;
  for (const Entry& e : entries) {
    if (e.data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out += "dir=" + e.name + "\r\n";
      continue;
    }
    uint64_t size = (uint64_t(e.data.nFileSizeHigh) << 32) | e.data.nFileSizeLow;
    bool ok = false;
    uint32_t crc = Crc32Of(folder + "\\" + e.name, ok);
    out += "file=" + e.name + "|" + std::to_string(size) + "|" + LocalTimeText(e.data.ftLastWriteTime) + "|" +
           (ok ? Hex8(crc) : std::string("unreadable")) + "\r\n";
  }
  return out;
}

// Pumps this thread's messages until the time is up.
void PumpFor(DWORD ms) {
  DWORD start = GetTickCount();
  MSG msg;
  for (;;) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    DWORD spent = GetTickCount() - start;
    if (spent >= ms) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_ALLINPUT);
  }
}

int ShowState() {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  GetStartupInfoA(&si);
  return (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : SW_SHOWDEFAULT;
}

// Shows a top-level window of the given class for ms milliseconds; signals ready
// (when given) once the window exists. Returns the time it was up, or -1.
long HoldDialog(const std::string& className, DWORD ms, HANDLE ready) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
  wc.lpszClassName = className.c_str();
  if (!RegisterClassA(&wc)) return -1;
  Window w(CreateWindowA(className.c_str(), "Engine double", WS_OVERLAPPEDWINDOW, 40, 40, 240, 120, nullptr, nullptr,
                         wc.hInstance, nullptr));
  if (!w.get()) return -1;
  ShowWindow(w.get(), ShowState());
  DWORD start = GetTickCount();
  if (ready) SetEvent(ready);
  PumpFor(ms);
  return long(GetTickCount() - start);
}

// The helper half of ENGINE_DOUBLE_DIALOG_AFTER: "--hold-dialog CLASS MS EVENT".
int HoldDialogHelper(const std::string& commandLine) {
  size_t at = commandLine.find(kHoldSwitch);
  std::string rest = commandLine.substr(at + sizeof kHoldSwitch);
  size_t a = rest.find(' '), b = a == std::string::npos ? a : rest.find(' ', a + 1);
  if (b == std::string::npos) return 3;
  uint32_t ms = 0;
  if (!ParseU32(rest.substr(a + 1, b - a - 1), ms)) return 3;
  Handle ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, rest.substr(b + 1).c_str()));
  return HoldDialog(rest.substr(0, a), ms, ready.get()) < 0 ? 4 : 0;
}

// Starts a copy of this program that keeps the dialog window after we have gone.
long StartDialogHelper(const std::string& self, const std::string& className, DWORD ms) {
  std::string eventName = "EngineDoubleReady_" + std::to_string(GetCurrentProcessId());
  Handle ready(CreateEventA(nullptr, TRUE, FALSE, eventName.c_str()));
  if (!ready.get()) return -1;
  std::string cmd = "\"" + self + "\" " + kHoldSwitch + " " + className + " " + std::to_string(ms) + " " + eventName;
  std::vector<char> buf(cmd.begin(), cmd.end());
  buf.push_back('\0');
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = WORD(ShowState());
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(self.c_str(), buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  Handle process(pi.hProcess), thread(pi.hThread);
  HANDLE both[2] = {ready.get(), process.get()};
  return WaitForMultipleObjects(2, both, FALSE, 30000) == WAIT_OBJECT_0 ? long(ms) : -1;
}

void AppendReport(const std::string& path, const std::string& block) {
  // One write of the whole block with append access: blocks of runs that overlap
  // never interleave.
  for (int attempt = 0; attempt < 50; ++attempt) {
    Handle f(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (f.get()) {
      DWORD written = 0;
      WriteFile(f.get(), block.data(), DWORD(block.size()), &written, nullptr);
      FlushFileBuffers(f.get());
      return;
    }
    if (GetLastError() != ERROR_SHARING_VIOLATION) return;
    Handle never(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    WaitForSingleObject(never.get(), 20);  // another run holds the file: try again shortly
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::string commandLine = GetCommandLineA();
  if (commandLine.find(kHoldSwitch) != std::string::npos) return HoldDialogHelper(commandLine);

  std::string self = OwnPath();
  size_t slash = self.find_last_of('\\');
  std::string folder = slash == std::string::npos ? "." : self.substr(0, slash);
  std::string selfName = slash == std::string::npos ? self : self.substr(slash + 1);
  std::string token = TokenOf(commandLine);
  std::string atomName = kAtomPrefix + token;
  bool atomUsable = !token.empty() && atomName.size() <= 255;

  std::string block = "pid=" + std::to_string(GetCurrentProcessId()) + "\r\n";
  block += "cmdline=" + commandLine + "\r\n";
  block += "cwd=" + CurrentFolder() + "\r\n";
  block += "exe=" + self + "\r\n";
  block += "token=" + token + "\r\n";
  block += std::string("atom_found=") + (atomUsable && GlobalFindAtomA(atomName.c_str()) ? "1" : "0") + "\r\n";
  // Without a report there is nobody to read the listing: exit at once (benchmarks).
  if (!Env("ENGINE_DOUBLE_REPORT").empty()) block += FolderLines(folder, selfName);
  block += "show=" + std::to_string(ShowState()) + "\r\n";

  uint32_t exitCode = EnvNumber("ENGINE_DOUBLE_EXIT", 0);
  uint32_t dialogMs = EnvNumber("ENGINE_DOUBLE_DIALOG_MS", 0);
  if (Env("ENGINE_DOUBLE_DIALOG_MS").size()) {
    std::string className = kDialogPrefix + token;
    long held = Env("ENGINE_DOUBLE_DIALOG_AFTER") == "1" ? StartDialogHelper(self, className, dialogMs)
                                                         : HoldDialog(className, dialogMs, nullptr);
    block += "dialog_ms=" + std::to_string(held) + "\r\n";
  }
  uint32_t sleepMs = EnvNumber("ENGINE_DOUBLE_SLEEP_MS", 0);
  if (sleepMs) PumpFor(sleepMs);

  bool deleted = false;
  if (atomUsable && Env("ENGINE_DOUBLE_ATOM") != "keep") {
    ATOM atom = GlobalFindAtomA(atomName.c_str());
    if (atom) {
      GlobalDeleteAtom(atom);
      deleted = true;
    }
  }
  block += std::string("atom_deleted=") + (deleted ? "1" : "0") + "\r\n";
  block += std::string("atom_after=") + (atomUsable && GlobalFindAtomA(atomName.c_str()) ? "1" : "0") + "\r\n";
  block += "exit=" + std::to_string(exitCode) + "\r\n";
  block += "done=1\r\n";
  std::string report = Env("ENGINE_DOUBLE_REPORT");
  if (!report.empty()) AppendReport(report, block);
  return int(exitCode);
}
