// The plain agent's work: write and start the transient copy, then pass the control
// switches on to it; and the transient agent's run from start to self-deletion.
#include <windows.h>

#include <string>

#include "agent/AgentControl.h"
#include "agent/AgentSettings.h"
#include "package/PackageReader.h"
#include "stub/AgentStart.h"
#include "stub/MainWindow.h"
#include "stub/RunMode.h"
#include "stub/SetupFlow.h"
#include "stub/Stub.h"
#include "stub/TempFolders.h"
#include "util/DebugLog.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/PlatformHelpers.h"
#include "util/SeparatorLists.h"
#include "util/WinHandle.h"

namespace {

constexpr uint32_t kStartUpWaitMs = 3000;
constexpr uint32_t kStartUpPollMs = 200;
// Before the copy is rewritten the old one must have ended and let go of its file.
constexpr uint32_t kOldCopyWaitMs = 60000;
// How long the control switches wait for the copy's window to appear.
constexpr uint32_t kWindowWaitMs = 5000;
constexpr int64_t kMaxWaitSeconds = 24 * 3600;

std::string Pid() { return IntToStr(GetCurrentProcessId()); }

std::string TransientClass() { return TransientAgentClassName(OwnPackage().GetAgentName()); }

// The transient agent's own main window, found by its class as a second start finds
// it: a message box or a hidden helper window of that process never gets the
// messages meant for the agent.
HWND TransientWindow() {
  std::string cls = TransientClass();
  return cls.empty() ? nullptr : FindWindowA(cls.c_str(), nullptr);
}

// Waits, pumping, until test() holds or ms have passed (wrap-safe ticks).
template <typename Test>
bool WaitUntil(uint32_t ms, Test test) {
  DWORD start = GetTickCount();
  for (;;) {
    if (test()) return true;
    if (DWORD(GetTickCount() - start) >= ms) return false;
    WaitPumping(0, kStartUpPollMs);
  }
}

// Starts program with the switches behind its quoted path, hidden; the process
// handle is returned (not owned by anyone else).
WinHandle StartHidden(const std::string& program, const std::string& switches) {
  std::string line = "\"" + program + "\"" + switches;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    AgentLog(" --- the transient agent cannot be started: " + LastErrorText());
    return WinHandle();
  }
  CloseHandle(pi.hThread);
  return WinHandle(pi.hProcess);
}

// An update installs through the setup flow, in a setup temp folder of its own that
// goes when the engine is done.
bool RunUpdateSetup(const std::string& package, const std::string& agentName, const std::string& extraSwitches,
                    bool foreground) {
  std::string folder = SetupTempFolder();
  DebugWriteLine(Pid() + " ==== SetupTempFolder=" + folder);
  if (folder.empty()) return false;
  bool result = ExtractAndRunEngine(folder, package, agentName, extraSwitches, foreground);
  RemoveSetupTempFolder();
  return result;
}

}  // namespace

void CreateAndRun_X_Exe() {
  AgentLog("CreateAndRun_X_Exe() --- Start");
  std::string zz = GetParamValue("/_ZZ=");
  DebugWriteLine(Pid() + " CreateAndRun_X_Exe-1 " + zz);
  const std::string own = ExePath();
  const std::string transient = TransientPathOf(own);
  if (ShouldCreateTransient(IsAgent(), TransientWindow() != nullptr, zz, own, OwnPackage().GetAgentName())) {
    DebugWriteLine(Pid() + " CreateAndRun_X_Exe-2");
    int64_t wait = GetParamInt("/WAIT=", 0);
    if (wait < 0) wait = 0;
    if (wait > kMaxWaitSeconds) wait = kMaxWaitSeconds;
    AgentLog("Wait " + IntToStr(wait) + " SEC");
    WaitPumping(0, uint64_t(wait) * 1000);

    // A copy that still runs holds its file: never start a stale one in its place.
    bool copied = WaitUntil(kOldCopyWaitMs, [&] {
      return TransientWindow() == nullptr && CopyFileA(own.c_str(), transient.c_str(), FALSE);
    });
    if (!copied) {
      AgentLog(" --- Create X_ File failed: " + LastErrorText());
    } else {
      AgentLog("Create X_ File ");
      std::string switches = TransientSwitches(GetParamValue("/TRANSIENT="), GetParamValue("/DELAY="));
      AgentLog("WinExec: " + transient + switches);
      WinHandle copy = StartHidden(transient, switches);
      // The control switches that follow need the copy's window.
      if (copy.ok() && !Trim(GetParamsTail()).empty()) {
        WaitUntil(kStartUpWaitMs, [&] {
          return TransientWindow() != nullptr || WaitForSingleObject(copy.get(), 0) == WAIT_OBJECT_0;
        });
      }
    }
  }
  AgentLog("CreateAndRun_X_Exe() --- End");
}

bool HandleParamOK(bool transientRunningAtStart) {
  AgentLog("HandleParamOK() --- Start");
  bool result = false;
  const std::string transient = TransientPathOf(ExePath());
  ControlSwitches switches = ControlSwitchesIn(GetParamsTail());
  std::vector<ControlPost> posts = PlanControlPosts(switches, transient, transientRunningAtStart);
  if (!posts.empty() && FileExists(transient)) {
    HWND agent = nullptr;
    WaitUntil(kWindowWaitMs, [&] { return (agent = TransientWindow()) != nullptr; });
    for (const ControlPost& post : posts) {
      AgentLog(post.logLine);
      if (post.message == kWmLocalMsg) {
        HWND listener = reinterpret_cast<HWND>(uintptr_t(post.wParam));
        if (!ListenerAccepted(post.wParam, post.lParam, listener && IsWindow(listener))) {
          AgentLog(" --- not a listener window and message: nothing posted");
          continue;
        }
      }
      if (!agent) {
        AgentLog(" --- no window of the transient agent: nothing posted");
      } else if (PostMessageA(agent, post.message, post.wParam, LPARAM(int32_t(post.lParam)))) {
        result = true;
      } else {
        AgentLog(" --- PostMessage: " + LastErrorText());
      }
    }
  }
  if (!switches.overrides.empty()) AgentOverrides().SetFromText(switches.overrides);
  AgentLog("HandleParamOK() --- End");
  return result;
}

void RunTransientAgent(const MainWindowSetup& window) {
  AgentHooks hooks;
  hooks.ownPackage = &OwnPackage();
  hooks.mainWindow = MainWindow;
  hooks.notify = [](int code, int value) { NotifyListener(WPARAM(code), LPARAM(value)); };
  hooks.showWindow = ShowMainWindow;
  hooks.setStatus = [](const std::string& text, const std::string& fontName, int charset, int fontSize) {
    SetStatusText(StatusLabel(), text, fontName, charset, fontSize);
  };
  hooks.progress = []() { return &ProgramProgBar(); };
  hooks.progressCallback = MainWindowProgress;
  hooks.runSetup = RunUpdateSetup;
  SetAgentHooks(hooks);
  // The override list the plain agent handed on survives its restart of this copy.
  std::string overrides = GetParamValue("/TRANSIENTx=");
  if (!overrides.empty()) AgentOverrides().SetFromText(overrides);
  DebugWriteLine(Pid() + " overrides " + AgentOverrides().ListText());
  AgentLog("CheckTestMode");
  IsTestMode(true);
  AgentLog("WinMain");
  StubWin::WinMain(window);
  AgentLog("DeleteMySelf");
  DeleteMySelf(false);
}
