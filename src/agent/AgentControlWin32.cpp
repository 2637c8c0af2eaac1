// The running agent: its variables, its answers to the control message and its tick.
#include <windows.h>

#include "agent/AgentControl.h"
#include "package/PackageReader.h"
#include "util/DebugLog.h"
#include "util/SeparatorLists.h"

namespace {

AgentVariables g_vars;
AgentHooks g_hooks;

std::string Pid() { return IntToStr(GetCurrentProcessId()); }

}  // namespace

AgentVariables& AgentVars() { return g_vars; }

void SetAgentHooks(const AgentHooks& hooks) { g_hooks = hooks; }
const AgentHooks& AgentHost() { return g_hooks; }

const TGFileInfo& OwnPackageForAgent() {
  // Without a package of its own the agent reads an empty one: every setting defaults.
  static const TGFileInfo empty{std::string()};
  return g_hooks.ownPackage ? *g_hooks.ownPackage : empty;
}

AgentFiles AgentFilesNow() { return g_hooks.ownPackage ? OwnAgentFiles(*g_hooks.ownPackage) : AgentFiles{}; }

LRESULT AgentRequestMessage(WPARAM type, LPARAM value) {
  AgentFiles files = AgentFilesNow();
  IniFile original(files.originalFile);
  IniFile info(files.infoFile);
  AgentRequestTarget target{g_vars, AgentOverrides(), original, info, ProbeSecondsFloor()};
  uint32_t result = HandleAgentRequest(target, uint32_t(type), uint32_t(value));
  if (type >= kRequestOverrideFirst && type <= kRequestOverrideLast)
    DebugWriteLine(Pid() + " overrides " + AgentOverrides().ListText());
  return LRESULT(result);
}
