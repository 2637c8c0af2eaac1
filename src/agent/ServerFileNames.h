// File names that a vendor's information file hands the agent (the update package,
// the inform file): only plain names in the agent's folder that are not the agent's
// own files.
#pragma once

#include <string>
#include <vector>

// The agent's own files beside it: the agent, its transient "X_" copy, the
// information file, the original-settings file, the update log and the
// self-deletion batch.
std::vector<std::string> AgentOwnFileNames(const std::string& agentName, const std::string& infoName,
                                           const std::string& originalName);

// A plain file name (no "\" "/" ":" or other reserved character, no control
// character, not "." or "..", no trailing dot or blank, no device name such as CON or
// COM1 with or without an extension, no "~" + digit short-name form that could alias
// a longer name) that is none of ownNames (compared without regard to case).
bool IsPlainServerFileName(const std::string& name, const std::vector<std::string>& ownNames);
