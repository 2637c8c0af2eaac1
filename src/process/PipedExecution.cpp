#include "process/PipedExecution.h"

#include "util/SeparatorLists.h"

std::string PipedCommandLine(const std::string& program, const std::string& parameters) {
  bool quote = program.find(' ') != std::string::npos && program.find('"') == std::string::npos;
  std::string line = quote ? Quote(program) : program;
  if (!parameters.empty()) line += " " + parameters;
  return line;
}

std::string PipedStartError(const std::string& commandLine, const std::string& reason) {
  if (commandLine.size() > kMaxCommandLine) return "Command line is too long";
  return commandLine.substr(0, 256) + " --- " + reason;
}

std::string PipeChunkText(const char* data, size_t size) {
  size_t n = 0;
  while (n < size && data[n] != '\0') ++n;
  return std::string(data, n);
}

uint32_t NextPipeWaitStep(uint32_t step, bool outputSeen) { return outputSeen && step > 10 ? step - 10 : step; }
