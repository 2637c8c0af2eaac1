// The platform's converter on Linux: glibc iconv, one character per call, without
// transliteration (an unknown character is an error, never a "?").
#include <iconv.h>

#include <cerrno>
#include <cstdio>

#include "CodePages.h"

struct PlatformCodePage::State {
  unsigned number = 0;
  iconv_t decoder = iconv_t(-1), encoder = iconv_t(-1);
  ~State() {
    if (decoder != iconv_t(-1)) iconv_close(decoder);
    if (encoder != iconv_t(-1)) iconv_close(encoder);
  }
};

namespace {

// glibc's names: CP1250…CP1257, CP874 (Windows' Thai, not plain TIS-620), CP932
// (Windows-31J, not SHIFT_JIS), CP936 (GBK), CP949 (UHC, not EUC-KR) and CP950 (not
// plain BIG5).
std::string IconvName(unsigned number) { return "CP" + std::to_string(number); }

// glibc's CP1255 predates the one letter that Windows added to it.
constexpr unsigned char kHolamHaserByte = 0xCA;
constexpr char32_t kHolamHaser = 0x05BA;

// Runs one conversion from its initial state to its end, flushing what a stateful
// converter (CP1255 composes letters and points) holds back.
bool Convert(iconv_t cd, const char* in, size_t n, char* out, size_t room, size_t& written) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* inAt = const_cast<char*>(in);
  char* outAt = out;
  size_t inLeft = n, outLeft = room;
  if (iconv(cd, &inAt, &inLeft, &outAt, &outLeft) == size_t(-1) || inLeft != 0) return false;
  if (iconv(cd, nullptr, nullptr, &outAt, &outLeft) == size_t(-1)) return false;
  written = room - outLeft;
  return true;
}

}  // namespace

PlatformCodePage::PlatformCodePage(std::unique_ptr<State> state) : state_(std::move(state)) {}
PlatformCodePage::~PlatformCodePage() = default;

std::unique_ptr<PlatformCodePage> PlatformCodePage::Open(unsigned number) {
  auto state = std::make_unique<State>();
  state->number = number;
  std::string name = IconvName(number);
  state->decoder = iconv_open("UTF-32LE", name.c_str());
  state->encoder = iconv_open(name.c_str(), "UTF-32LE");
  if (state->decoder == iconv_t(-1) || state->encoder == iconv_t(-1)) return nullptr;
  return std::unique_ptr<PlatformCodePage>(new PlatformCodePage(std::move(state)));
}

bool PlatformCodePage::Decode(const char* p, size_t n, char32_t& c) {
  if (state_->number == 1255 && n == 1 && static_cast<unsigned char>(*p) == kHolamHaserByte) {
    c = kHolamHaser;
    return true;
  }
  unsigned char out[16];
  size_t written = 0;
  if (!Convert(state_->decoder, p, n, reinterpret_cast<char*>(out), sizeof out, written) || written != 4) return false;
  c = char32_t(out[0]) | char32_t(out[1]) << 8 | char32_t(out[2]) << 16 | char32_t(out[3]) << 24;
  return true;
}

bool PlatformCodePage::Encode(char32_t c, std::string& bytes) {
  if (state_->number == 1255 && c == kHolamHaser) {
    bytes.assign(1, char(kHolamHaserByte));
    return true;
  }
  char in[4] = {char(c & 0xFF), char(c >> 8 & 0xFF), char(c >> 16 & 0xFF), char(c >> 24 & 0xFF)};
  char out[16];
  size_t written = 0;
  if (!Convert(state_->encoder, in, sizeof in, out, sizeof out, written)) return false;
  bytes.assign(out, written);
  return true;
}
