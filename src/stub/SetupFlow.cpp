#include "stub/SetupFlow.h"

#include "package/PackageReader.h"
#include "util/SeparatorLists.h"

std::string SizeTextMB(double bytes) {
  if (!(bytes > 0)) bytes = 0;
  double mb = bytes / 1048576.0;
  int decimals = mb > 10 ? 1 : mb < 1 ? 3 : 2;
  return FloatText(mb, decimals);
}

std::string RemoveSwitch(const std::string& commandLine, const std::string& switchText) {
  size_t at = commandLine.find(switchText);
  if (switchText.empty() || at == std::string::npos) return commandLine;
  size_t next = commandLine.find('/', at + 1);
  return commandLine.substr(0, at) + (next == std::string::npos ? std::string() : commandLine.substr(next));
}

EngineStart BuildEngineStart(const std::string& tempFolder, const std::string& runCommand,
                             const std::string& extraSwitches, uint32_t threadId, const std::string& ownPath,
                             bool agent) {
  std::string program = runCommand;
  std::string switches = extraSwitches;
  size_t star = runCommand.find('*');
  if (star != std::string::npos) {
    program = Trim(runCommand.substr(0, star));
    switches = Trim(switches + " " + Trim(runCommand.substr(star + 1)));
  }
  std::string folder = tempFolder;
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  EngineStart start;
  start.program = folder + "\\" + program;
  std::string command = start.program;
  if (!switches.empty()) command += " " + switches;
  start.token = "_" + IntToStr(threadId);
  command += " /TH_ID=" + start.token;
  if (command.find("/OriginExe=") == std::string::npos) command += " /OriginExe=\"" + ownPath + "\"";
  if (agent) command += " /AutoUpdateProg";
  command = RemoveSwitch(command, "/SpanCdLvl=");
  command = RemoveSwitch(command, "/SpanDiskFName1=");
  start.commandLine = command;
  return start;
}

std::string TempSpaceQuestion(const TempSpaceTexts& texts, bool announce, double required, double available,
                              const std::string& tempFolder) {
  std::string message;
  if (announce) message = texts.note;
  if (required >= available) message = texts.limited;
  if (message.empty()) return message;
  message += texts.required + texts.available + texts.question;
  std::string drive = tempFolder.empty() ? std::string() : std::string(1, UpperCase(tempFolder.substr(0, 1))[0]) + ":";
  message = ReplaceAll(message, "<DRIVE>", drive);
  message = ReplaceAll(message, "<SPACE_REQ>", SizeTextMB(required));
  return ReplaceAll(message, "<SPACE_AVAIL>", SizeTextMB(available));
}

std::string AgentCopyOf(const std::string& fileBytes) {
  MemoryFile file(fileBytes);
  uint64_t logical = LogicalLength(file);
  if (logical > fileBytes.size()) return "";  // a stamp beyond the file: not ours
  if (logical < kTrailerSize) return "";
  std::string bytes = fileBytes.substr(0, size_t(logical));
  size_t trailer = bytes.size() - kTrailerSize;
  auto u32 = [&](size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  };
  uint32_t magic = u32(trailer + 12), length = u32(trailer + 70);
  if (magic != kPackageMagic || length != kTrailerSize) return "";
  bytes[trailer + 69] = 1;  // ThisIs_AutoUpdateProg
  return bytes;
}

bool IsShortcutPath(const std::string& path) { return EndsWith(".lnk", path, true); }
