#include "process/PipedExecution.h"

#include <gtest/gtest.h>

TEST(PipedExecution, CommandLine) {
  struct Case {
    std::string program, parameters, line;
  } cases[] = {
      {"C:\\Windows\\system32\\tasklist.exe", "/FO csv", "C:\\Windows\\system32\\tasklist.exe /FO csv"},
      {"C:\\test dir\\tool.exe", "", "\"C:\\test dir\\tool.exe\""},
      {"C:\\test dir\\tool.exe", "a b", "\"C:\\test dir\\tool.exe\" a b"},
      {"\"C:\\test dir\\tool.exe\"", "-x", "\"C:\\test dir\\tool.exe\" -x"},  // holds a quote: as given
      {"tool", "", "tool"},
  };
  for (const Case& c : cases) EXPECT_EQ(PipedCommandLine(c.program, c.parameters), c.line);
}

TEST(PipedExecution, StartErrorText) {
  std::string longest(kMaxCommandLine, 'x');
  EXPECT_EQ(PipedStartError(longest, "File not found"), std::string(256, 'x') + " --- File not found");
  EXPECT_EQ(PipedStartError(longest + "x", "File not found"), "Command line is too long");
  EXPECT_EQ(PipedStartError("a.exe", "Access denied"), "a.exe --- Access denied");
}

TEST(PipedExecution, ChunksAndWaitSteps) {
  const char chunk[] = {'a', 'b', '\0', 'c'};
  EXPECT_EQ(PipeChunkText(chunk, 4), "ab");
  EXPECT_EQ(PipeChunkText(chunk, 1), "a");
  EXPECT_EQ(PipeChunkText(chunk, 0), "");
  EXPECT_EQ(NextPipeWaitStep(100, false), 100u);
  EXPECT_EQ(NextPipeWaitStep(100, true), 90u);
  EXPECT_EQ(NextPipeWaitStep(15, true), 5u);
  EXPECT_EQ(NextPipeWaitStep(10, true), 10u);
  EXPECT_EQ(NextPipeWaitStep(1, true), 1u);
}
