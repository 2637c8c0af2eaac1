#include "stub/AgentStart.h"

#include <limits>

#include "stub/MainWindow.h"
#include "stub/RunMode.h"
#include "util/SeparatorLists.h"

namespace {

// A switch value as a message parameter: negative values never get here, larger ones
// than a message can carry are clamped rather than wrapped.
uint32_t MessageValue(int64_t v) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  return uint32_t(v > kMax ? kMax : v);
}

constexpr uint32_t kUpdateCycleRequest = 31;

}  // namespace

std::string TransientPathOf(const std::string& programPath) {
  std::string name = FileNameOf(programPath);
  return programPath.substr(0, programPath.size() - name.size()) + "X_" + name;
}

std::string TransientSwitches(const std::string& overrideList, const std::string& delay) {
  std::string s;
  if (!overrideList.empty()) s += " /TRANSIENTx=" + overrideList;
  if (!delay.empty()) s += " /SleepX=" + delay;
  return s;
}

bool ShouldCreateTransient(bool agentFlag, bool transientRunning, const std::string& zz,
                           const std::string& programPath, const std::string& agentName) {
  if (!agentFlag) return false;
  if (transientRunning && zz != "99") return false;
  return SameText(Trim(FileNameOf(programPath)), Trim(agentName));
}

ControlSwitches ControlSwitchesIn(const std::string& tail) {
  ControlSwitches s;
  s.stop = ParamIntIn(tail, "/STOP=", -1);
  s.listener = ParamValueIn(tail, "/WM_MSG=");
  s.test = ParamIntIn(tail, "/TEST=", -1);
  s.overrides = ParamValueIn(tail, "/TRANSIENTx=");
  return s;
}

ListenerSwitch ParseListenerSwitch(const std::string& value) {
  std::string list = ":" + value + ":";
  ListenerSwitch l;
  int64_t window = SUB::ItemInt(list, 0, 0);
  int64_t message = SUB::ItemInt(list, 1, 0);
  // Handles are 32-bit values in a 32-bit process; a message number is a UINT.
  if (window > 0 && window <= int64_t(std::numeric_limits<uint32_t>::max())) l.window = uint64_t(window);
  if (message > 0 && message <= int64_t(std::numeric_limits<uint32_t>::max())) l.message = uint32_t(message);
  return l;
}

std::vector<ControlPost> PlanControlPosts(const ControlSwitches& s, const std::string& transientPath,
                                          bool transientRunningAtStart) {
  std::vector<ControlPost> posts;
  if (s.stop >= 0)
    posts.push_back({kWmShutDown, MessageValue(s.stop), 0, "PostProcessMessage(wm_ShutDown) to: " + transientPath});
  if (!s.listener.empty()) {
    ListenerSwitch l = ParseListenerSwitch(s.listener);
    posts.push_back({kWmLocalMsg, uint32_t(l.window), l.message,
                     "PostProcessMessage(wm_LocalMsg) to: " + transientPath + " - :" + s.listener + ":"});
  }
  if (s.test >= 0) {
    posts.push_back({kWmAgentMsg, kUpdateCycleRequest, MessageValue(s.test),
                     "PostProcessMessage(wm_AgentMsg) to: " + transientPath + " - AU_PerformUpdateCycle (" +
                         IntToStr(s.test) + ")"});
    // A copy started just for this cycle ends two ticks after it.
    if (!transientRunningAtStart && s.test > 0)
      posts.push_back({kWmShutDown, 2, 0, "PostProcessMessage(wm_ShutDown) to: " + transientPath});
  }
  return posts;
}
