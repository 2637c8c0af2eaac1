#include "agent/UpdateDecision.h"

#include "util/SeparatorLists.h"

const char* const kDecisionReasons =
    "|Error downloading .INFO file|Error reading .ORIGINAL file|Too early for retesting"
    "|New version is not higher then old version|\"Valid for version\" mismatch|Download file size error|OK|";

std::string DecisionReason(int code) { return SUB::Item(kDecisionReasons, code, ""); }

int ShotTimeStatus(AgentVariables& v, int64_t stored, int64_t last, int64_t now, bool testMode) {
  int status = 0;
  if (v.shotsEnabled || v.force) {
    int64_t interval = testMode ? kTestModeProbeSeconds : stored;
    if (IsProbeDue(now, last, interval)) status = 1;
    if (stored == 0 && status == 1) status = 2;
    // -1 is the documented "never"; any other negative value must not mean "every tick".
    if (stored < 0) status = 0;
    if (v.force) status = 1;
  }
  v.force = false;
  return status;
}

bool IsReAskDue(const SettingsSource& original, int64_t now) {
  return IsReAskDueAt(now, GetReAskSecondsLast(original), GetReAskSecondsInterval(original));
}

bool IsValidForVersion(const std::string& list, int64_t versionOriginal) {
  if (list.empty()) return true;
  return ("," + list + ",").find("," + IntToStr(versionOriginal) + ",") != std::string::npos;
}

bool IsFolderLocation(const std::string& location) {
  if (location.size() >= 2 && location[1] == ':' &&
      ((location[0] >= 'A' && location[0] <= 'Z') || (location[0] >= 'a' && location[0] <= 'z')))
    return true;
  return location.size() >= 2 && location[0] == '\\' && location[1] == '\\';
}

std::string LastPathElement(const std::string& name) {
  size_t cut = name.find_last_of("\\/");
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

SizeQuery DownloadSizeQuery(const SettingsSource& info, bool testMode, const std::string& testLocation) {
  SizeQuery q;
  std::string name = ReadSettingString(info, "NewSetup", "NameOfUpdateFile");
  q.expected = GetSizeOfUpdateFile(info);
  if (GetAutoInform(info) == 1) {
    name = ReadSettingString(info, "AutoInform", "NameOfInformFile");
    q.expected = GetSizeOfInformFile(info);
  }
  name = LastPathElement(name);
  // The inform file lies beside the update package, so both are sized there.
  std::string location = testMode ? testLocation : GetDownloadURL_UPDATE(info);
  if (name.empty() || location.empty()) return q;
  if (IsFolderLocation(location)) {
    q.folderPath = location + "\\" + name;
  } else if (!testMode) {
    q.url = location + "/" + name;
  }
  return q;
}

bool SizeMatches(int64_t actual, int64_t expected) {
  if (expected < 0 || actual < 0) return false;
  uint64_t diff = actual > expected ? uint64_t(actual) - uint64_t(expected) : uint64_t(expected) - uint64_t(actual);
  return diff < 100;
}

Decision GetOkToPerformAU(const DecisionInputs& in, SizeLookup& sizes) {
  Decision d;
  int code = kNoInfoFile;
  if (in.infoFetched && !in.badSignature) code = kNoOriginalVersion;
  const int64_t versionOriginal = GetVersionOriginal(in.original);
  if (code == kNoOriginalVersion && versionOriginal > 0) code = kTooEarly;
  if (code == kTooEarly &&
      (GetStamp(in.info) != GetOriginalStamp(in.original) || IsReAskDue(in.original, in.now) || in.checkNow))
    code = kNotNewer;
  if (code == kNotNewer && GetVersionNew(in.info) > versionOriginal) code = kNotValidForVersion;
  if (code == kNotValidForVersion && IsValidForVersion(GetValidVersions(in.info), versionOriginal))
    code = kSizeMismatch;
  if (code == kSizeMismatch) {
    SizeQuery q = DownloadSizeQuery(in.info, in.testMode, in.testLocation);
    int64_t actual = -1;
    std::string where = q.url;
    if (!q.folderPath.empty()) {
      where = q.folderPath;
      actual = sizes.FileSize(q.folderPath);
    }
    if (actual < 0 && !q.url.empty() && sizes.Online()) {
      where = q.url;
      actual = sizes.HttpSize(q.url);
    }
    if (SizeMatches(actual, q.expected)) {
      code = kDecisionOk;
    } else {
      d.logLines.push_back("  InfoSize=" + IntToStr(q.expected));
      d.logLines.push_back("  HttpSize=" + IntToStr(actual));
      d.logLines.push_back("  URL=" + where);
    }
  }
  d.code = code;
  d.reason = in.badSignature ? kBadSignatureReason : DecisionReason(code);
  return d;
}

std::string CheckQuestionText(const std::string& s22, const std::string& s23, const std::string& s24,
                              const std::string& where, bool testMode, const std::string& programName) {
  std::string text = s22;
  if (where.size() >= 2 && where[1] == ':') text += s23;
  text += s24;
  if (testMode) text += kTestModeNote;
  return ReplaceProgName(text, programName);
}
