#include <windows.h>

#include <tlhelp32.h>

#include "process/ProcessList.h"
#include "process/PipedExecution.h"
#include "util/Files.h"
#include "util/PlatformHelpers.h"
#include "util/SeparatorLists.h"
#include "util/WinHandle.h"

namespace {

using QueryFullImageNameFn = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
using ModuleFileNameExFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);

constexpr DWORD kPathBuffer = 1024;
constexpr size_t kMaxProcesses = 65536;  // a snapshot walk never runs longer
constexpr uint32_t kTaskListTimeout = 15000;
#ifndef PROCESS_QUERY_LIMITED_INFORMATION
constexpr DWORD PROCESS_QUERY_LIMITED_INFORMATION = 0x1000;
#endif

bool g_moduleNamesOnly = false;

// QueryFullProcessImageNameA from Vista on; before, the first module's file name
// through psapi (or its kernel32 copy). Both looked up once, by name.
struct ImageNameReaders {
  QueryFullImageNameFn queryFull = nullptr;
  ModuleFileNameExFn moduleName = nullptr;
};
const ImageNameReaders& Readers() {
  static const ImageNameReaders readers = [] {
    ImageNameReaders r;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel) {
      r.queryFull = reinterpret_cast<QueryFullImageNameFn>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "QueryFullProcessImageNameA")));
      r.moduleName = reinterpret_cast<ModuleFileNameExFn>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "K32GetModuleFileNameExA")));
    }
    if (!r.moduleName)
      r.moduleName = reinterpret_cast<ModuleFileNameExFn>(
          reinterpret_cast<void*>(LoadProc("psapi.dll", "GetModuleFileNameExA")));
    return r;
  }();
  return readers;
}

std::string ImagePathOf(uint32_t pid) {
  if (pid == 0) return "";
  const ImageNameReaders& r = Readers();
  bool full = r.queryFull && !g_moduleNamesOnly;
  if (!full && !r.moduleName) return "";
  DWORD access = full ? PROCESS_QUERY_LIMITED_INFORMATION : PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
  WinHandle process(OpenProcess(access, FALSE, pid));
  if (!process.ok()) return "";
  char buffer[kPathBuffer];
  DWORD n = kPathBuffer;
  if (full) {
    if (!r.queryFull(process.get(), 0, buffer, &n) || n >= kPathBuffer) return "";
  } else {
    n = r.moduleName(process.get(), nullptr, buffer, kPathBuffer);
    if (n == 0 || n >= kPathBuffer) return "";
  }
  return std::string(buffer, n);
}

std::string ShortFormOf(const std::string& path) {
  char buffer[kPathBuffer];
  DWORD n = GetShortPathNameA(path.c_str(), buffer, kPathBuffer);
  return n > 0 && n < kPathBuffer ? std::string(buffer, n) : std::string();
}

std::string LongFormOf(const std::string& path) {
  char buffer[kPathBuffer];
  DWORD n = GetLongPathNameA(path.c_str(), buffer, kPathBuffer);
  return n > 0 && n < kPathBuffer ? std::string(buffer, n) : std::string();
}

uint32_t OwnSession() {
  DWORD session = 0;
  return ProcessIdToSessionId(GetCurrentProcessId(), &session) ? session : 0;
}

// The other spellings of a path are only looked up for a path with a folder: a bare
// name would be resolved against the current folder.
ProcessQuery QueryFor(const std::string& path, bool nameOnly) {
  ProcessQuery q = MakeProcessQuery(Trim(path), nameOnly);
  if (q.path.find_first_of("\\/:") == std::string::npos) return q;
  std::string shortForm = ShortFormOf(q.path);
  if (!shortForm.empty()) q.shortPath = shortForm;
  q.longPath = LongFormOf(q.path);
  return q;
}

// Calls visit(pid, snapshot name) for every process of a new snapshot; false when there
// is no snapshot.
template <typename Visit>
bool WalkProcesses(Visit visit) {
  WinHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.ok()) return false;
  PROCESSENTRY32 pe{};
  pe.dwSize = sizeof pe;
  size_t seen = 0;
  for (BOOL more = Process32First(snapshot.get(), &pe); more && seen < kMaxProcesses;
       more = Process32Next(snapshot.get(), &pe), ++seen) {
    pe.szExeFile[sizeof pe.szExeFile - 1] = '\0';
    visit(uint32_t(pe.th32ProcessID), std::string(pe.szExeFile));
  }
  return true;
}

}  // namespace

void UseModuleFileNameLookup(bool on) { g_moduleNamesOnly = on; }

ProcessLookup LookUpProcess(const std::string& path, bool nameOnly, bool firstOnly) {
  ProcessLookup none;
  if (Trim(path).empty()) return none;
  const ProcessQuery query = QueryFor(path, nameOnly);
  const uint32_t session = OwnSession();
  std::vector<ProcessEntry> candidates;
  bool walked = WalkProcesses([&](uint32_t pid, const std::string& exeName) {
    // Only a process that may be the program costs more than the snapshot.
    if (!MayBeProcessOf(query, exeName)) return;
    ProcessEntry e;
    e.pid = pid;
    e.exeName = exeName;
    DWORD s = 0;
    // No session: the process has ended since the snapshot.
    if (!ProcessIdToSessionId(pid, &s)) return;
    e.sessionId = s;
    if (e.sessionId != session) return;
    e.imagePath = ImagePathOf(pid);
    if (NeedsShortFormOf(query, e.imagePath)) e.shortPath = ShortFormOf(e.imagePath);
    candidates.push_back(std::move(e));
  });
  if (!walked) return ProcessLookup{ProcessState::Unknown, 0};
  return FindInProcessList(query, candidates, session, firstOnly);
}

uint32_t FindProcessId(const std::string& path, bool nameOnly, bool firstOnly) {
  ProcessLookup found = LookUpProcess(path, nameOnly, firstOnly);
  return found.state == ProcessState::Running ? found.pid : 0;
}

ProcessState ProcessRunningState(const std::string& path) { return LookUpProcess(path, false, true).state; }

bool IsProcessRunning(const std::string& path) { return ProcessRunningState(path) == ProcessState::Running; }

ProcessLookup LookUpByTaskList(const std::string& path, bool fromEnd) {
  if (Trim(path).empty()) return ProcessLookup{};
  std::string error, output;
  uint32_t code = 0;
  std::string system = SystemDir(true);
  if (system.empty()) return ProcessLookup{ProcessState::Unknown, 0};
  ExecPiped(system + "tasklist.exe", "/FO csv", SW_HIDE, nullptr, nullptr, 1, error, output, code,
            kTaskListTimeout);
  return ParseTaskList(output, path, fromEnd);
}

uint32_t FindProcessIdByTaskList(const std::string& path, bool fromEnd) {
  ProcessLookup found = LookUpByTaskList(path, fromEnd);
  return found.state == ProcessState::Running ? found.pid : 0;
}

std::string GetProcessListText(bool withIds, bool fullPaths) {
  std::vector<ProcessEntry> entries;
  WalkProcesses([&](uint32_t pid, const std::string& exeName) {
    ProcessEntry e;
    e.pid = pid;
    e.exeName = exeName;
    if (fullPaths) e.imagePath = ImagePathOf(pid);
    entries.push_back(std::move(e));
  });
  return ProcessListText(entries, withIds, fullPaths);
}
