// The folders a setup unpacks into and the one per-user setting of the setup flow.
//
// The setup temp folder is named after the time of day of the setup file's date, so
// that a second start of the same file finds its old folder again. Two processes never
// share one: a process holds its folder through a lock file beside it, and a folder
// that is held by another process is skipped for a numbered neighbour.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// ---- decisions ------------------------------------------------------------------
// The low word of a packed DOS date-time (hours << 11 | minutes << 5 | seconds / 2),
// defined for any date, also before 1980 where the packed form has no date.
uint16_t DosTimeOfDay(int hour, int minute, int second);

inline constexpr int kSetupFolderAttempts = 100;
// tempDir ends with "\". Attempt 0 is "SETUP_" + time of day; attempt n adds "_" + n.
std::string SetupFolderName(const std::string& tempDir, uint16_t timeOfDay, int attempt);
// The lock file beside a setup folder; it exists only while a process holds the folder.
std::string SetupFolderLockName(const std::string& folder);
// The attempts in the order to try them: the one that holds preferredFolder first (the
// spanned copy restarts inside its folder), then 0, 1, 2, ...
std::vector<int> SetupFolderAttemptOrder(const std::string& tempDir, uint16_t timeOfDay,
                                         const std::string& preferredFolder);

struct DriveSpace {
  char letter = 0;  // upper case
  double free = 0;  // bytes; 0 when the drive could not be probed
};
// The drive to unpack on instead of the current temp drive: the probed drive with the
// most free space, when it has strictly more than the current drive itself (and more
// than any drive before it); otherwise the current drive.
char ChooseAlternativeDrive(char currentDrive, double currentFree, const std::vector<DriveSpace>& probed);
// drive + ":\TEMP", and "\TEMP" more when that folder exists already.
std::string AlternativeBaseName(char drive, bool tempFolderExists);
std::string AlternativeFolderName(const std::string& base, int64_t number);

inline constexpr char kSpanDiskKey[] = "HKEY_CURRENT_USER\\Software\\Dravonel\\Vabrix\\SpanDisk";
// Only the exact text "1" turns the force-prompt setting on.
inline bool IsForcePromptOn(const std::string& value) { return value == "1"; }

#ifdef _WIN32
// The setup temp folder of this process, taken on the first call: a leftover folder of
// the same name that no process holds is emptied first. "" only when no folder could be
// taken at all.
std::string SetupTempFolder();
// Removes the setup temp folder with its contents, only when this process took it;
// a later call of SetupTempFolder takes one again.
void RemoveSetupTempFolder();
// Gives the folder up without removing it, for a copy of this program that goes on
// working in it (the spanned run restarts from there).
void HandOverSetupTempFolder();

// True when a fixed drive with more room than the temp drive was found (once per process).
bool ChooseAlternativeTemp();
// A new folder on the chosen drive, made by this process; "" when none is chosen or
// none could be made.
std::string AlternativeTempFolder();
void RemoveAlternativeTemp();

bool ForcePromptSetting();
#endif
