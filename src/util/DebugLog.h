// Debug channel, fixed diagnostic line formats, the agent's update log and the
// developer-mode test.
//
// The channel buffers written text (128 characters) and hands it to its sink in
// chunks: whenever the buffer is full and at the end of every line. The sink sends
// each chunk to an external viewer window (class ".VDebug.", message
// ".V_DebugMsg.", text carried in a global atom) and/or appends it to a fixed file.
// The portable part (formats, buffering, re-entry rules) is here; the Win32 part
// binds it to the viewer, the file and the process's own state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "util/SystemInfo.h"
#include <vector>

// ---- debug output modes ---------------------------------------------------------
// 0: viewer only; 1: file only; 2: file and viewer; 3 and above: nothing.
#ifndef VDEBUG_OUTPUT_MODE
#define VDEBUG_OUTPUT_MODE 0
#endif
inline constexpr uint8_t kDebugOutputMode = VDEBUG_OUTPUT_MODE;
inline constexpr size_t kDebugBufferSize = 128;
inline constexpr size_t kMaxAtomText = 255;      // longest text a global atom holds
inline constexpr unsigned kViewerTimeoutMs = 1000;
inline constexpr const char* kDebugViewerClass = ".VDebug.";
inline constexpr const char* kDebugViewerMessage = ".V_DebugMsg.";
inline constexpr const char* kDebugLogFile = "C:\\ProgramData\\_vdebug.txt";
inline constexpr unsigned kDebugViewerWParam = 1;
// The value of the environment variable "DVX" that turns developer mode on.
inline constexpr const char* kDeveloperValue = "739";

bool DebugModeWritesFile(uint8_t mode);     // modes 1 and 2
bool DebugModeSendsToViewer(uint8_t mode);  // modes 0 and 2

// A chunk as the debug file gets it: every CR LF, lone CR and lone LF becomes
// CR LF; NUL bytes are dropped.
std::string DebugFileText(const std::string& chunk);

// A chunk cut into the pieces that global atoms can carry: NUL bytes dropped (an
// atom is a C string), at most maxLen characters each, no empty piece.
std::vector<std::string> SplitForAtoms(const std::string& chunk, size_t maxLen = kMaxAtomText);

// ---- the channel's buffering and delivery rules ----------------------------------
// Text before Bind() is dropped. A sink that writes to the channel again (a window
// message handled while a chunk is being sent) does not recurse: what it writes is
// queued (bounded) and delivered after the current chunk, in order.
class TDebugChannel {
 public:
  using Sink = void (*)(void* context, const std::string& chunk);
  static constexpr size_t kMaxPendingBytes = 16384;

  void Bind(Sink sink, void* context);
  bool IsBound() const { return sink_ != nullptr; }
  void Write(const std::string& text);
  void WriteLine(const std::string& text);  // text + CR LF, then flush
  // Chunks dropped because the re-entry queue was full.
  size_t DroppedChunks() const { return dropped_; }

 private:
  void Append(const std::string& text, std::vector<std::string>& chunks);
  void Deliver(std::vector<std::string>& chunks);

  Sink sink_ = nullptr;
  void* context_ = nullptr;
  std::string buffer_;
  bool delivering_ = false;
  std::vector<std::string> pending_;
  size_t pendingBytes_ = 0;
  size_t dropped_ = 0;
};

// ---- fixed line formats ------------------------------------------------------------
// " --- where (detail) --- message"
std::string ExceptionLine(const std::string& message, const std::string& where,
                          const std::string& detail);
// "[a]  [b]  [c]  [d]"
std::string QueryLine(const std::string& a, const std::string& b, const std::string& c,
                      const std::string& d);

std::string DebugText(long long value);
std::string DebugText(unsigned long long value);
std::string DebugText(bool value);  // "TRUE" / "FALSE"

// ---- update log ------------------------------------------------------------------------
// Timestamp ("dd/mm/yy HH:NN:SS", LogTimestampOf) + " " + thread id right-aligned in 5
// characters + indent + message + CR LF.
std::string AgentLogLine(const LocalDateTime& t, uint32_t threadId, const std::string& indent,
                         const std::string& message, const std::string& dateSep = "/",
                         const std::string& timeSep = ":");
// Folder of the program + "X_" (unless the name already starts with "X_") + the
// name with its extension replaced by ".log".
std::string AgentLogPathFor(const std::string& programPath);

inline constexpr const char* kDefaultAgentLogIndent = "   ";

bool DeveloperModeFromValue(const std::string& dvxValue);

#ifdef _WIN32
// ---- the process's channel (Win32) ---------------------------------------------------
// Creates the lock, registers the viewer message and binds the channel; writes
// before this are dropped. Later calls do nothing.
void InitDebugChannel();

void DebugWrite(const std::string& text);
void DebugWrite(const char* text);
void DebugWrite(char ch);
void DebugWrite(bool value);
void DebugWrite(int value);
void DebugWrite(unsigned value);
void DebugWrite(long value);
void DebugWrite(unsigned long value);
void DebugWrite(long long value);
void DebugWrite(unsigned long long value);
void DebugWriteLine();
void DebugWriteLine(const std::string& text);
void DebugWriteLine(const char* text);
void DebugWriteLine(char ch);
void DebugWriteLine(bool value);
void DebugWriteLine(int value);
void DebugWriteLine(unsigned value);
void DebugWriteLine(long value);
void DebugWriteLine(unsigned long value);
void DebugWriteLine(long long value);
void DebugWriteLine(unsigned long long value);

// One chunk through the sink in the given mode (the channel uses kDebugOutputMode).
void DeliverDebugChunk(uint8_t mode, const std::string& chunk);

void LogException(const std::string& errorMessage, const std::string& where,
                  const std::string& detail);
void LogQuery(const std::string& a, const std::string& b, const std::string& c,
              const std::string& d);

// Set once at start-up: the own package is an agent with its log flag.
void SetAgentLogEnabled(bool enabled);
bool AgentLogEnabled();
void SetAgentLogIndent(const std::string& indent);
std::string AgentLogPath();
// Appends one line atomically (the plain and the transient agent share the file).
void AgentLog(const std::string& message);
void AgentLog(const char* message);  // a literal line: no string made at the call

bool IsDeveloperMode();
#endif
