#include <windows.h>

#include "process/PipedExecution.h"
#include "process/ProcessWindows.h"
#include "util/PlatformHelpers.h"
#include "util/SeparatorLists.h"
#include "util/WinHandle.h"

namespace {

constexpr DWORD kEndWait = 5000;       // for a terminated program to be gone
constexpr int kFinalDrainRounds = 64;  // reads after the end; a pipe still fed by a
                                       // grandchild must not hold the caller

struct Pipe {
  WinHandle read, write;
};

// An anonymous pipe whose child end alone is inherited.
bool MakePipe(Pipe& pipe, bool parentReads) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE r = nullptr, w = nullptr;
  if (!CreatePipe(&r, &w, &sa, 0)) return false;
  pipe.read.reset(r);
  pipe.write.reset(w);
  return SetHandleInformation(parentReads ? r : w, HANDLE_FLAG_INHERIT, 0) != 0;
}

struct Reader {
  std::string& output;
  PipedOutputCallback callback;
  void* user;
  bool cancel = false;
  std::string buffer = std::string(kPipeReadSize + 1, '\0');

  // One read of what the pipe holds; true when more was waiting than was read.
  bool Drain(HANDLE pipe) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) return false;
    DWORD got = 0;
    DWORD want = available < kPipeReadSize ? available : DWORD(kPipeReadSize);
    if (!ReadFile(pipe, buffer.data(), want, &got, nullptr) || got == 0) return false;
    buffer[got] = '\0';
    OemToCharBuffA(buffer.data(), buffer.data(), got);
    std::string text = PipeChunkText(buffer.data(), got);
    if (output.size() < kMaxPipedOutput) output.append(text, 0, kMaxPipedOutput - output.size());
    if (callback && !text.empty()) callback(user, text, cancel);
    return got < available;
  }
};

}  // namespace

bool ExecPiped(const std::string& program, const std::string& parameters, int showWindow,
               PipedOutputCallback callback, void* user, uint32_t graceMs, std::string& errorText,
               std::string& output, uint32_t& exitCode, uint32_t timeoutMs) {
  errorText.clear();
  output.clear();
  const std::string command = PipedCommandLine(program, parameters);
  Pipe in, out, err;
  if (!MakePipe(in, false) || !MakePipe(out, true) || !MakePipe(err, true)) return false;

  auto startFailed = [&](const std::string& reason) {
    exitCode = kPipedStartFailed;
    errorText = PipedStartError(command, reason);
    if (callback) {
      bool ignored = false;
      callback(user, errorText + "\r\n", ignored);
    }
    return false;
  };
  // The system refuses such a line anyway; asking it would only vary the reason.
  if (command.size() > kMaxCommandLine) return startFailed("");

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES | STARTF_FORCEONFEEDBACK | STARTF_USESHOWWINDOW;
  si.wShowWindow = WORD(showWindow);
  si.hStdInput = in.read.get();
  si.hStdOutput = out.write.get();
  si.hStdError = err.write.get();
  PROCESS_INFORMATION pi{};
  std::string line = command;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, IDLE_PRIORITY_CLASS | CREATE_SUSPENDED, nullptr,
                      nullptr, &si, &pi))
    return startFailed(LastErrorText());
  WinHandle process(pi.hProcess), thread(pi.hThread);
  // Wine ignores the creation flag; set the class again before the program runs.
  SetPriorityClass(process.get(), IDLE_PRIORITY_CLASS);
  ResumeThread(thread.get());
  // The child holds its own copies now; nothing is ever written to its input, so it
  // reads end-of-file rather than waiting for the time bound.
  in.read.reset();
  in.write.reset();
  out.write.reset();
  err.write.reset();

  Reader reader{output, callback, user};
  const DWORD start = GetTickCount();
  uint32_t step = callback ? 1 : 100;
  bool cancelled = false, timedOut = false;
  for (;;) {
    step = NextPipeWaitStep(step, !output.empty());
    bool ended = WaitForSingleObject(process.get(), step) == WAIT_OBJECT_0;
    bool more = reader.Drain(out.read.get());
    more = reader.Drain(err.read.get()) || more;
    if (reader.cancel && !cancelled) {
      cancelled = true;
      TerminateProcess(process.get(), kPipedTerminated);
    }
    if (ended && !more) break;
    if (TicksSince(start, GetTickCount()) >= timeoutMs) {
      if (!ended) {
        timedOut = true;
        TerminateProcess(process.get(), kPipedTerminated);
        WaitForSingleObject(process.get(), kEndWait);
      }
      break;
    }
  }
  WaitPumping(0, graceMs);
  for (int i = 0; i < kFinalDrainRounds; ++i) {
    bool more = reader.Drain(out.read.get());
    if (!(reader.Drain(err.read.get()) || more)) break;
  }
  DWORD code = kPipedTerminated;
  GetExitCodeProcess(process.get(), &code);
  exitCode = code;
  if (timedOut)
    errorText = PipedStartError(command, "ended after " + IntToStr(timeoutMs) + " ms without finishing");
  else if (cancelled)
    errorText = PipedStartError(command, "cancelled");
  return !timedOut && !cancelled && code == 0;
}
