// Auto-update agent settings: the information file, the original-settings file,
// the override switches, the registry test-mode values and the seconds clock.
//
// Every getter reads its source again (nothing of a file is cached) and never
// fails: a missing file, section or key, or an empty value, gives the default.
// The decisions here are pure; the Win32 layer supplies files, registry and clock.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "dialogs/MessageBox.h"
#include "util/SystemInfo.h"

// ---- where settings come from ---------------------------------------------------

// One INI file, or one registry root: answers (section, key, default).
class SettingsSource {
 public:
  virtual ~SettingsSource() = default;
  // The value, trimmed and unquoted; def when absent or empty.
  virtual std::string Read(const std::string& section, const std::string& key, const std::string& def) const = 0;
};

// A source that can also be written (the original-settings file).
class SettingsStore : public SettingsSource {
 public:
  // False when the value could not be stored (values never hold line breaks).
  virtual bool Write(const std::string& section, const std::string& key, const std::string& value) = 0;
};

// The bytes of an INI file, answered the way GetPrivateProfileStringA answers them:
// section and key names case-insensitive, blanks around names and values removed,
// the first section and the first key of a name win, matching quotes (' or ")
// around a whole value removed, ';' lines are comments, lines end with LF or CR LF.
class IniText : public SettingsStore {
 public:
  IniText() = default;
  explicit IniText(std::string text) : text_(std::move(text)) {}
  std::string Read(const std::string& section, const std::string& key, const std::string& def) const override;
  // Replaces the first key of that name in the first such section, or adds it.
  bool Write(const std::string& section, const std::string& key, const std::string& value) override;
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

// Typed reads over a source: a string; a signed 64-bit integer (non-numeric gives
// def); yes/no, which is true only for the text "1".
std::string ReadSettingString(const SettingsSource& source, const std::string& section, const std::string& key,
                              const std::string& def = "");
int64_t ReadSettingInt(const SettingsSource& source, const std::string& section, const std::string& key, int64_t def);
bool ReadSettingYesNo(const SettingsSource& source, const std::string& section, const std::string& key);
// The same for names and defaults written as literals: the strings are made once, in
// here, rather than at every call.
std::string ReadSettingString(const SettingsSource& source, const char* section, const char* key,
                              const char* def = "");
int64_t ReadSettingInt(const SettingsSource& source, const char* section, const char* key, int64_t def);
bool ReadSettingYesNo(const SettingsSource& source, const char* section, const char* key);

// ---- file names -----------------------------------------------------------------


// Both agent files lie in the agent's folder.
struct AgentFiles {
  std::string folder;        // with a trailing "\"
  std::string infoFile;      // full path; empty when the name is not a plain name
  std::string originalFile;  // full path; empty when the name is not a plain name
};
// The folder of a program path, up to and including its last "\" or "/" (empty: none).
std::string FolderOfPath(const std::string& programPath);
// Names as TGFileInfo::GetInfoFileName / GetOriginalSettingsName give them.
AgentFiles AgentFilesIn(const std::string& folder, const std::string& infoName, const std::string& originalName);
// The name a fetched information file is written to until the fetch has succeeded.
std::string InfoFileTempPath(const std::string& infoFilePath);

// ---- seconds values ---------------------------------------------------------------

// Built on the seconds values of util/SystemInfo.h (LocalDateTime, SecondsFromDateTime,
// DateTimeText, DateText).
// Seconds of a local date-time with its milliseconds rounded to the nearest second;
// nothing for a date or time that does not exist or a year outside 1..9999.
std::optional<int64_t> SecondsOf(const LocalDateTime& when, int millisecond = 0);
// "05-JAN-2004 17:03:09", the form of "__ProbeSecondsLast"; empty outside years 1..9999.
std::string ReadableSeconds(int64_t seconds);

// Probe timing: due when now - last >= interval. An interval of 0 or less is due at
// once (0 means one probe per run and -1 no timed probes; the caller decides those
// from the stored interval). A last value more than a day ahead of now (a clock set
// back, a bad file value) counts as due. No overflow for any int64 inputs.
bool IsProbeDue(int64_t now, int64_t last, int64_t interval);
// Re-ask timing: due when interval > 0 and now - last > interval; a last value more
// than a day ahead of now counts as due. No overflow for any int64 inputs.
bool IsReAskDueAt(int64_t now, int64_t last, int64_t interval);
constexpr int64_t kFutureToleranceSeconds = 86400;

// The last probe time this process wrote, kept so that a failed file write cannot
// make every tick look due.
class SecondsFloor {
 public:
  void Set(int64_t seconds) { value_ = seconds; }
  int64_t Apply(int64_t fileValue) const { return value_ && *value_ > fileValue ? *value_ : fileValue; }

 private:
  std::optional<int64_t> value_;
};

// ---- override switches --------------------------------------------------------------

enum OverrideIndex : int {
  kOverrideAskBeforeCheck = 0,
  kOverrideConfirmDownload = 1,       // RequestConfirmationBeforeDownload
  kOverrideConfirmInstall = 2,        // RequestConfirmationBeforeInstall
  kOverrideBackgroundUpdate = 3,      // BackgroundUpdate
  kOverrideInformFinish = 4,          // InformFinish
  kOverrideRestartProcess = 5,        // RestartProcess
  kOverrideConfirmDownloadForce = 6,  // RequestConfirmationBeforeDownloadForce
  kOverrideConfirmInstallForce = 7,   // RequestConfirmationBeforeInstallForce
};

class OverrideSwitches {
 public:
  static constexpr int kCount = 8;
  static constexpr uint8_t kNotOverridden = 255;
  // 255 for an index outside 0..7.
  uint8_t Get(int index) const;
  // False, and nothing changes, for an index outside 0..7 or a value outside 0..255.
  bool Set(int index, int64_t value);
  // "|255|255|255|255|255|255|255|255|".
  std::string ListText() const;
  // Tokens 0..7 of a separator list; a missing, non-numeric or out-of-range token
  // leaves its switch unchanged.
  void SetFromText(const std::string& list);

 private:
  std::array<uint8_t, kCount> values_{255, 255, 255, 255, 255, 255, 255, 255};
};

// ---- [NewSetup], [AutoInform], [General] of the information file ----------------------

std::string GetDownloadURL_UPDATE(const SettingsSource& info);
// Empty unless the value is a plain file name.
std::string GetNameOfUpdateFile(const SettingsSource& info);
int64_t GetSizeOfUpdateFile(const SettingsSource& info);
bool GetRequestConfirmationBeforeDownload(const SettingsSource& info, const OverrideSwitches& overrides);
bool GetRequestConfirmationBeforeDownloadForce(const SettingsSource& info, const OverrideSwitches& overrides);
bool GetRequestConfirmationBeforeInstall(const SettingsSource& info, const OverrideSwitches& overrides);
bool GetRequestConfirmationBeforeInstallForce(const SettingsSource& info, const OverrideSwitches& overrides);
bool GetBackgroundUpdate(const SettingsSource& info, const OverrideSwitches& overrides);
std::string GetShutDownMethod(const SettingsSource& info);
bool GetRestartProcess(const SettingsSource& info, const OverrideSwitches& overrides);
bool GetInformFinish(const SettingsSource& info, const OverrideSwitches& overrides);
std::string GetRunningProcess(const SettingsSource& info);
std::string GetProgramName(const SettingsSource& info);  // [NewSetup] ProgramName
int64_t GetVersionNew(const SettingsSource& info);
int64_t GetStamp(const SettingsSource& info);  // [NewSetup] Stamp
std::string GetValidVersions(const SettingsSource& info);
bool GetRemoveStartUpShortcut(const SettingsSource& info);
bool GetRemoveCheckForNewUpdateShortcut(const SettingsSource& info);

std::string GetDownloadURL_INFORM(const SettingsSource& info);
// Empty unless the value is a plain file name.
std::string GetNameOfInformFile(const SettingsSource& info);
int64_t GetSizeOfInformFile(const SettingsSource& info);
int64_t GetAutoInformW(const SettingsSource& info);
int64_t GetAutoInformH(const SettingsSource& info);

int64_t GetAutoInform(const SettingsSource& info);  // [General]; 1 = inform mode

// ---- the original-settings file ----------------------------------------------------------

int64_t GetProbeSecondsInterval(const SettingsSource& original);
// The file value, or the last value this process set when that is later.
int64_t GetProbeSecondsLast(const SettingsSource& original, const SecondsFloor& floor);
int64_t GetReAskSecondsInterval(const SettingsSource& original);
int64_t GetReAskSecondsLast(const SettingsSource& original);
int64_t GetVersionOriginal(const SettingsSource& original);
int64_t GetOriginalStamp(const SettingsSource& original);              // [OriginalSetup] Stamp
std::string GetOriginalProgramName(const SettingsSource& original);   // [OriginalSetup] ProgramName

bool SetProbeSecondsInterval(SettingsStore& original, int64_t seconds);
// Writes the number and "__ProbeSecondsLast"; remembers the number in floor even
// when the write fails. True when the number was written.
bool SetProbeSecondsLast(SettingsStore& original, int64_t seconds, SecondsFloor& floor);
bool SetReAskSecondsInterval(SettingsStore& original, int64_t seconds);
// Writes the number and "__ReAskSecondsLast". True when the number was written.
bool SetReAskSecondsLast(SettingsStore& original, int64_t seconds);
bool SetVersionOriginal(SettingsStore& original, int64_t version);
bool SetOriginalStamp(SettingsStore& original, int64_t stamp);

std::string GetTargetDir(const SettingsSource& original);
std::string GetSharedDir(const SettingsSource& original);
std::string GetAuxiliaryDir(const SettingsSource& original);
std::string GetStartUpLink(const SettingsSource& original);
std::string GetCheckforNewUpdateLink(const SettingsSource& original);

// [MsgBox]
// (kDefaultButtonTexts of the message box is the default button list)
std::string GetMsgBoxBtnText(const SettingsSource& original);
std::string GetMsgBoxError(const SettingsSource& original);
std::string GetMsgBoxConfirm(const SettingsSource& original);
std::string GetMsgBoxAttention(const SettingsSource& original);
int GetMsgBoxCharSet(const SettingsSource& original);  // 0..255, else 0
std::string GetMsgBoxFontName(const SettingsSource& original);
int GetMsgBoxFontSize(const SettingsSource& original);  // 1..255, else 8

// [AutoUpdate] texts s2..s35.
// The built-in text of a key (s3, s4, s5, s31..s35), else empty.
std::string AgentTextDefault(const std::string& key);
std::string GetAgentText(const SettingsSource& original, const std::string& key, const std::string& def);
std::string GetAgentText(const SettingsSource& original, const std::string& key);  // built-in default
// Every "PROG_NAME" (exact case) replaced by programName.
std::string ReplaceProgName(const std::string& text, const std::string& programName);

// ---- test mode ---------------------------------------------------------------------------

extern const char* const kTestModeKey;  // "HKEY_CURRENT_USER\Software\Dravonel\Vabrix\AutoUpdate"
constexpr uint32_t kTestModeRereadMs = 30000;

// Test mode is on when TestMode is "1" and TestModeDate is today's date text.
bool TestModeOn(const std::string& testMode, const std::string& testModeDate, const std::string& today);

// The stored test-mode flag and location, read again when forced, on the first call,
// or when more than 30 s (unsigned, wrap-safe ticks) have passed since the last read.
class TestModeState {
 public:
  // registry answers Read(registry key path, value name, default).
  bool IsTestMode(bool force, uint32_t tickMs, const std::string& today, const SettingsSource& registry,
                  const std::string& keyPath = kTestModeKey);
  bool On() const { return on_; }
  const std::string& Location() const { return location_; }  // TestModeURL while on, else empty

 private:
  bool read_ = false;
  uint32_t lastReadTick_ = 0;
  bool on_ = false;
  std::string location_;
};

// ---- Win32 layer (StubAUWin32.cpp) ------------------------------------------------------
#ifdef _WIN32
class TGFileInfo;

// An INI file through GetPrivateProfileStringA / WritePrivateProfileStringA.
class IniFile : public SettingsStore {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}
  std::string Read(const std::string& section, const std::string& key, const std::string& def) const override;
  bool Write(const std::string& section, const std::string& key, const std::string& value) override;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The registry: section is a key path ("HKEY_CURRENT_USER\..."), key a value name.
class RegistryValues : public SettingsSource {
 public:
  std::string Read(const std::string& section, const std::string& key, const std::string& def) const override;
};

// The agent files beside the running program, named by its package.
AgentFiles OwnAgentFiles(const TGFileInfo& ownPackage);

// Now as a seconds value, milliseconds rounded (NowSeconds of util/SystemInfo.h drops them).
int64_t AgentNowSeconds();

// This process's override switches, probe-time floor and test mode.
OverrideSwitches& AgentOverrides();
SecondsFloor& ProbeSecondsFloor();
bool IsTestMode(bool force);
std::string GetTestModeLocation();

// Moves a completely fetched information file over the old one (the old one stays
// when the move fails; the temporary file is then removed).
bool ReplaceInfoFile(const std::string& downloadedTempPath, const std::string& infoFilePath);
#endif

// ---- digests of a signed information file ---------------------------------------------------

// [NewSetup] SHA256OfUpdateFile and [AutoInform] SHA256OfInformFile: the SHA-256 of the
// file in hex, lower-cased; empty unless the value is 64 hex digits.
std::string GetSHA256OfUpdateFile(const SettingsSource& info);
std::string GetSHA256OfInformFile(const SettingsSource& info);
