// The extraction over arbitrary packages into memory: whatever the bytes say, it
// must end, never write a name that leaves the folder, and never report a damaged
// package as good.
#include <cstddef>
#include <cstdint>
#include <string>

#include "package/Extractor.h"
#include "support/ExtractDoubles.h"
#include "util/Files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptedHost host;
  host.pieces["C:\\d\\setup.exe"] = std::string(reinterpret_cast<const char*>(data), size);
  // A spanned set asks for the next disk: the same bytes once, then nothing.
  host.onPrompt = [&](int piece) {
    if (piece == 2) host.pieces["C:\\d\\setup.exe.002"] = host.pieces["C:\\d\\setup.exe"];
    return piece == 2;
  };
  MemorySink sink;
  ExtractRequest request{"C:\\d\\setup.exe", "Agent.exe", false};
  ExtractResult r = ExtractCore(request, host, sink);
  FailedWriteCount() = 0;
  if (!sink.unsafeNames.empty()) __builtin_trap();
  if (r.damaged && (r.crcGood || !r.runCommand.empty())) __builtin_trap();
  if (!r.runCommand.empty() && !IsPlainFileName(Trim(r.runCommand.substr(0, r.runCommand.find('*')))))
    __builtin_trap();
  if (host.prompts.size() > 999) __builtin_trap();
  return 0;
}
