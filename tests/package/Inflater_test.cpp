#include "package/Inflater.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Compress(const std::string& data, int level = Z_DEFAULT_COMPRESSION) {
  uLongf size = compressBound(uLong(data.size()));
  std::string out(size, '\0');
  int r = compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
                    uLong(data.size()), level);
  EXPECT_EQ(r, Z_OK);
  out.resize(size);
  return out;
}

// Half words, half noise: both Huffman-coded and stored blocks show up.
std::string MixedData(size_t size) {
  std::string s;
  s.reserve(size);
  uint32_t state = 2463534242u;
  static const char* const kWords[] = {"setup ", "engine ", "package ", "record ", "\r\n", "stub "};
  while (s.size() < size) {
    state ^= state << 13, state ^= state >> 17, state ^= state << 5;
    if ((s.size() / 4096) % 2 == 0)
      s += kWords[state % 6];
    else
      s += char(state & 0xFF);
  }
  s.resize(size);
  return s;
}

// A stream that asks for a preset dictionary, as a package never does.
std::string CompressWithDictionary(const std::string& data, const std::string& dictionary) {
  z_stream zs{};
  EXPECT_EQ(deflateInit(&zs, 6), Z_OK);
  EXPECT_EQ(deflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(dictionary.data()), uInt(dictionary.size())),
            Z_OK);
  std::string out(deflateBound(&zs, uLong(data.size())), '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = uInt(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
  zs.avail_out = uInt(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// Runs a whole stream through the inflater in slices of the given sizes.
struct SliceResult {
  std::string output;
  ZStatus last = ZStatus::Ok;
  size_t unused = 0;
  int calls = 0;
};
SliceResult InflateInSlices(ZInflater& z, const std::string& stream, size_t inSlice, size_t outSlice) {
  SliceResult r;
  std::vector<uint8_t> out(outSlice);
  size_t offset = 0;
  for (;;) {
    size_t avail = stream.size() - offset < inSlice ? stream.size() - offset : inSlice;
    const uint8_t* in = Bytes(stream) + offset;
    size_t left = avail;
    size_t produced = 0;
    r.last = z.Inflate(in, left, out.data(), out.size(), produced);
    ++r.calls;
    offset += avail - left;
    r.output.append(reinterpret_cast<char*>(out.data()), produced);
    if (r.last == ZStatus::StreamEnd || r.last == ZStatus::Error) break;
    if (r.calls > 10000000) break;  // a loop that never ends is a fault of its own
  }
  r.unused = stream.size() - offset;
  return r;
}

TEST(Inflater, MessageTextsAreZlibs) {
  EXPECT_STREQ(ZErrorText(-1), "file error");
  EXPECT_STREQ(ZErrorText(-2), "stream error");
  EXPECT_STREQ(ZErrorText(-3), "data error");
  EXPECT_STREQ(ZErrorText(-4), "insufficient memory");
  EXPECT_STREQ(ZErrorText(-5), "buffer error");
  EXPECT_STREQ(ZErrorText(-6), "incompatible version");
  EXPECT_STREQ(ZErrorText(0), "");
  EXPECT_STREQ(ZErrorText(1), "stream end");
  EXPECT_STREQ(ZErrorText(2), "need dictionary");
  EXPECT_STREQ(ZErrorText(-7), "unknown zlib error");
  EXPECT_STREQ(ZErrorText(3), "unknown zlib error");
}

// ---- Streaming inflater ---------------------------------------------------

TEST(ZInflater, WholeStreamInOneCall) {
  std::string data = MixedData(100000);
  std::string stream = Compress(data, 9);
  ZInflater z;
  ASSERT_TRUE(z.ok());
  EXPECT_EQ(z.Error(), "");
  std::vector<uint8_t> out(data.size() + 10);
  const uint8_t* in = Bytes(stream);
  size_t left = stream.size();
  size_t produced = 99;
  EXPECT_EQ(z.Inflate(in, left, out.data(), out.size(), produced), ZStatus::StreamEnd);
  EXPECT_EQ(produced, data.size());
  EXPECT_EQ(left, 0u);
  EXPECT_EQ(in, Bytes(stream) + stream.size());
  EXPECT_EQ(std::memcmp(out.data(), data.data(), data.size()), 0);
  EXPECT_EQ(z.TotalOut(), data.size());
  // Once ended it stays ended and writes nothing.
  EXPECT_EQ(z.Inflate(in, left, out.data(), out.size(), produced), ZStatus::StreamEnd);
  EXPECT_EQ(produced, 0u);
}

TEST(ZInflater, OneByteSlicesInAndOut) {
  std::string data = MixedData(20000);
  for (int level : {0, 1, 9}) {
    std::string stream = Compress(data, level);
    ZInflater z;
    SliceResult r = InflateInSlices(z, stream, 1, 1);
    EXPECT_EQ(r.last, ZStatus::StreamEnd) << level;
    EXPECT_EQ(r.output, data) << level;
    EXPECT_EQ(r.unused, 0u) << level;
    EXPECT_EQ(z.TotalOut(), data.size()) << level;
  }
}

TEST(ZInflater, SmallInputLargeOutputAndTheReverse) {
  std::string data = MixedData(300000);
  std::string stream = Compress(data, 6);
  {
    ZInflater z;
    SliceResult r = InflateInSlices(z, stream, 7, 1 << 20);
    EXPECT_EQ(r.last, ZStatus::StreamEnd);
    EXPECT_EQ(r.output, data);
  }
  {
    ZInflater z;
    SliceResult r = InflateInSlices(z, stream, 1 << 20, 333);
    EXPECT_EQ(r.last, ZStatus::StreamEnd);
    EXPECT_EQ(r.output, data);
    // Every call but the last fills its 333-byte slice completely.
    EXPECT_EQ(r.calls, int((data.size() + 332) / 333));
  }
}

TEST(ZInflater, OutputFullReportsOkAndKeepsTheInput) {
  std::string data(5000, 'a');
  std::string stream = Compress(data, 9);
  ZInflater z;
  uint8_t out[100];
  const uint8_t* in = Bytes(stream);
  size_t left = stream.size();
  size_t produced = 0;
  ZStatus st = z.Inflate(in, left, out, sizeof out, produced);
  // zlib reads the whole tiny stream at once; the rest of the output is pending.
  EXPECT_EQ(produced, 100u);
  EXPECT_TRUE(st == ZStatus::Ok || st == ZStatus::NeedInput);
  std::string all(reinterpret_cast<char*>(out), produced);
  // No input left: calling on drains what is pending, then the end.
  while (st != ZStatus::StreamEnd && st != ZStatus::Error) {
    st = z.Inflate(in, left, out, sizeof out, produced);
    all.append(reinterpret_cast<char*>(out), produced);
  }
  EXPECT_EQ(st, ZStatus::StreamEnd);
  EXPECT_EQ(all, data);
}

TEST(ZInflater, TrailingBytesAfterTheEndStayUnread) {
  std::string data = MixedData(9000);
  std::string stream = Compress(data, 6);
  std::string withTail = stream + "GARBAGE";
  {
    ZInflater z;
    std::vector<uint8_t> out(20000);
    const uint8_t* in = Bytes(withTail);
    size_t left = withTail.size();
    size_t produced = 0;
    EXPECT_EQ(z.Inflate(in, left, out.data(), out.size(), produced), ZStatus::StreamEnd);
    EXPECT_EQ(produced, data.size());
    EXPECT_EQ(left, 7u);
    EXPECT_EQ(in, Bytes(withTail) + stream.size());
    EXPECT_EQ(*in, 'G');
  }
  {
    ZInflater z;
    SliceResult r = InflateInSlices(z, withTail, 1, 1);
    EXPECT_EQ(r.last, ZStatus::StreamEnd);
    EXPECT_EQ(r.output, data);
    EXPECT_EQ(r.unused, 7u);
  }
}

TEST(ZInflater, TruncatedStreamIsABufferErrorOnceInputRunsOut) {
  std::string data = MixedData(50000);
  std::string stream = Compress(data, 6);
  std::string cut = stream.substr(0, stream.size() - 10);
  ZInflater z;
  std::vector<uint8_t> out(100000);
  const uint8_t* in = Bytes(cut);
  size_t left = cut.size();
  size_t produced = 0;
  EXPECT_EQ(z.Inflate(in, left, out.data(), out.size(), produced), ZStatus::NeedInput);
  EXPECT_EQ(left, 0u);
  EXPECT_EQ(z.Error(), "");
  // No more input: nothing can come, which is the truncation.
  EXPECT_EQ(z.Inflate(in, left, out.data(), out.size(), produced), ZStatus::Error);
  EXPECT_EQ(produced, 0u);
  EXPECT_EQ(z.Error(), "buffer error");
  // It stays failed.
  EXPECT_EQ(z.Inflate(in, left, out.data(), out.size(), produced), ZStatus::Error);
}

TEST(ZInflater, EmptyInputIsABufferError) {
  ZInflater z;
  uint8_t out[16];
  const uint8_t* in = nullptr;
  size_t left = 0;
  size_t produced = 1;
  EXPECT_EQ(z.Inflate(in, left, out, sizeof out, produced), ZStatus::Error);
  EXPECT_EQ(produced, 0u);
  EXPECT_EQ(z.Error(), "buffer error");
}

TEST(ZInflater, CorruptHeaderAndCorruptCheckValueAreDataErrors) {
  std::string data = MixedData(30000);
  std::string stream = Compress(data, 6);
  std::vector<uint8_t> out(40000);
  {
    std::string bad = stream;
    bad[1] ^= 0x01;  // header check (the two header bytes as a multiple of 31) fails
    ZInflater z;
    const uint8_t* in = Bytes(bad);
    size_t left = bad.size();
    size_t produced = 0;
    EXPECT_EQ(z.Inflate(in, left, out.data(), out.size(), produced), ZStatus::Error);
    EXPECT_EQ(z.Error(), "data error");
    EXPECT_EQ(z.Detail(), "incorrect header check");
  }
  {
    std::string bad = stream;
    bad[bad.size() - 1] ^= 0x40;  // Adler-32 of the data
    ZInflater z;
    SliceResult r = InflateInSlices(z, bad, 64, 4096);
    EXPECT_EQ(r.last, ZStatus::Error);
    EXPECT_EQ(z.Error(), "data error");
    EXPECT_EQ(z.Detail(), "incorrect data check");
  }
}

TEST(ZInflater, PresetDictionaryIsRefused) {
  std::string stream = CompressWithDictionary("hello hello hello", "hello");
  ZInflater z;
  SliceResult r = InflateInSlices(z, stream, 1, 64);
  EXPECT_EQ(r.last, ZStatus::Error);
  EXPECT_EQ(z.Error(), "need dictionary");
  EXPECT_EQ(r.output, "");
}

TEST(ZInflater, ResetTakesTheNextStream) {
  std::string a = MixedData(12345), b = "second record";
  std::string sa = Compress(a, 9), sb = Compress(b, 1);
  ZInflater z;
  EXPECT_EQ(InflateInSlices(z, sa, 100, 1000).output, a);
  EXPECT_TRUE(z.Reset());
  EXPECT_EQ(z.TotalOut(), 0u);
  SliceResult r = InflateInSlices(z, sb, 100, 1000);
  EXPECT_EQ(r.last, ZStatus::StreamEnd);
  EXPECT_EQ(r.output, b);
  // A failed stream does not spoil the next one.
  std::string bad = sa;
  bad[0] = 0;
  EXPECT_TRUE(z.Reset());
  EXPECT_EQ(InflateInSlices(z, bad, 100, 1000).last, ZStatus::Error);
  EXPECT_TRUE(z.Reset());
  EXPECT_EQ(z.Error(), "");
  EXPECT_EQ(InflateInSlices(z, sa, 100, 1000).output, a);
}

// ---- Whole-buffer inflation -------------------------------------------------

int g_progressCalls = 0;
int g_lastMaximum = -1, g_lastOut = -1, g_lastStep = -1, g_firstOut = -1;
void CountProgress(int mode, int reserved, int maximum, int text, int step, int position) {
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(reserved, 0);
  EXPECT_EQ(position, 0);
  if (g_progressCalls == 0) g_firstOut = text;
  ++g_progressCalls;
  g_lastMaximum = maximum, g_lastOut = text, g_lastStep = step;
}
void ResetProgress() { g_progressCalls = 0, g_lastMaximum = g_lastOut = g_lastStep = g_firstOut = -1; }

TEST(DecompressBuf, RoundTripsAtSeveralLevels) {
  std::string data = MixedData(200000);
  for (int level : {0, 1, 6, 9}) {
    std::string stream = Compress(data, level);
    std::vector<uint8_t> out;
    DecompressBuf(stream.data(), stream.size(), 0, out);
    ASSERT_EQ(out.size(), data.size()) << level;
    EXPECT_EQ(std::memcmp(out.data(), data.data(), data.size()), 0) << level;
    std::string text;
    DecompressString(stream, text);
    EXPECT_EQ(text, data) << level;
  }
}

TEST(DecompressBuf, StreamOfNothingGivesNothing) {
  std::string stream = Compress("", 6);
  std::vector<uint8_t> out(5, 1);
  DecompressBuf(stream.data(), stream.size(), 0, out);
  EXPECT_TRUE(out.empty());
  std::string text = "old";
  DecompressString(stream, text);
  EXPECT_EQ(text, "");
}

TEST(DecompressBuf, BinaryZerosSurviveInStrings) {
  std::string data("name|0|\0data\0\0\x01", 15);
  std::string text;
  DecompressString(Compress(data), text);
  EXPECT_EQ(text, data);
}

TEST(DecompressBuf, HighlyCompressibleGrowsGeometrically) {
  std::string zeros(1 << 20, '\0');
  std::string stream = Compress(zeros, 9);
  ASSERT_LT(stream.size(), 2000u);
  // The buffer starts at the input rounded up to 256 bytes and doubles: each inflate
  // call fills it, so the calls are one plus the doublings needed to hold 1 MB.
  size_t size = (stream.size() + 255) / 256 * 256;
  int calls = 1;
  while (size < zeros.size()) size *= 2, ++calls;
  ASSERT_LE(calls, 12);  // about ten, where growing by one step would take a thousand
  ResetProgress();
  std::vector<uint8_t> out;
  DecompressBuf(stream.data(), stream.size(), 0, out, CountProgress);
  EXPECT_EQ(out.size(), zeros.size());
  EXPECT_EQ(std::count(out.begin(), out.end(), 0), long(zeros.size()));
  EXPECT_EQ(g_progressCalls, 1 + calls);  // once before, once after each call
  EXPECT_EQ(g_firstOut, 0);
  EXPECT_EQ(g_lastOut, 1 << 20);
  EXPECT_EQ(g_lastMaximum, int(stream.size()));
  EXPECT_EQ(g_lastStep, 1);
}

TEST(DecompressBuf, ExactEstimateNeedsOneCall) {
  std::string data = MixedData(70000);
  std::string stream = Compress(data, 6);
  ResetProgress();
  std::vector<uint8_t> out;
  DecompressBuf(stream.data(), stream.size(), data.size(), out, CountProgress);
  EXPECT_EQ(out.size(), data.size());
  EXPECT_EQ(g_progressCalls, 2);
  EXPECT_EQ(g_lastOut, 70000);
}

TEST(DecompressBuf, EstimateBeyondBeliefIsNotAllocated) {
  // A 20-byte stream cannot inflate to 1 GB; the call succeeds without trying.
  std::string stream = Compress("small", 6);
  std::vector<uint8_t> out;
  DecompressBuf(stream.data(), stream.size(), size_t(1) << 30, out);
  EXPECT_EQ(std::string(out.begin(), out.end()), "small");
  EXPECT_EQ(out.capacity(), 5u);
}

TEST(DecompressBuf, TrailingBytesAfterTheEndAreIgnored) {
  std::string data = MixedData(5000);
  std::vector<uint8_t> out;
  std::string stream = Compress(data) + "tail";
  DecompressBuf(stream.data(), stream.size(), 0, out);
  EXPECT_EQ(std::string(out.begin(), out.end()), data);
}

#if defined(__cpp_exceptions)

std::string ErrorOf(const std::string& stream, size_t maxOutput = kMaxInflateOutput) {
  std::vector<uint8_t> out(3, 7);
  try {
    DecompressBuf(stream.data(), stream.size(), 0, out, nullptr, maxOutput);
  } catch (const EZLibError& e) {
    EXPECT_TRUE(out.empty()) << "output left behind after " << e.what();
    return e.what();
  }
  return "no error";
}

TEST(EZLibError, CheckZPassesNonNegativeAndRaisesNegative) {
  EXPECT_EQ(CheckZ(0), 0);
  EXPECT_EQ(CheckZ(1), 1);
  EXPECT_EQ(CheckZ(2), 2);
  const char* const texts[] = {"file error", "stream error", "data error", "insufficient memory", "buffer error",
                               "incompatible version"};
  for (int code = -1; code >= -6; --code) {
    try {
      CheckZ(code);
      ADD_FAILURE() << code << " did not raise";
    } catch (const EZLibError& e) {
      EXPECT_STREQ(e.what(), texts[-code - 1]);
    }
  }
  // The general exception class catches it too.
  EXPECT_THROW(CheckZ(-3), std::exception);
}

TEST(EZLibError, TruncatedStreamIsABufferErrorAndReturnsNothing) {
  std::string stream = Compress(MixedData(40000), 6);
  EXPECT_EQ(ErrorOf(stream.substr(0, stream.size() - 1)), "buffer error");
  EXPECT_EQ(ErrorOf(stream.substr(0, stream.size() / 2)), "buffer error");
  EXPECT_EQ(ErrorOf(stream.substr(0, 2)), "buffer error");
  std::string text = "old";
  EXPECT_THROW(DecompressString(stream.substr(0, 100), text), EZLibError);
  EXPECT_EQ(text, "");
}

TEST(EZLibError, EmptyInputIsABufferError) {
  EXPECT_EQ(ErrorOf(""), "buffer error");
  std::vector<uint8_t> out;
  try {
    DecompressBuf(nullptr, 0, 0, out);
    ADD_FAILURE();
  } catch (const EZLibError& e) {
    EXPECT_STREQ(e.what(), "buffer error");
  }
}

TEST(EZLibError, CorruptBytesAreDataErrors) {
  std::string stream = Compress(MixedData(40000), 6);
  std::string badHeader = stream;
  badHeader[0] = 0x79;
  EXPECT_EQ(ErrorOf(badHeader), "data error");
  std::string badCheck = stream;
  badCheck[badCheck.size() - 2] ^= 0x10;
  EXPECT_EQ(ErrorOf(badCheck), "data error");
}

TEST(EZLibError, PresetDictionaryEndsWithAnError) {
  EXPECT_EQ(ErrorOf(CompressWithDictionary(std::string(1000, 'x'), "xxxx")), "need dictionary");
}

TEST(EZLibError, OutputBeyondTheLimitIsInsufficientMemory) {
  std::string stream = Compress(std::string(1 << 20, '\0'), 9);
  EXPECT_EQ(ErrorOf(stream, 64 * 1024), "insufficient memory");
  // Exactly the limit is still fine.
  std::vector<uint8_t> out;
  DecompressBuf(stream.data(), stream.size(), 0, out, nullptr, 1 << 20);
  EXPECT_EQ(out.size(), size_t(1) << 20);
}

#endif  // __cpp_exceptions

}  // namespace
