// Process-wide state of the stub's setup and agent runs, with its start values.
#pragma once
#include <cstdint>
#include <string>

#ifdef _WIN32
#include "util/WinHandle.h"
#endif

struct StubGlobals {
  // The setup temp folder, taken once per process; owned while this process holds it.
  bool setupFolderTaken = false;
  bool setupFolderOwned = false;
  std::string setupFolder;
  // The alternative base is chosen once; the folder below it is made new by this process.
  std::string alternativeBase;
  std::string alternativeFolder;
  bool alternativeFolderOwned = false;
#ifdef _WIN32
  WinHandle setupFolderLock;
#endif
};

StubGlobals& Globals();
