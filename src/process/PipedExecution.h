// Running a console program with piped standard handles: its output (converted from
// the OEM to the ANSI code page), its exit code, bounded in time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr uint32_t kPipedStartFailed = 21;     // exit code when the program cannot start
constexpr uint32_t kPipedTerminated = 255;     // exit code of a cancelled or timed-out run
constexpr size_t kMaxCommandLine = 32766;      // characters CreateProcess accepts
constexpr size_t kPipeReadSize = 30000;        // bytes per read of a pipe
constexpr size_t kMaxPipedOutput = 16u << 20;  // output kept; more is read and dropped
constexpr uint32_t kExecPipedTimeout = 60000;  // default bound of a run, ms

// The program path in double quotes when it holds a blank and no double quote, then a
// blank and the parameters when there are any.
std::string PipedCommandLine(const std::string& program, const std::string& parameters);

// The error text of a program that could not be started: "Command line is too long"
// beyond kMaxCommandLine characters, else the first 256 characters of the command line,
// " --- " and the system's reason.
std::string PipedStartError(const std::string& commandLine, const std::string& reason);

// The text of a chunk read from a pipe: up to its first zero byte.
std::string PipeChunkText(const char* data, size_t size);

// The next wait step of the read loop: starting at 100 ms (1 ms with a callback), it
// shrinks by 10 ms per round while output has come and the step is above 10 ms.
uint32_t NextPipeWaitStep(uint32_t step, bool outputSeen);

// Called with each chunk as it arrives; setting cancel ends the program (exit 255).
using PipedOutputCallback = void (*)(void* user, const std::string& chunk, bool& cancel);

// ---- Win32 --------------------------------------------------------------
#ifdef _WIN32
// Runs program with parameters at idle priority, its window shown as showWindow, and
// collects standard output and error into output. Waits graceMs (pumping messages)
// after the end for late output. A run longer than timeoutMs is terminated (exit code
// 255, error says so). errorText is empty unless the start failed or the run was
// ended. True when the program ended by itself with exit code 0.
bool ExecPiped(const std::string& program, const std::string& parameters, int showWindow,
               PipedOutputCallback callback, void* user, uint32_t graceMs, std::string& errorText,
               std::string& output, uint32_t& exitCode, uint32_t timeoutMs = kExecPipedTimeout);
#endif
