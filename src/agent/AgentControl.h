// The running agent's variables and what other programs may do to them: the typed
// requests of the control message, the listener registration and the steps of a tick
// that every tick takes before any probe.
#pragma once
#include <cstdint>
#include <string>

#include "agent/AgentSettings.h"

// Agent states as request 7 reports them.
enum AgentState : int { kAgentIdle = 0, kAgentFetchingInfo = 1, kAgentFetchingUpdate = 2, kAgentInstalling = 3 };

struct AgentVariables {
  bool busy = false;          // a tick is being handled
  bool shotsEnabled = true;   // timed probes allowed
  bool force = false;         // the next tick probes whatever the interval
  bool justFetchInfo = false; // the next tick only fetches the information file
  int mode = 0;               // 2 check-now requested, 1 check-now active, 0 normal
  int64_t tickCounter = -3;   // probes need a count above 0
  int64_t stopTicks = -1;     // ticks left before the agent quits; negative: never
  int state = kAgentIdle;
};

// Request types of the control message.
enum AgentRequest : uint32_t {
  kRequestVersionOriginal = 4,
  kRequestVersionNew = 5,
  kRequestState = 7,
  kRequestProbeInterval = 8,
  kRequestReAskInterval = 9,
  kRequestProbeLast = 10,
  kRequestReAskLast = 11,
  kRequestSetProbeInterval = 12,
  kRequestSetReAskInterval = 13,
  kRequestSetProbeLast = 14,
  kRequestSetReAskLast = 15,
  kRequestOverrideFirst = 20,  // 20..25 set override switches 0..5
  kRequestOverrideLast = 25,
  kRequestStopTicks = 30,
  kRequestUpdateCycle = 31,  // AU_PerformUpdateCycle
  kRequestJustFetchInfo = 32,
};

struct AgentRequestTarget {
  AgentVariables& vars;
  OverrideSwitches& overrides;
  SettingsStore& original;     // the original-settings file
  const SettingsSource& info;  // the information file
  SecondsFloor& probeFloor;
};

// Runs one request; the result is what the control message answers. Values read back
// are returned in their low 32 bits, so a Seconds value of today reads back whole
// (it lies below 2^32 until the year 2036). Intervals (12, 13) and the stop count take
// the value as signed, so -1 passes; points in time (14, 15) take it as unsigned.
uint32_t HandleAgentRequest(AgentRequestTarget& target, uint32_t type, uint32_t value);

// The stop count as a message carries it: signed, so -1 (never) passes.
inline int64_t StopTicksFromMessage(uint32_t value) { return int64_t(int32_t(value)); }

// A listener must be a window that exists and a message from WM_USER up (registered
// messages included): no one may make the agent post system messages to an arbitrary
// window. Window 0 clears the listener.
inline constexpr uint32_t kFirstListenerMessage = 0x400;
inline constexpr uint32_t kLastListenerMessage = 0xFFFF;
bool ListenerAccepted(uintptr_t window, uint32_t message, bool windowExists);

// The steps of a tick before any probe. Returns false when the tick must not run
// (another one is busy). quit: the stop count ran out at this tick.
struct TickStart {
  bool run = false;
  bool justFetchInfo = false;  // this tick only fetches the information file
  bool quit = false;
  bool probeWindow = false;    // the tick counter is above 0
};
TickStart BeginAgentTick(AgentVariables& vars);
// The end of every tick that ran.
void EndAgentTick(AgentVariables& vars);

#ifdef _WIN32
#include <windows.h>

class TGFileInfo;
class TProgBar;

// What the agent uses of the program around it: the own package and the main window.
struct AgentHooks {
  const TGFileInfo* ownPackage = nullptr;
  HWND (*mainWindow)() = nullptr;
  void (*notify)(int code, int value) = nullptr;  // the listener notifications
  void (*showWindow)(bool show) = nullptr;
  void (*setStatus)(const std::string& text, const std::string& fontName, int charset, int fontSize) = nullptr;
  TProgBar* (*progress)() = nullptr;
  // The progress callback of the main window (mode 0 sets the range, 1 advances).
  void (*progressCallback)(int mode, int reserved, int maximum, int text, int step, int position) = nullptr;
  // Runs the setup flow on a package in a setup temp folder of its own, removed
  // afterwards; true when the engine reported success.
  bool (*runSetup)(const std::string& package, const std::string& agentName, const std::string& extraSwitches,
                   bool foreground) = nullptr;
};
void SetAgentHooks(const AgentHooks& hooks);
const AgentHooks& AgentHost();
const TGFileInfo& OwnPackageForAgent();
// The information and original-settings files beside the running agent.
AgentFiles AgentFilesNow();

// This process's agent variables.
AgentVariables& AgentVars();
// The control message's request handler: its result is the message's result.
LRESULT AgentRequestMessage(WPARAM type, LPARAM value);

// The tick of timer 1 in an agent and the probe it fires.
void OnAgentTimer(HWND mainWindow);
void PerformShot();
void JustDownloadInfoFile();
// Asks the user before a check; a No sets status to 0.
void AskBeforeCheck(int& status);
// Fetches an agent file (1 the information file, 2 the update package, 3 the inform
// file) from location, a folder or the web; in test mode from the test-mode folder
// only. Packages and inform files must carry the own package's token.
bool DownloadFileAU(const std::string& location, const std::string& name, int kind, std::string& error);
// Whether the last fetch of the information file was refused for its signature.
bool InfoSignatureFailed();
// The update cycle and the inform path of a positive decision; actedUpon tells
// whether the offer counts as taken.
bool PerformAutoUpdate(bool& actedUpon);
bool PerformAutoInform(bool& actedUpon);
void ReStartAutoUpdateExe();
#endif
