// The agent's fetches of its files, the update cycle from the download question to
// the restart, and the inform path.
#include <windows.h>

#include "agent/AgentBoxes.h"
#include "agent/AgentControl.h"
#include "agent/AgentSettings.h"
#include "agent/ServerFileNames.h"
#include "agent/SignedInfo.h"
#include "agent/UpdateCycle.h"
#include "agent/UpdateDecision.h"
#include "dialogs/InformDialog.h"
#include "folders/Placeholders.h"
#include "net/HttpDownload.h"
#include "package/PackageReader.h"
#include "process/ProcessList.h"
#include "process/ProcessWindows.h"
#include "util/Cng.h"
#include "dialogs/MessageBox.h"
#include "util/DebugLog.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/PlatformHelpers.h"
#include "util/SeparatorLists.h"
#include "util/WinHandle.h"

void AgentTrace(const std::string& text) { DebugWriteLine(IntToStr(GetCurrentProcessId()) + text); }
void AgentStep(const char* what, int n) {
  AgentTrace(std::string(" ==== ") + what + "-" + IntToStr(n) + " ====");
}
void AgentLogJoin(const char* head, const std::string& tail) { AgentLog(head + tail); }
void AgentTraceJoin(const char* head, const std::string& tail) { AgentTrace(head + tail); }
const char* TrueFalse(bool b) { return b ? "TRUE" : "FALSE"; }

void AgentBoxes::Error(uintptr_t owner, const std::string& text) {
  ShowError(owner, text, GetMsgBoxError(original), GetMsgBoxCharSet(original), GetMsgBoxBtnText(original));
}
void AgentBoxes::Attention(uintptr_t owner, const std::string& text) {
  ShowAttention(owner, text, GetMsgBoxAttention(original), 0, GetMsgBoxCharSet(original), GetMsgBoxBtnText(original));
}
bool AgentBoxes::Ask(uintptr_t owner, const std::string& text) {
  return AskYesNo(owner, text, GetMsgBoxConfirm(original), 0, GetMsgBoxCharSet(original), GetMsgBoxBtnText(original));
}
std::string AgentBoxes::Text(const char* key) const { return GetAgentText(original, key); }

namespace {

constexpr int kFolderCopySteps = 10;
constexpr uint32_t kFolderCopyStepMs = 300;
constexpr char kBadSignatureText[] = "Bad Signature!";

bool g_infoSignatureFailed = false;
bool g_unsignedNoted = false;

// The vendor's key that the agent's own package pins.
struct ChannelKey {
  PinnedKey state = PinnedKey::None;
  P256PublicKey point{};
};
ChannelKey OwnChannelKey() {
  ChannelKey k;
  std::string point;
  k.state = ParsePinnedKey(OwnPackageForAgent().GetUpdateKey(), point);
  for (size_t i = 0; i < point.size() && i < k.point.size(); ++i) k.point[i] = uint8_t(point[i]);
  return k;
}

// "" when a keyed agent may use the information file; else why not. An agent without
// a key takes it as it is (and says once that its channel is unsigned).
std::string InfoSignatureRefusal(const std::string& content, const ChannelKey& key) {
  if (key.state == PinnedKey::None) {
    if (!g_unsignedNoted) AgentLog("The update channel is unsigned: the agent's package carries no key");
    g_unsignedNoted = true;
    return "";
  }
  if (key.state == PinnedKey::Malformed) return "the agent's package carries a key that is not a P-256 key";
  SignedInfoParts parts;
  SignedInfoError split = SplitSignedInfo(content, parts);
  if (split != SignedInfoError::None) return SignedInfoErrorText(split);
  Sha256Digest digest{};
  P256Signature signature{};
  for (size_t i = 0; i < signature.size() && i < parts.signature.size(); ++i) signature[i] = uint8_t(parts.signature[i]);
  if (!Sha256OfText(parts.signedBytes, digest)) return "signatures cannot be checked on this system";
  switch (VerifyP256Signature(key.point, digest, signature)) {
    case SignatureCheck::Valid:
      return "";
    case SignatureCheck::Unavailable:
      return "signatures cannot be checked on this system";
    case SignatureCheck::Invalid:
      break;
  }
  return "the signature does not match the vendor's key";
}

// A keyed agent installs or shows only the file whose digest the signed information
// file names.
// madeOnTheWay: the digest the download made of the same bytes ("" for a folder copy).
bool HasSignedDigest(const std::string& local, const std::string& madeOnTheWay, const std::string& signedHex) {
  if (!madeOnTheWay.empty()) return DigestMatches(signedHex, madeOnTheWay);
  Sha256Digest digest{};
  std::string error;
  if (!Sha256OfFile(local, digest, error)) {
    AgentLogJoin(" --- ", error);
    return false;
  }
  return DigestMatches(signedHex, std::string(digest.begin(), digest.end()));
}

void Notify(int code, int value) {
  const AgentHooks& host = AgentHost();
  if (host.notify) host.notify(code, value);
}

void Progress(int mode, int position) {
  const AgentHooks& host = AgentHost();
  if (host.progressCallback) host.progressCallback(mode, 0, kFolderCopySteps, 0, 1, position);
}

std::vector<std::string> OwnNames() {
  const TGFileInfo& own = OwnPackageForAgent();
  return AgentOwnFileNames(own.GetAgentName(), own.GetInfoFileName(), own.GetOriginalSettingsName());
}

void SetAgentStatus(const IniFile& original, const char* key) {
  const AgentHooks& host = AgentHost();
  if (host.setStatus)
    host.setStatus(GetAgentText(original, key), GetMsgBoxFontName(original), GetMsgBoxCharSet(original),
                   GetMsgBoxFontSize(original));
}

// The information file: the agent's copy is replaced only by a whole file.
bool FetchInfoFile(const std::string& location, const std::string& name, bool testMode, std::string& error) {
  const AgentHooks& host = AgentHost();
  std::string path = location + "\\" + name;
  AgentTraceJoin(" DownloadFileAU: ", path);
  AgentLog(std::string("TestMode=") + TrueFalse(testMode));
  AgentLogJoin("Download START: ", path);

  AgentFiles files = AgentFilesNow();
  SetAgentStatus(IniFile(files.originalFile), "s31");

  std::string content;
  bool fetched = false;
  if (IsFolderLocation(location) && FileExistsQuietly(path)) {
    content = ReadFileRange(path, int64_t(kMemoryDownloadCap) + 1);
    if (content.size() > kMemoryDownloadCap) {
      content.clear();
      error = path + " --- the file is too large";
    }
    fetched = true;
  } else if (!testMode) {
    std::string connectionError;
    if (HTTP_IsConnected(connectionError)) {
      WaitPumping(0, 500);
      path = location + "/" + name;
      SetAbortFlag(false);
      HWND owner = AgentVars().mode == 1 && host.mainWindow ? host.mainWindow() : nullptr;
      HTTP_DownloadFile_Incremental(owner, path, std::string(), content, host.progress ? host.progress() : nullptr,
                                    error);
      WaitPumping(0, 500);
      fetched = true;
    }
  }
  AgentLogJoin("Download END:   ", path);
  if (error.empty() && !content.empty()) GetHtmlErrorPageText("", content, path, "", false, error);
  bool ok = fetched && error.empty() && !content.empty();
  g_infoSignatureFailed = false;
  if (ok) {
    std::string refusal = InfoSignatureRefusal(content, OwnChannelKey());
    if (!refusal.empty()) {
      // Nothing of an unverified file is kept or read: the last good copy stays.
      AgentLogJoin("ERROR: ", std::string(kBadSignatureReason) + " (" + refusal + "): " + path);
      g_infoSignatureFailed = true;
      error = std::string(kBadSignatureReason) + "<P><P>" + path;
      ok = false;
    }
  }
  if (ok && !files.infoFile.empty()) {
    std::string temp = InfoFileTempPath(files.infoFile);
    if (!WriteFileText(temp, content) || !ReplaceInfoFile(temp, files.infoFile)) {
      DeleteFileA(temp.c_str());
      AgentLogJoin(" --- the information file cannot be written: ", files.infoFile);
      ok = false;
    }
  }
  if (!error.empty() && error[0] == '3') error.clear();
  return ok;
}

// A folder source is copied beside the agent under a temporary name first, so that
// only a whole copy ever carries the file's name.
void CopyFromFolder(const std::string& source, const std::string& local) {
  std::string temp = local + ".part";
  if (CopyFileA(source.c_str(), temp.c_str(), FALSE) &&
      MoveFileExA(temp.c_str(), local.c_str(), MOVEFILE_REPLACE_EXISTING))
    return;
  AgentLogJoin(" --- ", source + " cannot be copied: " + LastErrorText());
  DeleteFileA(temp.c_str());
}

// Whether the fetched file belongs to the running product: an update package carries
// the same token in its header, an inform file in its first line.
bool CarriesOwnToken(int kind, const std::string& local) {
  const std::string ours = OwnPackageForAgent().GetPackageToken(false);
  if (kind == kUpdatePackageKind) {
    TGFileInfo package(local);
    return TokensMatch(package.GetPackageToken(false), ours);
  }
  std::string text = ReadFileRange(local, int64_t(kMemoryDownloadCap) + 1);
  return text.size() <= kMemoryDownloadCap && TokensMatch(ParseInfoLine(text).scrambled, ours);
}

// An update package or an inform file, into the agent's folder.
bool FetchProductFile(const std::string& location, const std::string& name, int kind, bool testMode,
                      std::string& error) {
  const AgentHooks& host = AgentHost();
  AgentFiles files = AgentFilesNow();
  AgentBoxes boxes(files.originalFile);
  IniFile info(files.infoFile);
  std::string path = location + "\\" + name;
  AgentTraceJoin(" DownloadFileAU: ", path);
  AgentLog(std::string("TestMode=") + TrueFalse(testMode));
  AgentLogJoin("Download START: ", path);

  const bool confirm = GetRequestConfirmationBeforeDownload(info, AgentOverrides());
  const bool show = kind == kUpdatePackageKind && confirm && AgentVars().mode != 1;
  if (show && host.showWindow) host.showWindow(true);
  SetAgentStatus(boxes.original, kind == kUpdatePackageKind ? "s32" : "s33");

  // Only what this fetch brings is ever installed or shown: a file of an earlier
  // attempt goes first.
  std::string local = files.folder + name;
  std::string digest;  // of a web download, made while it came
  DeleteFileA(local.c_str());
  if (FileExistsQuietly(local)) {
    AgentLogJoin("ERROR: an earlier ", local + " cannot be removed: " + LastErrorText());
    if (show && host.showWindow) host.showWindow(false);
    return false;
  }
  if (IsFolderLocation(location) && FileExistsQuietly(path)) {
    CopyFromFolder(path, local);
    if (show) {
      Progress(0, 0);
      for (int i = 1; i <= kFolderCopySteps; ++i) {
        Progress(1, i);
        WaitPumping(0, kFolderCopyStepMs);
      }
      Progress(0, 0);
    }
  } else if (!testMode) {
    std::string connectionError;
    if (HTTP_IsConnected(connectionError)) {
      WaitPumping(0, 500);
      path = location + "/" + name;
      SetAbortFlag(false);
      HWND owner = AgentVars().mode == 1 && host.mainWindow ? host.mainWindow() : nullptr;
      HTTP_DownloadFile_Hashed(owner, path, local, host.progress ? host.progress() : nullptr, digest, error);
      WaitPumping(0, 500);
    }
  }
  if (show && host.showWindow) host.showWindow(false);
  AgentLogJoin("Download END:   ", path);

  bool ok = false;
  if (error.empty()) {
    ok = CarriesOwnToken(kind, local);
    if (!ok) {
      std::string text;
      GetHtmlErrorPageText(local, "", path, "Bad Secret Token!", false, text);
      DeleteFileA(local.c_str());
      AgentLogJoin("ERROR: ", text);
      boxes.Error(0, text);
    } else if (OwnChannelKey().state != PinnedKey::None &&
               !HasSignedDigest(local, digest, kind == kUpdatePackageKind ? GetSHA256OfUpdateFile(info)
                                                                           : GetSHA256OfInformFile(info))) {
      ok = false;
      DeleteFileA(local.c_str());
      AgentLogJoin("ERROR: the SHA-256 of ", local + " is not the one the vendor signed: " + path);
      boxes.Error(0, std::string(kBadSignatureText) + "<P><P>" + path);
    }
  } else {
    AgentLogJoin(" --- ", error);
    if (AnnounceDownloadFailure(path, confirm)) {
      IniFile& o = boxes.original;
      std::string text =
          DownloadFailureText(path, AbortFlag(), GetAgentText(o, "s3"), GetAgentText(o, "s4"), GetAgentText(o, "s5"));
      AgentLogJoin("ATTENTION: ", text);
      boxes.Attention(0, text);
    }
  }
  return ok;
}

// ---- shutting the application down ------------------------------------------------

std::string ExpandedFolder(const std::string& folder) {
  return NoTrailingBackslash(ExpandPlaceholders(folder, "\\", true, true));
}

// A program is running only when a process of the caller's session runs that very
// file; "cannot tell" counts as running for the waits.
bool Runs(const std::string& program) { return LookUpProcess(program, true, true).state == ProcessState::Running; }
bool MayRun(const std::string& program) {
  return LookUpProcess(program, true, true).state != ProcessState::NotRunning;
}

void WaitForEnd(const std::string& program, uint32_t ms) {
  const DWORD start = GetTickCount();
  while (MayRun(program) && TicksSince(start, GetTickCount()) < ms) WaitPumping(0, 100);
}

struct ShutDown {
  std::string program;  // empty: nothing of the product to shut down
  bool wasRunning = false;
  bool gaveUp = false;  // the user never closed it
};

ShutDown ShutDownRunningApplication(const IniFile& original, const IniFile& info, AgentBoxes& boxes) {
  ShutDown s;
  SetInstallFolders("", "", "");  // the folders themselves are expanded without the old ones
  ProductFolders folders{ExpandedFolder(GetTargetDir(original)), ExpandedFolder(GetSharedDir(original)),
                         ExpandedFolder(GetAuxiliaryDir(original))};
  SetInstallFolders(folders.target, folders.shared, folders.auxiliary);
  std::string program = ExpandPlaceholders(GetRunningProcess(info), "\\", true, true);
  std::string method = GetShutDownMethod(info);
  ShutDownMethod how = ShutDownMethodOf(method);
  if (!program.empty() && !RunningProcessAccepted(program, folders)) {
    AgentLog("ERROR: RunningProcess outside the product's folders, treated as \"Don't Shut Down\": " + program);
    program.clear();
  }
  if (program.empty()) how = ShutDownMethod::DontShutDown;
  s.program = program;
  s.wasRunning = !program.empty() && Runs(program);
  AgentLogJoin("Shut Down Process() - START  (", program + ")  Method: " + method);

  if (how == ShutDownMethod::MessageBox) {
    std::string text = ReplaceProgName(boxes.Text("s15"), LastPathElement(program));
    AgentTraceJoin(" s1=", text + "<");
    for (int asked = 0; Runs(program); ++asked) {
      if (asked == kMaxCloseRequests) {
        s.gaveUp = true;
        break;
      }
      boxes.Attention(0, text);
    }
  }
  AgentStep("PerformAutoUpdate", 8);
  if (!s.gaveUp) {
    if (how == ShutDownMethod::Close) CloseProcessWindows(program, true, 0);
    if (how == ShutDownMethod::Quit) QuitProcessWindows(program, true);
    if (how == ShutDownMethod::Terminate) KillProcess(program, true);
    // A program asked to close may save its work first; otherwise the end is near.
    bool asked = how == ShutDownMethod::Close || how == ShutDownMethod::Quit || how == ShutDownMethod::Terminate;
    if (how != ShutDownMethod::DontShutDown && !program.empty()) WaitForEnd(program, asked ? kShutDownWaitMs : 1000);
  }
  AgentStep("PerformAutoUpdate", 9);
  if (s.gaveUp)
    AgentLogJoin("ERROR: the program still runs after ", IntToStr(kMaxCloseRequests) + " requests to close it: " +
             program);
  AgentLog("Shut Down Process() - END");
  return s;
}

// The program is started again as the file that ran, with no arguments of anyone's.
void StartProgram(const std::string& program) {
  std::string line = "\"" + program + "\"";
  std::string folder = NoTrailingBackslash(FolderOfPath(program));
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION pi{};
  if (CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                     folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    AgentLogJoin("Restart: ", program);
  } else {
    AgentLogJoin(" --- the program cannot be started again: ", program + " " + LastErrorText());
  }
}

std::string RawServerName(const IniFile& info, const char* section, const char* key) {
  return ReadSettingString(info, section, key);
}

void EndUpdate(bool result) {
  AgentStep("PerformAutoUpdate", 13);
  AgentLog(std::string("PerformAutoUpdate() - END    Result=") + TrueFalse(result));
}

}  // namespace

bool InfoSignatureFailed() { return g_infoSignatureFailed; }

bool DownloadFileAU(const std::string& location, const std::string& fileName, int kind, std::string& error) {
  error.clear();
  const std::string name = LastPathElement(fileName);
  const bool testMode = IsTestMode(false);
  const std::string from = testMode ? GetTestModeLocation() : location;
  if (kind == kInfoFileKind) return FetchInfoFile(from, name, testMode, error);
  if (kind != kUpdatePackageKind && kind != kInformFileKind) return false;
  if (name.empty() || !IsPlainServerFileName(name, OwnNames())) {
    AgentLogJoin("ERROR: not a plain file name: ", fileName);
    return false;
  }
  return FetchProductFile(from, name, kind, testMode, error);
}

bool PerformAutoUpdate(bool& actedUpon) {
  actedUpon = false;
  AgentLog("PerformAutoUpdate() - START");
  AgentStep("PerformAutoUpdate", 4);
  AgentVariables& v = AgentVars();
  AgentFiles files = AgentFilesNow();
  AgentBoxes boxes(files.originalFile);
  IniFile& original = boxes.original;
  IniFile info(files.infoFile);
  const OverrideSwitches& overrides = AgentOverrides();

  const std::string location = GetDownloadURL_UPDATE(info);
  const std::string rawName = RawServerName(info, "NewSetup", "NameOfUpdateFile");
  std::string refusal = ServerFileNameRefusal(rawName, OwnNames());
  if (!refusal.empty()) {
    AgentLog(refusal);
    EndUpdate(false);
    return false;
  }
  const std::string name = GetNameOfUpdateFile(info);
  if (location.empty() || name.empty()) {
    EndUpdate(false);
    return false;
  }
  AgentStep("PerformAutoUpdate", 5);
  const bool checkNow = v.mode == 1;
  const std::string programName = GetProgramName(info);
  const bool confirmDownload = GetRequestConfirmationBeforeDownload(info, overrides);
  const bool confirmInstall = GetRequestConfirmationBeforeInstall(info, overrides);
  bool go = true;
  DownloadTexts texts{boxes.Text("s11"), boxes.Text("s12"), boxes.Text("s13"),
                      boxes.Text("s18"), boxes.Text("s19")};
  if (confirmDownload && !checkNow) {
    const bool force = GetRequestConfirmationBeforeDownloadForce(info, overrides);
    std::string question = DownloadQuestionText(texts, confirmInstall, force, programName);
    if (force)
      boxes.Attention(2, question);
    else
      go = boxes.Ask(0, question);
    WaitPumping(0, 500);
  }
  if (!go) {
    actedUpon = true;  // the user said no to this offer
    EndUpdate(false);
    return false;
  }

  AgentStep("PerformAutoUpdate", 6);
  v.state = kAgentFetchingUpdate;
  Notify(41, 1);
  std::string error;
  bool ok = DownloadFileAU(location, name, kUpdatePackageKind, error);
  Notify(41, 2);
  const std::string package = files.folder + name;

  go = ok;
  if (ok && confirmInstall && !checkNow) {
    const bool force = GetRequestConfirmationBeforeInstallForce(info, overrides);
    std::string question =
        InstallQuestionText(boxes.Text("s14"), boxes.Text("s20"), force, programName);
    if (force)
      boxes.Attention(2, question);
    else
      go = boxes.Ask(0, question);
    WaitPumping(0, 100);
  }
  if (!go) {
    if (ok) actedUpon = true;
    // The package stays beside the agent only until the next attempt replaces it.
    EndUpdate(false);
    return false;
  }

  AgentStep("PerformAutoUpdate", 7);
  ShutDown s = ShutDownRunningApplication(original, info, boxes);
  if (s.gaveUp) {
    actedUpon = true;  // the user kept the program open: a no to this offer
    DeleteFileA(package.c_str());
    EndUpdate(false);
    return false;
  }
  const bool restart =
      ShouldRestartProgram(GetRestartProcess(info, overrides), s.wasRunning, !s.program.empty() && MayRun(s.program));

  actedUpon = true;
  v.state = kAgentInstalling;
  Notify(42, 1);
  AgentStep("PerformAutoUpdate", 10);
  const AgentHooks& host = AgentHost();
  bool result = host.runSetup && host.runSetup(package, OwnPackageForAgent().GetAgentName(),
                                               OriginalInfoFileSwitch(files.infoFile),
                                               !GetBackgroundUpdate(info, overrides));
  AgentStep("PerformAutoUpdate", 11);
  Notify(42, 2);
  if (result) SetVersionOriginal(original, GetVersionNew(info));
  DeleteFileA(package.c_str());

  bool answer = true;
  if (result && (GetInformFinish(info, overrides) || checkNow)) {
    std::string finished = ReplaceProgName(boxes.Text("s16"), programName);
    if (restart)
      answer = boxes.Ask(1, finished + boxes.Text("s17"));
    else
      boxes.Attention(1, finished);
  }
  AgentStep("PerformAutoUpdate", 12);
  AgentTrace(std::string(" Restart=") + TrueFalse(restart) + " Answer=" + TrueFalse(answer) + " >" + s.program + "<");
  if (restart && answer) StartProgram(s.program);
  EndUpdate(result);
  return result;
}

void ReStartAutoUpdateExe() {
  AgentLog(".. ReStartAutoUpdateExe() - Start");
  if (AgentVars().stopTicks <= 0) {
    std::string agent = ExeDir(true) + OwnPackageForAgent().GetAgentName();
    std::string switches = AgentRestartSwitches(AgentOverrides().ListText());
    std::string line = "\"" + agent + "\"" + switches;
    AgentLogJoin(".. WinExec - ", line);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    if (CreateProcessA(agent.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
      WaitPumping(0, 1000);
      AgentLog(".. PostMessage(WM_DESTROY)");
      const AgentHooks& host = AgentHost();
      if (host.mainWindow) PostMessageA(host.mainWindow(), WM_DESTROY, 0, 0);
    } else {
      // Without a successor this agent goes on working.
      AgentLogJoin(" --- the agent cannot be started again: ", LastErrorText());
    }
  }
  AgentLog(".. ReStartAutoUpdateExe() - End");
}

bool PerformAutoInform(bool& actedUpon) {
  actedUpon = false;
  AgentLog("PerformAutoInform() - START ");
  AgentStep("PerformAutoInform", 1);
  AgentFiles files = AgentFilesNow();
  AgentBoxes boxes(files.originalFile);
  IniFile& original = boxes.original;
  IniFile info(files.infoFile);
  bool result = false;
  const std::string location = GetDownloadURL_UPDATE(info);
  const std::string rawName = RawServerName(info, "AutoInform", "NameOfInformFile");
  std::string refusal = ServerFileNameRefusal(rawName, OwnNames());
  const std::string name = GetNameOfInformFile(info);
  if (!refusal.empty()) AgentLog(refusal);
  if (refusal.empty() && !location.empty() && !name.empty()) {
    AgentStep("PerformAutoInform", 2);
    AgentVars().state = kAgentFetchingUpdate;
    Notify(41, 1);
    std::string error;
    bool ok = DownloadFileAU(location, name, kInformFileKind, error);
    Notify(41, 2);
    if (ok) {
      AgentStep("PerformAutoInform", 3);
      std::string text = ParseInfoLine(ReadFileRange(files.folder + name, int64_t(kMemoryDownloadCap))).rest;
      const AgentHooks& host = AgentHost();
      result = ShowInformDialog(host.mainWindow ? host.mainWindow() : nullptr, boxes.Text("s34"),
                                boxes.Text("s35"), text, GetDownloadURL_INFORM(info),
                                int(GetAutoInformW(info)), int(GetAutoInformH(info)), false,
                                GetMsgBoxFontName(original), GetMsgBoxFontSize(original), GetMsgBoxCharSet(original));
      actedUpon = result;
      if (result) SetVersionOriginal(original, GetVersionNew(info));
      AgentStep("PerformAutoInform", 4);
    }
  }
  AgentLog(std::string("PerformAutoInform() - END ") + TrueFalse(result));
  return result;
}
