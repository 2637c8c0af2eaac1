#include "stub/MainWindow.h"

MainWindowLayout MainWindowLayoutFor(int charset) {
  bool rightToLeft = charset == 177 || charset == 178;
  MainWindowLayout layout;
  layout.status = {rightToLeft ? 122 : 70, 20, 340, 18};
  layout.bigBar = {70, 38, 392, 13};
  layout.activityBar = {rightToLeft ? 70 : 416, 20, 46, 13};
  return layout;
}

int NextActivityPosition(int position) {
  int next = position + 1;
  return next > 5 || next < 0 ? 0 : next;
}

bool CloseRequestDestroys(bool abortWasSet, bool stepRunning) { return abortWasSet && !stepRunning; }
