// The running agent: its variables, its answers to the control message and its tick.
#include <windows.h>

#include "agent/AgentControl.h"
#include "dialogs/MessageBox.h"
#include "util/DebugLog.h"
#include "util/SeparatorLists.h"

namespace {

AgentVariables g_vars;
AgentFiles g_files;
bool g_filesKnown = false;

std::string Pid() { return IntToStr(GetCurrentProcessId()); }

}  // namespace

AgentVariables& AgentVars() { return g_vars; }

void SetAgentFiles(const AgentFiles& files) {
  g_files = files;
  g_filesKnown = true;
}

LRESULT AgentRequestMessage(WPARAM type, LPARAM value) {
  IniFile original(g_filesKnown ? g_files.originalFile : std::string());
  IniFile info(g_filesKnown ? g_files.infoFile : std::string());
  AgentRequestTarget target{g_vars, AgentOverrides(), original, info, ProbeSecondsFloor()};
  uint32_t result = HandleAgentRequest(target, uint32_t(type), uint32_t(value));
  if (type >= kRequestOverrideFirst && type <= kRequestOverrideLast)
    DebugWriteLine(Pid() + " overrides " + AgentOverrides().ListText());
  return LRESULT(result);
}

void OnAgentTimer(HWND) {
  TickStart tick = BeginAgentTick(g_vars);
  if (!tick.run) return;
  if (tick.justFetchInfo) {
    DebugWriteLine(Pid() + " -------------- JustDownloadInfoFile ---------------");
    DebugWriteLine(Pid() + " the information-file fetch is not part of this build");
    EndAgentTick(g_vars);
    return;
  }
  IniFile original(g_filesKnown ? g_files.originalFile : std::string());
  SetMsgBoxFont(GetMsgBoxFontName(original), GetMsgBoxFontSize(original), GetMsgBoxCharSet(original));
  if (tick.quit) {
    // Nothing else runs in this process's ticks once the end is asked for.
    DebugWriteLine(Pid() + " ==== the stop count has run out: the agent ends");
    PostQuitMessage(0);
    EndAgentTick(g_vars);
    return;
  }
  DebugWriteLine(Pid() + " AutoUpdateTimerCount=" + IntToStr(g_vars.tickCounter));
  if (tick.probeWindow) {
    IsTestMode(false);
    int status = g_vars.force ? 1 : 0;
    g_vars.force = false;
    if (status > 0) {
      DebugWriteLine(Pid() + " ShotTimeStatus=" + IntToStr(status));
      DebugWriteLine(Pid() + " ==== an update cycle was asked for: the cycle is not part of this build");
      AgentLog("An update cycle was asked for; the cycle is not part of this build");
    }
  }
  EndAgentTick(g_vars);
}
