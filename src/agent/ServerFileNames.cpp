#include "agent/ServerFileNames.h"

#include "util/DebugLog.h"
#include "util/Files.h"
#include "util/SeparatorLists.h"

std::vector<std::string> AgentOwnFileNames(const std::string& agentName, const std::string& infoName,
                                           const std::string& originalName) {
  return {agentName, "X_" + agentName, infoName, originalName, AgentLogPathFor(agentName), "_DEL_ME_.BAT"};
}

bool IsPlainServerFileName(const std::string& name, const std::vector<std::string>& ownNames) {
  if (!IsPlainFileName(name)) return false;
  // "SETUPA~1.EXE" may be the short form of one of the agent's own long names.
  for (size_t i = 0; i + 1 < name.size(); ++i)
    if (name[i] == '~' && name[i + 1] >= '0' && name[i + 1] <= '9') return false;
  for (const std::string& own : ownNames)
    if (!own.empty() && SameText(name, own)) return false;
  return true;
}
