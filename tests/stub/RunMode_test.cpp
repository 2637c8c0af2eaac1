#include "stub/RunMode.h"

#include <gtest/gtest.h>

namespace {
RunInputs Inputs(bool agent, const std::string& path, const std::string& agentName, bool spanned = false,
                 int64_t level = 1) {
  RunInputs in;
  in.agentFlag = agent;
  in.programPath = path;
  in.agentName = agentName;
  in.spannedSet = spanned;
  in.spanLevel = level;
  return in;
}
}  // namespace

TEST(InstanceClassName, AgentsUseTheirNameSetupsTheirPath) {
  EXPECT_EQ(InstanceClassName(true, "C:\\App\\Agent.exe"), ".AutoUpdate.Agent");
  EXPECT_EQ(InstanceClassName(true, "C:\\App\\Agent.beta.exe"), ".AutoUpdate.Agent");
  EXPECT_EQ(InstanceClassName(true, "C:\\App\\X_Agent.exe"), ".AutoUpdate.X_Agent");
  EXPECT_EQ(InstanceClassName(false, "C:\\Users\\me\\Downloads\\setup.exe"), "C:\\Users\\me\\Downloads\\setup.exe");
  EXPECT_EQ(TransientAgentClassName("Agent.exe"), ".AutoUpdate.X_Agent");
}

TEST(InstanceClassName, DeepPathsBecomeAStableHash) {
  std::string deep = "C:\\" + std::string(300, 'd') + "\\setup.exe";
  std::string name = InstanceClassName(false, deep);
  EXPECT_LE(name.size(), kMaxClassNameLength);
  EXPECT_EQ(name.rfind("VabrixStub.", 0), 0u);
  EXPECT_EQ(name, InstanceClassName(false, deep));
  std::string upper = deep;
  upper[3] = 'D';
  EXPECT_EQ(InstanceClassName(false, upper), name);  // paths compare without case
  std::string other = deep;
  other[5] = 'e';
  EXPECT_NE(InstanceClassName(false, other), name);
  std::string exact = "C:\\" + std::string(kMaxClassNameLength - 3, 'x');
  EXPECT_EQ(InstanceClassName(false, exact), exact);  // 255 characters still fit
}

TEST(RunMode, AgentNamesDecideTheAgentRoles) {
  EXPECT_EQ(ChooseRunMode(Inputs(true, "C:\\App\\Agent.exe", "Agent.exe")), RunMode::PlainAgent);
  EXPECT_EQ(ChooseRunMode(Inputs(true, "C:\\App\\agent.EXE", " Agent.exe ")), RunMode::PlainAgent);
  EXPECT_EQ(ChooseRunMode(Inputs(true, "C:\\App\\X_Agent.exe", "Agent.exe")), RunMode::TransientAgent);
  EXPECT_EQ(ChooseRunMode(Inputs(true, "C:\\App\\x_agent.exe", "AGENT.EXE")), RunMode::TransientAgent);
  // Agent flag with another name, or no agent name: a setup run (its window does agent work).
  EXPECT_EQ(ChooseRunMode(Inputs(true, "C:\\App\\Other.exe", "Agent.exe")), RunMode::SetupRun);
  EXPECT_EQ(ChooseRunMode(Inputs(true, "C:\\App\\Agent.exe", "")), RunMode::SetupRun);
  // Without the agent flag the names mean nothing.
  EXPECT_EQ(ChooseRunMode(Inputs(false, "C:\\App\\Agent.exe", "Agent.exe")), RunMode::SetupRun);
  EXPECT_FALSE(IsPlainAgent(true, "C:\\App\\Agent.exe.bak", "Agent.exe"));
}

TEST(RunMode, SpannedSetsRestartOnlyAtTheFirstLevel) {
  EXPECT_EQ(ChooseRunMode(Inputs(false, "D:\\setup.exe", "", true, 1)), RunMode::FirstLevelSpanned);
  EXPECT_EQ(ChooseRunMode(Inputs(false, "D:\\setup.exe", "", true, 2)), RunMode::SetupRun);
  EXPECT_EQ(ChooseRunMode(Inputs(false, "D:\\setup.exe", "", true, 3)), RunMode::SetupRun);
  EXPECT_EQ(ChooseRunMode(Inputs(false, "D:\\setup.exe", "", false, 1)), RunMode::SetupRun);
  // Agent roles come first.
  EXPECT_EQ(ChooseRunMode(Inputs(true, "D:\\Agent.exe", "Agent.exe", true, 1)), RunMode::PlainAgent);
}

TEST(RunMode, OnlyTheTemporaryCopyDeletesItsFolder) {
  const std::string temp = "C:\\Users\\me\\Temp\\_Setup.12";
  EXPECT_TRUE(DeletesItsFolderAfterSetup(Inputs(false, temp + "\\Y_setup.exe", "", true, 2), temp));
  EXPECT_TRUE(DeletesItsFolderAfterSetup(Inputs(false, temp + "\\y_SETUP.exe", "", true, 2), temp + "\\"));
  // A user's own setup started with /SpanCdLvl=2 keeps itself and its folder.
  EXPECT_FALSE(DeletesItsFolderAfterSetup(Inputs(false, "C:\\Users\\me\\Downloads\\setup.exe", "", true, 2), temp));
  EXPECT_FALSE(DeletesItsFolderAfterSetup(Inputs(false, "C:\\Users\\me\\Downloads\\Y_setup.exe", "", true, 2), temp));
  EXPECT_FALSE(DeletesItsFolderAfterSetup(Inputs(false, temp + "\\Y_setup.exe", "", false, 2), temp));
  EXPECT_FALSE(DeletesItsFolderAfterSetup(Inputs(false, temp + "\\Y_setup.exe", "", true, 3), temp));
  EXPECT_FALSE(DeletesItsFolderAfterSetup(Inputs(false, temp + "\\sub\\Y_setup.exe", "", true, 2), temp));
  EXPECT_FALSE(DeletesItsFolderAfterSetup(Inputs(false, temp + "\\Y_setup.exe", "", true, 2), ""));
}
