// The setup flow: from the package to the engine, run by the main window's first
// tick. Checks the temp drive's room, unpacks with progress, starts the engine with
// the command line it expects, waits for it and passes its exit code on.
#pragma once
#include <cstdint>
#include <string>

// ---- decisions ----------------------------------------------------------------------
// Exit codes of stub-side failures (the engine's own code passes on unchanged). They
// are the codes installers report for the same situations, so deployment tools
// already know them.
inline constexpr int kExitCancelled = 1602;      // a question answered No, a disk prompt cancelled
inline constexpr int kExitFailed = 1603;         // incomplete unpack, engine not startable, download failed
inline constexpr int kExitBadPackage = 1620;     // damaged package, "Bad CRC!", bad secret token

// "0.000", "0.500", "10.00", "11.0": megabytes with 3, 2 or 1 decimals.
std::string SizeTextMB(double bytes);
// Deletes the first occurrence of a switch up to the next "/" (or the end).
std::string RemoveSwitch(const std::string& commandLine, const std::string& switchText);

struct EngineStart {
  std::string program;      // full path: the application name of the start
  std::string commandLine;  // what the engine parses
  std::string token;        // "_" + thread id: atom and dialog class carry it
};
// The engine's command line from the run command ("Engine.exe*/S" or "Engine.exe"),
// the extra switches (the stub's own command-line tail), the thread id, the stub's
// own path and whether the stub is an agent.
EngineStart BuildEngineStart(const std::string& tempFolder, const std::string& runCommand,
                             const std::string& extraSwitches, uint32_t threadId, const std::string& ownPath,
                             bool agent);

inline constexpr char kRunAtomPrefix[] = "AutoUpdateAtomTokenByVabrix";
inline constexpr char kEngineDialogPrefix[] = ".SDialog_Class_Name.";

// The texts of the temp-space question; empty when no question is due.
struct TempSpaceTexts {
  std::string note = "Vabrix will extract files to your Temp Drive (<DRIVE>)<P>";                      // s2
  std::string limited = "Limited Free Space on your Temp Drive! (<DRIVE>)<P>";                          // s3
  std::string required = "<P>Estimated space required on your Temp drive is: <T>  <SPACE_REQ> MB<P>";  // s4
  std::string available = "Free space available on your Temp drive is: <T>  <SPACE_AVAIL> MB<P>";      // s5
  std::string question = "<P>Continue with Setup?<P>";                                                  // s6
};
std::string TempSpaceQuestion(const TempSpaceTexts& texts, bool announce, double required, double available,
                              const std::string& tempFolder);

// The agent file from the whole running file: cut at the stamped length (when the
// trailer found there is one: Magic and length 74), agent flag set in that trailer.
// Empty when the bytes hold no such trailer.
std::string AgentCopyOf(const std::string& fileBytes);

// Only shortcut files are removed after a successful run.
bool IsShortcutPath(const std::string& path);

#ifdef _WIN32
#include <windows.h>

class TGFileInfo;

void RunSetupFlow(HWND mainWindow);
bool ExtractAndRunEngine(const std::string& tempFolder, const std::string& source, const std::string& agentName,
                         const std::string& extraSwitches, bool foreground);
void DownloadAndRunSetup(const std::string& tempFolder, const std::string& downloadFolder,
                         const std::string& setupFileName);
bool HasTempSpace(const std::string& tempFolder, const std::string& source);
bool ConfirmTempSpace(const std::string& tempFolder, const std::string& source, const TGFileInfo& reader);
// Writes the agent file into folder; false when nothing was written.
bool WriteAgentCopy(const std::string& agentName, const std::string& folder);
// The first level of a spanned set: copies the program into the setup temp folder
// as "Y_" + its name and starts that copy as the second level.
void RunSpannedCopy();
#endif
