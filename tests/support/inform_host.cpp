// Shows the inform dialog from its command line and prints what it answered:
// inform_host [--caption T] [--button T] [--text T] [--address A] [--width N]
// [--height N] [--rtl] [--font NAME] [--size N] [--charset N] [--times N]
// A text value "@FILE" is read from FILE as it is (Rich Text Format has backslashes
// and braces that a command line would not keep). Each call prints "result=0|1";
// when a call ended because the thread was asked to quit, "quit=1" tells that the
// quit message was passed on.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "dialogs/InformDialog.h"
#include "util/DebugLog.h"
#include "util/Files.h"

int main(int argc, char** argv) {
  std::string caption = "New Version", button = "Download", text = "Hello", address, font = "Tahoma";
  int width = 360, height = 360, size = 8, charset = 0, times = 1;
  bool rtl = false;
  InitDebugChannel();  // the refusals go to the debug viewer
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--rtl") {
      rtl = true;
      continue;
    }
    std::string v = i + 1 < argc ? argv[i + 1] : "";
    if (!v.empty() && v[0] == '@') v = ReadFileRange(v.substr(1));
    ++i;
    if (a == "--caption") caption = v;
    else if (a == "--button") button = v;
    else if (a == "--text") text = v;
    else if (a == "--address") address = v;
    else if (a == "--width") width = std::atoi(v.c_str());
    else if (a == "--height") height = std::atoi(v.c_str());
    else if (a == "--font") font = v;
    else if (a == "--size") size = std::atoi(v.c_str());
    else if (a == "--charset") charset = std::atoi(v.c_str());
    else if (a == "--times") times = std::atoi(v.c_str());
    else {
      std::fprintf(stderr, "unknown option %s\n", a.c_str());
      return 2;
    }
  }
  for (int n = 0; n < times && n < 10; ++n) {
    bool shown = ShowInformDialog(nullptr, caption, button, text, address, width, height, rtl, font, size, charset);
    std::printf("result=%d\n", shown ? 1 : 0);
    MSG msg;
    if (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
      std::printf("quit=1\n");
      break;
    }
    std::fflush(stdout);
  }
  std::fflush(stdout);
  return 0;
}
