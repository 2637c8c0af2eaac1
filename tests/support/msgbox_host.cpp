// Shows one message box of the stub and prints its answer, for the tests and the
// pictures: msgbox_host [--kind raw|error|attention|yesno|okcancel] [--text T]
// [--title T] [--flags N] [--timeout MS] [--charset N] [--buttons L] [--owner N]
// [--font NAME] [--size N] [--autoplay]
// A text value "@FILE" is read from FILE as it is: a command line would change bytes
// of another code page on their way through Wine.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dialogs/MessageBox.h"
#include "util/Files.h"
#include "util/PlatformHelpers.h"

int main(int argc, char** argv) {
  std::string kind = "raw", text = "Hello", title = "Title", buttons, font = "Tahoma";
  uint32_t flags = 0;
  int timeout = 0, charset = 0, size = 8;
  uintptr_t owner = 1;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    std::string v = i + 1 < argc ? argv[i + 1] : "";
    if (!v.empty() && v[0] == '@') v = ReadFileRange(v.substr(1));
    if (a == "--autoplay") {
      EnableAutoPlayCancel(true);
      continue;
    }
    ++i;
    if (a == "--kind") kind = v;
    else if (a == "--text") text = v;
    else if (a == "--title") title = v;
    else if (a == "--flags") flags = uint32_t(std::strtoul(v.c_str(), nullptr, 0));
    else if (a == "--timeout") timeout = std::atoi(v.c_str());
    else if (a == "--charset") charset = std::atoi(v.c_str());
    else if (a == "--buttons") buttons = v;
    else if (a == "--owner") owner = uintptr_t(std::strtoul(v.c_str(), nullptr, 0));
    else if (a == "--font") font = v;
    else if (a == "--size") size = std::atoi(v.c_str());
    else {
      std::fprintf(stderr, "unknown option %s\n", a.c_str());
      return 2;
    }
  }
  SetMsgBoxFont(font, size, charset);
  if (kind == "raw") {
    std::printf("result=%d\n", ShowMsgBox(nullptr, text, title, timeout, flags, buttons.empty() ? kDefaultButtonTexts : buttons));
  } else if (kind == "box") {
    std::printf("result=%d\n", ShowMessageBox(owner, text, title, timeout, flags, charset, buttons));
  } else if (kind == "error") {
    ShowError(owner, text, title, charset, buttons);
    std::printf("result=done\n");
  } else if (kind == "attention") {
    ShowAttention(owner, text, title, timeout, charset, buttons);
    std::printf("result=done\n");
  } else if (kind == "yesno") {
    std::printf("answer=%d\n", AskYesNo(owner, text, title, timeout, charset, buttons) ? 1 : 0);
  } else if (kind == "okcancel") {
    std::printf("answer=%d\n", AskOkCancel(owner, text, title, charset, buttons) ? 1 : 0);
  } else {
    std::fprintf(stderr, "unknown kind %s\n", kind.c_str());
    return 2;
  }
  std::fflush(stdout);
  return 0;
}
