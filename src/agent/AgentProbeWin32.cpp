// The agent's tick and its probe: fetch the information file, decide, record the
// times, and answer a user's check-now request.
#include <windows.h>

#include "agent/AgentBoxes.h"
#include "agent/AgentControl.h"
#include "agent/AgentSettings.h"
#include "agent/UpdateCycle.h"
#include "agent/UpdateDecision.h"
#include "dialogs/MessageBox.h"
#include "net/HttpDownload.h"
#include "package/PackageReader.h"
#include "util/DebugLog.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/PlatformHelpers.h"
#include "util/SeparatorLists.h"

namespace {

void Trace(const std::string& text) { AgentTrace(text); }

class Win32Sizes : public SizeLookup {
 public:
  int64_t FileSize(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      return -1;
    return int64_t((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  }
  bool Online() override {
    std::string ignored;
    return HTTP_IsConnected(ignored);
  }
  int64_t HttpSize(const std::string& url) override { return HTTP_GetFileSize(url); }
};

std::string InfoLocation(const TGFileInfo& own) {
  return IsTestMode(false) ? GetTestModeLocation() : own.GetInfoLocation();
}

void Notify(int code, int value) {
  const AgentHooks& host = AgentHost();
  if (host.notify) host.notify(code, value);
}

// The offer counts as taken: the same offer is not acted on again before its re-ask
// interval or a new stamp.
void RecordOfferTaken(IniFile& original, int64_t stamp, int64_t now) {
  SetReAskSecondsLast(original, now);
  SetOriginalStamp(original, stamp);
}

}  // namespace

void JustDownloadInfoFile() {
  std::string error;
  Notify(40, 1);
  DownloadFileAU(InfoLocation(OwnPackageForAgent()), OwnPackageForAgent().GetInfoFileName(), kInfoFileKind, error);
  Notify(40, 2);
}

void AskBeforeCheck(int& status) {
  AgentFiles files = AgentFilesNow();
  AgentBoxes boxes(files.originalFile);
  const bool testMode = IsTestMode(false);
  std::string where = testMode ? GetTestModeLocation() : OwnPackageForAgent().GetInfoLocation();
  std::string text = CheckQuestionText(GetAgentText(boxes.original, "s22"), GetAgentText(boxes.original, "s23"),
                                       GetAgentText(boxes.original, "s24"), where, testMode,
                                       GetOriginalProgramName(boxes.original));
  if (!boxes.Ask(1, text)) status = 0;
}

void PerformShot() {
  AgentVariables& v = AgentVars();
  const TGFileInfo& own = OwnPackageForAgent();
  int64_t now = AgentNowSeconds();
  Trace(" Fire  " + ReadableSeconds(now));
  IsTestMode(true);
  bool updated = false;

  std::string error;
  v.state = kAgentFetchingInfo;
  Notify(40, 1);
  bool infoOk = DownloadFileAU(InfoLocation(own), own.GetInfoFileName(), kInfoFileKind, error);
  Notify(40, 2);

  AgentFiles files = AgentFilesNow();
  IniFile original(files.originalFile);
  IniFile info(files.infoFile);
  SetProbeSecondsLast(original, now, ProbeSecondsFloor());

  const bool testMode = IsTestMode(false);
  DecisionInputs in{infoOk, info, original, now, v.mode == 1, testMode, GetTestModeLocation(), InfoSignatureFailed()};
  Win32Sizes sizes;
  Decision d = GetOkToPerformAU(in, sizes);
  for (const std::string& line : d.logLines) AgentLog(line);
  Trace(" GetOkToPerformAU=" + IntToStr(d.code));
  AgentLog("GetOkToPerformAU = " + IntToStr(d.code) + " - " + d.reason);
  if (d.Ok()) {
    Trace(" ==== PerformShot-1 ====");
    updated = true;
    // The offer counts as taken once it was acted upon; a failed download is tried
    // again at the next probe.
    const int64_t stamp = GetStamp(info);
    bool acted = false;
    if (GetAutoInform(info) == 1) {
      PerformAutoInform(acted);
      if (acted) RecordOfferTaken(original, stamp, now);
    } else {
      bool installed = PerformAutoUpdate(acted);
      if (acted) RecordOfferTaken(original, stamp, now);
      if (installed) ReStartAutoUpdateExe();
    }
    Trace(" ==== PerformShot-2 ====");
  }

  if (v.mode == 1) {
    WaitPumping(0, 1000);
    const AgentHooks& host = AgentHost();
    if (host.showWindow) host.showWindow(false);
    if (!updated) {
      std::string connectionError;
      bool online = HTTP_IsConnected(connectionError);
      Trace(std::string(" TestMode=") + TrueFalse(testMode) + " InternetConnected=" + TrueFalse(online));
      AgentBoxes boxes(files.originalFile);
      // The user's own check is answered with the program's name, as the question was.
      const std::string programName = GetOriginalProgramName(boxes.original);
      if (!testMode && !online) {
        std::string text = ReplaceProgName(GetAgentText(boxes.original, "s2"), programName);
        if (!connectionError.empty()) text += "<P><P>" + connectionError;
        boxes.Error(0, text);
      } else if (!testMode && !error.empty()) {
        boxes.Error(0, error);
      } else {
        std::string text = ReplaceProgName(GetAgentText(boxes.original, "s21"), programName);
        if (IsDeveloperMode()) text += "<P><P>(" + IntToStr(d.code) + " - " + d.reason + ")   ";
        boxes.Attention(1, text);
      }
    }
  }
}

void OnAgentTimer(HWND) {
  AgentVariables& v = AgentVars();
  TickStart tick = BeginAgentTick(v);
  if (!tick.run) return;
  if (tick.justFetchInfo) {
    Trace(" -------------- JustDownloadInfoFile ---------------");
    JustDownloadInfoFile();
    EndAgentTick(v);
    return;
  }
  IniFile original(AgentFilesNow().originalFile);
  SetMsgBoxFont(GetMsgBoxFontName(original), GetMsgBoxFontSize(original), GetMsgBoxCharSet(original));
  if (tick.quit) {
    // The end is not put off by a probe in the same tick: its pumping would take the
    // quit message away from the loop.
    Trace(" ==== the stop count has run out: the agent ends");
    PostQuitMessage(0);
    EndAgentTick(v);
    return;
  }
  Trace(" AutoUpdateTimerCount=" + IntToStr(v.tickCounter));
  if (tick.probeWindow) {
    const bool testMode = IsTestMode(false);
    int status = ShotTimeStatus(v, GetProbeSecondsInterval(original),
                                GetProbeSecondsLast(original, ProbeSecondsFloor()), AgentNowSeconds(), testMode);
    Trace(" ShotTimeStatus=" + IntToStr(status));
    if (status == 2) v.shotsEnabled = false;
    if (status > 0 && (v.mode == 1 || AgentOverrides().Get(kOverrideAskBeforeCheck) == 1)) AskBeforeCheck(status);
    if (status > 0) PerformShot();
  }
  EndAgentTick(v);
}
