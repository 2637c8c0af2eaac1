#include "dialogs/InformDialog.h"

#include <algorithm>

#include "util/SeparatorLists.h"

namespace {

bool HostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
         c == '_' || c == ':' || c == '@' || c == '[' || c == ']' || c == '%';
}

}  // namespace

std::string InformAddressToOpen(const std::string& address) {
  std::string a = Trim(address);
  if (a.empty() || a.size() > kMaxInformAddress) return "";
  // The shell hands the address to the browser inside a quoted command line: a quote,
  // a blank or a control character would let the text add arguments of its own; a
  // backslash has no place in a web address and makes some handlers read a share.
  for (char c : a)
    if ((unsigned char)c <= 32 || c == '"' || c == '\\' || (unsigned char)c == 127) return "";
  if (StartsWith("www.", a, true)) a = "http://" + a;
  size_t hostAt = 0;
  if (StartsWith("http://", a, true))
    hostAt = 7;
  else if (StartsWith("https://", a, true))
    hostAt = 8;
  else
    return "";
  size_t hostEnd = a.find_first_of("/?#", hostAt);
  if (hostEnd == std::string::npos) hostEnd = a.size();
  if (hostEnd == hostAt) return "";
  for (size_t i = hostAt; i < hostEnd; ++i)
    if (!HostChar(a[i])) return "";
  return a;
}

InformDecision DecideInform(const std::string& text, const std::string& address) {
  InformDecision d;
  d.address = Trim(address);
  if (!text.empty()) {
    d.action = InformAction::ShowDialog;
  } else if (d.address.empty()) {
    d.action = InformAction::Nothing;
  } else {
    std::string open = InformAddressToOpen(d.address);
    d.action = open.empty() ? InformAction::Refuse : InformAction::OpenAddress;
    if (!open.empty()) d.address = open;
  }
  return d;
}

std::string InformTextFontName(const std::string& fontName) {
  // Font names are matched without regard to case by the system too.
  return fontName.empty() || SameText(fontName, "Tahoma") ? "Verdana" : fontName;
}

InformRect InformWindowRect(int width, int height, int screenWidth, int screenHeight, const WorkArea& area) {
  int areaWidth = std::max(area.right - area.left, 1), areaHeight = std::max(area.bottom - area.top, 1);
  InformRect r;
  r.width = std::min(std::max(width, kInformMinWidth), areaWidth);
  r.height = std::min(std::max(height, kInformMinHeight), areaHeight);
  r.x = std::clamp((screenWidth - r.width) / 2, area.left, std::max(area.left, area.right - r.width));
  r.y = std::clamp((screenHeight - r.height) / 2, area.top, std::max(area.top, area.bottom - r.height));
  return r;
}

InformLayout InformDialogLayout(int clientWidth, int clientHeight, bool hasAddress) {
  InformLayout l;
  int band = hasAddress ? kInformBand : 0;
  l.text = {3, 0, std::max(clientWidth - 3, 0), std::max(clientHeight - band, 0)};
  if (hasAddress) {
    l.button = true;
    l.buttonRect = {(clientWidth - kInformButtonWidth) / 2, clientHeight - 33, kInformButtonWidth,
                    kInformButtonHeight};
    l.lineY = clientHeight - kInformBand;
    l.bandTop = clientHeight - (kInformBand - 1);
  }
  return l;
}
