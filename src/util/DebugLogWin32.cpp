// The process's debug channel, debug file, update log and developer mode on Win32.
#include <windows.h>

#include <string>

#include "util/DebugLog.h"
#include "util/Files.h"
#include "util/WinHandle.h"

namespace {

using Handle = WinHandle;

class GlobalAtom {
 public:
  explicit GlobalAtom(const std::string& text) : atom_(GlobalAddAtomA(text.c_str())) {}
  ~GlobalAtom() {
    if (atom_ != 0) GlobalDeleteAtom(atom_);
  }
  GlobalAtom(const GlobalAtom&) = delete;
  GlobalAtom& operator=(const GlobalAtom&) = delete;
  ATOM get() const { return atom_; }

 private:
  ATOM atom_;
};

CRITICAL_SECTION g_lock;
bool g_channelReady = false;
TDebugChannel g_channel;
UINT g_viewerMessage = 0;
// A viewer that once failed to answer in time is not sent to again.
HWND g_deadViewer = nullptr;

bool g_agentLogOn = false;
std::string g_agentLogIndent = kDefaultAgentLogIndent;
std::string g_agentLogPath;
bool g_agentLogPathKnown = false;
std::string g_dateSep, g_timeSep;
bool g_separatorsKnown = false;
int g_developerMode = -1;  // -1 unknown, 0 off, 1 on

// FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the current end of
// the file, whoever else is appending. Some platforms (Wine) append by looking up the
// size and writing there, so writers also take a lock on a byte far beyond any data;
// the lock needs read access, and without it the append still goes ahead unlocked.
void AppendToFile(const char* path, const std::string& data) {
  if (data.empty()) return;
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  Handle f(CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA, share, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  bool canLock = f.ok();
  if (!canLock) {
    Handle w(CreateFileA(path, FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!w.ok()) return;
    DWORD written = 0;
    WriteFile(w.get(), data.data(), DWORD(data.size()), &written, nullptr);
    return;
  }
  OVERLAPPED at = {};
  at.Offset = 0;
  at.OffsetHigh = 0x7FFFFFFF;
  bool locked = LockFileEx(f.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) != 0;
  DWORD written = 0;
  WriteFile(f.get(), data.data(), DWORD(data.size()), &written, nullptr);
  if (locked) UnlockFileEx(f.get(), 0, 1, 0, &at);
}

void SendToViewer(const std::string& chunk) {
  if (g_viewerMessage == 0) g_viewerMessage = RegisterWindowMessageA(kDebugViewerMessage);
  if (g_viewerMessage == 0) return;
  HWND viewer = FindWindowA(kDebugViewerClass, nullptr);
  if (viewer == nullptr || viewer == g_deadViewer) return;
  for (const std::string& piece : SplitForAtoms(chunk)) {
    GlobalAtom atom(piece);
    if (atom.get() == 0) continue;
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(viewer, g_viewerMessage, kDebugViewerWParam, LPARAM(atom.get()),
                             SMTO_ABORTIFHUNG, kViewerTimeoutMs, &answer)) {
      g_deadViewer = viewer;
      return;
    }
  }
}

void ChannelSink(void*, const std::string& chunk) { DeliverDebugChunk(kDebugOutputMode, chunk); }

}  // namespace

void InitDebugChannel() {
  if (g_channelReady) return;
  InitializeCriticalSection(&g_lock);
  g_viewerMessage = RegisterWindowMessageA(kDebugViewerMessage);
  g_channel.Bind(ChannelSink, nullptr);
  g_channelReady = true;
}

void DeliverDebugChunk(uint8_t mode, const std::string& chunk) {
  if (DebugModeWritesFile(mode)) AppendToFile(kDebugLogFile, DebugFileText(chunk));
  if (DebugModeSendsToViewer(mode)) SendToViewer(chunk);
}

void DebugWrite(const std::string& text) {
  if (!g_channelReady) return;
  EnterCriticalSection(&g_lock);
  g_channel.Write(text);
  LeaveCriticalSection(&g_lock);
}

void DebugWriteLine(const std::string& text) {
  if (!g_channelReady) return;
  EnterCriticalSection(&g_lock);
  g_channel.WriteLine(text);
  LeaveCriticalSection(&g_lock);
}

void DebugWrite(const char* text) { DebugWrite(std::string(text ? text : "")); }
void DebugWrite(char ch) { DebugWrite(std::string(1, ch)); }
void DebugWrite(bool value) { DebugWrite(DebugText(value)); }
void DebugWrite(int value) { DebugWrite(DebugText(static_cast<long long>(value))); }
void DebugWrite(unsigned value) { DebugWrite(DebugText(static_cast<unsigned long long>(value))); }
void DebugWrite(long value) { DebugWrite(DebugText(static_cast<long long>(value))); }
void DebugWrite(unsigned long value) {
  DebugWrite(DebugText(static_cast<unsigned long long>(value)));
}
void DebugWrite(long long value) { DebugWrite(DebugText(value)); }
void DebugWrite(unsigned long long value) { DebugWrite(DebugText(value)); }

void DebugWriteLine() { DebugWriteLine(std::string()); }
void DebugWriteLine(const char* text) { DebugWriteLine(std::string(text ? text : "")); }
void DebugWriteLine(char ch) { DebugWriteLine(std::string(1, ch)); }
void DebugWriteLine(bool value) { DebugWriteLine(DebugText(value)); }
void DebugWriteLine(int value) { DebugWriteLine(DebugText(static_cast<long long>(value))); }
void DebugWriteLine(unsigned value) {
  DebugWriteLine(DebugText(static_cast<unsigned long long>(value)));
}
void DebugWriteLine(long value) { DebugWriteLine(DebugText(static_cast<long long>(value))); }
void DebugWriteLine(unsigned long value) {
  DebugWriteLine(DebugText(static_cast<unsigned long long>(value)));
}
void DebugWriteLine(long long value) { DebugWriteLine(DebugText(value)); }
void DebugWriteLine(unsigned long long value) { DebugWriteLine(DebugText(value)); }

void LogException(const std::string& errorMessage, const std::string& where,
                  const std::string& detail) {
  DebugWriteLine(ExceptionLine(errorMessage, where, detail));
}

void LogQuery(const std::string& a, const std::string& b, const std::string& c,
              const std::string& d) {
  DebugWriteLine(QueryLine(a, b, c, d));
}

// ---- update log ----------------------------------------------------------------------

void SetAgentLogEnabled(bool enabled) { g_agentLogOn = enabled; }
bool AgentLogEnabled() { return g_agentLogOn; }
void SetAgentLogIndent(const std::string& indent) { g_agentLogIndent = indent; }

std::string AgentLogPath() {
  if (!g_agentLogPathKnown) {
    std::string program = ExePath();
    if (!program.empty()) g_agentLogPath = AgentLogPathFor(program);
    g_agentLogPathKnown = true;
  }
  return g_agentLogPath;
}

void AgentLog(const std::string& message) {
  if (!g_agentLogOn) return;
  std::string path = AgentLogPath();
  if (path.empty()) return;
  if (!g_separatorsKnown) {
    g_dateSep = LocaleDateSeparator();
    g_timeSep = LocaleTimeSeparator();
    g_separatorsKnown = true;
  }
  AppendToFile(path.c_str(), AgentLogLine(CurrentLocalDateTime(), uint32_t(GetCurrentThreadId()), g_agentLogIndent,
                                          message, g_dateSep, g_timeSep));
}

void AgentLog(const char* message) {
  if (g_agentLogOn) AgentLog(std::string(message));
}

// ---- developer mode ------------------------------------------------------------------

bool IsDeveloperMode() {
  if (g_developerMode < 0) {
    char buf[16];
    DWORD n = GetEnvironmentVariableA("DVX", buf, DWORD(sizeof buf));
    std::string value = (n > 0 && n < sizeof buf) ? std::string(buf, n) : std::string();
    g_developerMode = DeveloperModeFromValue(value) ? 1 : 0;
  }
  return g_developerMode == 1;
}
