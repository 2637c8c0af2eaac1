// How the plain agent starts its transient copy and passes its control switches on:
// the copy's name and switches, and which control messages a command line asks for.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The program's folder + "X_" + its file name.
std::string TransientPathOf(const std::string& programPath);

// The switches the transient copy is started with: " /TRANSIENTx=" + the override list
// and " /SleepX=" + the delay, each when given (both when both are given).
std::string TransientSwitches(const std::string& overrideList, const std::string& delay);

// Whether the plain agent writes and starts a new transient copy: only an agent file
// named as its package's agent, and only when no copy runs unless forced ("99").
bool ShouldCreateTransient(bool agentFlag, bool transientRunning, const std::string& zz,
                           const std::string& programPath, const std::string& agentName);

struct ControlSwitches {
  int64_t stop = -1;       // /STOP=
  std::string listener;    // /WM_MSG=  window:message
  int64_t test = -1;       // /TEST=
  std::string overrides;   // /TRANSIENTx=
};
ControlSwitches ControlSwitchesIn(const std::string& paramsTail);

struct ListenerSwitch {
  uint64_t window = 0;
  uint32_t message = 0;
};
// "6699:49152" -> window 6699, message 49152; a missing, malformed or negative part,
// or one out of range, gives 0.
ListenerSwitch ParseListenerSwitch(const std::string& value);

struct ControlPost {
  uint32_t message = 0;
  uint32_t wParam = 0;
  uint32_t lParam = 0;
  std::string logLine;
};
// The messages a plain agent posts to its running transient copy, in order. A listener
// switch is planned as given; whether its window may be told is checked where windows
// can be seen.
std::vector<ControlPost> PlanControlPosts(const ControlSwitches& s, const std::string& transientPath,
                                          bool transientRunningAtStart);

#ifdef _WIN32
struct MainWindowSetup;

// Writes "X_" + the agent's name beside it and starts it, unless a copy runs.
void CreateAndRun_X_Exe();
// Posts /STOP=, /WM_MSG= and /TEST= to the running transient agent and takes
// /TRANSIENTx=; true when at least one message was posted.
bool HandleParamOK(bool transientRunningAtStart);
// The transient agent: its main window with the agent's tick, then self-deletion.
void RunTransientAgent(const MainWindowSetup& window);
#endif
