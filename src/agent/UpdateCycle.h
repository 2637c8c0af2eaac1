// The update cycle's rules: which texts the user is asked and told, how the running
// application is shut down, which program may be shut down and restarted, which
// files from the vendor's server may be used, and how the agent restarts itself.
// Pure functions; UpdateCycleWin32.cpp carries them out.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/AgentSettings.h"

// File kinds that DownloadFileAU fetches.
enum AgentFileKind : int { kInfoFileKind = 1, kUpdatePackageKind = 2, kInformFileKind = 3 };

// ---- texts -------------------------------------------------------------------------
// The question (or, forced, the notice) before the download: s11 and then s13/s12
// (an install question follows or not), s19/s18 in the forced variant.
struct DownloadTexts {
  std::string s11, s12, s13, s18, s19;
};
std::string DownloadQuestionText(const DownloadTexts& texts, bool confirmInstall, bool downloadForce,
                                 const std::string& programName);
// s14, or s20 in the forced variant.
std::string InstallQuestionText(const std::string& s14, const std::string& s20, bool installForce,
                                const std::string& programName);
// What the user is told about a failed download: s3 when it was aborted, s4 after the
// path when the path is a drive or network path, else s5 after it.
std::string DownloadFailureText(const std::string& path, bool aborted, const std::string& s3,
                                const std::string& s4, const std::string& s5);
// The attention box after a failed download comes only where a question was asked
// before it, and only for a path worth naming.
inline bool AnnounceDownloadFailure(const std::string& path, bool confirmDownload) {
  return path.size() > 2 && confirmDownload;
}

// ---- shutting the application down --------------------------------------------------
// The five methods by their names, compared exactly; anything else only waits.
enum class ShutDownMethod { MessageBox, Close, Quit, Terminate, DontShutDown, WaitOnly };
ShutDownMethod ShutDownMethodOf(const std::string& name);
// A user who keeps pressing OK without closing the program is asked this often; then
// the update gives up and the program keeps running.
inline constexpr int kMaxCloseRequests = 5;
// An application that saves its work on close gets this long to end.
inline constexpr uint32_t kShutDownWaitMs = 30000;

// The product's folders of the original-settings file ([Directories]), expanded.
struct ProductFolders {
  std::string target, shared, auxiliary;
};
// The expanded RunningProcess may be shut down and restarted only when it is a
// full path inside one of the product's folders: the information file must not be
// able to name any other program on the machine.
bool RunningProcessAccepted(const std::string& program, const ProductFolders& folders);

// Restart only a program that ran before the shut-down and has ended since.
inline bool ShouldRestartProgram(bool restartSetting, bool wasRunning, bool runningNow) {
  return restartSetting && wasRunning && !runningNow;
}

// ---- files from the server -----------------------------------------------------------
// The refusal of a file name from the information file: empty when the raw value is
// a plain name that is none of the agent's own files (or empty: nothing is offered).
std::string ServerFileNameRefusal(const std::string& rawName, const std::vector<std::string>& ownNames);

// Two scrambled tokens belong to the same product only when both pass their own check
// and their plain texts are equal.
bool TokensMatch(const std::string& scrambledTheirs, const std::string& scrambledOurs);

// ---- the vendor's key ---------------------------------------------------------------
// The key a package pins (the base64 of its SubjectPublicKeyInfo): none when the item
// is empty; an item that is not a P-256 key makes the agent refuse every update.
enum class PinnedKey { None, Valid, Malformed };
PinnedKey ParsePinnedKey(const std::string& item, std::string& point);
// Whether a file's digest is the signed one: the signed value must be a SHA-256 in hex.
bool DigestMatches(const std::string& signedHex, const std::string& actualDigest);

// ---- the setup run and the restart -----------------------------------------------------
// "/OriginalInfoFile=" + the quoted path of the information file.
std::string OriginalInfoFileSwitch(const std::string& infoFilePath);
// The switches of the agent's restart: the new plain agent waits 10 s for this one to
// end, runs as the transient copy and takes the override list over.
std::string AgentRestartSwitches(const std::string& overrideList);

// What the offer came to: PerformShot records the offer as taken only when it was
// acted upon (the setup ran, the user declined, the text was shown), so that a failed
// download is tried again at the next probe.
struct OfferOutcome {
  bool result = false;     // the setup ran successfully / the user was informed
  bool actedUpon = false;
};
