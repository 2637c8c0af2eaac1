// Entry of the setup stub: opens the package appended to its own file, decides which
// role this process plays and runs it.
#include <windows.h>

#include <string>

#include "agent/AgentControl.h"
#include "package/PackageReader.h"
#include "stub/AgentStart.h"
#include "stub/MainWindow.h"
#include "stub/RunMode.h"
#include "stub/SetupFlow.h"
#include "stub/Stub.h"
#include "stub/StubState.h"
#include "util/DebugLog.h"
#include "util/Files.h"
#include "util/PlatformHelpers.h"
#include "util/SeparatorLists.h"
#include "util/SystemInfo.h"

// The builder overwrites the 61 bytes between the markers for every build. The token
// lives in the image as raw bytes: it is never read as a C string.
extern "C" {
__attribute__((used)) volatile const unsigned char kBuildToken[79] = {
    'S', 'T', 'U', 'B', 'B', 'L', 'D', '*', 's',
    0x9C, 0x31, 0xE7, 0x05, 0x6A, 0xD2, 0x48, 0xB3, 0x1F, 0x77, 0xC0, 0x2E, 0x95, 0x5B, 0xEA, 0x03,
    0x68, 0xAF, 0x14, 0xD9, 0x3C, 0x81, 0x56, 0xFB, 0x20, 0x9E, 0x47, 0xB8, 0x0D, 0x72, 0xC5, 0x39,
    0xE4, 0x1A, 0x8F, 0x63, 0xD6, 0x2B, 0x90, 0x4E, 0xF1, 0x07, 0xBC, 0x55, 0x88, 0x3F, 0xA2, 0x6D,
    0x11, 0xCE, 0x74, 0x29, 0x9B, 0x46, 0xE0, 0x5D, 0xB1, 0x0A, 0x83, 0x37, 0xFE,
    'S', 'T', 'U', 'B', 'E', 'N', 'D', '*', 'e'};
}

namespace {

TGFileInfo* g_ownPackage = nullptr;
bool g_agentFlag = false;
std::string g_instanceClass = kDefaultInstanceClass;
int g_exitCode = 0;

std::string Pid() { return IntToStr(GetCurrentProcessId()); }

// The process's peak private memory, for the end line; 0 where the system cannot say.
uint64_t PeakPrivateBytes() {
  struct Counters {
    DWORD cb;
    DWORD PageFaultCount;
    SIZE_T PeakWorkingSetSize, WorkingSetSize, QuotaPeakPagedPoolUsage, QuotaPagedPoolUsage,
        QuotaPeakNonPagedPoolUsage, QuotaNonPagedPoolUsage, PagefileUsage, PeakPagefileUsage;
  };
  using Query = BOOL(WINAPI*)(HANDLE, Counters*, DWORD);
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "K32GetProcessMemoryInfo")));
  Counters c{};
  c.cb = sizeof c;
  return query && query(GetCurrentProcess(), &c, sizeof c) ? c.PeakPagefileUsage : 0;
}

bool TopLevelWindowExists(const std::string& className) {
  return !className.empty() && FindWindowA(className.c_str(), nullptr) != nullptr;
}

RunInputs CurrentInputs() {
  RunInputs in;
  in.agentFlag = g_agentFlag;
  in.spannedSet = g_ownPackage->SpannedSet();
  in.programPath = ExePath();
  in.agentName = g_ownPackage->GetAgentName();
  in.spanLevel = GetParamInt("/SpanCdLvl=", 1);
  return in;
}

// The main window's looks come from the own package's language strings.
MainWindowSetup MainWindowFor(bool agent) {
  MainWindowSetup setup;
  setup.className = g_instanceClass;
  setup.caption = g_ownPackage->GetLangString("s0", kDefaultCaption);
  setup.charset = g_ownPackage->GetCharset();
  setup.fontName = g_ownPackage->GetFontName();
  setup.fontSize = g_ownPackage->GetFontSize();
  setup.agent = agent;
  if (agent) {
    setup.agentTick = OnAgentTimer;
    setup.agentRequest = AgentRequestMessage;
  } else {
    setup.setupFlow = RunSetupFlow;
  }
  return setup;
}

}  // namespace

const TGFileInfo& OwnPackage() { return *g_ownPackage; }
bool IsAgent() { return g_agentFlag; }
const std::string& InstanceClass() { return g_instanceClass; }
void SetProcessExitCode(int code) { g_exitCode = code; }
void SetProcessExitCodeIfUnset(int code) {
  if (g_exitCode == 0) g_exitCode = code;
}
std::string OwnVersionText() { return GetExeVersion(); }

void DoRunStubWin() {
  AgentLog("DoRunStubWin() --- Start");
  std::string path = ExePath();
  g_instanceClass = InstanceClassName(g_agentFlag, path);
  RunInputs in = CurrentInputs();
  bool transientRunning = TopLevelWindowExists(TransientAgentClassName(in.agentName));
  bool plain = IsPlainAgent(in.agentFlag, in.programPath, in.agentName);
  bool transient = IsTransientAgent(in.agentFlag, in.programPath, in.agentName);
  AgentLog(std::string("X_ExeIsRunning=") + BoolText(transientRunning));
  AgentLog(std::string("ThisIs_Plain_AutoUpdate_Exe=") + BoolText(plain));
  AgentLog(std::string("ThisIs_X_AutoUpdate_Exe=") + BoolText(transient));

  if (TopLevelWindowExists(g_instanceClass)) {
    DebugWriteLine(Pid() + " ==== another instance runs (" + g_instanceClass + ")");
  } else {
    RunMode mode = ChooseRunMode(in);
    DebugWriteLine(Pid() + " ==== run mode: " + RunModeName(mode));
    switch (mode) {
      case RunMode::PlainAgent:
        CreateAndRun_X_Exe();
        break;
      case RunMode::TransientAgent:
        RunTransientAgent(MainWindowFor(true));
        break;
      case RunMode::SetupRun:
        StubWin::WinMain(MainWindowFor(false));
        // Only the "Y_" copy inside the setup temp folder removes itself and the folder.
        if (DeletesItsFolderAfterSetup(in, Globals().setupFolder)) {
          AgentLog("DeleteMySelf");
          DeleteMySelf(true);
        }
        break;
      case RunMode::FirstLevelSpanned:
        RunSpannedCopy();
        break;
    }
  }
  if (plain) HandleParamOK(transientRunning);
  AgentLog("DoRunStubWin() --- End");
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RestrictDllSearch();  // before anything can load a library
  PreloadLibraries();
  InitDebugChannel();
  VersionLogHooks hooks;
  hooks.query = LogQuery;
  hooks.exception = LogException;
  SetVersionLogHooks(hooks);
  std::string commandLine = GetCommandLineA();
  std::string path = ExePath();
  DebugWriteLine(Pid() + " ==== STUB START ====> " + commandLine + "<");

  TGFileInfo ownPackage(path);
  g_ownPackage = &ownPackage;
  g_agentFlag = ownPackage.ThisIs_AutoUpdateProg() != 0;
  SetAgentLogEnabled(g_agentFlag && ownPackage.AgentLogOn());
  if (IsTransientAgent(g_agentFlag, path, ownPackage.GetAgentName())) SetAgentLogIndent(" X ");
  AgentLog("");
  AgentLog("");
  AgentLog("=== START === " + path);
  AgentLog("CommandLine=" + commandLine);
  AgentLog("Agent Version=" + OwnVersionText());
  DebugWriteLine(Pid() + " ==== ThisIs_AutoUpdateProg=" + BoolText(g_agentFlag));

  DoRunStubWin();

  g_ownPackage = nullptr;
  DebugWriteLine(Pid() + " ==== PeakMemory=" + IntToStr(int64_t(PeakPrivateBytes() / 1024)) + " KB");
  DebugWriteLine(Pid() + " ==== STUB END ====> " + commandLine + "<");
  DebugWriteLine();
  AgentLog("=== EXIT === " + path);
  AgentLog("");
  // Keep the build token referenced so that no linker drops it.
  return g_exitCode + (kBuildToken[0] == 0 ? 1 : 0);
}
