// When the agent probes and whether it acts on what it finds: the probe timing of a
// tick and the six tests that decide on an offered update. Pure functions of the
// settings, the clock and the fetch result.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "agent/AgentControl.h"
#include "agent/AgentSettings.h"

// ---- probe timing -------------------------------------------------------------------
inline constexpr int64_t kTestModeProbeSeconds = 5;
// 0 no probe, 1 probe, 2 probe and then no more timed probes in this run. A stored
// interval of 0 probes once per run, any negative one never by time; the force flag
// probes whatever the interval and is used up by the call.
int ShotTimeStatus(AgentVariables& vars, int64_t storedInterval, int64_t probeLast, int64_t now, bool testMode);

// ---- the decision ------------------------------------------------------------------------
enum DecisionCode : int {
  kNoInfoFile = 0,
  kNoOriginalVersion = 1,
  kTooEarly = 2,
  kNotNewer = 3,
  kNotValidForVersion = 4,
  kSizeMismatch = 5,
  kDecisionOk = 6,
};
// The reason texts, token i for code i.
extern const char* const kDecisionReasons;
std::string DecisionReason(int code);

bool IsReAskDue(const SettingsSource& original, int64_t now);
// "3,4,5" holds 4 but not 45; blanks are part of an entry; an empty list holds all.
bool IsValidForVersion(const std::string& validVersions, int64_t versionOriginal);

// The part of a name from the information file after its last "\" or "/".
std::string LastPathElement(const std::string& name);

// Where the size of the offered file is looked up. Only an absolute location (a drive
// path or a UNC path) is a folder; anything else is an address on the web.
bool IsFolderLocation(const std::string& location);
struct SizeQuery {
  int64_t expected = 0;
  std::string folderPath;  // location + "\" + name when the location is a folder
  std::string url;         // location + "/" + name otherwise (never in test mode)
};
SizeQuery DownloadSizeQuery(const SettingsSource& info, bool testMode, const std::string& testLocation);
// Within 99 bytes of the announced size; a negative announced size never matches.
bool SizeMatches(int64_t actual, int64_t expected);

// What the Win32 side finds for a size query.
class SizeLookup {
 public:
  virtual ~SizeLookup() = default;
  virtual int64_t FileSize(const std::string& path) = 0;  // -1 when missing
  virtual bool Online() = 0;
  virtual int64_t HttpSize(const std::string& url) = 0;   // -1 when unknown
};

struct Decision {
  int code = kNoInfoFile;
  std::string reason;
  std::vector<std::string> logLines;  // update-log lines of a failed size test
  bool Ok() const { return code == kDecisionOk; }
};
struct DecisionInputs {
  bool infoFetched = false;
  const SettingsSource& info;
  const SettingsSource& original;
  int64_t now = 0;
  bool checkNow = false;
  bool testMode = false;
  std::string testLocation;
  // A keyed agent fetched a file that its key does not verify: nothing of it counts.
  bool badSignature = false;
};
inline constexpr char kBadSignatureReason[] = "Bad signature";
Decision GetOkToPerformAU(const DecisionInputs& in, SizeLookup& sizes);

// ---- check question ------------------------------------------------------------------------
inline constexpr char kTestModeNote[] = "<P><P><T><B>PLEASE NOTE</B> - You are now running in <B>Test Mode</B>!";
// s22 + s23 (only when the source is a drive path) + s24 (+ the test-mode note), with
// PROG_NAME replaced.
std::string CheckQuestionText(const std::string& s22, const std::string& s23, const std::string& s24,
                              const std::string& where, bool testMode, const std::string& programName);
