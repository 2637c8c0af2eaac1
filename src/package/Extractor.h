// Extraction: unpacks every file of a package (one file or a spanned set of pieces)
// into a target folder, finds the package's main program and, on request, writes
// the auto-update agent file beside the unpacked files.
//
// Records are streamed: a body is read in bounded chunks, inflated into a bounded
// buffer and written as it comes, so memory stays flat whatever the package holds.
// A package is untrusted input: a name that could leave the folder, a length that
// does not fit, a broken stream or more output than the package can justify stops
// the extraction and counts as damage (no run command, CRC good false).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "util/FileIO.h"

// Where the files go. Names are plain file names (checked before they get here).
class ExtractSink {
 public:
  virtual ~ExtractSink() = default;
  // Makes the target folder (with missing parents); "" or the error box's text.
  virtual std::string CreateFolder() = 0;
  virtual bool Exists(const std::string& name) = 0;
  // Starts writing a file: append to it, or replace what is there.
  virtual bool Open(const std::string& name, bool append) = 0;
  virtual bool Write(const uint8_t* data, size_t count) = 0;
  // Ends the open file; dosDate (packed DOS date-time) 0 keeps the time of writing.
  virtual bool Close(uint32_t dosDate) = 0;
  // The full path of a file in the target folder (for trace lines).
  virtual std::string PathOf(const std::string& name) = 0;
  // Puts the file from over the file to (which may exist).
  virtual bool Replace(const std::string& from, const std::string& to) = 0;
  virtual void Remove(const std::string& name) = 0;
  // Bytes still free where the files go; negative when unknown.
  virtual int64_t FreeBytes() = 0;
  // The text of the box for a failed write of name, with its free-space report.
  virtual std::string FailureReport(const std::string& name, int64_t dataSize) = 0;
};

// The world around the extraction: piece files, the user, the progress display.
class ExtractHost {
 public:
  virtual ~ExtractHost() = default;
  virtual std::unique_ptr<ReadOnlyFile> OpenPiece(const std::string& path) = 0;
  virtual bool PieceExists(const std::string& path) = 0;
  // Packed DOS date-time of a file; 0 when unknown.
  virtual uint32_t FileDate(const std::string& path) = 0;
  // Asks for the disk of piece (the prompt text with its number); true for OK.
  virtual bool AskForDisk(int piece) = 0;
  virtual void EjectIfRemovable(const std::string& path) = 0;
  virtual void EnableAutoPlayCancel() = 0;
  // mode 0: range 0..maximum; mode 1: one step.
  virtual void Progress(int mode, int maximum) = 0;
  // Lets the window work between chunks; true when the user asked to stop.
  virtual bool PumpAndCheckAbort() = 0;
  virtual void Wait(int ms) = 0;
  virtual void Trace(const std::string& line) = 0;
  virtual void ShowError(const std::string& text) = 0;
  virtual uint64_t Milliseconds() = 0;
};

struct ExtractRequest {
  std::string packagePath;  // setup file or first piece (may end in ".001")
  std::string agentName;    // "" = write no agent file
  bool forcePrompt = false;
};

struct ExtractResult {
  std::string runCommand;  // the "*" entry's name item; "" when none, cancelled or incomplete
  bool crcGood = false;
  bool cancelled = false;  // a disk prompt was cancelled (or a piece could not be read)
  bool damaged = false;    // the package is hostile or broken; see damage
  std::string damage;
  int failedWrites = 0;
  uint64_t bytesWritten = 0;
  int filesWritten = 0;
};

// Limits that keep a hostile package in check.
inline constexpr size_t kMaxNameField = 8192;
inline constexpr size_t kReadChunk = 1 << 20;
inline constexpr size_t kInflateChunk = 1 << 20;
// Output beyond the package's own estimate: twice the estimate plus this much.
inline constexpr uint64_t kSpaceMargin = 64ull << 20;

// The process-wide count of failed writes: the free-space box is shown once only.
int& FailedWriteCount();

// The name field of an entry split into file name, run command and date.
struct EntryName {
  bool skip = false;        // empty: the record is skipped
  bool valid = true;        // false: not a plain file name (damage)
  std::string fileName;
  std::string runCommand;   // set when the entry is the main program
  uint32_t dosDate = 0;
};
EntryName ParseEntryName(const std::string& nameField);
// The base path of the pieces and the path of piece n (2, 3, ...).
std::string PieceBase(const std::string& packagePath);
std::string PiecePath(const std::string& base, int piece);
// Whether an agent file is written for this package path and agent name; the name
// comes back reduced to its last path element.
bool WantsAgentFile(const std::string& packagePath, std::string& agentName);

ExtractResult ExtractCore(const ExtractRequest& request, ExtractHost& host, ExtractSink& sink);

#ifdef _WIN32
#include "util/PlatformHelpers.h"
#include "util/WinHandle.h"

// Files in a folder on disk.
class FolderSink : public ExtractSink {
 public:
  explicit FolderSink(const std::string& folder);
  std::string CreateFolder() override;
  bool Exists(const std::string& name) override;
  bool Open(const std::string& name, bool append) override;
  bool Write(const uint8_t* data, size_t count) override;
  bool Close(uint32_t dosDate) override;
  std::string PathOf(const std::string& name) override;
  bool Replace(const std::string& from, const std::string& to) override;
  void Remove(const std::string& name) override;
  int64_t FreeBytes() override;
  std::string FailureReport(const std::string& name, int64_t dataSize) override;

 private:
  bool Failed();
  std::string folder_;
  WinHandle file_;
  DWORD lastError_ = 0;
};

// The stub's own answers: piece files on disk, the disk prompt in the stub's
// message box, the main window's progress callback and message pump.
struct DiskPrompt {
  int charset = 0;
  std::string buttonTexts;
  std::string caption;
  std::string text;  // "<DISK_NUM>" (any case) becomes the piece number
};
// Steps of the progress callback are shown at most every kProgressShowInterval ms,
// several at once through advance when it is given (else one callback call each):
// every display update costs Wine server round trips and a repaint, and a package
// of small files would pay them per file inside the inflate loop.
inline constexpr uint32_t kProgressShowInterval = 100;
using ProgressAdvance = void (*)(int count);
class StubExtractHost : public ExtractHost {
 public:
  StubExtractHost(const DiskPrompt& prompt, ProgressCallback progress, ProgressAdvance advance = nullptr)
      : prompt_(prompt), progress_(progress), advance_(advance) {}
  std::unique_ptr<ReadOnlyFile> OpenPiece(const std::string& path) override;
  bool PieceExists(const std::string& path) override;
  uint32_t FileDate(const std::string& path) override;
  bool AskForDisk(int piece) override;
  void EjectIfRemovable(const std::string& path) override;
  void EnableAutoPlayCancel() override;
  void Progress(int mode, int maximum) override;
  bool PumpAndCheckAbort() override;
  void Wait(int ms) override;
  void Trace(const std::string& line) override;
  void ShowError(const std::string& text) override;
  uint64_t Milliseconds() override;

 private:
  // Shows the steps not shown yet; only when the interval has passed unless now.
  void ShowSteps(bool now);

  DiskPrompt prompt_;
  ProgressCallback progress_;
  ProgressAdvance advance_;
  DWORD lastPump_ = 0;
  bool pumpedOnce_ = false;
  int pendingSteps_ = 0;
  DWORD lastShown_ = 0;
  bool shownOnce_ = false;
};

// The free-space report of a failed write: the system's error text, the data size,
// the file's size so far and the free bytes of its drive.
std::string FreeSpaceReport(const std::string& path, int64_t dataSize, unsigned long errorCode);

// The setup flow's call: unpacks packagePath into targetFolder with the main window's
// progress callback and the stub's disk prompt.
void ExtractPackage(const std::string& packagePath, const std::string& targetFolder, const std::string& agentName,
                    std::string& runCommand, bool forcePrompt, int charset, const std::string& buttonTexts,
                    const std::string& caption, const std::string& promptText, ProgressCallback progress,
                    bool& crcGood);
#endif
