#include <windows.h>

#include "agent/AgentSettings.h"
#include "package/PackageReader.h"
#include "util/Files.h"
#include "util/PlatformHelpers.h"

namespace {

bool HoldsLineBreak(const std::string& s) { return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos; }

OverrideSwitches g_overrides;
SecondsFloor g_probeFloor;
TestModeState g_testMode;

}  // namespace

std::string IniFile::Read(const std::string& section, const std::string& key, const std::string& def) const {
  if (path_.empty()) return def;
  return ReadIniString(path_, section, key, def);
}

bool IniFile::Write(const std::string& section, const std::string& key, const std::string& value) {
  // A line break in a value would write further keys into the file.
  if (path_.empty() || HoldsLineBreak(section) || HoldsLineBreak(key) || HoldsLineBreak(value)) return false;
  return WriteIniString(path_, section, key, value);
}

std::string RegistryValues::Read(const std::string& section, const std::string& key, const std::string& def) const {
  return ReadRegistryString(section, key, def);
}

AgentFiles OwnAgentFiles(const TGFileInfo& ownPackage) {
  return AgentFilesIn(ExeDir(true), ownPackage.GetInfoFileName(), ownPackage.GetOriginalSettingsName());
}

// One clock for every agent time: whole seconds of the local time.
int64_t AgentNowSeconds() { return NowSeconds(); }

OverrideSwitches& AgentOverrides() { return g_overrides; }
SecondsFloor& ProbeSecondsFloor() { return g_probeFloor; }

bool IsTestMode(bool force) {
  return g_testMode.IsTestMode(force, GetTickCount(), DateText(), RegistryValues());
}

std::string GetTestModeLocation() { return g_testMode.Location(); }

bool ReplaceInfoFile(const std::string& downloadedTempPath, const std::string& infoFilePath) {
  if (downloadedTempPath.empty() || infoFilePath.empty() || downloadedTempPath == infoFilePath) return false;
  if (MoveFileExA(downloadedTempPath.c_str(), infoFilePath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  DeleteFileA(downloadedTempPath.c_str());
  return false;
}
