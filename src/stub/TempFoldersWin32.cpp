#include <windows.h>

#include <string>
#include <vector>

#include "stub/StubState.h"
#include "stub/TempFolders.h"
#include "util/DebugLog.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/PlatformHelpers.h"
#include "util/SeparatorLists.h"
#include "util/WinHandle.h"

namespace {

constexpr int kNewFolderAttempts = 20;

// The time of day of the program file, from its local last-write time.
uint16_t OwnTimeOfDay() {
  WIN32_FILE_ATTRIBUTE_DATA a;
  FILETIME local;
  SYSTEMTIME t;
  if (!GetFileAttributesExA(ExePath().c_str(), GetFileExInfoStandard, &a) ||
      !FileTimeToLocalFileTime(&a.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &t))
    return 0;
  return DosTimeOfDay(t.wHour, t.wMinute, t.wSecond);
}

// The lock is opened without sharing and goes away with its last handle, also when
// the process ends without cleaning up.
WinHandle TakeLock(const std::string& folder) {
  return WinHandle(CreateFileA(SetupFolderLockName(folder).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

// A folder that this call creates itself, never one that was there before.
bool CreateNewFolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

}  // namespace

std::string SetupTempFolder() {
  StubGlobals& g = Globals();
  if (g.setupFolderTaken) return g.setupFolder;
  g.setupFolderTaken = true;
  std::string temp = TempDir(true);
  uint16_t timeOfDay = OwnTimeOfDay();
  for (int attempt : SetupFolderAttemptOrder(temp, timeOfDay, ExeDir(false))) {
    std::string folder = SetupFolderName(temp, timeOfDay, attempt);
    WinHandle lock = TakeLock(folder);
    if (!lock.ok()) continue;  // another process works in this folder
    // Nobody holds it: what is left there belongs to an earlier run of this file. A
    // file that cannot go (the running spanned copy itself) keeps the folder: it is
    // ours all the same.
    if (FolderExists(folder)) DeleteTree(folder, true);
    if (!FolderExists(folder) && !CreateNewFolder(folder)) continue;
    g.setupFolder = folder;
    g.setupFolderLock = std::move(lock);
    g.setupFolderOwned = true;
    return folder;
  }
  DebugWriteLine(" --- SetupTempFolder: no folder could be taken below " + temp);
  g.setupFolder.clear();
  return g.setupFolder;
}

void RemoveSetupTempFolder() {
  StubGlobals& g = Globals();
  if (!g.setupFolderOwned) return;
  DeleteTree(g.setupFolder, false);
  g.setupFolderLock.reset();
  g.setupFolderOwned = false;
  g.setupFolderTaken = false;  // an agent's next update takes a folder again
}

void HandOverSetupTempFolder() {
  StubGlobals& g = Globals();
  g.setupFolderLock.reset();
  g.setupFolderOwned = false;
}

bool ChooseAlternativeTemp() {
  StubGlobals& g = Globals();
  if (!g.alternativeBase.empty()) return true;
  std::vector<DriveSpace> probed;
  for (char letter : {'C', 'D', 'E'}) {
    std::string root = std::string(1, letter) + ":\\";
    if (GetDriveTypeA(root.c_str()) != DRIVE_FIXED) continue;
    DriveSpace space{letter, 0};
    std::string probe = root + "TEMP";
    bool created = CreateNewFolder(probe);
    for (int i = 0; !created && i < kNewFolderAttempts && FolderExists(root + "TEMP"); ++i) {
      probe = root + "TEMP\\TEMP" + RandomText(10000, 100000);
      created = CreateNewFolder(probe);
    }
    if (created) {
      std::string file = probe + "\\~aa.tmp";
      if (WriteFileText(file, "aa") && FileExists(file)) space.free = DiskFree(probe);
      DeleteTree(probe, false);
    }
    probed.push_back(space);
  }
  std::string temp = TempDir(true);
  char current = DriveLetterOf(temp);
  char best = ChooseAlternativeDrive(current, DiskFree(temp), probed);
  if (best != 0 && best != current) g.alternativeBase = AlternativeBaseName(best, FolderExists(std::string(1, best) + ":\\TEMP"));
  DebugWriteLine(" ---- ChooseAlternativeTemp: " + (g.alternativeBase.empty() ? std::string("none") : g.alternativeBase));
  return !g.alternativeBase.empty();
}

std::string AlternativeTempFolder() {
  StubGlobals& g = Globals();
  if (g.alternativeBase.empty()) return "";
  if (g.alternativeFolderOwned) return g.alternativeFolder;
  for (int i = 0; i < kNewFolderAttempts; ++i) {
    std::string folder = AlternativeFolderName(g.alternativeBase, RandomBetween(10000, 100000));
    if (CreateNewFolder(folder)) {
      g.alternativeFolder = folder;
      g.alternativeFolderOwned = true;
      return folder;
    }
  }
  return "";
}

void RemoveAlternativeTemp() {
  StubGlobals& g = Globals();
  if (!g.alternativeFolderOwned) return;
  DeleteTree(g.alternativeFolder, false);
  g.alternativeFolderOwned = false;
}

bool ForcePromptSetting() { return IsForcePromptOn(ReadRegistryString(kSpanDiskKey, "ForcePrompt", "0")); }
