#include "process/ProcessWindows.h"

#include "util/SeparatorLists.h"

bool IsInputMethodWindowClass(const std::string& className) {
  return SameText(className, "IME") || SameText(className, "MSCTFIME UI");
}

bool TAnalizer::Add(uintptr_t window, uintptr_t root, bool titled, bool visible) {
  if (Full()) return false;
  windows_.push_back(Window{window, root, titled, visible});
  return true;
}

std::vector<uint16_t> TAnalizer::Scores() const {
  std::vector<uint16_t> scores(windows_.size(), 0);
  // +1 to the collected root of every owned window (at most kCapacity - 1 each, so the
  // score stays far below 16 bits).
  for (const Window& w : windows_) {
    if (w.root == w.handle || w.root == 0) continue;
    for (size_t j = 0; j < windows_.size(); ++j)
      if (windows_[j].handle == w.root) {
        ++scores[j];
        break;
      }
  }
  for (size_t i = 0; i < windows_.size(); ++i)
    scores[i] = uint16_t(scores[i] * 4 + (windows_[i].titled ? 2 : 0) + (windows_[i].visible ? 1 : 0));
  return scores;
}

uintptr_t TAnalizer::MainWindow() const {
  std::vector<uint16_t> scores = Scores();
  size_t best = 0;
  uint16_t top = 0;
  for (size_t i = 0; i < scores.size(); ++i)
    if (scores[i] > top) {
      top = scores[i];
      best = i;
    }
  return top ? windows_[best].handle : 0;
}
