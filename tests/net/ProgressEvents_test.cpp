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

TEST(ProgBarThrottle, FillInThousandths) {
  EXPECT_EQ(BarFill(0, 0), 0);  // no range yet
  EXPECT_EQ(BarFill(5, 0), 0);
  EXPECT_EQ(BarFill(-3, 10), 0);
  EXPECT_EQ(BarFill(1, 12856), 0);
  EXPECT_EQ(BarFill(13, 12856), 1);
  EXPECT_EQ(BarFill(6428, 12856), 500);
  EXPECT_EQ(BarFill(12855, 12856), 999);
  EXPECT_EQ(BarFill(12856, 12856), 1000);
  EXPECT_EQ(BarFill(20000, 12856), 1000);
  EXPECT_EQ(BarFill(0x7FFFFFFE, 0x7FFFFFFF), 999);  // no overflow near the top
}

TEST(ProgBarThrottle, ShownWhenSomethingChangedAndTheIntervalPassed) {
  EXPECT_TRUE(ShouldShowStep(true, false, false, 0));    // the first step of a transfer
  EXPECT_TRUE(ShouldShowStep(false, false, true, 0));    // the one that fills the bar
  EXPECT_FALSE(ShouldShowStep(false, true, false, kMinShowIntervalMs - 1));
  EXPECT_TRUE(ShouldShowStep(false, true, false, kMinShowIntervalMs));
  EXPECT_FALSE(ShouldShowStep(false, false, false, 60000));  // nothing new to show
}

namespace {

uint32_t g_now = 0;
uint32_t FakeClock() { return g_now; }
std::vector<int> g_advances;
std::vector<int> g_advanceTexts;
// Every shown step arrives here, the steps held back before it included.
void RecordAdvance(int count, int text) {
  g_advances.push_back(count);
  g_advanceTexts.push_back(text);
  g_order.push_back("advance");
}

int StepsOf(const std::vector<Call>& calls) {
  int steps = 0;
  for (const Call& c : calls) steps += c.kind == 1 ? 1 : 0;
  return steps;
}

}  // namespace

TEST(ProgBarThrottle, HeldStepsReachTheBarBeforeTheNextShownStep) {
  Reset();
  g_advances.clear();
  g_advanceTexts.clear();
  g_now = 1000;
  g_advanceTexts.clear();
  TProgBar bar(Record, Pump, Wait, FakeClock, RecordAdvance);
  bar.Start(1, 51);  // 50 chunks
  std::vector<std::string> shownTexts;
  for (int i = 1; i <= 50; ++i) {
    bar.Step("chunk " + std::to_string(i));
    g_now += 10;  // a chunk every 10 ms: at most every tenth one is shown
  }
  // Shown: the first, one per 100 ms after it, and the last (it fills the bar), each
  // in one call with the steps held before it; none as a separate plain step.
  EXPECT_EQ(StepsOf(g_calls), 0);
  EXPECT_EQ(g_advances, (std::vector<int>{1, 10, 10, 10, 10, 9}));
  int advanced = 0;
  for (int n : g_advances) advanced += n;
  EXPECT_EQ(advanced, 50);  // the bar ends where 50 steps leave it
  if (sizeof(void*) <= sizeof(int)) {
    // The shown steps carry the text of their own chunk; the last is the 50th.
    for (int text : g_advanceTexts) EXPECT_NE(text, 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(intptr_t(g_advanceTexts.back())), "chunk 50");
  }
  EXPECT_EQ(bar.StepText(), "chunk 50");
  // Pumps run around shown steps only.
  int pumps = 0;
  for (const std::string& o : g_order) pumps += o == "pump" ? 1 : 0;
  EXPECT_EQ(pumps, 2 * (1 + 6));  // the start and six steps
}

TEST(ProgBarThrottle, WithoutAdvanceHookHeldStepsComeAsPlainSteps) {
  Reset();
  g_now = 0;
  TProgBar bar(Record, Pump, Wait, FakeClock);
  bar.Start(1, 31);
  for (int i = 0; i < 30; ++i) {
    bar.Step("t" + std::to_string(i));
    g_now += 25;
  }
  // Every chunk became one step of the callback; only the shown ones carry a text.
  EXPECT_EQ(StepsOf(g_calls), 30);
  int withText = 0;
  for (const Call& c : g_calls) withText += c.kind == 1 && c.text != 0 ? 1 : 0;
  if (sizeof(void*) <= sizeof(int)) EXPECT_EQ(withText, 1 + 7 + 1);  // first, every 4th, last
}

TEST(ProgBarThrottle, NothingNewNothingShown) {
  Reset();
  g_advances.clear();
  g_advanceTexts.clear();
  g_now = 0;
  TProgBar bar(Record, nullptr, nullptr, FakeClock, RecordAdvance);
  bar.Start(1, 100001);  // the fill moves every 100 steps
  bar.Step("same");
  g_now = 5000;
  for (int i = 0; i < 98; ++i) bar.Step("same");  // neither fill nor text changes
  EXPECT_EQ(g_advances, (std::vector<int>{1}));
  bar.Step("same");  // position 101: the first thousandth is filled
  EXPECT_EQ(g_advances, (std::vector<int>{1, 99}));
  bar.Step("other");  // a new text, but within the interval
  EXPECT_EQ(g_advances.size(), 2u);
  g_now += kMinShowIntervalMs;
  bar.Step("other");
  EXPECT_EQ(g_advances, (std::vector<int>{1, 99, 2}));
  EXPECT_EQ(StepsOf(g_calls), 0);
}

TEST(ProgBarThrottle, ANewStartShowsItsFirstStepAndTheClockMayWrap) {
  Reset();
  g_advances.clear();
  g_advanceTexts.clear();
  g_now = 0xFFFFFFF0u;
  TProgBar bar(Record, nullptr, nullptr, FakeClock, RecordAdvance);
  bar.Start(1, 1001);
  bar.Step("a");
  g_now = 0x50;  // 96 ms later, across the wrap
  bar.Step("b");
  EXPECT_EQ(g_advances.size(), 1u);
  g_now = 0x54;  // 100 ms
  bar.Step("c");
  bar.Start(1, 1001);  // the next transfer: its first step shows at once
  bar.Step("d");
  EXPECT_EQ(g_advances, (std::vector<int>{1, 2, 1}));  // only "b" was held
}

TEST(ProgBarThrottle, StepsWithoutTextWhileNoneIsDue) {
  Reset();
  g_advances.clear();
  g_advanceTexts.clear();
  g_now = 0;
  TProgBar bar(Record, nullptr, nullptr, FakeClock, RecordAdvance);
  bar.Start(1, 12);  // 11 chunks
  EXPECT_TRUE(bar.StepDue());  // the first step always shows
  bar.Step("first");
  for (int i = 0; i < 8; ++i) {
    g_now += 10;
    ASSERT_FALSE(bar.StepDue()) << i;
    bar.Step();  // held: no call, no text
  }
  EXPECT_EQ(g_advances.size(), 1u);
  g_now += kMinShowIntervalMs;
  EXPECT_TRUE(bar.StepDue());
  bar.Step("tenth");
  EXPECT_EQ(g_advances, (std::vector<int>{1, 9}));
  EXPECT_EQ(bar.StepText(), "tenth");
  EXPECT_TRUE(bar.StepDue());  // the next step fills the bar: never held back
  bar.Step();                  // due, so shown, with the last text
  EXPECT_EQ(g_advances, (std::vector<int>{1, 9, 1}));
  EXPECT_EQ(bar.StepText(), "tenth");
  TProgBar unclocked(Record);
  EXPECT_TRUE(unclocked.StepDue());  // without a clock every step shows
}
