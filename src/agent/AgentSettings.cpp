#include "agent/AgentSettings.h"

#include "agent/SignedInfo.h"
#include "util/Files.h"

#include <string_view>
#include <vector>

#include "util/SeparatorLists.h"

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view TrimmedView(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = char(x - 32);
    if (y >= 'a' && y <= 'z') y = char(y - 32);
    if (x != y) return false;
  }
  return true;
}

bool HasLineBreak(const std::string& s) { return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos; }

// One line of an INI text, classified the way the system's profile reader does.
struct IniLine {
  size_t begin = 0, end = 0;  // the line without its line break
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string_view name;   // section or key name
  std::string_view value;  // trimmed; only for keys
  bool hasValue = false;
};

std::vector<IniLine> SplitIni(const std::string& text) {
  std::vector<IniLine> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string::npos ? text.size() : nl;
    IniLine line;
    line.begin = pos;
    line.end = end;
    std::string_view body = TrimmedView(std::string_view(text).substr(pos, end - pos));
    if (!body.empty() && body[0] != ';') {
      size_t close = body[0] == '[' ? body.find(']') : std::string_view::npos;
      if (close != std::string_view::npos) {
        line.kind = IniLine::kSection;
        line.name = TrimmedView(body.substr(1, close - 1));
      } else {
        line.kind = IniLine::kKey;
        size_t eq = body.find('=');
        if (eq == std::string_view::npos) {
          line.name = body;
        } else {
          line.name = TrimmedView(body.substr(0, eq));
          line.value = TrimmedView(body.substr(eq + 1));
          line.hasValue = true;
        }
      }
    }
    lines.push_back(line);
    pos = nl == std::string::npos ? text.size() : nl + 1;
  }
  return lines;
}

// Index of the first section line of that name, or -1.
long FindSection(const std::vector<IniLine>& lines, std::string_view section) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].kind == IniLine::kSection && SameName(lines[i].name, section)) return long(i);
  return -1;
}

std::string Unquoted(std::string_view v) {
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) v = v.substr(1, v.size() - 2);
  return std::string(v);
}

// now - last compared without forming the difference in int64.
enum class Gap { kBehind, kAhead };
// When now >= last: kBehind with distance = now - last; else kAhead with last - now.
Gap Distance(int64_t now, int64_t last, uint64_t& distance) {
  if (now >= last) {
    distance = uint64_t(now) - uint64_t(last);
    return Gap::kBehind;
  }
  distance = uint64_t(last) - uint64_t(now);
  return Gap::kAhead;
}

bool ReadOverridable(const SettingsSource& info, const char* key, const OverrideSwitches& overrides, int index) {
  const uint8_t value = overrides.Get(index);
  if (value == OverrideSwitches::kNotOverridden) return ReadSettingYesNo(info, "NewSetup", key);
  return value == 1;
}

std::string PlainOrEmpty(std::string name) { return IsPlainFileName(name) ? name : std::string(); }

}  // namespace

// ---- INI text ------------------------------------------------------------------------

std::string IniText::Read(const std::string& section, const std::string& key, const std::string& def) const {
  const std::string_view wantSection = TrimmedView(section), wantKey = TrimmedView(key);
  if (wantSection.empty() || wantKey.empty()) return def;
  const std::vector<IniLine> lines = SplitIni(text_);
  long s = FindSection(lines, wantSection);
  if (s < 0) return def;
  for (size_t i = size_t(s) + 1; i < lines.size() && lines[i].kind != IniLine::kSection; ++i) {
    if (lines[i].kind != IniLine::kKey || !SameName(lines[i].name, wantKey)) continue;
    std::string value = Unquoted(lines[i].value);
    return value.empty() ? def : value;
  }
  return def;
}

bool IniText::Write(const std::string& section, const std::string& key, const std::string& value) {
  const std::string wantSection(TrimmedView(section)), wantKey(TrimmedView(key));
  if (wantSection.empty() || wantKey.empty() || HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
      wantSection.find(']') != std::string::npos || wantKey.find('=') != std::string::npos || wantKey[0] == '[' ||
      wantKey[0] == ';')
    return false;
  const std::string entry = wantKey + "=" + value;
  const std::vector<IniLine> lines = SplitIni(text_);
  long s = FindSection(lines, wantSection);
  if (s < 0) {
    if (!text_.empty() && text_.back() != '\n') text_ += "\r\n";
    text_ += "[" + wantSection + "]\r\n" + entry + "\r\n";
    return true;
  }
  size_t insertAt = lines[size_t(s)].end;  // after the last non-empty line of the section
  for (size_t i = size_t(s) + 1; i < lines.size() && lines[i].kind != IniLine::kSection; ++i) {
    if (lines[i].kind == IniLine::kKey && SameName(lines[i].name, wantKey)) {
      size_t end = lines[i].end;
      if (end > lines[i].begin && text_[end - 1] == '\r') --end;
      text_.replace(lines[i].begin, end - lines[i].begin, entry);
      return true;
    }
    if (lines[i].kind != IniLine::kOther || !TrimmedView(std::string_view(text_).substr(lines[i].begin, lines[i].end - lines[i].begin)).empty())
      insertAt = lines[i].end;
  }
  // insertAt is the end of a line (before its line break, or the end of the text).
  if (insertAt >= text_.size()) {
    if (!text_.empty() && text_.back() != '\n') text_ += "\r\n";
    text_ += entry + "\r\n";
  } else {
    text_.insert(insertAt + 1, entry + "\r\n");  // behind that line's "\n"
  }
  return true;
}

std::string ReadSettingString(const SettingsSource& source, const std::string& section, const std::string& key,
                              const std::string& def) {
  return source.Read(section, key, def);
}

int64_t ReadSettingInt(const SettingsSource& source, const std::string& section, const std::string& key, int64_t def) {
  return StrToInt64Def(source.Read(section, key, IntToStr(def)), def);
}

bool ReadSettingYesNo(const SettingsSource& source, const std::string& section, const std::string& key) {
  return source.Read(section, key, "0") == "1";
}

std::string ReadSettingString(const SettingsSource& source, const char* section, const char* key, const char* def) {
  return source.Read(section, key, def);
}

int64_t ReadSettingInt(const SettingsSource& source, const char* section, const char* key, int64_t def) {
  return ReadSettingInt(source, std::string(section), std::string(key), def);
}

bool ReadSettingYesNo(const SettingsSource& source, const char* section, const char* key) {
  return ReadSettingYesNo(source, std::string(section), std::string(key));
}

// ---- file names ----------------------------------------------------------------------


std::string FolderOfPath(const std::string& programPath) {
  size_t slash = programPath.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : programPath.substr(0, slash + 1);
}

AgentFiles AgentFilesIn(const std::string& folder, const std::string& infoName, const std::string& originalName) {
  AgentFiles files;
  files.folder = folder;
  if (!files.folder.empty() && files.folder.back() != '\\' && files.folder.back() != '/') files.folder += '\\';
  // Without a usable information file name there is no original-settings name either.
  if (!IsPlainFileName(infoName) || !IsPlainFileName(originalName)) return files;
  files.infoFile = files.folder + infoName;
  files.originalFile = files.folder + originalName;
  return files;
}

std::string InfoFileTempPath(const std::string& infoFilePath) {
  return infoFilePath.empty() ? std::string() : infoFilePath + ".tmp";
}

// ---- seconds values ----------------------------------------------------------------------

std::optional<int64_t> SecondsOf(const LocalDateTime& when, int millisecond) {
  int64_t seconds = 0;
  if (millisecond < 0 || millisecond > 999 || !SecondsFromDateTime(when, seconds)) return std::nullopt;
  return seconds + (millisecond >= 500 ? 1 : 0);
}

// Not DateTimeText: it takes -1 for "now", and -1 is a valid stored value here.
std::string ReadableSeconds(int64_t seconds) {
  LocalDateTime t;
  return DateTimeFromSeconds(seconds, t) ? DateTimeTextOf(" ", t) : std::string();
}

bool IsProbeDue(int64_t now, int64_t last, int64_t interval) {
  if (interval <= 0) return true;
  uint64_t distance = 0;
  if (Distance(now, last, distance) == Gap::kAhead) return distance > uint64_t(kFutureToleranceSeconds);
  return distance >= uint64_t(interval);
}

bool IsReAskDueAt(int64_t now, int64_t last, int64_t interval) {
  if (interval <= 0) return false;
  uint64_t distance = 0;
  if (Distance(now, last, distance) == Gap::kAhead) return distance > uint64_t(kFutureToleranceSeconds);
  return distance > uint64_t(interval);
}

// ---- override switches ----------------------------------------------------------------------

uint8_t OverrideSwitches::Get(int index) const {
  return index >= 0 && index < kCount ? values_[size_t(index)] : kNotOverridden;
}

bool OverrideSwitches::Set(int index, int64_t value) {
  if (index < 0 || index >= kCount || value < 0 || value > 255) return false;
  values_[size_t(index)] = uint8_t(value);
  return true;
}

std::string OverrideSwitches::ListText() const {
  std::string text = "|";
  for (uint8_t v : values_) text += IntToStr(v) + "|";
  return text;
}

void OverrideSwitches::SetFromText(const std::string& list) {
  for (int i = 0; i < kCount; ++i) {
    int64_t value = 0;
    if (TryParseInt64(Trim(SUB::Item(list, i, "")), value)) Set(i, value);
  }
}

// ---- information file ----------------------------------------------------------------------

std::string GetDownloadURL_UPDATE(const SettingsSource& info) {
  return ReadSettingString(info, "NewSetup", "DownloadURL_UPDATE");
}
std::string GetNameOfUpdateFile(const SettingsSource& info) {
  return PlainOrEmpty(ReadSettingString(info, "NewSetup", "NameOfUpdateFile"));
}
int64_t GetSizeOfUpdateFile(const SettingsSource& info) {
  return ReadSettingInt(info, "NewSetup", "SizeOfUpdateFile", 0);
}
bool GetRequestConfirmationBeforeDownload(const SettingsSource& info, const OverrideSwitches& o) {
  return ReadOverridable(info, "RequestConfirmationBeforeDownload", o, kOverrideConfirmDownload);
}
bool GetRequestConfirmationBeforeDownloadForce(const SettingsSource& info, const OverrideSwitches& o) {
  return ReadOverridable(info, "RequestConfirmationBeforeDownloadForce", o, kOverrideConfirmDownloadForce);
}
bool GetRequestConfirmationBeforeInstall(const SettingsSource& info, const OverrideSwitches& o) {
  return ReadOverridable(info, "RequestConfirmationBeforeInstall", o, kOverrideConfirmInstall);
}
bool GetRequestConfirmationBeforeInstallForce(const SettingsSource& info, const OverrideSwitches& o) {
  return ReadOverridable(info, "RequestConfirmationBeforeInstallForce", o, kOverrideConfirmInstallForce);
}
bool GetBackgroundUpdate(const SettingsSource& info, const OverrideSwitches& o) {
  return ReadOverridable(info, "BackgroundUpdate", o, kOverrideBackgroundUpdate);
}
std::string GetShutDownMethod(const SettingsSource& info) {
  return ReadSettingString(info, "NewSetup", "ShutDownMethod");
}
bool GetRestartProcess(const SettingsSource& info, const OverrideSwitches& o) {
  return ReadOverridable(info, "RestartProcess", o, kOverrideRestartProcess);
}
bool GetInformFinish(const SettingsSource& info, const OverrideSwitches& o) {
  return ReadOverridable(info, "InformFinish", o, kOverrideInformFinish);
}
std::string GetRunningProcess(const SettingsSource& info) {
  return ReadSettingString(info, "NewSetup", "RunningProcess");
}
std::string GetProgramName(const SettingsSource& info) { return ReadSettingString(info, "NewSetup", "ProgramName"); }
int64_t GetVersionNew(const SettingsSource& info) { return ReadSettingInt(info, "NewSetup", "VersionNew", 0); }
int64_t GetStamp(const SettingsSource& info) { return ReadSettingInt(info, "NewSetup", "Stamp", 0); }
std::string GetValidVersions(const SettingsSource& info) {
  return ReadSettingString(info, "NewSetup", "ValidVersions");
}
bool GetRemoveStartUpShortcut(const SettingsSource& info) {
  return ReadSettingYesNo(info, "NewSetup", "RemoveStartUpShortcut");
}
bool GetRemoveCheckForNewUpdateShortcut(const SettingsSource& info) {
  return ReadSettingYesNo(info, "NewSetup", "RemoveCheckForNewUpdateShortcut");
}

std::string GetDownloadURL_INFORM(const SettingsSource& info) {
  return ReadSettingString(info, "AutoInform", "DownloadURL_INFORM");
}
std::string GetNameOfInformFile(const SettingsSource& info) {
  return PlainOrEmpty(ReadSettingString(info, "AutoInform", "NameOfInformFile"));
}
int64_t GetSizeOfInformFile(const SettingsSource& info) {
  return ReadSettingInt(info, "AutoInform", "SizeOfInformFile", 0);
}
int64_t GetAutoInformW(const SettingsSource& info) { return ReadSettingInt(info, "AutoInform", "AutoInformW", 360); }
int64_t GetAutoInformH(const SettingsSource& info) { return ReadSettingInt(info, "AutoInform", "AutoInformH", 360); }
int64_t GetAutoInform(const SettingsSource& info) { return ReadSettingInt(info, "General", "AutoInform", 0); }

// ---- original-settings file ------------------------------------------------------------------

int64_t GetProbeSecondsInterval(const SettingsSource& o) {
  return ReadSettingInt(o, "OriginalSetup", "ProbeSecondsInterval", 0);
}
int64_t GetProbeSecondsLast(const SettingsSource& o, const SecondsFloor& floor) {
  return floor.Apply(ReadSettingInt(o, "OriginalSetup", "ProbeSecondsLast", 0));
}
int64_t GetReAskSecondsInterval(const SettingsSource& o) {
  return ReadSettingInt(o, "OriginalSetup", "ReAskSecondsInterval", 0);
}
int64_t GetReAskSecondsLast(const SettingsSource& o) {
  return ReadSettingInt(o, "OriginalSetup", "ReAskSecondsLast", 0);
}
int64_t GetVersionOriginal(const SettingsSource& o) { return ReadSettingInt(o, "OriginalSetup", "VersionOriginal", 0); }
int64_t GetOriginalStamp(const SettingsSource& o) { return ReadSettingInt(o, "OriginalSetup", "Stamp", 0); }
std::string GetOriginalProgramName(const SettingsSource& o) {
  return ReadSettingString(o, "OriginalSetup", "ProgramName");
}

namespace {
// [OriginalSetup] key = number; with readableKey also the number as a date text there.
// True when the number was written.
bool WriteOriginal(SettingsStore& o, const char* key, int64_t number, const char* readableKey = nullptr) {
  const std::string section = "OriginalSetup";
  const bool ok = o.Write(section, key, IntToStr(number));
  if (readableKey) o.Write(section, readableKey, ReadableSeconds(number));
  return ok;
}
}  // namespace

bool SetProbeSecondsInterval(SettingsStore& o, int64_t seconds) {
  return WriteOriginal(o, "ProbeSecondsInterval", seconds);
}
bool SetProbeSecondsLast(SettingsStore& o, int64_t seconds, SecondsFloor& floor) {
  floor.Set(seconds);
  return WriteOriginal(o, "ProbeSecondsLast", seconds, "__ProbeSecondsLast");
}
bool SetReAskSecondsInterval(SettingsStore& o, int64_t seconds) {
  return WriteOriginal(o, "ReAskSecondsInterval", seconds);
}
bool SetReAskSecondsLast(SettingsStore& o, int64_t seconds) {
  return WriteOriginal(o, "ReAskSecondsLast", seconds, "__ReAskSecondsLast");
}
bool SetVersionOriginal(SettingsStore& o, int64_t version) {
  return WriteOriginal(o, "VersionOriginal", version);
}
bool SetOriginalStamp(SettingsStore& o, int64_t stamp) { return WriteOriginal(o, "Stamp", stamp); }

std::string GetTargetDir(const SettingsSource& o) { return ReadSettingString(o, "Directories", "TargetDir"); }
std::string GetSharedDir(const SettingsSource& o) { return ReadSettingString(o, "Directories", "SharedDir"); }
std::string GetAuxiliaryDir(const SettingsSource& o) { return ReadSettingString(o, "Directories", "AuxiliaryDir"); }
std::string GetStartUpLink(const SettingsSource& o) { return ReadSettingString(o, "UnInstall", "StartUpLink"); }
std::string GetCheckforNewUpdateLink(const SettingsSource& o) {
  return ReadSettingString(o, "UnInstall", "CheckforNewUpdateLink");
}


std::string GetMsgBoxBtnText(const SettingsSource& o) {
  return ReadSettingString(o, "MsgBox", "BtnText", kDefaultButtonTexts);
}
std::string GetMsgBoxError(const SettingsSource& o) { return ReadSettingString(o, "MsgBox", "Error", "Error"); }
std::string GetMsgBoxConfirm(const SettingsSource& o) { return ReadSettingString(o, "MsgBox", "Confirm", "Confirm"); }
std::string GetMsgBoxAttention(const SettingsSource& o) {
  return ReadSettingString(o, "MsgBox", "Attention", "Attention");
}
int GetMsgBoxCharSet(const SettingsSource& o) {
  const int64_t v = ReadSettingInt(o, "MsgBox", "CharSet", 0);
  return v >= 0 && v <= 255 ? int(v) : 0;
}
std::string GetMsgBoxFontName(const SettingsSource& o) { return ReadSettingString(o, "MsgBox", "FontName", "Tahoma"); }
int GetMsgBoxFontSize(const SettingsSource& o) {
  const int64_t v = ReadSettingInt(o, "MsgBox", "FontSize", 8);
  return v >= 1 && v <= 255 ? int(v) : 8;
}

std::string AgentTextDefault(const std::string& key) {
  static const struct {
    const char* key;
    const char* text;
  } kTexts[] = {
      {"s3", "File Download Aborted!"},      {"s4", "File not Found!"},
      {"s5", "Unable to Download File!"},    {"s31", "Downloading INFO File..."},
      {"s32", "Downloading UPDATE File..."}, {"s33", "Downloading INFORM File..."},
      {"s34", "New Version"},                {"s35", "Download"},
  };
  for (const auto& t : kTexts)
    if (SameText(key, t.key)) return t.text;
  return "";
}

std::string GetAgentText(const SettingsSource& o, const std::string& key, const std::string& def) {
  // The vendor writes line breaks and tabs of the texts as "\n" and "\t".
  return ExpandEscapes(o.Read("AutoUpdate", key, def));
}

std::string GetAgentText(const SettingsSource& o, const std::string& key) {
  return GetAgentText(o, key, AgentTextDefault(key));
}

std::string ReplaceProgName(const std::string& text, const std::string& programName) {
  return ReplaceAll(text, "PROG_NAME", programName);
}

// ---- test mode ---------------------------------------------------------------------------

const char* const kTestModeKey = "HKEY_CURRENT_USER\\Software\\Dravonel\\Vabrix\\AutoUpdate";

bool TestModeOn(const std::string& testMode, const std::string& testModeDate, const std::string& today) {
  return testMode == "1" && !today.empty() && testModeDate == today;
}

bool TestModeState::IsTestMode(bool force, uint32_t tickMs, const std::string& today, const SettingsSource& registry,
                               const std::string& keyPath) {
  // Only a real read restarts the 30 s wait; callers asking every second must still see changes.
  if (force || !read_ || uint32_t(tickMs - lastReadTick_) > kTestModeRereadMs) {
    const std::string mode = registry.Read(keyPath, "TestMode", "0");
    const std::string date = registry.Read(keyPath, "TestModeDate", "");
    on_ = TestModeOn(mode, date, today);
    location_ = on_ ? registry.Read(keyPath, "TestModeURL", "") : std::string();
    read_ = true;
    lastReadTick_ = tickMs;
  }
  return on_;
}

// ---- digests of a signed information file ---------------------------------------------------

std::string GetSHA256OfUpdateFile(const SettingsSource& info) {
  return NormalizeSha256Hex(ReadSettingString(info, "NewSetup", "SHA256OfUpdateFile"));
}
std::string GetSHA256OfInformFile(const SettingsSource& info) {
  return NormalizeSha256Hex(ReadSettingString(info, "AutoInform", "SHA256OfInformFile"));
}
