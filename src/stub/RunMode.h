// Which of its roles a started stub plays, decided from its package's flags, its own
// file name and /SpanCdLvl= only.
#pragma once
#include <cstdint>
#include <string>

enum class RunMode { PlainAgent, TransientAgent, FirstLevelSpanned, SetupRun };

const char* RunModeName(RunMode mode);

inline constexpr char kDefaultInstanceClass[] = "VabrixStub";
inline constexpr size_t kMaxClassNameLength = 255;  // RegisterClass takes no more

// The file name part of a path (after the last "\" or "/").
std::string FileNameOf(const std::string& path);
// The text before the first ".".
std::string CutAtFirstDot(const std::string& name);

// Agents: ".AutoUpdate." + the file name cut at its first "."; everything else: the
// full program path. A name too long for a window class becomes a stable hash of the
// path, so a setup in a deep folder still runs and still finds its twin.
std::string InstanceClassName(bool agentFlag, const std::string& programPath);
// The window class of the transient agent of an agent name.
std::string TransientAgentClassName(const std::string& agentName);

bool IsPlainAgent(bool agentFlag, const std::string& programPath, const std::string& agentName);
bool IsTransientAgent(bool agentFlag, const std::string& programPath, const std::string& agentName);

struct RunInputs {
  bool agentFlag = false;
  bool spannedSet = false;
  std::string programPath;
  std::string agentName;
  int64_t spanLevel = 1;  // /SpanCdLvl=, 1 when absent
};
RunMode ChooseRunMode(const RunInputs& in);

// A second-level spanned run removes itself and its folder at the end only when it
// really is the copy the first level made: the package is a spanned set, the file is
// the "Y_" copy and it lies directly in the setup temp folder. A user's own setup
// started with /SpanCdLvl=2 never deletes itself or its folder.
bool DeletesItsFolderAfterSetup(const RunInputs& in, const std::string& setupTempFolder);
