// The plain agent's decisions: the copy's name and switches, and what it posts.
#include "stub/AgentStart.h"

#include <gtest/gtest.h>

#include "stub/MainWindow.h"

namespace {

TEST(AgentStart, TransientCopyAndItsSwitches) {
  EXPECT_EQ(TransientPathOf("C:\\Program Files\\App\\Agent.exe"), "C:\\Program Files\\App\\X_Agent.exe");
  EXPECT_EQ(TransientSwitches("", ""), "");
  EXPECT_EQ(TransientSwitches("|1|255|", ""), " /TRANSIENTx=|1|255|");
  EXPECT_EQ(TransientSwitches("", "30"), " /SleepX=30");
  EXPECT_EQ(TransientSwitches("|1|", "30"), " /TRANSIENTx=|1| /SleepX=30");

  const std::string agent = "C:\\App\\agent.EXE";
  EXPECT_TRUE(ShouldCreateTransient(true, false, "", agent, " Agent.exe "));
  EXPECT_FALSE(ShouldCreateTransient(true, true, "", agent, "Agent.exe"));
  EXPECT_FALSE(ShouldCreateTransient(true, true, "099", agent, "Agent.exe"));
  EXPECT_TRUE(ShouldCreateTransient(true, true, "99", agent, "Agent.exe"));
  EXPECT_FALSE(ShouldCreateTransient(false, false, "", agent, "Agent.exe"));
  EXPECT_FALSE(ShouldCreateTransient(true, false, "", "C:\\App\\X_Agent.exe", "Agent.exe"));
}

TEST(AgentStart, ListenerSwitch) {
  struct Case {
    const char* text;
    uint64_t window;
    uint32_t message;
  } cases[] = {
      {"6699:49152", 6699, 49152}, {"6699", 6699, 0},       {":49152", 0, 49152}, {"x:y", 0, 0},
      {"-5:1024", 0, 1024},        {"4294967296:1", 0, 1},  {"", 0, 0},           {"1:2:3", 1, 2},
  };
  for (const Case& c : cases) {
    ListenerSwitch l = ParseListenerSwitch(c.text);
    EXPECT_EQ(l.window, c.window) << c.text;
    EXPECT_EQ(l.message, c.message) << c.text;
  }
}

TEST(AgentStart, ControlPostsOfACommandLine) {
  const std::string x = "C:\\App\\X_Agent.exe";
  ControlSwitches s = ControlSwitchesIn("/STOP=0 /WM_MSG=6699:49152 /TEST=1 /TRANSIENTx=|1|");
  EXPECT_EQ(s.overrides, "|1|");
  auto posts = PlanControlPosts(s, x, false);
  ASSERT_EQ(posts.size(), 4u);
  EXPECT_EQ(posts[0].message, kWmShutDown);
  EXPECT_EQ(posts[0].wParam, 0u);
  EXPECT_EQ(posts[0].logLine, "PostProcessMessage(wm_ShutDown) to: " + x);
  EXPECT_EQ(posts[1].message, kWmLocalMsg);
  EXPECT_EQ(posts[1].wParam, 6699u);
  EXPECT_EQ(posts[1].lParam, 49152u);
  EXPECT_EQ(posts[1].logLine, "PostProcessMessage(wm_LocalMsg) to: " + x + " - :6699:49152:");
  EXPECT_EQ(posts[2].message, kWmAgentMsg);
  EXPECT_EQ(posts[2].wParam, 31u);
  EXPECT_EQ(posts[2].lParam, 1u);
  EXPECT_EQ(posts[2].logLine, "PostProcessMessage(wm_AgentMsg) to: " + x + " - AU_PerformUpdateCycle (1)");
  // A copy started for this cycle alone ends two ticks after it.
  EXPECT_EQ(posts[3].message, kWmShutDown);
  EXPECT_EQ(posts[3].wParam, 2u);

  EXPECT_EQ(PlanControlPosts(ControlSwitchesIn("/TEST=1"), x, true).size(), 1u);
  EXPECT_EQ(PlanControlPosts(ControlSwitchesIn("/TEST=0"), x, false).size(), 1u);
  EXPECT_TRUE(PlanControlPosts(ControlSwitchesIn("/STOP=-1 /TEST=-1 /other"), x, false).empty());
  // Values larger than a message carries are clamped, never wrapped to small ones.
  posts = PlanControlPosts(ControlSwitchesIn("/STOP=4294967296"), x, true);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].wParam, 0x7FFFFFFFu);
}

}  // namespace
