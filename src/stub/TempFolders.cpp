#include "stub/TempFolders.h"

#include "util/Files.h"
#include "util/SeparatorLists.h"

uint16_t DosTimeOfDay(int hour, int minute, int second) {
  if (hour < 0 || hour > 23) hour = 0;
  if (minute < 0 || minute > 59) minute = 0;
  if (second < 0 || second > 59) second = 0;
  return uint16_t((hour << 11) | (minute << 5) | (second / 2));
}

std::string SetupFolderName(const std::string& tempDir, uint16_t timeOfDay, int attempt) {
  std::string name = tempDir + "SETUP_" + IntToStr(timeOfDay);
  if (attempt > 0) name += "_" + IntToStr(attempt);
  return name;
}

std::string SetupFolderLockName(const std::string& folder) { return NoTrailingBackslash(folder) + ".lock"; }

std::vector<int> SetupFolderAttemptOrder(const std::string& tempDir, uint16_t timeOfDay,
                                         const std::string& preferredFolder) {
  std::vector<int> order;
  std::string preferred = NoTrailingBackslash(preferredFolder);
  for (int i = 0; i < kSetupFolderAttempts && !preferred.empty(); ++i) {
    if (SameText(SetupFolderName(tempDir, timeOfDay, i), preferred)) {
      order.push_back(i);
      break;
    }
  }
  for (int i = 0; i < kSetupFolderAttempts; ++i)
    if (order.empty() || order.front() != i) order.push_back(i);
  return order;
}

char ChooseAlternativeDrive(char currentDrive, double currentFree, const std::vector<DriveSpace>& probed) {
  char best = currentDrive;
  double bestFree = currentFree > 0 ? currentFree : 0;
  for (const DriveSpace& d : probed) {
    if (d.letter == currentDrive) continue;  // its own room is the starting point
    if (d.free > bestFree) {
      best = d.letter;
      bestFree = d.free;
    }
  }
  return best;
}

std::string AlternativeBaseName(char drive, bool tempFolderExists) {
  std::string base = std::string(1, drive) + ":\\TEMP";
  if (tempFolderExists) base += "\\TEMP";
  return base;
}

std::string AlternativeFolderName(const std::string& base, int64_t number) { return base + "_" + IntToStr(number); }
