#include "process/ProcessWindows.h"

#include <gtest/gtest.h>

namespace {

struct W {
  uintptr_t handle, root;
  bool titled, visible;
};

uintptr_t MainOf(const std::vector<W>& windows) {
  TAnalizer a(1);
  for (const W& w : windows) a.Add(w.handle, w.root, w.titled, w.visible);
  return a.MainWindow();
}

}  // namespace

TEST(TAnalizer, ScoresAndChoosesTheMainWindow) {
  TAnalizer a(42);
  // hidden untitled tool window, visible titled main window, its visible titled dialog
  a.Add(1, 1, false, false);
  a.Add(2, 2, true, true);
  a.Add(3, 2, true, true);
  EXPECT_EQ(a.Scores(), (std::vector<uint16_t>{0, 7, 3}));
  EXPECT_EQ(a.MainWindow(), 2u);
  EXPECT_EQ(a.ProcessId(), 42u);

  struct Case {
    std::vector<W> windows;
    uintptr_t main;
  } cases[] = {
      {{}, 0},
      {{{5, 5, false, false}}, 0},                      // a lone hidden untitled window is no one's
      {{{5, 5, false, true}, {6, 6, false, true}}, 5},  // equal scores: the first wins
      {{{5, 5, true, false}, {6, 6, false, true}}, 5},  // a title counts more than being shown
      // an owner chain: 9 owns 8, 8 owns 7; 7 and 8 both have 9 as their root
      {{{7, 9, true, true}, {8, 9, true, true}, {9, 9, false, false}}, 9},
      // a root outside the collected windows scores for nobody
      {{{7, 99, false, true}, {8, 8, false, false}}, 7},
  };
  for (const Case& c : cases) EXPECT_EQ(MainOf(c.windows), c.main);
}

TEST(TAnalizer, KeepsAtMostItsCapacity) {
  TAnalizer a(1);
  for (uintptr_t i = 1; i <= TAnalizer::kCapacity; ++i) EXPECT_TRUE(a.Add(i, i, false, false));
  EXPECT_TRUE(a.Full());
  EXPECT_FALSE(a.Add(5000, 5000, true, true));  // ignored, never written
  EXPECT_EQ(a.Count(), TAnalizer::kCapacity);
  EXPECT_EQ(a.MainWindow(), 0u);
  // Every other window owned by the first: the score stays exact in 16 bits.
  TAnalizer owner(1);
  owner.Add(1, 1, true, true);
  for (uintptr_t i = 2; i <= TAnalizer::kCapacity; ++i) owner.Add(i, 1, false, false);
  EXPECT_EQ(owner.Scores()[0], 2000 * 4 + 3);
}

TEST(TAnalizer, InputMethodWindowsAreNoCandidates) {
  EXPECT_TRUE(IsInputMethodWindowClass("IME"));
  EXPECT_TRUE(IsInputMethodWindowClass("msctfime ui"));
  EXPECT_FALSE(IsInputMethodWindowClass("IMEX"));
  EXPECT_FALSE(IsInputMethodWindowClass("AppWindow"));
}

TEST(Ticks, ElapsedAcrossTheWrap) {
  EXPECT_EQ(TicksSince(0xFFFFFF00u, 0x00000010u), 0x110u);
  EXPECT_EQ(TicksSince(100, 350), 250u);
}
