// Runs the stub's extraction on a package and prints what happened, for the tests
// and the benchmark:
//   unpack_driver PACKAGE TARGET [--agent NAME] [--force-prompt] [--no-waits]
//                 [--prompt TEXT] [--charset N] [--remove]
// Prints trace=, progress=MODE,MAXIMUM (resets and ranges; steps are counted), then
// steps=, run=, crc=, cancelled=, damaged=, failed_writes=, bytes=, elapsed_ms= and
// peak_private_bytes=. --no-waits leaves out the fixed pauses of the setup flow, so
// that the time is the extraction's own. --remove removes the folder afterwards and
// prints remove_ms=.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "package/Extractor.h"
#include "util/Files.h"
#include "util/PlatformHelpers.h"

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

class DriverHost : public StubExtractHost {
 public:
  DriverHost(const DiskPrompt& prompt, bool waits) : StubExtractHost(prompt, nullptr), waits_(waits) {}
  void Progress(int mode, int maximum) override {
    if (mode == 1)
      ++steps;
    else
      Say("progress=" + std::to_string(mode) + "," + std::to_string(maximum));
  }
  void Wait(int ms) override {
    if (waits_) StubExtractHost::Wait(ms);
  }
  void Trace(const std::string& line) override {
    if (!line.empty()) Say("trace=" + line);
  }
  int steps = 0;

 private:
  bool waits_;
};

uint64_t PeakPrivateBytes() {
  using Query = BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "K32GetProcessMemoryInfo")));
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!query || !query(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakPagefileUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: unpack_driver PACKAGE TARGET [--agent NAME] [--force-prompt] [--no-waits]\n");
    return 2;
  }
  ExtractRequest request;
  request.packagePath = argv[1];
  std::string target = argv[2];
  DiskPrompt prompt{0, "", "Attention", "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue"};
  bool waits = true;
  bool remove = false;
  for (int i = 3; i < argc; ++i) {
    std::string a = argv[i];
    std::string v = i + 1 < argc ? argv[i + 1] : "";
    if (a == "--force-prompt") request.forcePrompt = true;
    else if (a == "--no-waits") waits = false;
    else if (a == "--remove") remove = true;
    else if (a == "--agent") request.agentName = v, ++i;
    else if (a == "--prompt") prompt.text = v, ++i;
    else if (a == "--charset") prompt.charset = std::atoi(v.c_str()), ++i;
  }
  DriverHost host(prompt, waits);
  FolderSink sink(target);
  uint64_t start = MilliClock();
  ExtractResult r = ExtractCore(request, host, sink);
  uint64_t elapsed = MilliClock() - start;
  Say("steps=" + std::to_string(host.steps));
  Say("run=" + r.runCommand);
  Say("crc=" + std::to_string(r.crcGood ? 1 : 0));
  Say("cancelled=" + std::to_string(r.cancelled ? 1 : 0));
  Say("damaged=" + std::to_string(r.damaged ? 1 : 0) + (r.damaged ? " " + r.damage : ""));
  Say("failed_writes=" + std::to_string(r.failedWrites));
  Say("bytes=" + std::to_string(r.bytesWritten));
  Say("elapsed_ms=" + std::to_string(elapsed));
  Say("peak_private_bytes=" + std::to_string(PeakPrivateBytes()));
  if (remove) {
    // What the setup flow does with the folder at its end.
    uint64_t begin = MilliClock();
    DeleteTree(target, false);
    Say("remove_ms=" + std::to_string(MilliClock() - begin));
  }
  return 0;
}
