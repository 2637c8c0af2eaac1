#include "dialogs/MessageBox.h"

#include "util/SeparatorLists.h"

namespace {

bool MatchesAt(const std::string& text, size_t at, const char* tag) {
  for (size_t i = 0; tag[i]; ++i) {
    if (at + i >= text.size()) return false;
    char a = text[at + i], b = tag[i];
    if (a >= 'a' && a <= 'z') a = char(a - 32);
    if (a != b) return false;
  }
  return true;
}

char Upper(char ch) { return ch >= 'a' && ch <= 'z' ? char(ch - 32) : ch; }

}  // namespace

MarkedText ParseMarkup(const std::string& markup) {
  MarkedText out;
  size_t i = StartsWith("<<b>", markup, true) ? 1 : 0;
  out.text.reserve(markup.size());
  bool open = false;
  size_t openAt = 0;
  while (i < markup.size()) {
    if (markup[i] == '<') {
      if (MatchesAt(markup, i, "<P>")) {
        out.text += "\r\n";
        i += 3;
        continue;
      }
      if (MatchesAt(markup, i, "<T>")) {
        out.text += '\t';
        i += 3;
        continue;
      }
      if (MatchesAt(markup, i, "<B>")) {
        if (!open) {
          open = true;
          openAt = out.text.size();
        }
        i += 3;
        continue;
      }
      if (MatchesAt(markup, i, "</B>")) {
        if (open) {
          open = false;
          if (out.text.size() > openAt) out.bold.push_back({openAt, out.text.size()});
        }
        i += 4;
        continue;
      }
    }
    out.text += markup[i++];
  }
  return out;
}

std::vector<BoxButton> ButtonSet(uint32_t flags) {
  switch (flags & 0xF) {
    case 0: return {{0, 1}};
    case 1: return {{0, 1}, {1, 2}};
    case 2: return {{4, 3}, {5, 4}, {6, 5}};
    case 3: return {{2, 6}, {3, 7}, {1, 2}};
    case 4: return {{2, 6}, {3, 7}};
    case 5: return {{5, 4}, {1, 2}};
    default: return {};
  }
}

int DefaultButtonIndex(uint32_t flags, size_t buttonCount) {
  if (buttonCount == 0) return -1;
  return int(((flags >> 8) & 0xF) % buttonCount);
}

int TimeoutResult(const std::vector<BoxButton>& buttons) { return buttons.empty() ? 0 : buttons.front().result; }

BoxIcon IconOf(uint32_t flags) {
  switch (flags & 0xF0) {
    case 0x10: return BoxIcon::Hand;
    case 0x20: return BoxIcon::Question;
    case 0x30: return BoxIcon::Exclamation;
    case 0x40: return BoxIcon::Asterisk;
    default: return BoxIcon::Program;
  }
}

int ButtonForChar(const std::vector<std::string>& captions, unsigned char ch) {
  if (ch == '&' || ch < 32) return -1;
  for (size_t i = 0; i < captions.size(); ++i) {
    const std::string& c = captions[i];
    if (c.size() >= 2 && c[0] == '&' && (c[1] == char(ch) || c[1] == Upper(char(ch)))) return int(i);
  }
  return -1;
}

int ButtonForLetterKey(const std::vector<std::string>& captions, int virtualKey) {
  if (virtualKey < 'A' || virtualKey > 'Z') return -1;
  int found = -1;
  for (size_t i = 0; i < captions.size(); ++i) {
    size_t amp = captions[i].find('&');
    if (amp != std::string::npos && amp + 1 < captions[i].size() && Upper(captions[i][amp + 1]) == char(virtualKey))
      found = int(i);
  }
  return found;
}

int NextFocus(int current, int count, bool forward) {
  if (count <= 0) return -1;
  if (current < 0 || current >= count) return forward ? 0 : count - 1;
  return forward ? (current + 1) % count : (current + count - 1) % count;
}

Size MeasureText(const std::string& text, int lineHeight, const std::function<int(const std::string&)>& widthOf) {
  Size size;
  std::string rest = text.empty() ? " " : text;
  size_t from = 0;
  while (from < rest.size()) {
    size_t end = rest.find("\r\n", from);
    std::string line = rest.substr(from, end == std::string::npos ? std::string::npos : end - from);
    int width = widthOf(line);
    if (width < 0) width = 0;
    if (width + 10 > size.width) size.width = width + 10;
    size.height += (width / kMaxTextWidth + 1) * lineHeight;
    if (end == std::string::npos) break;
    from = end + 2;
  }
  if (size.width > kMaxTextWidth) size.width = kMaxTextWidth;
  return size;
}

Size BoxSizeFor(Size text, int frameWidth, int frameHeight, int captionHeight) {
  int margin = text.width < 200 ? 64 : 32;
  Size box;
  box.width = text.width + 2 * frameWidth + 2 * margin + kBandWidth;
  if (box.width < 360) box.width = 360;
  box.height = 2 * frameHeight + text.height + (text.height < 39 ? 90 : 64) + captionHeight + 36;
  return box;
}

Placement TextAreaPlacement(Size client, Size text) {
  Placement p;
  p.x = (client.width - text.width - kBandWidth) / 2 + kBandWidth;
  p.y = (client.height - text.height - 36) / 2;
  p.width = text.width;
  p.height = client.height - p.y - 39;
  return p;
}

int ButtonLeft(int clientRight, int index, int count) {
  return clientRight - 80 - kButtonWidth * (count - 1 - index);
}

std::string ShortcutText(uintptr_t owner, const std::string& text, const std::string& title) {
  if (owner != kOwnerNone) return text;
  bool standard = !title.empty() && std::string(kDefaultTitles).find(title) != std::string::npos;
  std::string heading = standard ? UpperCase(title) : title;
  return "<<b>" + heading + "</b><P><P>" + text + "<P>";
}

uint32_t ShortcutFlags(uintptr_t owner, uint32_t flags, int charset) {
  if (IsRightToLeftCharset(charset)) flags |= kBoxRightAligned | kBoxRtlReading;
  flags |= kBoxShortcutFlags;
  if (owner == kOwnerActiveNoClose) flags |= kBoxNoCloseItem;
  return flags;
}
