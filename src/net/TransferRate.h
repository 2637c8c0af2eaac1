// Transfer-rate meter: turns the running byte counts of a download into its status
// text, "1,205.6/9,876.5 KB   -   312.45 KB/Sec". Portable; the decimal point is
// always ".".
#pragma once

#include <cstdint>
#include <string>

// Amount modes for an expected size: kilobytes above 102400 bytes, megabytes above
// 10485760 (megabytes win). An unknown size (negative) counts as the largest.
struct RateModes {
  bool kilobytes = false;
  bool megabytes = false;
};
RateModes RateModesFor(int64_t size);

// "received/total" in the mode's unit: "%s/%s MB", "%s/%s KB" (one decimal, ","
// between thousands) or "%d/%d BytesArr". An unknown total (negative) shows as "?".
std::string AmountText(bool kilobytes, bool megabytes, int64_t total, uint64_t received);

// KB per second of bytes over spanMs, two decimals ("312.45"); empty for a zero span.
std::string RateText(uint64_t bytes, uint32_t spanMs);

class TBytesRate {
 public:
  using Clock = uint32_t (*)();  // milliseconds; may wrap
  static constexpr int kSamples = 5;
  static constexpr uint32_t kMinRateIntervalMs = 500;

  // clock nullptr: a monotonic millisecond clock.
  TBytesRate(bool kilobytes, bool megabytes, Clock clock = nullptr);

  // One read of last bytes has brought the transfer to received of total. The rate
  // appears once five samples exist and changes at most every 500 ms.
  void Update(int64_t total, uint64_t received, std::string& text, uint32_t last);
  // Update in two halves: the sample of every read, and the text only when someone
  // will see it (a download reads far more often than its text is shown).
  void Sample(uint32_t last);
  std::string Text(int64_t total, uint64_t received) const;

  const std::string& Rate() const { return rate_; }

 private:
  Clock clock_;
  bool kilobytes_;
  bool megabytes_;
  uint32_t times_[kSamples] = {};
  uint32_t bytes_[kSamples] = {};
  int samples_ = 0;
  bool rated_ = false;
  uint32_t lastRateTime_ = 0;
  std::string rate_;
};
