#include "agent/UpdateCycle.h"

#include "agent/ServerFileNames.h"
#include "agent/SignedInfo.h"
#include "folders/PathRules.h"
#include "package/PackageReader.h"

std::string DownloadQuestionText(const DownloadTexts& t, bool confirmInstall, bool downloadForce,
                                 const std::string& programName) {
  std::string second = downloadForce ? (confirmInstall ? t.s19 : t.s18) : (confirmInstall ? t.s13 : t.s12);
  return ReplaceProgName(t.s11 + second, programName);
}

std::string InstallQuestionText(const std::string& s14, const std::string& s20, bool installForce,
                                const std::string& programName) {
  return ReplaceProgName(installForce ? s20 : s14, programName);
}

std::string DownloadFailureText(const std::string& path, bool aborted, const std::string& s3,
                                const std::string& s4, const std::string& s5) {
  if (aborted) return s3;
  bool localOrNetwork = (path.size() > 1 && path[1] == ':') || path.rfind("\\\\", 0) == 0;
  return path + "<P><P>" + (localOrNetwork ? s4 : s5);
}

ShutDownMethod ShutDownMethodOf(const std::string& name) {
  if (name == "Issue a Message Box") return ShutDownMethod::MessageBox;
  if (name == "Using WM_CLOSE") return ShutDownMethod::Close;
  if (name == "Using WM_QUIT") return ShutDownMethod::Quit;
  if (name == "Using Terminate Process") return ShutDownMethod::Terminate;
  if (name == "Don't Shut Down") return ShutDownMethod::DontShutDown;
  return ShutDownMethod::WaitOnly;
}

bool RunningProcessAccepted(const std::string& program, const ProductFolders& folders) {
  std::vector<std::string> roots;
  for (const std::string* f : {&folders.target, &folders.shared, &folders.auxiliary})
    if (!f->empty()) roots.push_back(*f);
  return !roots.empty() && PathInsideFolders(program, roots);
}

std::string ServerFileNameRefusal(const std::string& rawName, const std::vector<std::string>& ownNames) {
  if (rawName.empty() || IsPlainServerFileName(rawName, ownNames)) return "";
  return "ERROR: not a plain file name: " + rawName;
}

bool TokensMatch(const std::string& scrambledTheirs, const std::string& scrambledOurs) {
  std::optional<std::string> theirs = DecodeToken(scrambledTheirs), ours = DecodeToken(scrambledOurs);
  return theirs && ours && *theirs == *ours;
}

std::string OriginalInfoFileSwitch(const std::string& infoFilePath) {
  return "/OriginalInfoFile=\"" + infoFilePath + "\"";
}

std::string AgentRestartSwitches(const std::string& overrideList) {
  return " /_ZZ=99 /WAIT=10 /TRANSIENT=" + overrideList;
}

PinnedKey ParsePinnedKey(const std::string& item, std::string& point) {
  point.clear();
  if (item.empty()) return PinnedKey::None;
  std::string spki;
  if (!Base64Decode(item, spki) || !SpkiToP256Point(spki, point) || point.size() != kP256PointSize) {
    point.clear();
    return PinnedKey::Malformed;
  }
  return PinnedKey::Valid;
}

bool DigestMatches(const std::string& signedHex, const std::string& actualDigest) {
  std::string expected = NormalizeSha256Hex(signedHex);
  return !expected.empty() && actualDigest.size() == kSha256Size && HexOf(actualDigest) == expected;
}
