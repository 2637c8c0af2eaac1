// Takes the stub's temporary folders the way a setup run does and prints what
// happened: temp_folder_probe [--temp DIR] take [--hold FILE] | alt | forceprompt
// --temp points TMP and TEMP of this process somewhere else (a Wine process takes
// them from the registry, not from the caller's environment).
#include <windows.h>

#include <cstdio>
#include <string>

#include "stub/TempFolders.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/PlatformHelpers.h"

namespace {
void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}
std::string Flag(bool on) { return on ? "1" : "0"; }
std::string Bytes(double value) { return std::to_string((long long)(value)); }
}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--temp") {
    SetEnvironmentVariableA("TMP", argv[2]);
    SetEnvironmentVariableA("TEMP", argv[2]);
    argv += 2;
    argc -= 2;
  }
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "take") {
    std::string folder = SetupTempFolder();
    Say("folder=" + folder);
    Say("leftover=" + Flag(FileExists(folder + "\\owner.txt")));
    WriteFileText(folder + "\\owner.txt", std::to_string(GetCurrentProcessId()));
    if (argc > 3 && std::string(argv[2]) == "--hold") {
      Say("holding");
      // Bounded: a test that forgets to release us must not hang the run.
      for (int i = 0; i < 600 && !FileExists(argv[3]); ++i) WaitPumping(0, 50);
    }
    Say("mine-intact=" + Flag(ReadFileRange(folder + "\\owner.txt") == std::to_string(GetCurrentProcessId())));
    RemoveSetupTempFolder();
    Say("removed=" + Flag(!FolderExists(folder)));
    return 0;
  }
  if (command == "alt") {
    std::string temp = TempDir(true);
    Say("temp=" + temp);
    Say("tempfree=" + Bytes(DiskFree(temp)));
    for (char d : {'C', 'D', 'E'}) {
      std::string root = std::string(1, d) + ":\\";
      Say(std::string("drive.") + d + "=" + std::to_string(GetDriveTypeA(root.c_str())) + "," + Bytes(DiskFree(root)));
    }
    bool chosen = ChooseAlternativeTemp();
    Say("chosen=" + Flag(chosen));
    std::string folder = AlternativeTempFolder();
    Say("folder=" + folder);
    Say("exists=" + Flag(FolderExists(folder)));
    RemoveAlternativeTemp();
    Say("removed=" + Flag(!FolderExists(folder)));
    return 0;
  }
  if (command == "forceprompt") {
    Say("forceprompt=" + Flag(ForcePromptSetting()));
    return 0;
  }
  std::fprintf(stderr, "usage: temp_folder_probe [--temp DIR] take [--hold FILE] | alt | forceprompt\n");
  return 2;
}
