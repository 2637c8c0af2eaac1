#include "stub/RunMode.h"

#include "util/SeparatorLists.h"

const char* RunModeName(RunMode mode) {
  switch (mode) {
    case RunMode::PlainAgent: return "plain agent";
    case RunMode::TransientAgent: return "transient agent";
    case RunMode::FirstLevelSpanned: return "first-level spanned run";
    case RunMode::SetupRun: return "setup run";
  }
  return "";
}

std::string FileNameOf(const std::string& path) {
  size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string CutAtFirstDot(const std::string& name) { return name.substr(0, name.find('.')); }

std::string InstanceClassName(bool agentFlag, const std::string& programPath) {
  std::string name = agentFlag ? ".AutoUpdate." + CutAtFirstDot(FileNameOf(programPath)) : programPath;
  if (name.size() <= kMaxClassNameLength) return name;
  // Window classes compare without regard to case, so the hash does too.
  uint64_t h = 0xCBF29CE484222325ull;
  for (char c : UpperCase(name)) h = (h ^ uint8_t(c)) * 0x100000001B3ull;
  static const char kHex[] = "0123456789ABCDEF";
  std::string hashed = std::string(kDefaultInstanceClass) + ".";
  for (int i = 15; i >= 0; --i) hashed += kHex[(h >> (4 * i)) & 15];
  return hashed;
}

std::string TransientAgentClassName(const std::string& agentName) {
  return ".AutoUpdate.X_" + CutAtFirstDot(agentName);
}

bool IsPlainAgent(bool agentFlag, const std::string& programPath, const std::string& agentName) {
  return agentFlag && SameText(Trim(FileNameOf(programPath)), Trim(agentName));
}

bool IsTransientAgent(bool agentFlag, const std::string& programPath, const std::string& agentName) {
  return agentFlag && SameText(Trim(FileNameOf(programPath)), "X_" + Trim(agentName));
}

RunMode ChooseRunMode(const RunInputs& in) {
  if (IsPlainAgent(in.agentFlag, in.programPath, in.agentName)) return RunMode::PlainAgent;
  if (IsTransientAgent(in.agentFlag, in.programPath, in.agentName)) return RunMode::TransientAgent;
  if (in.spannedSet && in.spanLevel == 1) return RunMode::FirstLevelSpanned;
  return RunMode::SetupRun;
}

bool DeletesItsFolderAfterSetup(const RunInputs& in, const std::string& setupTempFolder) {
  if (in.spanLevel != 2 || !in.spannedSet || setupTempFolder.empty()) return false;
  if (!StartsWith("Y_", FileNameOf(in.programPath), true)) return false;
  std::string folder = in.programPath.substr(0, in.programPath.size() - FileNameOf(in.programPath).size());
  std::string temp = setupTempFolder;
  if (temp.back() != '\\' && temp.back() != '/') temp += '\\';
  return SameText(folder, temp);
}
