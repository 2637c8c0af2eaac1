// File helpers: path texts, whole-file reads and writes, sizes, free space, folder
// removal, drive searches, CD eject and the self-deletion batch.
//
// Paths are 8-bit ANSI texts. Nothing here raises an error: every operation reports
// failure through its result (empty text, 0, -1 or false).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Progress of a long file operation: mode 0 = start (done is 0), mode 1 = advance.
// total and done count bytes (writes) or removed subfolders (DeleteTree, total 0).
// Setting cancel asks the operation to stop after the current step.
using FileProgress = std::function<void(int mode, int64_t total, int64_t done, bool& cancel)>;

// True when ch starts a double-byte character in the ANSI code page
// (always false in the native build, which has no such code page).
bool IsAnsiLeadByte(unsigned char ch);
using LeadByteTest = bool (*)(unsigned char);

// ---- path texts ------------------------------------------------------------------
// True when the last character (not the trail byte of a double-byte one) is "\".
bool EndsWithBackslash(const std::string& path, LeadByteTest isLead = IsAnsiLeadByte);
// Removes one trailing "\" (paths of 3 or more characters), then ensures exactly one
// when fold. An empty path stays empty, so a failed lookup never becomes the root.
std::string SetTrailingBackslash(const std::string& path, bool fold,
                                 LeadByteTest isLead = IsAnsiLeadByte);
// "\" becomes empty; otherwise one trailing "\" is removed (2 or more characters).
std::string NoTrailingBackslash(const std::string& path, LeadByteTest isLead = IsAnsiLeadByte);
// Reduces doubled backslashes after the first character (a leading "\\" and a quoted
// "\\" UNC start stay); with noTrailing also drops one trailing backslash.
std::string CollapseBackslashes(const std::string& path, bool noTrailing,
                                LeadByteTest isLead = IsAnsiLeadByte);
// File name without folder and without its last extension (all with allExtensions).
std::string FileBaseName(const std::string& path, bool allExtensions = false,
                         LeadByteTest isLead = IsAnsiLeadByte);
// The path up to and including its last "\", "/" or ":" ("C:\x\*.tmp" gives "C:\x\",
// "*.tmp" gives "").
std::string FilePrefixOf(const std::string& path, LeadByteTest isLead = IsAnsiLeadByte);
// A drive root ("C:", "C:\"), "\", "" or a UNC share root ("\\srv\share"): folders
// that DeleteTree refuses to empty.
bool IsDriveOrShareRoot(const std::string& path);

// A bare file name that cannot leave its folder or open a device: not empty, at most
// 255 bytes, no "\" "/" ":" "*" "?" '"' "<" ">" "|" or control characters, not "." or
// "..", not ending in "." or a blank, and not a device name (CON, PRN, AUX, NUL,
// COM1-9, LPT1-9, with or without an extension, any case).
bool IsPlainFileName(const std::string& name);

// ---- decisions behind the Win32 operations -------------------------------------------
constexpr int64_t kWriteChunkCap = 1048576;
constexpr int64_t kWriteChunkMin = 1024;
constexpr int64_t kWriteChunkDivisor = 10;
// Chunk size for a write of total bytes: total / 10 when above 1024, at most 1 MiB;
// otherwise the smaller of 1024 and total.
int64_t WriteChunkSize(int64_t total);
// Whether a write of total bytes goes in chunks (a callback, or more than 1 MiB).
bool WriteGoesInChunks(int64_t total, bool hasCallback);
// The chunked write loop. write(data, count) returns the bytes it wrote (0 or less =
// failure, which ends the loop). Returns the bytes written in all.
using ChunkWriter = std::function<int64_t(const char* data, int64_t count)>;
int64_t WriteInChunks(const char* data, int64_t total, const FileProgress& progress,
                      const ChunkWriter& write);

// The directories DiskFree asks for, in order: the path's first-level folder, then
// the drive root ("D:/Setup/x" gives "D:\Setup", "D:\"). A UNC path asks for its
// "\\server\share\" only. Empty for an empty path.
std::vector<std::string> DiskFreeQueryPaths(const std::string& path);
// Upper-cased drive letter of "x:..." paths, 0 when the path does not start so.
char DriveLetterOf(const std::string& path);
// A name to search for below a folder: "\" and "/" unified, outer backslashes
// dropped; empty when it is empty, has wildcards or a drive, or steps out with "."
// or "..".
std::string SearchNameOf(const std::string& name);

// The self-deletion batch.
constexpr int kSelfDeleteTries = 30;
// tempDir ends with "\". attempt 0 gives "_DEL_ME_.BAT", attempt n "_DEL_ME_n.BAT".
std::string SelfDeleteBatchName(const std::string& tempDir, int attempt);
struct SelfDeleteBatch {
  std::string exePath;    // the program file to remove
  std::string folder;     // its folder, removed (when empty) with removeFolder
  std::string batchPath;  // the batch file itself, deleted on its last line
  std::string systemDir;  // where ATTRIB.EXE and PING.EXE are taken from
  bool removeFolder = false;
  int tries = kSelfDeleteTries;  // delete attempts, about one second apart
};
// The batch text (lines end with CR LF, every "%" of a path doubled), or empty when
// a path is empty or holds a character that a batch line cannot carry (", CR, LF,
// NUL). The paths must already be in the form cmd reads (OEM-safe).
std::string BuildSelfDeleteBatch(const SelfDeleteBatch& batch);

#ifdef _WIN32
// ---- program and system folders -------------------------------------------------
// Full path of the running program; with baseOnly its file name without folder and
// last extension.
std::string ExePath(bool baseOnly = false);
std::string ExeDir(bool fold);
std::string WindowsDir(bool fold);
std::string SystemDir(bool fold);
std::string TempDir(bool fold);

// ---- files ----------------------------------------------------------------------
// Bytes from start up to the end or maxLength (0: no limit); empty when the file is
// missing, start is negative or at/after the end, or the read falls short.
std::string ReadFileRange(const std::string& file, int64_t maxLength = 0, int64_t start = 0);
// dosDate: packed DOS date (high word) and time (low word), 0 = keep. True when every
// byte was written. Appends go to the end of the file even with other writers.
bool WriteFileText(const std::string& file, const std::string& data, uint32_t dosDate = 0,
                   bool append = false, const FileProgress& progress = nullptr);
bool AppendFileText(const std::string& file, const std::string& data, uint32_t dosDate = 0);
// Size of the first file matching a name or mask; 0 when none.
int64_t FileSizeByName(const std::string& nameOrMask);
// True when path names an existing folder.
bool FolderExists(const std::string& path);
// FileExists without the system's "insert a disk" box for an empty drive.
bool FileExistsQuietly(const std::string& path);
// Makes folder with every missing parent; true when it exists afterwards.
bool CreateFolderTree(const std::string& folder);
// Last-write date and time of a file as packed DOS date-time; 0 when missing.
uint32_t FileDateOf(const std::string& file);
// file is a Win32 file HANDLE. -1 on failure. origin: FILE_BEGIN/CURRENT/END.
int64_t FileSizeOfHandle(void* file);
int64_t SeekFile(void* file, int64_t distance, int origin);
// Bytes available to the caller on the drive of path; -1 when unknown.
double DiskFree(const std::string& path);

// Deletes every file matching mask (read-only, hidden and system ones included);
// true when at least one file matched.
bool DeleteFiles(const std::string& mask, bool clearAttributes);
// Deletes folder with everything in it. Junctions and symbolic links are removed as
// links, never entered. True when the folder existed and is gone now.
bool DeleteTree(const std::string& folder, bool clearAttributes,
                const FileProgress& progress = nullptr);

// ---- searches (drive letters C to Z of the given GetDriveType type) ---------------------
std::string FindFileOnDrives(const std::string& name, int driveType);
std::string FindFolderOnDrives(const std::string& name, int driveType);
// The same searches below one folder (depth-first, hidden folders and links skipped).
std::string FindFileUnder(const std::string& folder, const std::string& name);
std::string FindFolderUnder(const std::string& folder, const std::string& name);

// True when the eject request to the CD drive of path succeeded.
bool EjectCD(const std::string& path);

// Writes and starts the batch that removes the program file (and its folder, with
// removeFolder) once this process has ended; the caller then lets the process end.
// False when the batch could not be written or started.
bool DeleteMySelf(bool removeFolder, int tries = kSelfDeleteTries);
#endif
