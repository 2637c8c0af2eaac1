#include "net/TransferRate.h"

#include "util/MonotonicClock.h"
#include "util/SeparatorLists.h"

namespace {

constexpr int64_t kKilobyteModeAbove = 102400;
constexpr int64_t kMegabyteModeAbove = 10485760;

uint32_t SteadyMilliseconds() { return uint32_t(MonotonicMilliseconds()); }

std::string UnitText(uint64_t bytes, uint64_t unit) { return SizeText(bytes, unit, 1, true); }

}  // namespace

RateModes RateModesFor(int64_t size) {
  RateModes m;
  m.kilobytes = size < 0 || size > kKilobyteModeAbove;
  m.megabytes = size < 0 || size > kMegabyteModeAbove;
  return m;
}

std::string AmountText(bool kilobytes, bool megabytes, int64_t total, uint64_t received) {
  if (megabytes || kilobytes) {
    const uint64_t unit = megabytes ? 1048576 : 1024;
    const std::string totalText = total < 0 ? "?" : UnitText(uint64_t(total), unit);
    return UnitText(received, unit) + "/" + totalText + (megabytes ? " MB" : " KB");
  }
  return std::to_string(received) + "/" + (total < 0 ? std::string("?") : std::to_string(total)) + " BytesArr";
}

std::string RateText(uint64_t bytes, uint32_t spanMs) {
  if (spanMs == 0) return "";
  // Hundredths of KB/s, rounded; bytes are at most four reads, far from overflow.
  const uint64_t divisor = uint64_t(spanMs) * 1024;
  const uint64_t hundredths = (bytes * 100000 + divisor / 2) / divisor;
  std::string frac = std::to_string(hundredths % 100);
  if (frac.size() < 2) frac.insert(0, 1, '0');
  return std::to_string(hundredths / 100) + "." + frac;
}

TBytesRate::TBytesRate(bool kilobytes, bool megabytes, Clock clock)
    : clock_(clock ? clock : SteadyMilliseconds), kilobytes_(kilobytes), megabytes_(megabytes) {}

void TBytesRate::Update(int64_t total, uint64_t received, std::string& text, uint32_t last) {
  Sample(last);
  text = Text(total, received);
}

void TBytesRate::Sample(uint32_t last) {
  const uint32_t now = clock_();
  for (int i = 0; i + 1 < kSamples; ++i) {
    times_[i] = times_[i + 1];
    bytes_[i] = bytes_[i + 1];
  }
  times_[kSamples - 1] = now;
  bytes_[kSamples - 1] = last;
  if (samples_ < kSamples) ++samples_;
  // Unsigned differences stay right across a wrap of the clock.
  const uint32_t span = times_[kSamples - 1] - times_[0];
  if (samples_ == kSamples && span != 0 && (!rated_ || now - lastRateTime_ > kMinRateIntervalMs)) {
    uint64_t windowBytes = 0;
    for (int i = 1; i < kSamples; ++i) windowBytes += bytes_[i];
    rated_ = true;
    lastRateTime_ = now;
    rate_ = RateText(windowBytes, span);
  }
}

std::string TBytesRate::Text(int64_t total, uint64_t received) const {
  const std::string amount = AmountText(kilobytes_, megabytes_, total, received);
  return rate_.empty() ? amount : amount + "   -   " + rate_ + " KB/Sec";
}
