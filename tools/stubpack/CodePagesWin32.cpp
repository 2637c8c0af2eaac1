// The platform's converter on Windows: the NLS calls, strict in both directions
// (invalid bytes fail, and no best-fit or default character stands in for a
// character the code page lacks).
#include <windows.h>

#include "CodePages.h"

struct PlatformCodePage::State {
  unsigned number = 0;
};

PlatformCodePage::PlatformCodePage(std::unique_ptr<State> state) : state_(std::move(state)) {}
PlatformCodePage::~PlatformCodePage() = default;

std::unique_ptr<PlatformCodePage> PlatformCodePage::Open(unsigned number) {
  CPINFO info;
  if (!GetCPInfo(number, &info)) return nullptr;
  auto state = std::make_unique<State>();
  state->number = number;
  return std::unique_ptr<PlatformCodePage>(new PlatformCodePage(std::move(state)));
}

bool PlatformCodePage::Decode(const char* p, size_t n, char32_t& c) {
  // A lead byte alone is no character, whatever a lenient table says.
  if (n == 1 && IsDBCSLeadByteEx(state_->number, BYTE(*p))) return false;
  wchar_t w[4];
  int got = MultiByteToWideChar(state_->number, MB_ERR_INVALID_CHARS, p, int(n), w, 4);
  if (got == 1 && !(w[0] >= 0xD800 && w[0] <= 0xDFFF)) {
    c = w[0];
    return true;
  }
  if (got == 2 && w[0] >= 0xD800 && w[0] <= 0xDBFF && w[1] >= 0xDC00 && w[1] <= 0xDFFF) {
    c = 0x10000 + ((char32_t(w[0]) - 0xD800) << 10 | (char32_t(w[1]) - 0xDC00));
    return true;
  }
  return false;
}

bool PlatformCodePage::Encode(char32_t c, std::string& bytes) {
  wchar_t w[2];
  int n = 1;
  if (c >= 0x10000) {
    w[0] = wchar_t(0xD800 + ((c - 0x10000) >> 10));
    w[1] = wchar_t(0xDC00 + ((c - 0x10000) & 0x3FF));
    n = 2;
  } else {
    w[0] = wchar_t(c);
  }
  char out[8];
  BOOL usedDefault = FALSE;
  int got = WideCharToMultiByte(state_->number, WC_NO_BEST_FIT_CHARS, w, n, out, sizeof out, nullptr, &usedDefault);
  if (got <= 0 || usedDefault) return false;
  bytes.assign(out, size_t(got));
  return true;
}
