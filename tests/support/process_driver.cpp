// Runs one process function of the stub per start and prints KEY=VALUE lines.
//   process_driver find PATH [nameonly] [last] [xp]   STATE= PID=
//   process_driver running PATH [xp]                  RUNNING= STATE=
//   process_driver mainwindow PATH [nameonly] [last]  FOUND= TITLE= CLASS=
//   process_driver post PATH MSG W L [nameonly]       POSTED=
//   process_driver close PATH WAITMS [nameonly]       POSTED= STATE=
//   process_driver quit PATH [nameonly]               POSTED=
//   process_driver kill PATH [nameonly]               KILLED=
//   process_driver wait PATH MS                       STATE= PUMPED= QUIT_KEPT=
//     (a message to the driver's own window and a quit message are queued first: the
//     wait must dispatch the one and leave the other for the driver's loop)
//   process_driver exec PROGRAM PARAMS [TIMEOUTMS]    OK= EXIT= ERROR= OUTPUT_HEX= OUTPUT=
//     PARAMS "pad:N" stands for N characters "x"; "-" for none
//   process_driver list [ids] [full]                  LIST=
//   process_driver tasklist PATH [last]               STATE= PID=
//   process_driver waitwindow CLASS TITLE             DONE=1
//   process_driver bench N PATH                       ms per call of the lookups and floors
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "process/PipedExecution.h"
#include "process/ProcessList.h"
#include "process/ProcessWindows.h"
#include "util/PlatformHelpers.h"

namespace {

bool HasFlag(int argc, char** argv, int from, const char* flag) {
  for (int i = from; i < argc; ++i)
    if (std::strcmp(argv[i], flag) == 0) return true;
  return false;
}

const char* StateName(ProcessState s) {
  return s == ProcessState::Running ? "Running" : s == ProcessState::NotRunning ? "NotRunning" : "Unknown";
}

std::string Hex(const std::string& text) {
  std::string hex;
  char b[4];
  for (unsigned char c : text) {
    std::snprintf(b, sizeof b, "%02x", c);
    hex += b;
  }
  return hex;
}

std::string OneLine(const std::string& text) {
  std::string r;
  for (char c : text) r += c == '\r' ? '\0' : c == '\n' ? '|' : c;
  r.erase(std::remove(r.begin(), r.end(), '\0'), r.end());
  return r;
}

bool g_pumped = false;
LRESULT CALLBACK DriverProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_USER + 7) g_pumped = true;
  return DefWindowProcA(w, msg, wp, lp);
}

double Now() {
  static LARGE_INTEGER f{};
  if (!f.QuadPart) QueryPerformanceFrequency(&f);
  LARGE_INTEGER c{};
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

int g_windowCount = 0;
BOOL CALLBACK CountWindow(HWND w, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  ++g_windowCount;
  return TRUE;
}

// The floors and the functions in turn, call by call, so that the load of the
// machine falls on all four alike.
int Bench(int n, const std::string& path) {
  int processes = 0;
  bool running = false;
  HWND found = nullptr;
  double snapshot = 0, enumerate = 0, isRunning = 0, mainWindow = 0;
  for (int i = 0; i < n; ++i) {
    double t0 = Now();
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    processes = 0;
    for (BOOL more = Process32First(snap, &pe); more; more = Process32Next(snap, &pe)) ++processes;
    CloseHandle(snap);
    double t1 = Now();
    g_windowCount = 0;
    EnumWindows(CountWindow, 0);
    double t2 = Now();
    running = IsProcessRunning(path);
    double t3 = Now();
    found = FindMainWindow(path, false, false);
    double t4 = Now();
    snapshot += t1 - t0;
    enumerate += t2 - t1;
    isRunning += t3 - t2;
    mainWindow += t4 - t3;
  }
  snapshot /= n;
  enumerate /= n;
  isRunning /= n;
  mainWindow /= n;
  std::printf("PROCESSES=%d\nWINDOWS=%d\nRUNNING=%d\nFOUND=%d\n", processes, g_windowCount, running ? 1 : 0,
              found ? 1 : 0);
  std::printf("FLOOR_SNAPSHOT_MS=%.3f\nFLOOR_ENUMWINDOWS_MS=%.3f\n", snapshot, enumerate);
  std::printf("ISPROCESSRUNNING_MS=%.3f\nFINDMAINWINDOW_MS=%.3f\n", isRunning, mainWindow);
  std::printf("RATIO_RUNNING_TO_SNAPSHOT=%.2f\nRATIO_MAINWINDOW_TO_SNAPSHOT_PLUS_ENUM=%.2f\n", isRunning / snapshot,
              mainWindow / (snapshot + enumerate));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string cmd = argv[1];
  const std::string path = argc > 2 ? argv[2] : "";
  const bool nameOnly = HasFlag(argc, argv, 3, "nameonly");
  const bool last = HasFlag(argc, argv, 3, "last");
  if (HasFlag(argc, argv, 3, "xp")) UseModuleFileNameLookup(true);

  if (cmd == "find" && argc > 2) {
    ProcessLookup r = LookUpProcess(path, nameOnly, !last);
    std::printf("STATE=%s\nPID=%lu\nFINDPROCESSID=%lu\n", StateName(r.state), (unsigned long)r.pid,
                (unsigned long)FindProcessId(path, nameOnly, !last));
  } else if (cmd == "running" && argc > 2) {
    std::printf("RUNNING=%d\nSTATE=%s\n", IsProcessRunning(path) ? 1 : 0, StateName(ProcessRunningState(path)));
  } else if (cmd == "mainwindow" && argc > 2) {
    HWND w = FindMainWindow(path, nameOnly, last);
    std::printf("FOUND=%d\nTITLE=%s\nCLASS=%s\n", w ? 1 : 0, WindowTextOf(w).c_str(), ClassNameOf(w).c_str());
  } else if (cmd == "post" && argc > 5) {
    bool posted = PostProcessMessage(path, HasFlag(argc, argv, 6, "nameonly"), UINT(std::strtoul(argv[3], nullptr, 0)),
                                     WPARAM(std::strtoul(argv[4], nullptr, 0)), LPARAM(std::strtol(argv[5], nullptr, 0)));
    std::printf("POSTED=%d\n", posted ? 1 : 0);
  } else if (cmd == "close" && argc > 3) {
    bool posted = CloseProcessWindows(path, HasFlag(argc, argv, 4, "nameonly"), uint32_t(std::atoi(argv[3])));
    std::printf("POSTED=%d\nSTATE=%s\n", posted ? 1 : 0, StateName(ProcessRunningState(path)));
  } else if (cmd == "quit" && argc > 2) {
    std::printf("POSTED=%d\n", QuitProcessWindows(path, nameOnly) ? 1 : 0);
  } else if (cmd == "kill" && argc > 2) {
    std::printf("KILLED=%d\n", KillProcess(path, nameOnly) ? 1 : 0);
  } else if (cmd == "wait" && argc > 3) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DriverProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ProcessDriverWindow";
    RegisterClassA(&wc);
    HWND own = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    PostMessageA(own, WM_USER + 7, 0, 0);
    PostQuitMessage(7);
    WaitForProcessExit(path, uint32_t(std::atoi(argv[3])));
    MSG msg;
    bool quitKept = PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && msg.wParam == 7;
    std::printf("STATE=%s\nPUMPED=%d\nQUIT_KEPT=%d\n", StateName(ProcessRunningState(path)), g_pumped ? 1 : 0,
                quitKept ? 1 : 0);
  } else if (cmd == "exec" && argc > 3) {
    std::string params = argv[3];
    if (params == "-") params.clear();
    if (params.rfind("pad:", 0) == 0) params = std::string(size_t(std::atoi(params.c_str() + 4)), 'x');
    uint32_t timeout = argc > 4 ? uint32_t(std::atoi(argv[4])) : kExecPipedTimeout;
    std::string error, output;
    uint32_t code = 12345;
    bool ok = ExecPiped(path, params, SW_HIDE, nullptr, nullptr, 1, error, output, code, timeout);
    std::printf("OK=%d\nEXIT=%lu\nERROR=%s\nOUTPUT_HEX=%s\nOUTPUT=%s\nOUTPUT_SIZE=%u\nACP=%u\nOEMCP=%u\n", ok ? 1 : 0,
                (unsigned long)code, error.c_str(), Hex(output.substr(0, 64)).c_str(), OneLine(output.substr(0, 400)).c_str(),
                unsigned(output.size()), GetACP(), GetOEMCP());
  } else if (cmd == "list") {
    std::printf("LIST=%s\n", GetProcessListText(HasFlag(argc, argv, 2, "ids"), HasFlag(argc, argv, 2, "full")).c_str());
  } else if (cmd == "tasklist" && argc > 2) {
    ProcessLookup r = LookUpByTaskList(path, last);
    std::printf("STATE=%s\nPID=%lu\n", StateName(r.state), (unsigned long)r.pid);
  } else if (cmd == "waitwindow" && argc > 3) {
    WaitWhileWindowExists(argv[2], argv[3]);
    std::printf("DONE=1\n");
  } else if (cmd == "bench" && argc > 3) {
    return Bench(std::atoi(argv[2]) > 0 ? std::atoi(argv[2]) : 1, argv[3]);
  } else {
    return 2;
  }
  std::fflush(stdout);
  return 0;
}
