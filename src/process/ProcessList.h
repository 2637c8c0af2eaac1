// Process lookup by program path: which process runs a program file, and the list of
// running processes as text.
//
// One lookup serves every Windows version: a ToolHelp snapshot, each candidate's full
// image path read from the process itself, and only processes of the caller's session.
// A lookup tells "not running" apart from "cannot tell" (no snapshot, a candidate whose
// image path cannot be read): only the first lets a waiting caller go on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class ProcessState { NotRunning, Running, Unknown };

struct ProcessLookup {
  ProcessState state = ProcessState::NotRunning;
  uint32_t pid = 0;  // the matching process when Running
};

// The program path a lookup is after, with the other spellings of the same file.
struct ProcessQuery {
  std::string path;       // full path or bare file name, as the caller gave it
  std::string shortPath;  // 8.3 form of path; "*XX*" when it has none (never matches)
  std::string longPath;   // long form of path; empty when it has none
  bool nameOnly = false;  // a process's bare file name does not count
};

// One process of a snapshot, as far as it could be read.
struct ProcessEntry {
  uint32_t pid = 0;
  uint32_t sessionId = 0;
  std::string exeName;    // bare file name from the snapshot
  std::string imagePath;  // full image path; empty when it could not be read
  std::string shortPath;  // 8.3 form of imagePath; empty when unknown or not needed
};

constexpr const char* kNoShortForm = "*XX*";
constexpr const char* kNoBareName = "*X*";

// The bare file name of a path (after its last "\", "/" or ":").
std::string BareFileName(const std::string& path);

// A query for path with no other spellings (short form "*XX*").
ProcessQuery MakeProcessQuery(const std::string& path, bool nameOnly);

// Whether a process whose snapshot name is exeName can be the program at all: its name
// is the bare name of the path or of one of its forms. Two spellings of one file end
// in its long or its short name, so nothing else needs its image path read.
bool MayBeProcessOf(const ProcessQuery& query, const std::string& exeName);

// Whether a candidate's own short form is worth reading (it costs a directory lookup):
// only when the query has a short form and the image path may not be the long
// spelling that the query's long form already settles (it holds a "~" alias, or the
// query has no long form).
bool NeedsShortFormOf(const ProcessQuery& query, const std::string& imagePath);

enum class EntryMatch { No, Yes, CannotTell };
// Full path, long form or (unless name-only) bare name same text as the query's path,
// or both short forms the same. CannotTell when the image path is unknown and the
// snapshot name alone does not settle it.
EntryMatch MatchProcessEntry(const ProcessQuery& query, const ProcessEntry& entry);

// Walks the entries of one session in order: firstOnly stops at the first match, else
// the last one wins. Unknown when nothing matched but some candidate could not be told.
ProcessLookup FindInProcessList(const ProcessQuery& query, const std::vector<ProcessEntry>& entries,
                                uint32_t sessionId, bool firstOnly);

// "|name|name|" (or "|name=pid|" withIds); names are full image paths with fullPaths
// when known, else the snapshot names.
std::string ProcessListText(const std::vector<ProcessEntry>& entries, bool withIds, bool fullPaths);

// The CSV of "tasklist /FO csv": quotes dropped, one line per process, field 0 the
// image name, field 1 the id; the first (or with fromEnd the last) line whose name is
// the bare name of path with an id above 0 gives it. Output without any record
// (tasklist missing or silent) is Unknown, never NotRunning.
ProcessLookup ParseTaskList(const std::string& output, const std::string& path, bool fromEnd);

// ---- Win32 --------------------------------------------------------------
#ifdef _WIN32
// 0 when not running or when it cannot be told.
uint32_t FindProcessId(const std::string& path, bool nameOnly, bool firstOnly);
// The full lookup: Running with the id, NotRunning, or Unknown.
ProcessLookup LookUpProcess(const std::string& path, bool nameOnly, bool firstOnly);
// True only when the program is known to run ("cannot tell" reads as false; callers
// that wait for an end ask ProcessRunningState).
bool IsProcessRunning(const std::string& path);
ProcessState ProcessRunningState(const std::string& path);
// The id by the system's "tasklist.exe" (run from the system folder, bounded in time).
uint32_t FindProcessIdByTaskList(const std::string& path, bool fromEnd);
ProcessLookup LookUpByTaskList(const std::string& path, bool fromEnd);
// Every process of a snapshot, as ProcessListText gives them.
std::string GetProcessListText(bool withIds, bool fullPaths);
// Reads image paths the way Windows XP must (the first module's file name) on any
// system, so that way is tested where the newer call exists.
void UseModuleFileNameLookup(bool on);
#endif
