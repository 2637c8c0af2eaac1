#include <windows.h>

#include <string>

#include "agent/AgentSettings.h"
#include "agent/UpdateCycle.h"
#include "dialogs/MessageBox.h"
#include "net/HttpDownload.h"
#include "net/ProgressEvents.h"
#include "package/Extractor.h"
#include "package/PackageReader.h"
#include "process/ProcessWindows.h"
#include "stub/MainWindow.h"
#include "stub/RunMode.h"
#include "stub/SetupFlow.h"
#include "stub/Stub.h"
#include "stub/TempFolders.h"
#include "util/Cng.h"
#include "util/DebugLog.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/PlatformHelpers.h"
#include "util/SeparatorLists.h"
#include "util/WinHandle.h"

namespace {

constexpr int kMaxAtomCopies = 64;  // bounded: a name can be added only so often

// Set for an internet setup: the agent file goes into the folder the setup unpacks to.
std::string g_agentCopyName;

std::string Lang(const TGFileInfo& reader, const char* key, const char* def) { return reader.GetLangString(key, def); }
std::string Buttons(const TGFileInfo& reader) { return Lang(reader, "BtnText", kDefaultButtonTexts); }

void SetStatus(const TGFileInfo& reader, const char* key, const char* def) {
  SetStatusText(StatusLabel(), Lang(reader, key, def), reader.GetFontName(), reader.GetCharset(),
                reader.GetFontSize());
}

bool HiddenRun() { return HasParamSwitch("/hide") || OwnPackage().IsHiddenRun(); }

// The first stub-side failure decides the exit code; an engine that ran sets its own.
void Fail(int code) { SetProcessExitCodeIfUnset(code); }

void DeleteAtoms(const std::string& name) {
  for (int i = 0; i < kMaxAtomCopies; ++i) {
    ATOM atom = GlobalFindAtomA(name.c_str());
    if (!atom) return;
    GlobalDeleteAtom(atom);
  }
}

// Waits for the process, answering the window's messages meanwhile.
void WaitForProcess(HANDLE process) {
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
    if (r != WAIT_OBJECT_0 + 1) return;  // ended, or the wait itself failed
    PumpMessages();
  }
}

void RemoveLinkIf(const std::string& key, const std::string& link, const SettingsSource& info) {
  if (ReadSettingYesNo(info, "NewSetup", key) && !link.empty() && IsShortcutPath(link) && FileExists(link)) {
    DeleteFileA(link.c_str());
    DebugWriteLine(" ==== removed " + link);
  }
}

bool RunEngine(const std::string& folder, const std::string& runCommand, const std::string& extraSwitches,
               bool foreground) {
  AgentFiles files = OwnAgentFiles(OwnPackage());
  IniFile original(files.originalFile), info(files.infoFile);
  std::string startUpLink = GetStartUpLink(original), checkLink = GetCheckforNewUpdateLink(original);

  EngineStart e = BuildEngineStart(folder, runCommand, extraSwitches, GetCurrentThreadId(), ExePath(), IsAgent());
  DebugWriteLine(" ==== WinExec(Engine.exe) >>" + e.commandLine + "<<");
  std::string atomName = std::string(kRunAtomPrefix) + e.token;
  DeleteAtoms(atomName);  // a leftover of an earlier run must not count as success
  GlobalAddAtomA(atomName.c_str());

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = WORD(foreground ? SW_SHOWNORMAL : SW_HIDE);
  PROCESS_INFORMATION pi{};
  std::string command = e.commandLine;
  // The full path as the application: a blank in the temp path never starts another program.
  bool started = CreateProcessA(e.program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                                &pi) != 0;
  std::string startError = started ? "" : LastErrorText();
  ShowMainWindow(false);
  WaitPumping(0, 1000);
  if (started) {
    WinHandle process(pi.hProcess), thread(pi.hThread);
    WaitForProcess(process.get());
    DWORD code = 0;
    if (GetExitCodeProcess(process.get(), &code)) SetProcessExitCode(int(code));
    DebugWriteLine(" ==== Engine exit code: " + IntToStr(int64_t(code)));
    std::string dialogClass = std::string(kEngineDialogPrefix) + e.token;
    WaitWhileWindowExists(dialogClass, "");
    WaitPumping(0, 1000);
  } else {
    DebugWriteLine(" --- the engine cannot be started: " + startError);
    Fail(kExitFailed);
  }
  bool success = started && GlobalFindAtomA(atomName.c_str()) == 0;
  DeleteAtoms(atomName);
  DebugWriteLine(std::string(" ==== Engine success=") + BoolText(success));
  if (success) {
    RemoveLinkIf("RemoveStartUpShortcut", startUpLink, info);
    RemoveLinkIf("RemoveCheckForNewUpdateShortcut", checkLink, info);
  }
  return success;
}

// The setup file is run only when it is the one the internet stub was built for:
// its SHA-256 is the one the download header names (when it names one).
bool HasAnnouncedDigest(const std::string& file, const std::string& announced) {
  if (announced.empty()) return true;
  Sha256Digest digest{};
  std::string error;
  if (!Sha256OfFile(file, digest, error)) {
    DebugWriteLine(" --- " + error);
    return false;
  }
  bool match = DigestMatches(announced, std::string(digest.begin(), digest.end()));
  if (!match) DebugWriteLine(" --- the SHA-256 of " + file + " is not the announced " + announced);
  return match;
}

}  // namespace

bool HasTempSpace(const std::string& tempFolder, const std::string& source) {
  TGFileInfo reader(source);
  double required = reader.GetSpaceNeeded(tempFolder);
  double free = DiskFree(tempFolder);
  return required < free && FolderExists(tempFolder);
}

bool ConfirmTempSpace(const std::string& tempFolder, const std::string& source, const TGFileInfo& reader) {
  TGFileInfo sized(source);
  TempSpaceTexts texts;
  texts.note = Lang(reader, "s2", texts.note.c_str());
  texts.limited = Lang(reader, "s3", texts.limited.c_str());
  texts.required = Lang(reader, "s4", texts.required.c_str());
  texts.available = Lang(reader, "s5", texts.available.c_str());
  texts.question = Lang(reader, "s6", texts.question.c_str());
  std::string message = TempSpaceQuestion(texts, reader.AnnounceTempDrive(), sized.GetSpaceNeeded(tempFolder),
                                          DiskFree(tempFolder), tempFolder);
  if (message.empty()) return true;
  return AskYesNo(kOwnerNone, message, Lang(reader, "Confirm", "Confirm"), 0, reader.GetCharset(), Buttons(reader));
}

bool WriteAgentCopy(const std::string& agentName, const std::string& folder) {
  std::string name = FileNameOf(agentName);
  if (!IsPlainFileName(name) || folder.empty()) return false;
  std::string agent = AgentCopyOf(ReadFileRange(ExePath()));
  if (agent.empty()) {
    DebugWriteLine(" --- no agent file: the running file holds no readable package");
    return false;
  }
  std::string path = SetTrailingBackslash(folder, true) + name;
  std::string temp = path + ".tmp";
  bool ok = WriteFileText(temp, agent, FileDateOf(ExePath())) &&
            MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  if (!ok) DeleteFileA(temp.c_str());
  DebugWriteLine((ok ? " New AU-Agent: " : " --- the agent file cannot be written: ") + path);
  return ok;
}

bool ExtractAndRunEngine(const std::string& tempFolder, const std::string& source, const std::string& agentName,
                         const std::string& extraSwitches, bool foreground) {
  bool result = false;
  TGFileInfo reader(source);
  if (reader.ShowActivityBar()) ShowActivityBar();
  SetStatus(reader, "s1", "Extracting Files...");
  std::string folder = tempFolder;
  bool alternative = false;
  if (!HasTempSpace(folder, source) && ChooseAlternativeTemp()) {
    std::string other = AlternativeTempFolder();
    if (!other.empty()) {
      folder = other;
      alternative = true;
    }
  }
  DebugWriteLine(std::string("========= ForegroundOp=") + BoolText(foreground) + " ==========");
  bool proceed = !foreground || ConfirmTempSpace(folder, source, reader);
  if (proceed) {
    int charset = reader.GetCharset();
    std::string buttons = Buttons(reader);
    std::string title = Lang(reader, "Attention", "Attention");
    std::string prompt = Lang(reader, "s8", "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue");
    if (foreground) ShowMainWindow(true);
    WaitPumping(1, 1000);
    DiskPrompt diskPrompt{charset, buttons, title, prompt};
    StubExtractHost host(diskPrompt, MainWindowProgress, MainWindowAdvance);
    FolderSink sink(folder);
    ExtractResult r = ExtractCore(ExtractRequest{source, agentName, ForcePromptSetting()}, host, sink);
    WaitPumping(0, 1000);
    if (!g_agentCopyName.empty()) WriteAgentCopy(g_agentCopyName, folder);
    if (!r.runCommand.empty() && r.crcGood) {
      result = RunEngine(folder, r.runCommand, extraSwitches, foreground);
    } else if (!r.crcGood) {
      ShowError(kOwnerNone, Lang(reader, "s7", "Bad CRC!<P>This indicates that your setup file might be corrupted..."),
                Lang(reader, "Error", "Error"), charset, buttons);
      Fail(kExitBadPackage);
    } else if (r.cancelled) {
      Fail(kExitCancelled);
    } else if (r.failedWrites > 0) {
      Fail(kExitFailed);
    }
  } else {
    Fail(kExitCancelled);
  }
  if (alternative) RemoveAlternativeTemp();
  return result;
}

void DownloadAndRunSetup(const std::string& tempFolder, const std::string& downloadFolder,
                         const std::string& setupFileName) {
  const TGFileInfo& own = OwnPackage();
  std::string error;
  bool downloaded = false;
  std::string local = SetTrailingBackslash(downloadFolder, true) + setupFileName;
  std::string url = downloadFolder + "/" + setupFileName;
  bool hidden = HiddenRun();
  int charset = own.GetCharset();
  std::string buttons = Buttons(own);
  std::string target;
  bool badPackage = false;
  if (IsPlainFileName(setupFileName) && FileExists(local)) {
    target = local;
  } else if (!IsPlainFileName(setupFileName)) {
    error = "Bad Secret Token!";  // a download name that could leave the temp folder
    badPackage = true;
  } else {
    SetStatus(own, "s10", "Downloading File...");
    if (own.ConfirmDownload() && !hidden) {
      std::string question = ReplaceAll(
          Lang(own, "s11",
               "<b>INTERNET DOWNLOAD</b><p><p>Vabrix will download the Setup File from the Internet...<p>Please make "
               "sure your Internet connection is properly set.<p><p>Continue with Setup?<p><P>Size: <SIZE> MB<P>"),
          "<SIZE>", SizeTextMB(double(StrToInt64Def(own.GetDownloadSize(), 0))));
      if (!AskYesNo(kOwnerNone, question, Lang(own, "Confirm", "Confirm"), 0, charset, buttons)) error = "!";
    }
    std::string reason;
    if (!HTTP_IsConnected(reason)) {
      error = Lang(own, "s12", "No valid Internet Connection.<p>Can not Download File!");
      if (!reason.empty()) error += "<P><P>" + reason;
    }
    SetAbortFlag(false);
    target = TempDir(true) + setupFileName;
    DeleteFileA(target.c_str());  // a stale file of an earlier attempt is never taken for the download
    if (error.empty()) {
      std::string memory;
      HTTP_DownloadFile_Incremental(hidden ? nullptr : MainWindow(), url, target, memory, &ProgramProgBar(), error);
      if (error.empty()) downloaded = true;
    }
    WaitPumping(0, 300);
    MainWindowProgress(0, 0, 10, 0, 1, 0);
    WaitPumping(0, 700);
  }
  if (error.empty()) {
    int64_t announced = StrToInt64Def(own.GetDownloadSize(), 0);
    TGFileInfo downloadedPackage(target);
    std::optional<std::string> theirs = DecodeToken(downloadedPackage.GetDownloadToken(false));
    std::optional<std::string> ours = DecodeToken(own.GetDownloadToken(false));
    if (downloaded && announced > 0 && FileSizeByName(target) != announced) {
      error = "Incomplete Download!<P>" + url;
    } else if (!HasAnnouncedDigest(target, own.GetDownloadDigest())) {
      error = "Bad SHA-256!<P>" + url;
      badPackage = true;
    } else if (!theirs || !ours || *theirs != *ours) {
      // Two tokens that fail their own check are not equal.
      error = "Bad Secret Token!";
      badPackage = true;
      if (IsHtmlErrorPage(target, "")) {
        GetHtmlErrorPageText(target, "", url, error, false, error);
        badPackage = false;
      }
    }
  }
  if (error.empty()) ExtractAndRunEngine(tempFolder, target, "", GetParamsTail(), !hidden);
  if (downloaded) DeleteFileA(target.c_str());
  if (error == "!") {
    Fail(kExitCancelled);
  } else if (!error.empty()) {
    ShowError(kOwnerNone, error, Lang(own, "Error", "Error"), charset, buttons);
    Fail(badPackage ? kExitBadPackage : kExitFailed);
  }
}

void RunSetupFlow(HWND mainWindow) {
  KillTimer(mainWindow, 1);
  const TGFileInfo& own = OwnPackage();
  std::string agent = own.CreateAgent() ? own.GetAgentName() : "";
  std::string temp = SetupTempFolder();
  DebugWriteLine(" ==== SetupTempFolder=" + temp);
  if (temp.empty()) {
    Fail(kExitFailed);
  } else if (own.InternetDownload()) {
    g_agentCopyName = agent;
    std::string folder = own.GetDownloadLocation();
    std::string name = own.GetDownloadFileName();
    if (!own.IsAlwaysDownload() && IsPlainFileName(name) && FileExists(ExeDir(true) + name)) folder = ExeDir(false);
    DownloadAndRunSetup(temp, folder, name);
  } else {
    std::string source = ExePath();
    std::string firstDisk = GetParamValue("/SpanDiskFName1=", "");
    if (!firstDisk.empty()) source = firstDisk;
    ExtractAndRunEngine(temp, source, agent, GetParamsTail(), !HiddenRun());
  }
  RemoveSetupTempFolder();
  PostQuitMessage(0);
}

void RunSpannedCopy() {
  std::string own = ExePath();
  std::string folder = SetupTempFolder();
  if (folder.empty()) {
    SetProcessExitCode(kExitFailed);
    return;
  }
  std::string copy = folder + "\\Y_" + FileNameOf(own);
  // A copy that finds itself at the first level again would copy itself once more,
  // and so on: the chain ends here.
  if (SameText(SetTrailingBackslash(ExeDir(false), true), SetTrailingBackslash(folder, true))) {
    DebugWriteLine(" --- RunSpannedCopy: " + own + " is a spanned copy already");
    SetProcessExitCode(kExitFailed);
    return;
  }
  if (!CopyFileA(own.c_str(), copy.c_str(), FALSE)) DebugWriteLine(" --- RunSpannedCopy: " + LastErrorText());
  // The builder writes the first piece as the setup file itself or as ".001".
  std::string firstDisk = FileExists(own + ".001") ? own + ".001" : own;
  // The switches this level sets replace any the user gave (a /SpanCdLvl=1 of the
  // command line would otherwise win over the copy's level).
  std::string tail = GetParamsTail();
  for (const char* own_switch : {"/SpanCdLvl=", "/SpanDiskFName1=", "/OriginExe="})
    for (int i = 0; i < 8 && tail.find(own_switch) != std::string::npos; ++i) tail = RemoveSwitch(tail, own_switch);
  std::string command = Trim(copy + " " + Trim(tail) + " /SpanCdLvl=2 /SpanDiskFName1=\"" + firstDisk +
                             "\" /OriginExe=\"" + own + "\"");
  DebugWriteLine(" ==== RunSpannedCopy >>" + command + "<<");
  // The copy goes on in this folder: it takes it over.
  HandOverSetupTempFolder();
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  if (CreateProcessA(copy.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  } else {
    DebugWriteLine(" --- RunSpannedCopy cannot start the copy: " + LastErrorText());
    SetProcessExitCode(kExitFailed);
  }
}
