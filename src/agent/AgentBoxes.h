// What the agent's Win32 files share: trace lines with the process id, and the
// message boxes that speak with the texts of the original-settings file.
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <string>

#include "agent/AgentSettings.h"
#include "dialogs/MessageBox.h"
#include "util/DebugLog.h"
#include "util/SeparatorLists.h"

inline void AgentTrace(const std::string& text) { DebugWriteLine(IntToStr(GetCurrentProcessId()) + text); }
inline const char* TrueFalse(bool b) { return b ? "TRUE" : "FALSE"; }

struct AgentBoxes {
  IniFile original;
  explicit AgentBoxes(const std::string& path) : original(path) {}
  int Charset() const { return GetMsgBoxCharSet(original); }
  void Error(uintptr_t owner, const std::string& text) {
    ShowError(owner, text, GetMsgBoxError(original), Charset(), GetMsgBoxBtnText(original));
  }
  void Attention(uintptr_t owner, const std::string& text) {
    ShowAttention(owner, text, GetMsgBoxAttention(original), 0, Charset(), GetMsgBoxBtnText(original));
  }
  bool Ask(uintptr_t owner, const std::string& text) {
    return AskYesNo(owner, text, GetMsgBoxConfirm(original), 0, Charset(), GetMsgBoxBtnText(original));
  }
};
#endif
