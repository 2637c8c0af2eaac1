// The control message's requests and the steps every agent tick takes.
#include "agent/AgentControl.h"

#include <gtest/gtest.h>

namespace {

struct Agent {
  AgentVariables vars;
  OverrideSwitches overrides;
  IniText original{"[OriginalSetup]\r\nVersionOriginal=7\r\nProbeSecondsInterval=86400\r\n"};
  IniText info{"[NewSetup]\r\nVersionNew=9\r\n"};
  SecondsFloor floor;
  uint32_t Ask(uint32_t type, uint32_t value = 0) {
    AgentRequestTarget t{vars, overrides, original, info, floor};
    return HandleAgentRequest(t, type, value);
  }
};

TEST(AgentRequests, ReadAndWriteTheSettings) {
  Agent a;
  EXPECT_EQ(a.Ask(4), 7u);
  EXPECT_EQ(a.Ask(5), 9u);
  EXPECT_EQ(a.Ask(8), 86400u);
  // Today's Seconds values (about 3.9e9) do not fit a signed 32-bit lParam: a point
  // in time is taken unsigned and reads back whole.
  const uint32_t today = 3'974'000'000u;
  EXPECT_EQ(a.Ask(14, today), 0u);
  EXPECT_EQ(a.original.Read("OriginalSetup", "ProbeSecondsLast", ""), "3974000000");
  EXPECT_NE(a.original.Read("OriginalSetup", "__ProbeSecondsLast", ""), "");
  EXPECT_EQ(a.Ask(10), today);
  EXPECT_EQ(a.Ask(15, today), 0u);
  EXPECT_EQ(a.Ask(11), today);
  // Intervals keep -1 (no timed probes).
  EXPECT_EQ(a.Ask(12, uint32_t(-1)), 0u);
  EXPECT_EQ(a.original.Read("OriginalSetup", "ProbeSecondsInterval", ""), "-1");
  EXPECT_EQ(a.Ask(8), uint32_t(-1));
  a.Ask(13, 3600);
  EXPECT_EQ(a.Ask(9), 3600u);
}

TEST(AgentRequests, SteerTheAgentVariables) {
  Agent a;
  for (uint32_t type = 20; type <= 25; ++type) a.Ask(type, type == 20 ? 0x101 : type - 20);
  EXPECT_EQ(a.overrides.ListText(), "|1|1|2|3|4|5|255|255|");  // low 8 bits; 6 and 7 untouched
  a.Ask(26, 1);
  EXPECT_EQ(a.overrides.Get(6), 255);

  a.Ask(30, uint32_t(-1));
  EXPECT_EQ(a.vars.stopTicks, -1);
  a.Ask(30, 2);
  EXPECT_EQ(a.vars.stopTicks, 2);

  a.Ask(31, 1);
  EXPECT_TRUE(a.vars.force);
  EXPECT_EQ(a.vars.tickCounter, 1);
  EXPECT_EQ(a.vars.mode, 0);
  a.vars.tickCounter = 5;
  a.Ask(31, 2);
  EXPECT_EQ(a.vars.tickCounter, 5);  // raised to at least 1, never lowered
  EXPECT_EQ(a.vars.mode, 2);

  a.Ask(32);
  EXPECT_TRUE(a.vars.justFetchInfo);
  a.vars.state = kAgentInstalling;
  EXPECT_EQ(a.Ask(7), 3u);

  // Unknown types answer 0 and change nothing.
  AgentVariables before = a.vars;
  std::string list = a.overrides.ListText();
  for (uint32_t type : {0u, 6u, 16u, 19u, 33u, 0xFFFFFFFFu}) EXPECT_EQ(a.Ask(type, 12345), 0u) << type;
  EXPECT_EQ(a.overrides.ListText(), list);
  EXPECT_EQ(a.vars.stopTicks, before.stopTicks);
  EXPECT_EQ(a.original.Read("OriginalSetup", "VersionOriginal", ""), "7");
}

TEST(AgentListener, OnlyRealWindowsAndPrivateMessages) {
  EXPECT_TRUE(ListenerAccepted(0x1234, 49152, true));
  EXPECT_TRUE(ListenerAccepted(0x1234, 1024, true));
  EXPECT_TRUE(ListenerAccepted(0, 0, false));  // clears the listener
  EXPECT_FALSE(ListenerAccepted(0x1234, 16, true));  // WM_CLOSE
  EXPECT_FALSE(ListenerAccepted(0x1234, 1023, true));
  EXPECT_FALSE(ListenerAccepted(0x1234, 0x10000, true));
  EXPECT_FALSE(ListenerAccepted(0x1234, 49152, false));
}

TEST(AgentTick, StopCountAndCheckNow) {
  AgentVariables v;
  v.stopTicks = 2;
  // Ticks 1 and 2 run, the third quits.
  for (int tick = 1; tick <= 3; ++tick) {
    TickStart t = BeginAgentTick(v);
    ASSERT_TRUE(t.run);
    EXPECT_EQ(t.quit, tick == 3) << tick;
    EXPECT_EQ(v.tickCounter, -3 + tick);
    EXPECT_FALSE(t.probeWindow);
    EndAgentTick(v);
  }
  EXPECT_EQ(v.stopTicks, -1);
  EXPECT_FALSE(BeginAgentTick(v).quit);  // -1 never stops
  // A tick that arrives while one is busy does nothing at all.
  AgentVariables before = v;
  EXPECT_FALSE(BeginAgentTick(v).run);
  EXPECT_EQ(v.tickCounter, before.tickCounter);
  EndAgentTick(v);

  // Check-now: the next tick starts the count again and opens the probe window.
  v.tickCounter = 40;
  v.mode = 2;
  TickStart t = BeginAgentTick(v);
  EXPECT_EQ(v.mode, 1);
  EXPECT_EQ(v.tickCounter, 1);
  EXPECT_TRUE(t.probeWindow);
  EndAgentTick(v);
  EXPECT_EQ(v.mode, 0);

  // A just-fetch tick touches nothing else, not even the stop count.
  v.justFetchInfo = true;
  v.stopTicks = 0;
  t = BeginAgentTick(v);
  EXPECT_TRUE(t.justFetchInfo);
  EXPECT_FALSE(t.quit);
  EXPECT_FALSE(v.justFetchInfo);
  EXPECT_EQ(v.stopTicks, 0);
  EndAgentTick(v);
  EXPECT_TRUE(BeginAgentTick(v).quit);
}

}  // namespace
