#include "util/Scramble.h"

#include "util/Random.h"

namespace {

constexpr size_t kMarkerLength = sizeof(kScrambleMarker) - 1;

bool HasMarker(const std::string& text) { return text.compare(0, kMarkerLength, kScrambleMarker) == 0; }

// The key alternates in sign: +K at odd (1-based) positions, -K at even ones.
void XorInPlace(std::string& bytes, size_t from, uint8_t key) {
  for (size_t i = from; i < bytes.size(); ++i) {
    size_t position = i - from + 1;
    unsigned k = (position % 2) ? key : 256u - key;
    bytes[i] = char(uint8_t(bytes[i]) ^ uint8_t(position + k));
  }
}

}  // namespace

std::string Unscramble(const std::string& text) {
  if (!HasMarker(text) || text.size() <= kMarkerLength) return text;
  uint8_t key = uint8_t(text[kMarkerLength]);
  std::string plain = text.substr(kMarkerLength + 1);
  XorInPlace(plain, 0, key);
  return plain;
}

std::string Scramble(const std::string& text, uint8_t key) {
  if (text.empty() || HasMarker(text)) return text;
  std::string out = std::string(kScrambleMarker) + char(key) + text;
  XorInPlace(out, kMarkerLength + 1, key);
  return out;
}

std::string Scramble(const std::string& text) { return Scramble(text, uint8_t(33 + RandomBelow(90))); }
