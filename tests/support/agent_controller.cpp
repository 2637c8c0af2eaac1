// Steers a running agent the way another program would, and prints what it answers.
//   agent_controller ask CLASS TYPE[:VALUE]...   send each request, print result.TYPE=N
//   agent_controller stop CLASS VALUE            post the stop count
//   agent_controller window CLASS                print hwnd=N (decimal) of the agent
//   agent_controller listen READY_FILE SECONDS [CLASS MESSAGE]
//       make a listener window, write hwnd=N (decimal) to READY_FILE, register with
//       the agent of CLASS for MESSAGE when given, print note=CODE,VALUE for every
//       message from WM_USER up that reaches the window;
//       ends after the loop-end notification (43) or after SECONDS
// Exit codes: 0 done, 1 no agent window or no answer, 2 bad command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr UINT kWmShutDown = WM_USER + 99;
constexpr UINT kWmLocalMsg = WM_USER + 100;
constexpr UINT kWmAgentMsg = WM_USER + 101;

void Print(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

HWND AgentWindow(const char* cls) {
  for (int i = 0; i < 100; ++i) {  // the agent may still be starting: up to 10 s
    if (HWND w = FindWindowA(cls, nullptr)) return w;
    Sleep(100);
  }
  return nullptr;
}

int Ask(HWND agent, int argc, char** argv) {
  for (int i = 0; i < argc; ++i) {
    std::string request = argv[i];
    size_t colon = request.find(':');
    unsigned long type = std::strtoul(request.c_str(), nullptr, 10);
    // Values are 32-bit: "-1" and "4294967295" are the same lParam.
    long long value = colon == std::string::npos ? 0 : std::strtoll(request.c_str() + colon + 1, nullptr, 10);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(agent, kWmAgentMsg, WPARAM(type), LPARAM(uint32_t(value)), SMTO_ABORTIFHUNG, 5000,
                             &result)) {
      Print("no answer to " + request);
      return 1;
    }
    Print("result." + std::to_string(type) + "=" + std::to_string(uint32_t(result)));
  }
  return 0;
}

int Listen(const char* readyFile, int seconds, const char* cls, UINT message) {
  UINT note = message ? message : RegisterWindowMessageA("agent_controller notification");
  if (note < WM_USER) return 2;
  HWND self = CreateWindowExA(0, "STATIC", "agent controller", 0, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  if (!self) return 1;
  std::string ready = "hwnd=" + std::to_string(uintptr_t(self)) + "\n";
  HANDLE f = CreateFileA(readyFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 1;
  DWORD wrote = 0;
  WriteFile(f, ready.data(), DWORD(ready.size()), &wrote, nullptr);
  CloseHandle(f);
  if (cls) {
    HWND agent = AgentWindow(cls);
    if (!agent || !PostMessageA(agent, kWmLocalMsg, WPARAM(self), LPARAM(note))) return 1;
  }
  DWORD start = GetTickCount();
  bool ended = false;
  while (!ended && GetTickCount() - start < DWORD(seconds) * 1000) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      // A listener registered by a command line hears whatever message it names.
      if (m.hwnd == self && m.message >= WM_USER) {
        Print("note=" + std::to_string(uint32_t(m.wParam)) + "," + std::to_string(uint32_t(m.lParam)));
        ended = ended || m.wParam == 43;
      } else if (m.hwnd == self && m.message != 0) {
        Print("other=" + std::to_string(m.message) + "," + std::to_string(uint32_t(m.wParam)));
      } else {
        DispatchMessageA(&m);
      }
    }
  }
  DestroyWindow(self);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::string command = argv[1];
  if (command == "ask" && argc >= 4) {
    HWND agent = AgentWindow(argv[2]);
    return agent ? Ask(agent, argc - 3, argv + 3) : 1;
  }
  if (command == "window" && argc == 3) {
    HWND agent = AgentWindow(argv[2]);
    if (agent) Print("hwnd=" + std::to_string(uintptr_t(agent)));
    return agent ? 0 : 1;
  }
  if (command == "stop" && argc == 4) {
    HWND agent = AgentWindow(argv[2]);
    return agent && PostMessageA(agent, kWmShutDown, WPARAM(std::strtol(argv[3], nullptr, 10)), 0) ? 0 : 1;
  }
  if (command == "listen" && (argc == 4 || argc == 6)) {
    return Listen(argv[2], std::atoi(argv[3]), argc == 6 ? argv[4] : nullptr,
                  argc == 6 ? UINT(std::strtoul(argv[5], nullptr, 10)) : 0);
  }
  return 2;
}
