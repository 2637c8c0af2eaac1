#include "net/ProgressEvents.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

struct Call {
  int kind, reserved, maximum, text, step, position;
};
std::vector<Call> g_calls;
std::vector<std::string> g_order;

void Record(int kind, int reserved, int maximum, int text, int step, int position) {
  g_calls.push_back({kind, reserved, maximum, text, step, position});
  g_order.push_back("event");
}
void Pump() { g_order.push_back("pump"); }
void Wait(uint32_t ms) { g_order.push_back("wait" + std::to_string(ms)); }

void Reset() {
  g_calls.clear();
  g_order.clear();
}

}  // namespace

TEST(ProgBar, EventsCarryTheirArguments) {
  Reset();
  {
    TProgBar bar(Record, Pump, Wait);
    bar.Start(1, 524289);  // above 16 bits
    bar.Step("8.0/2,929.7 KB");
    bar.SetCaption("setup.exe");
    EXPECT_EQ(bar.Caption(), "setup.exe");
    EXPECT_EQ(bar.StepText(), "8.0/2,929.7 KB");
    ASSERT_EQ(g_calls.size(), 2u);  // the caption is not forwarded
    EXPECT_EQ(g_calls[0].kind, 0);
    EXPECT_EQ(g_calls[0].reserved, 0);
    EXPECT_EQ(g_calls[0].maximum, 524289);
    EXPECT_EQ(g_calls[0].text, 0);
    EXPECT_EQ(g_calls[0].step, 1);
    EXPECT_EQ(g_calls[0].position, 1);
    EXPECT_EQ(g_calls[1].kind, 1);
    EXPECT_EQ(g_calls[1].maximum, 0);
    EXPECT_EQ(g_calls[1].step, 0);
    EXPECT_EQ(g_calls[1].position, 0);
    if (sizeof(void*) <= sizeof(int))
      EXPECT_EQ(g_calls[1].text, int(reinterpret_cast<intptr_t>(bar.StepText().c_str())));
    else
      EXPECT_EQ(g_calls[1].text, 0);  // a pointer would not fit
  }
  // The destructor sends the end event.
  ASSERT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(g_calls[2].kind, 0);
  EXPECT_EQ(g_calls[2].maximum, 0);
  EXPECT_EQ(g_calls[2].step, 1);
  EXPECT_EQ(g_calls[2].position, 0);
}

TEST(ProgBar, PumpsAroundEveryEventAndWaitsAroundFinish) {
  Reset();
  TProgBar bar(Record, Pump, Wait);
  bar.Step("x");
  bar.Finish(300, 700);
  const std::vector<std::string> expected = {"pump", "event", "pump", "wait300", "pump", "event", "pump", "wait700"};
  EXPECT_EQ(g_order, expected);
  Reset();
  bar.Finish(0, 0);  // no waits asked: none made
  EXPECT_EQ(g_order, (std::vector<std::string>{"pump", "event", "pump"}));
}

TEST(ProgBar, CancelFlagAndMissingCallback) {
  Reset();
  TProgBar bar(nullptr);
  EXPECT_FALSE(bar.Cancelled());
  bar.SetCancel(true);
  EXPECT_TRUE(bar.Cancelled());
  bar.Start(1, 10);  // nothing to call, nothing breaks
  bar.Step("t");
  EXPECT_TRUE(g_calls.empty());
  bar.SetCancel(false);
  EXPECT_FALSE(bar.Cancelled());
}
