// What the agent's Win32 files share: trace lines with the process id, update-log
// lines, and the message boxes that speak with the texts of the original-settings
// file. Out of line on purpose: each of these would otherwise put its string work
// into every caller.
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <string>

#include "agent/AgentSettings.h"

void AgentTrace(const std::string& text);
// " ==== <what>-<n> ====", the step markers of the update cycle.
void AgentStep(const char* what, int n);
// Update-log and trace lines of a fixed head and a variable tail.
void AgentLogJoin(const char* head, const std::string& tail);
void AgentTraceJoin(const char* head, const std::string& tail);
const char* TrueFalse(bool b);

struct AgentBoxes {
  IniFile original;
  explicit AgentBoxes(const std::string& path) : original(path) {}
  void Error(uintptr_t owner, const std::string& text);
  void Attention(uintptr_t owner, const std::string& text);
  bool Ask(uintptr_t owner, const std::string& text);
  // The [AutoUpdate] text of key.
  std::string Text(const char* key) const;
};
#endif
