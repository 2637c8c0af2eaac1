#include "net/TransferRate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint32_t> g_ticks;
size_t g_next = 0;
uint32_t FakeClock() { return g_ticks[g_next < g_ticks.size() ? g_next++ : g_ticks.size() - 1]; }
void SetTicks(std::vector<uint32_t> ticks) {
  g_ticks = std::move(ticks);
  g_next = 0;
}

}  // namespace

TEST(RateModes, Thresholds) {
  EXPECT_FALSE(RateModesFor(102400).kilobytes);
  EXPECT_FALSE(RateModesFor(102400).megabytes);
  EXPECT_TRUE(RateModesFor(102401).kilobytes);
  EXPECT_FALSE(RateModesFor(102401).megabytes);
  EXPECT_TRUE(RateModesFor(10485760).kilobytes);
  EXPECT_FALSE(RateModesFor(10485760).megabytes);
  EXPECT_TRUE(RateModesFor(10485761).megabytes);
  EXPECT_TRUE(RateModesFor(-1).megabytes);  // no Content-Length
}

TEST(AmountTexts, BytesKilobytesMegabytes) {
  EXPECT_EQ(AmountText(false, false, 102400, 5), "5/102400 BytesArr");
  EXPECT_EQ(AmountText(true, false, 102401, 1024), "1.0/100.0 KB");
  // 10000000 / 1024 = 9765.625; 1234567 / 1024 = 1205.63
  EXPECT_EQ(AmountText(true, false, 10000000, 1234567), "1,205.6/9,765.6 KB");
  EXPECT_EQ(AmountText(true, true, 10485761, 1048576), "1.0/10.0 MB");
  EXPECT_EQ(AmountText(true, true, 2147483648LL, 1572864), "1.5/2,048.0 MB");
  EXPECT_EQ(AmountText(true, true, -1, 524288), "0.5/? MB");
  EXPECT_EQ(AmountText(false, false, -1, 7), "7/? BytesArr");
}

TEST(RateTexts, KilobytesPerSecondWithTwoDecimals) {
  EXPECT_EQ(RateText(4 * 8192, 100), "320.00");  // 32768 B in 0.1 s
  EXPECT_EQ(RateText(1000, 1000), "0.98");       // 0.9766
  EXPECT_EQ(RateText(1, 3), "0.33");             // 0.3255
  EXPECT_EQ(RateText(0, 5), "0.00");
  EXPECT_EQ(RateText(3000000000ULL, 1), "2929687500.00");  // no overflow
  EXPECT_EQ(RateText(12345, 0), "");  // a zero span never divides
}

TEST(BytesRate, RateFromTheFifthSampleOn) {
  SetTicks({1000, 1100, 1200, 1300, 1400});
  TBytesRate rate(false, false, FakeClock);
  std::string text;
  for (int i = 1; i <= 4; ++i) {
    rate.Update(200000, uint64_t(i) * 1024, text, 1024);
    EXPECT_EQ(text, std::to_string(i * 1024) + "/200000 BytesArr") << i;
  }
  // Window: 4 x 1024 bytes over 400 ms = 10 KB/s.
  rate.Update(200000, 5120, text, 1024);
  EXPECT_EQ(text, "5120/200000 BytesArr   -   10.00 KB/Sec");
}

TEST(BytesRate, SamplesAloneMoveTheRateAndTextReadsItLater) {
  SetTicks({1000, 1100, 1200, 1300, 1400});
  TBytesRate rate(true, false, FakeClock);
  for (int i = 0; i < 4; ++i) rate.Sample(1024);
  EXPECT_EQ(rate.Text(1048576, 4096), "4.0/1,024.0 KB");
  rate.Sample(1024);
  EXPECT_EQ(rate.Text(1048576, 5120), "5.0/1,024.0 KB   -   10.00 KB/Sec");
  EXPECT_EQ(rate.Text(-1, 5120), "5.0/? KB   -   10.00 KB/Sec");
}

TEST(BytesRate, ChangesAtMostEvery500Ms) {
  SetTicks({1000, 1100, 1200, 1300, 1400, 1500, 1900, 1901});
  TBytesRate rate(true, false, FakeClock);
  std::string text;
  for (int i = 0; i < 5; ++i) rate.Update(1048576, 0, text, 1024);
  EXPECT_EQ(rate.Rate(), "10.00");
  rate.Update(1048576, 0, text, 8192);  // 100 ms later: kept
  EXPECT_EQ(rate.Rate(), "10.00");
  rate.Update(1048576, 0, text, 8192);  // exactly 500 ms later: kept
  EXPECT_EQ(rate.Rate(), "10.00");
  // 501 ms later: samples at 1300, 1400, 1500, 1900, 1901; the four newest reads
  // (1024 + 3 x 8192 bytes) over 1901 - 1300 = 601 ms give 41.597 KB/s.
  rate.Update(1048576, 0, text, 8192);
  EXPECT_EQ(rate.Rate(), "41.60");
  EXPECT_EQ(text, "0.0/1,024.0 KB   -   41.60 KB/Sec");
}

TEST(BytesRate, ZeroSpanNeverShowsARate) {
  SetTicks({5000});
  TBytesRate rate(true, true, FakeClock);
  std::string text;
  for (int i = 1; i <= 20; ++i) rate.Update(20971520, uint64_t(i) * 8192, text, 8192);
  EXPECT_EQ(rate.Rate(), "");
  EXPECT_EQ(text, "0.2/20.0 MB");
}

TEST(BytesRate, ClockStartingAtZeroOrWrapping) {
  // A tick count of 0 is a sample like any other.
  SetTicks({0, 100, 200, 300, 400});
  TBytesRate first(false, false, FakeClock);
  std::string text;
  for (int i = 0; i < 5; ++i) first.Update(10, 0, text, 1024);
  EXPECT_EQ(first.Rate(), "10.00");
  // Across the 32-bit wrap the span is still 400 ms.
  SetTicks({0xFFFFFF00u, 0xFFFFFF64u, 0xFFFFFFC8u, 0x0000002Cu, 0x00000090u});
  TBytesRate wrap(false, false, FakeClock);
  for (int i = 0; i < 5; ++i) wrap.Update(10, 0, text, 2048);
  EXPECT_EQ(wrap.Rate(), "20.00");
}
