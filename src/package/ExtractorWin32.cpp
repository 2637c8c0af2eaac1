#include <windows.h>

#include <string>

#include "dialogs/MessageBox.h"
#include "package/Extractor.h"
#include "util/DebugLog.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/PlatformHelpers.h"
#include "util/SeparatorLists.h"

std::string FreeSpaceReport(const std::string& path, int64_t dataSize, unsigned long errorCode) {
  double free = DiskFree(path);
  return ErrorText(DWORD(errorCode)) + "<P>" + "  Data Size: <T>" + IntToStr(dataSize) + " Bytes<P>" +
         "  File Size:  <T>" + IntToStr(FileSizeByName(path)) + " Bytes<P>" + "  Bytes Free: <T>" +
         IntToStr(free < 0 ? 0 : int64_t(free)) + " Bytes";
}

// ---- FolderSink ----------------------------------------------------------------------

FolderSink::FolderSink(const std::string& folder) : folder_(NoTrailingBackslash(folder)) {}

bool FolderSink::Failed() {
  lastError_ = GetLastError();
  return false;
}

std::string FolderSink::CreateFolder() {
  if (CreateFolderTree(folder_)) return "";
  return folder_ + "<P><P>Unable to create Directory!<P><P>" + LastErrorText();
}

bool FolderSink::Exists(const std::string& name) { return FileExists(PathOf(name)); }

std::string FolderSink::PathOf(const std::string& name) { return folder_ + "\\" + name; }

bool FolderSink::Open(const std::string& name, bool append) {
  file_.reset();
  std::string path = PathOf(name);
  DWORD disposition = append ? OPEN_ALWAYS : CREATE_ALWAYS;
  DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN;
  file_.reset(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition, flags, nullptr));
  if (!file_.ok() && GetLastError() == ERROR_ACCESS_DENIED) {
    // A read-only leftover of an earlier run.
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    file_.reset(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition, flags, nullptr));
  }
  if (!file_.ok()) return Failed();
  if (append) {
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(file_.get(), zero, nullptr, FILE_END)) return Failed();
  }
  return true;
}

bool FolderSink::Write(const uint8_t* data, size_t count) {
  while (count > 0) {
    DWORD chunk = count > 0x40000000 ? 0x40000000 : DWORD(count), written = 0;
    if (!WriteFile(file_.get(), data, chunk, &written, nullptr) || written == 0) return Failed();
    data += written;
    count -= written;
  }
  return true;
}

bool FolderSink::Close(uint32_t dosDate) {
  if (!file_.ok()) return false;
  bool ok = true;
  if (dosDate != 0) {
    FILETIME local, utc;
    if (DosDateTimeToFileTime(WORD(dosDate >> 16), WORD(dosDate & 0xFFFF), &local) &&
        LocalFileTimeToFileTime(&local, &utc))
      ok = SetFileTime(file_.get(), nullptr, nullptr, &utc) != 0;
  }
  // Closing is where a delayed write can still fail.
  bool closed = CloseHandle(file_.release()) != 0;
  if (!closed) lastError_ = GetLastError();
  return ok && closed;
}

bool FolderSink::Replace(const std::string& from, const std::string& to) {
  if (MoveFileExA(PathOf(from).c_str(), PathOf(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  return Failed();
}

void FolderSink::Remove(const std::string& name) { DeleteFileA(PathOf(name).c_str()); }

int64_t FolderSink::FreeBytes() {
  double free = DiskFree(folder_);
  return free < 0 ? -1 : int64_t(free);
}

std::string FolderSink::FailureReport(const std::string& name, int64_t dataSize) {
  std::string path = PathOf(name);
  return path + "<P><P>Unable to save Extracted File!<P><P>" + FreeSpaceReport(path, dataSize, lastError_);
}

// ---- StubExtractHost -------------------------------------------------------------------

std::unique_ptr<ReadOnlyFile> StubExtractHost::OpenPiece(const std::string& path) {
  if (!FileExistsQuietly(path)) return nullptr;
  return OpenReadOnly(path);
}

bool StubExtractHost::PieceExists(const std::string& path) { return FileExistsQuietly(path); }

uint32_t StubExtractHost::FileDate(const std::string& path) { return FileDateOf(path); }

bool StubExtractHost::AskForDisk(int piece) {
  ShowSteps(true);
  std::string text = ReplaceAllCI(prompt_.text, "<DISK_NUM>", IntToStr(piece));
  return AskOkCancel(kOwnerNone, text, prompt_.caption, prompt_.charset, prompt_.buttonTexts);
}

void StubExtractHost::EjectIfRemovable(const std::string& path) {
  char letter = DriveLetterOf(path);
  if (letter == 0) return;
  std::string root = std::string(1, letter) + ":\\";
  if (GetDriveTypeA(root.c_str()) == DRIVE_CDROM) EjectCD(path);
}

void StubExtractHost::EnableAutoPlayCancel() { ::EnableAutoPlayCancel(true); }

void StubExtractHost::ShowSteps(bool now) {
  if (pendingSteps_ == 0 || !progress_) return;
  DWORD tick = GetTickCount();
  if (!now && shownOnce_ && tick - lastShown_ < kProgressShowInterval) return;
  shownOnce_ = true;
  lastShown_ = tick;
  int count = pendingSteps_;
  pendingSteps_ = 0;
  if (advance_) {
    advance_(count);
  } else {
    for (int i = 0; i < count; ++i) progress_(1, 0, 0, 0, 1, 0);
  }
}

void StubExtractHost::Progress(int mode, int maximum) {
  if (!progress_) return;
  if (mode == 1) {
    ++pendingSteps_;
    ShowSteps(false);
    return;
  }
  ShowSteps(true);  // a reset comes after the steps before it
  progress_(mode, 0, maximum, 0, 1, 0);
}

bool StubExtractHost::PumpAndCheckAbort() {
  // Only what is waiting, and at most about every 10 ms: the window stays quick, and
  // thousands of small records do not pay a message round trip each.
  DWORD now = GetTickCount();
  if (pumpedOnce_ && now - lastPump_ < 10) return AbortFlag();
  pumpedOnce_ = true;
  lastPump_ = now;
  ShowSteps(false);
  PumpMessages();
  return AbortFlag();
}

// Every pause, box and prompt shows the bars as they stand.
void StubExtractHost::Wait(int ms) {
  ShowSteps(true);
  WaitPumping(0, uint64_t(ms));
}

void StubExtractHost::Trace(const std::string& line) { DebugWriteLine(line); }

void StubExtractHost::ShowError(const std::string& text) {
  ShowSteps(true);
  ::ShowError(kOwnerNone, text, "", prompt_.charset, prompt_.buttonTexts);
}

uint64_t StubExtractHost::Milliseconds() { return MilliClock(); }

// ---- the setup flow's call --------------------------------------------------------------

void ExtractPackage(const std::string& packagePath, const std::string& targetFolder, const std::string& agentName,
                    std::string& runCommand, bool forcePrompt, int charset, const std::string& buttonTexts,
                    const std::string& caption, const std::string& promptText, ProgressCallback progress,
                    bool& crcGood) {
  DiskPrompt prompt{charset, buttonTexts, caption, promptText};
  StubExtractHost host(prompt, progress);
  FolderSink sink(targetFolder);
  ExtractRequest request{packagePath, agentName, forcePrompt};
  ExtractResult result = ExtractCore(request, host, sink);
  runCommand = result.runCommand;
  crcGood = result.crcGood;
}
