#include "stub/SetupFlow.h"

#include <gtest/gtest.h>

#include <string>

#include "PackageWriter.h"
#include "package/PackageReader.h"
#include "support/TestFiles.h"

namespace {

TEST(SetupSizeTexts, DecimalsFollowTheSize) {
  EXPECT_EQ(SizeTextMB(0), "0.000");
  EXPECT_EQ(SizeTextMB(-5), "0.000");
  EXPECT_EQ(SizeTextMB(524288), "0.500");
  EXPECT_EQ(SizeTextMB(10485760), "10.00");
  EXPECT_EQ(SizeTextMB(11534336), "11.0");
  EXPECT_EQ(SizeTextMB(1048576), "1.00");
}

TEST(SetupEngineCommand, TheStubsOwnExample) {
  EngineStart e = BuildEngineStart("C:\\Users\\U\\AppData\\Local\\Temp\\SETUP_31245", "Engine.exe", "", 1234,
                                   "C:\\Dl\\setup.exe", false);
  EXPECT_EQ(e.commandLine,
            "C:\\Users\\U\\AppData\\Local\\Temp\\SETUP_31245\\Engine.exe /TH_ID=_1234 /OriginExe=\"C:\\Dl\\setup.exe\"");
  EXPECT_EQ(e.program, "C:\\Users\\U\\AppData\\Local\\Temp\\SETUP_31245\\Engine.exe");
  EXPECT_EQ(e.token, "_1234");
  // A trailing backslash of the folder is not doubled.
  EXPECT_EQ(BuildEngineStart("C:\\T\\", "Engine.exe", "", 1, "C:\\s.exe", false).program, "C:\\T\\Engine.exe");
}

TEST(SetupEngineCommand, SwitchesFromTheRunCommandAndTheCommandLine) {
  EXPECT_EQ(BuildEngineStart("C:\\T", "Engine.exe * /S /LANG=2", "/X", 7, "C:\\s.exe", false).commandLine,
            "C:\\T\\Engine.exe /X /S /LANG=2 /TH_ID=_7 /OriginExe=\"C:\\s.exe\"");
  EXPECT_EQ(BuildEngineStart("C:\\T", "Engine.exe*", "  /X ", 7, "C:\\s.exe", false).commandLine,
            "C:\\T\\Engine.exe /X /TH_ID=_7 /OriginExe=\"C:\\s.exe\"");
  // An /OriginExe= of the command line is not given twice; an agent says so.
  EXPECT_EQ(BuildEngineStart("C:\\T", "Engine.exe", "/OriginExe=\"D:\\o.exe\"", 7, "C:\\s.exe", true).commandLine,
            "C:\\T\\Engine.exe /OriginExe=\"D:\\o.exe\" /TH_ID=_7 /AutoUpdateProg");
}

TEST(SetupEngineCommand, SpanSwitchesNeverReachTheEngine) {
  std::string tail = "/SpanCdLvl=2 /SpanDiskFName1=\"E:\\setup.exe.001\" /OriginExe=\"E:\\setup.exe\"";
  EXPECT_EQ(BuildEngineStart("C:\\T", "Engine.exe", tail, 9, "C:\\T\\Y_setup.exe", false).commandLine,
            "C:\\T\\Engine.exe /OriginExe=\"E:\\setup.exe\" /TH_ID=_9");
  EXPECT_EQ(RemoveSwitch("a /X=1 /Y", "/Z="), "a /X=1 /Y");
  EXPECT_EQ(RemoveSwitch("a /X=1 /Y", "/X="), "a /Y");
  EXPECT_EQ(RemoveSwitch("a /Y /X=1", "/X="), "a /Y ");
}

TEST(SetupTempSpace, QuestionTexts) {
  TempSpaceTexts t;
  const double MB = 1048576;
  EXPECT_EQ(TempSpaceQuestion(t, false, 10 * MB, 500 * MB, "c:\\temp"), "");
  std::string note = TempSpaceQuestion(t, true, 10 * MB, 500 * MB, "c:\\temp");
  EXPECT_EQ(note,
            "Vabrix will extract files to your Temp Drive (C:)<P><P>Estimated space required on your Temp drive is: "
            "<T>  10.00 MB<P>Free space available on your Temp drive is: <T>  500.0 MB<P><P>Continue with Setup?<P>");
  std::string limited = TempSpaceQuestion(t, true, 600 * MB, 500 * MB, "D:\\x");
  EXPECT_EQ(limited.substr(0, 48), "Limited Free Space on your Temp Drive! (D:)<P><P");
  // Equal room is not enough room.
  EXPECT_NE(TempSpaceQuestion(t, false, 500 * MB, 500 * MB, "D:\\x"), "");
}

TEST(SetupAgentCopy, CutAtTheStampedLengthWithTheAgentFlag) {
  class TempDir dir;
  WriteBytes(dir.File("stub.exe"), MakeStubImage(4096));
  WriteBytes(dir.File("a.txt"), "x");
  BuildOptions o;
  o.kind = OutputKind::Internet;
  o.stubPath = dir.File("stub.exe");
  o.outputPath = dir.File("net.exe");
  o.downloadLocation = "http://h/";
  o.downloadFileName = "s.exe";
  BuildResult result;
  std::string error;
  ASSERT_TRUE(WritePackage(o, result, error)) << error;
  std::string setup = ReadBytes(dir.File("net.exe"));

  // A signature appended later is cut off.
  std::string signedFile = setup + std::string(20000, 'S');
  std::string agent = AgentCopyOf(signedFile);
  ASSERT_EQ(agent.size(), setup.size());
  EXPECT_EQ(uint8_t(agent[agent.size() - 5]), 1);
  MemoryFile file(agent);
  EXPECT_EQ(TGFileInfo(file).ThisIs_AutoUpdateProg(), 1);
  EXPECT_EQ(agent.substr(0, agent.size() - 5), setup.substr(0, setup.size() - 5));
  // The copy carries the setup file's CRC, which still fits its bytes.
  PackageTrailer raw;
  TrailerLocation where = ReadTrailer(file, raw);
  PieceCrcCheck crc = CheckPieceCrc(file, raw, where);
  EXPECT_EQ(crc.field.state, PieceCrcState::Stored);
  EXPECT_TRUE(crc.passes);
  // Bytes without a package give nothing.
  EXPECT_EQ(AgentCopyOf(MakeStubImage(4096)), "");
  EXPECT_EQ(AgentCopyOf(""), "");
}

TEST(SetupLinks, OnlyShortcutsAreRemoved) {
  EXPECT_TRUE(IsShortcutPath("C:\\Users\\u\\Start Menu\\Startup\\App.LNK"));
  EXPECT_FALSE(IsShortcutPath("C:\\Windows\\notepad.exe"));
  EXPECT_FALSE(IsShortcutPath(""));
}

}  // namespace
