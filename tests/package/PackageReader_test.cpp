#include "package/PackageReader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "PackageWriter.h"
#include "support/TestFiles.h"
#include "util/Scramble.h"

namespace {

std::string Header(const std::string& text) {
  std::string out(4, '\0');
  PutU32At(out, 0, uint32_t(text.size()));
  return out + text;
}

std::string TrailerBytes(const PackageTrailer& t) {
  uint8_t b[kTrailerSize];
  t.ToBytes(b);
  return std::string(reinterpret_cast<char*>(b), sizeof b);
}

PackageTrailer GoodTrailer(uint32_t startOffset, uint8_t headerStrings = 2) {
  PackageTrailer t;
  t.Reserved0 = 1;
  t.HeaderStrings = headerStrings;
  t.StartOffset = startOffset;
  t.FilesCount = 0;
  t.Magic = kPackageMagic;
  t.Checksum = kNoChecksum;
  t.TrailerLength = kTrailerSize;
  return t;
}

// A package made by hand (not by the builder): prefix, header strings, records, trailer.
std::string HandPackage(const std::string& prefix, const std::vector<std::string>& headers,
                        const std::string& records = "", uint8_t headerStrings = 2) {
  std::string bytes = prefix;
  for (const std::string& h : headers) bytes += Header(h);
  bytes += records;
  return bytes + TrailerBytes(GoodTrailer(uint32_t(prefix.size()), headerStrings));
}

const std::string kPlainHeader = "|http:|.info|.exe|cbbebdfdfcstce|0|";  // token "AB"

// A large file that holds data only at its two ends, and counts what is read of it.
class SparseFile : public ReadOnlyFile {
 public:
  SparseFile(uint64_t size, std::string head, std::string tail)
      : size_(size), head_(std::move(head)), tail_(std::move(tail)) {}
  uint64_t Size() const override { return size_; }
  int64_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
    if (offset >= size_) return 0;
    size_t n = size_t(std::min<uint64_t>(count, size_ - offset));
    auto* out = static_cast<char*>(buffer);
    for (size_t i = 0; i < n; ++i) {
      uint64_t at = offset + i;
      out[i] = at < head_.size() ? head_[at] : at >= size_ - tail_.size() ? tail_[at - (size_ - tail_.size())] : 0;
    }
    bytesRead += n;
    return int64_t(n);
  }
  uint64_t bytesRead = 0;

 private:
  uint64_t size_;
  std::string head_, tail_;
};

}  // namespace

TEST(PackageTrailer, FieldsSitAtTheirOffsets) {
  PackageTrailer t = GoodTrailer(0x11223344, 3);
  t.FilesCount = 7;
  t.Checksum = 0xA1B2C3D4;
  t.SpaceNeeded[0] = 0x01020304;
  t.SpaceNeeded[8] = 0x05060708;
  t.Flags = kFlagMorePieces | kFlagAgentLogOn;
  t.InternetDownload = 2, t.ConfirmDownload = 3, t.CreateAgent = 4, t.ThisIs_AutoUpdateProg = 5;
  t.Reserved64 = 9;
  std::string b = TrailerBytes(t);
  EXPECT_EQ(uint8_t(b[0]), 1);
  EXPECT_EQ(uint8_t(b[1]), 3);
  EXPECT_EQ(ReadU32At(b, 4), 0x11223344u);
  EXPECT_EQ(ReadU32At(b, 8), 7u);
  EXPECT_EQ(b.substr(12, 4), "\x1D\x2C\x3B\x4A");
  EXPECT_EQ(ReadU32At(b, 16), 0xA1B2C3D4u);
  EXPECT_EQ(ReadU32At(b, 28), 0x01020304u);
  EXPECT_EQ(ReadU32At(b, 60), 0x05060708u);
  EXPECT_EQ(uint8_t(b[64]), 9);
  EXPECT_EQ(uint8_t(b[65]), 0x12);
  EXPECT_EQ(std::string(b, 66, 4), "\x02\x03\x04\x05");
  EXPECT_EQ(ReadU32At(b, 70), 74u);
  uint8_t raw[kTrailerSize];
  std::memcpy(raw, b.data(), kTrailerSize);
  EXPECT_EQ(TrailerBytes(PackageTrailer::FromBytes(raw)), b);
}

TEST(TGFileInfo, AnswersThePlainPackageHeader) {
  MemoryFile file(HandPackage("", {"\x02", kPlainHeader}));
  TGFileInfo info(file);
  ASSERT_TRUE(info.IsValid());
  EXPECT_EQ(info.GetInfoLocation(), "http:");
  EXPECT_EQ(info.GetInfoFileName(), ".info");
  EXPECT_EQ(info.GetOriginalSettingsName(), ".original");
  EXPECT_EQ(info.GetAgentName(), ".exe");
  EXPECT_EQ(info.GetPackageToken(false), "cbbebdfdfcstce");
  EXPECT_EQ(info.GetPackageToken(true), "AB");
  EXPECT_FALSE(info.IsHiddenRun());
  EXPECT_EQ(info.GetDownloadLocation(), "");
  // After reading, StartOffset is the first file record: right behind both strings.
  EXPECT_EQ(info.Trailer().StartOffset, 4u + 1 + 4 + kPlainHeader.size());
}

TEST(TGFileInfo, InfoFileNamesAreTheirLastPathElement) {
  MemoryFile file(HandPackage("", {"\x02", "|http://h/x/|upd/dir\\app.update.info|sub\\Agent.exe|x|1|"}));
  TGFileInfo info(file);
  EXPECT_EQ(info.GetInfoFileName(), "app.update.info");
  EXPECT_EQ(info.GetOriginalSettingsName(), "app.original");  // every extension goes
  EXPECT_EQ(info.GetAgentName(), "sub\\Agent.exe");
  EXPECT_TRUE(info.IsHiddenRun());
}

TEST(TGFileInfo, HiddenRunNeedsExactlyOne) {
  for (const char* item : {"1 ", " 1", "01", "true", ""}) {
    MemoryFile file(HandPackage("", {"\x02", std::string("|a|b|c|d|") + item + "|"}));
    EXPECT_FALSE(TGFileInfo(file).IsHiddenRun()) << item;
  }
}

TEST(TGFileInfo, HeaderStringsZeroReadsTwoAndThreeReadsTheDownloadHeader) {
  std::string download = "*http://dl.example/files/*setup.exe*1*cbbebdfdfcstce*123456*";
  MemoryFile two(HandPackage("", {"\x02", kPlainHeader}, "", 0));
  TGFileInfo info2(two);
  EXPECT_TRUE(info2.IsValid());
  EXPECT_EQ(info2.Trailer().HeaderStrings, 2);
  EXPECT_EQ(info2.GetAgentName(), ".exe");
  EXPECT_EQ(info2.DownloadHeader(), "");

  MemoryFile three(HandPackage("", {"\x02", kPlainHeader, download}, "", 3));
  TGFileInfo info3(three);
  ASSERT_TRUE(info3.IsValid());
  EXPECT_EQ(info3.GetDownloadLocation(), "http://dl.example/files/");
  EXPECT_EQ(info3.GetDownloadFileName(), "setup.exe");
  EXPECT_TRUE(info3.IsAlwaysDownload());
  EXPECT_EQ(info3.GetDownloadToken(true), "AB");
  EXPECT_EQ(info3.GetDownloadSize(), "123456");
}

TEST(TGFileInfo, StampedLengthHidesAppendedData) {
  std::string stub = MakeStubImage(2048);
  std::string setup = HandPackage(stub, {"\x02", kPlainHeader});
  std::string stamped = setup;
  PutU32At(stamped, 0xF8, 0);
  PutU32At(stamped, 0xFC, uint32_t(setup.size()));
  std::string signedFile = stamped + NoiseBytes(3000);
  MemoryFile file(signedFile);
  EXPECT_TRUE(IsStampedCapable(file));
  EXPECT_EQ(ReadStampedLength(file), setup.size());
  EXPECT_EQ(LogicalLength(file), setup.size());
  TGFileInfo info(file);
  ASSERT_TRUE(info.IsValid());
  EXPECT_EQ(info.GetPackageToken(true), "AB");

  // Without the stamp the physical end is used: the appended bytes hide the trailer.
  std::string unstamped = setup + NoiseBytes(3000);
  MemoryFile plain(unstamped);
  EXPECT_FALSE(TGFileInfo(plain).IsValid());
  // A stamp of 0 on an executable: physical end.
  MemoryFile zero(setup);
  EXPECT_TRUE(TGFileInfo(zero).IsValid());
}

TEST(TGFileInfo, StampCountsOnlyWithPeAtExactly0x100) {
  std::string stub = MakeStubImage(2048);
  stub.replace(0x100, 4, std::string(4, '\0'));
  stub.replace(0x80, 4, std::string("PE\0\0", 4));  // where GNU ld puts it
  std::string setup = HandPackage(stub, {"\x02", kPlainHeader});
  PutU32At(setup, 0xFC, 100);  // a stamp that must be ignored
  MemoryFile file(setup);
  EXPECT_FALSE(IsStampedCapable(file));
  EXPECT_EQ(LogicalLength(file), setup.size());
  EXPECT_TRUE(TGFileInfo(file).IsValid());
}

TEST(ReadStampedLength, HighHalfComesFirst) {
  std::string bytes = MakeStubImage(1024);
  PutU32At(bytes, 0xF8, 1);
  PutU32At(bytes, 0xFC, 2);
  EXPECT_EQ(ReadStampedLength(bytes), 0x100000002ull);
  MemoryFile file(bytes);
  EXPECT_EQ(ReadStampedLength(file), 0x100000002ull);
  EXPECT_EQ(ReadStampedLength(std::string(0xFF, 'x')), 0u);
  // A stamp past the physical end finds no trailer and reads nothing it should not.
  PackageTrailer t;
  TrailerLocation where = ReadTrailer(file, t);
  EXPECT_EQ(where.length, 0u);
  EXPECT_FALSE(t.HasMagic());
}

TEST(ReadTrailer, ShortTrailerIsReadPartially) {
  // A 40-byte trailer: 36 bytes of fields, then its length. SpaceNeeded[2] (36..39)
  // lies beyond and stays 0.
  PackageTrailer t = GoodTrailer(0);
  t.SpaceNeeded[1] = 111;
  t.SpaceNeeded[2] = 222;
  std::string full = TrailerBytes(t);
  std::string bytes = "0123456789" + full.substr(0, 36);
  bytes += std::string(4, '\0');
  PutU32At(bytes, bytes.size() - 4, 40);
  MemoryFile file(bytes);
  PackageTrailer read;
  TrailerLocation where = ReadTrailer(file, read);
  EXPECT_EQ(where.position, 10);
  EXPECT_EQ(read.Magic, kPackageMagic);
  EXPECT_EQ(read.SpaceNeeded[1], 111u);
  EXPECT_EQ(read.SpaceNeeded[2], 0u);
  EXPECT_EQ(read.TrailerLength, 40u);
}

TEST(ReadTrailer, LongTrailerIsReadToItsFirst70Bytes) {
  PackageTrailer t = GoodTrailer(0);
  t.ThisIs_AutoUpdateProg = 1;
  std::string fields = TrailerBytes(t).substr(0, 70);
  std::string bytes = fields + std::string(26, '\x55') + std::string(4, '\0');
  PutU32At(bytes, 96, 100);
  MemoryFile file(bytes);
  PackageTrailer read;
  ReadTrailer(file, read);
  EXPECT_EQ(read.Magic, kPackageMagic);
  EXPECT_EQ(read.ThisIs_AutoUpdateProg, 1);
  EXPECT_EQ(read.TrailerLength, 100u);
}

TEST(TGFileInfo, DamagedTrailersGiveAnEmptyReader) {
  std::string good = HandPackage("", {"\x02", kPlainHeader});
  for (uint32_t length : {0u, 3u, 4u, 1000u, 0xFFFFFFFFu, 0x80000000u}) {
    std::string bytes = good;
    PutU32At(bytes, bytes.size() - 4, length);
    MemoryFile file(bytes);
    TGFileInfo info(file);
    EXPECT_FALSE(info.IsValid()) << length;
    EXPECT_EQ(info.PackageHeader(), "") << length;
    EXPECT_EQ(info.Trailer().TrailerLength, length);
    EXPECT_EQ(info.GetFontName(), "Tahoma");
  }
  std::string wrongMagic = good;
  wrongMagic[wrongMagic.size() - kTrailerSize + 12] ^= 1;
  MemoryFile file(wrongMagic);
  TGFileInfo info(file);
  EXPECT_FALSE(info.IsValid());
  EXPECT_EQ(info.LanguageList(), "");
  EXPECT_EQ(info.Trailer().HeaderStrings, 2);  // what was read is kept
}

TEST(TGFileInfo, TinyAndMissingFilesGiveDefaults) {
  for (size_t size : {0, 1, 3, 4, 73, 74}) {
    MemoryFile file(NoiseBytes(size, uint32_t(size)));
    TGFileInfo info(file);
    EXPECT_FALSE(info.IsValid());
    EXPECT_EQ(info.GetCharset(), 0);
  }
  TempDir dir;
  TGFileInfo missing(dir.File("no-such-setup.exe"));
  EXPECT_FALSE(missing.IsValid());
  EXPECT_EQ(missing.Trailer().Magic, 0u);
  EXPECT_EQ(missing.GetSpaceNeeded(dir.Path()), 0.0);
  EXPECT_EQ(missing.GetAgentName(), "");
  EXPECT_FALSE(missing.MorePieces());
}

TEST(TGFileInfo, HostileHeaderLengthsAreBoundedByTheFile) {
  std::string good = HandPackage("", {"\x02", kPlainHeader});
  // The package header's length field sits at offset 5.
  for (uint32_t length : {0xFFFFFFF0u, 0x7FFFFFFFu, uint32_t(good.size())}) {
    std::string bytes = good;
    PutU32At(bytes, 5, length);
    MemoryFile file(bytes);
    TGFileInfo info(file);
    EXPECT_FALSE(info.IsValid()) << length;
    EXPECT_EQ(info.LanguageList(), "") << length;
    EXPECT_EQ(info.PackageHeader(), "") << length;
  }
  // A header string may reach the trailer exactly, not one byte into it.
  uint32_t exact = uint32_t(good.size() - kTrailerSize - 9);
  std::string bytes = good;
  PutU32At(bytes, 5, exact);
  MemoryFile fits(bytes);
  EXPECT_TRUE(TGFileInfo(fits).IsValid());
  PutU32At(bytes, 5, exact + 1);
  MemoryFile over(bytes);
  EXPECT_FALSE(TGFileInfo(over).IsValid());
  // A StartOffset past the end.
  std::string distant = good;
  PutU32At(distant, distant.size() - kTrailerSize + 4, 0xFFFFFF00u);
  MemoryFile distantFile(distant);
  EXPECT_FALSE(TGFileInfo(distantFile).IsValid());
}

TEST(TGFileInfo, OpeningAHugeSetupReadsOnlyTrailerAndHeaderStrings) {
  std::string head = MakeStubImage(4096) + Header("\x02") + Header(kPlainHeader);
  uint64_t size = uint64_t(1) << 30;
  std::string tail = TrailerBytes(GoodTrailer(4096));
  SparseFile file(size, head, tail);
  TGFileInfo info(file);
  EXPECT_TRUE(info.IsValid());
  EXPECT_EQ(info.GetPackageToken(true), "AB");
  EXPECT_LT(file.bytesRead, 1024u);
  file.bytesRead = 0;
  EXPECT_EQ(ComputeChecksum(file, kTrailerSize), kNoChecksum);
  EXPECT_EQ(file.bytesRead, 0u);
}

TEST(ComputeChecksum, SumsTheWordsBeforeTheTrailer) {
  // 100 bytes 0..99: remaining 26; words 0..4 count (22 - 4k > 4), no block bonus.
  std::string bytes;
  for (int i = 0; i < 100; ++i) bytes += char(i);
  MemoryFile small(bytes);
  EXPECT_EQ(ComputeChecksum(small, 74), 0x37322D28u);
  // 5000 bytes of 0x01: 1024 + 206 words and one bonus after the first block.
  MemoryFile two(std::string(5000, '\x01'));
  EXPECT_EQ(ComputeChecksum(two, 74), 3537033120u);
  // The trailer length decides how much counts.
  EXPECT_NE(ComputeChecksum(two, 74), ComputeChecksum(two, 70));
}

TEST(ComputeChecksum, StampedFilesSkipTheirFirst512Bytes) {
  std::string bytes = MakeStubImage(1024) + std::string(1000, '\x02');
  PutU32At(bytes, 0xFC, uint32_t(bytes.size()));
  MemoryFile file(bytes);
  // remaining = 2024 - 74 - 512 = 1438 from offset 512: 1512 bytes read in one block,
  // words counted while 1438 - 4(k+1) > 4, i.e. 358 words.
  uint32_t expected = 0;
  for (int k = 0; k < 358; ++k) expected += ReadU32At(bytes, 512 + 4 * k);
  EXPECT_EQ(ComputeChecksum(file, 74), expected);
  // Changing the header area below 512 does not change the sum.
  std::string changed = bytes;
  changed[0x150] ^= 0x7F;
  MemoryFile file2(changed);
  EXPECT_EQ(ComputeChecksum(file2, 74), expected);
}

TEST(ComputeChecksum, LargeFilesAreNotSummed) {
  MemoryFile limit(std::string(51200, '\x01'));
  EXPECT_NE(ComputeChecksum(limit, 74), kNoChecksum);
  MemoryFile over(std::string(51201, '\x01'));
  EXPECT_EQ(ComputeChecksum(over, 74), kNoChecksum);
  EXPECT_TRUE(ChecksumPasses(5, 5));
  EXPECT_TRUE(ChecksumPasses(kNoChecksum, 5));
  EXPECT_TRUE(ChecksumPasses(5, kNoChecksum));
  EXPECT_FALSE(ChecksumPasses(5, 6));
}

TEST(PieceCrc, FieldIsTheMarkerThenTheCrc) {
  PackageTrailer t = GoodTrailer(300);
  EXPECT_EQ(GetPieceCrc(t).state, PieceCrcState::None);
  SetPieceCrc(t, 0xCBF43926);
  std::string b = TrailerBytes(t);
  EXPECT_EQ(b.substr(20, 4), "CR32");
  EXPECT_EQ(ReadU32At(b, 24), 0xCBF43926u);
  uint8_t raw[kTrailerSize];
  std::memcpy(raw, b.data(), kTrailerSize);
  PieceCrcField back = GetPieceCrc(PackageTrailer::FromBytes(raw));
  EXPECT_EQ(back.state, PieceCrcState::Stored);
  EXPECT_EQ(back.value, 0xCBF43926u);
  SetPieceCrc(t, 0);  // a CRC of 0 is a CRC all the same
  EXPECT_EQ(GetPieceCrc(t).state, PieceCrcState::Stored);
  // Anything else in the 8 bytes belongs to another builder: no CRC.
  t.Reserved20[3] = '3';
  EXPECT_EQ(GetPieceCrc(t).state, PieceCrcState::Foreign);
  PackageTrailer zeroMarker = GoodTrailer(300);
  zeroMarker.Reserved20[7] = 1;
  EXPECT_EQ(GetPieceCrc(zeroMarker).state, PieceCrcState::Foreign);
}

TEST(PieceCrc, CoversStartOffsetUpToTheTrailer) {
  // The covered bytes are "123456789": the standard CRC-32 check value.
  std::string prefix = MakeStubImage(300), covered = "123456789";
  PackageTrailer t = GoodTrailer(uint32_t(prefix.size()));
  SetPieceCrc(t, 0xCBF43926);
  std::string bytes = prefix + covered + TrailerBytes(t);
  auto check = [](const std::string& b) {
    MemoryFile file(b);
    PackageTrailer raw;
    TrailerLocation where = ReadTrailer(file, raw);
    return CheckPieceCrc(file, raw, where);
  };
  PieceCrcCheck good = check(bytes);
  EXPECT_TRUE(good.computed);
  EXPECT_EQ(good.value, 0xCBF43926u);
  EXPECT_TRUE(good.passes);
  // What lies before StartOffset and the trailer's other bytes are not covered.
  std::string stub = bytes;
  stub[0x80] ^= 0x01;
  EXPECT_TRUE(check(stub).passes);
  std::string space = bytes;
  space[prefix.size() + covered.size() + 28] ^= 0x01;
  EXPECT_TRUE(check(space).passes);
  // Every covered byte is.
  for (size_t i = 0; i < covered.size(); ++i) {
    std::string flipped = bytes;
    flipped[prefix.size() + i] ^= 0x20;
    PieceCrcCheck bad = check(flipped);
    EXPECT_TRUE(bad.computed);
    EXPECT_FALSE(bad.passes) << i;
  }
  // A stamped file with a signature behind its logical end: the trailer found
  // through the stamp bounds the range.
  std::string stamped = bytes;
  PutU32At(stamped, 0xFC, uint32_t(stamped.size()));
  EXPECT_TRUE(check(stamped + NoiseBytes(5000)).passes);
  // A StartOffset beyond the trailer covers no bytes: their CRC is 0.
  PackageTrailer beyond = GoodTrailer(100000);
  SetPieceCrc(beyond, 0);
  EXPECT_TRUE(check(prefix + covered + TrailerBytes(beyond)).passes);
  SetPieceCrc(beyond, 0xCBF43926);
  EXPECT_FALSE(check(prefix + covered + TrailerBytes(beyond)).passes);
}

TEST(PieceCrc, PackagesWithoutOurMarkerAreNotChecked) {
  std::string prefix = MakeStubImage(300);
  PackageTrailer t = GoodTrailer(uint32_t(prefix.size()));
  for (PieceCrcState state : {PieceCrcState::None, PieceCrcState::Foreign}) {
    if (state == PieceCrcState::Foreign) std::memcpy(t.Reserved20, "\xAA\xBB\xCC\xDD\x01\x02\x03\x04", 8);
    MemoryFile file(prefix + "anything" + TrailerBytes(t));
    PackageTrailer raw;
    TrailerLocation where = ReadTrailer(file, raw);
    PieceCrcCheck c = CheckPieceCrc(file, raw, where);
    EXPECT_EQ(c.field.state, state);
    EXPECT_FALSE(c.computed);
    EXPECT_TRUE(c.passes);
  }
}

TEST(Crc32Update, GivesZlibsValuesAtEveryLengthAndAlignment) {
  std::string data = NoiseBytes(300000, 11);
  const auto* p = reinterpret_cast<const uint8_t*>(data.data());
  auto zlib = [&](uint32_t crc, size_t at, size_t n) { return uint32_t(crc32(crc, p + at, uInt(n))); };
  // Around the 64-byte bulk and the 16-byte tail on every alignment, from a running CRC.
  for (size_t at = 0; at < 16; ++at)
    for (size_t n = 0; n < 300; ++n) ASSERT_EQ(Crc32Update(0x9E3779B9, p + at, n), zlib(0x9E3779B9, at, n)) << at << " " << n;
  EXPECT_EQ(Crc32Update(0, p + 3, data.size() - 3), zlib(0, 3, data.size() - 3));
  // Taken in slices, it gives the value of one call.
  uint32_t sliced = 0;
  for (size_t at = 0; at < data.size(); at += 4099)
    sliced = Crc32Update(sliced, p + at, std::min<size_t>(4099, data.size() - at));
  EXPECT_EQ(sliced, zlib(0, 0, data.size()));
  const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(Crc32Update(0, check, sizeof check), 0xCBF43926u);
  if (!Crc32FoldsInBulk()) std::printf("note: this processor has no carry-less multiply: only zlib's loop ran\n");
}

TEST(PieceCrc, TakesBytesInFileOrderOnce) {
  std::string data = NoiseBytes(10000, 4);
  const auto* p = reinterpret_cast<const uint8_t*>(data.data());
  // The range [1000, 9000), handed over in overlapping slices that start before it
  // and end after it.
  PieceCrc sum(1000, 9000);
  sum.Feed(0, p, 500);       // before the range
  sum.Feed(0, p, 1500);
  sum.Feed(1200, p + 1200, 300);  // already taken
  sum.Feed(1500, p + 1500, 4000);
  sum.Feed(5500, p + 5500, 4500);
  EXPECT_TRUE(sum.Complete());
  PieceCrc whole(1000, 9000);
  whole.Feed(1000, p + 1000, 8000);
  EXPECT_EQ(sum.Value(), whole.Value());
  MemoryFile file(data);
  uint32_t read = 0;
  ASSERT_TRUE(ComputeCrcOfRange(file, 1000, 9000, read));
  EXPECT_EQ(read, whole.Value());
  EXPECT_FALSE(ComputeCrcOfRange(file, 1000, 10001, read));  // past the end of the file
  // A slice that skips bytes leaves a hole: the sum can never complete.
  PieceCrc holed(1000, 9000);
  holed.Feed(1000, p + 1000, 100);
  holed.Feed(1200, p + 1200, 7800);
  holed.Feed(1100, p + 1100, 7900);
  EXPECT_FALSE(holed.Complete());
}

TEST(SpaceNeeded, EntryFollowsTheClusterSize) {
  PackageTrailer t;
  for (int i = 0; i < 9; ++i) t.SpaceNeeded[i] = 1000 + i;
  EXPECT_EQ(SpaceNeededForCluster(t, 0), 1000u);
  EXPECT_EQ(SpaceNeededForCluster(t, 511), 1000u);
  EXPECT_EQ(SpaceNeededForCluster(t, 512), 1001u);
  EXPECT_EQ(SpaceNeededForCluster(t, 4096), 1004u);
  EXPECT_EQ(SpaceNeededForCluster(t, 8191), 1004u);
  EXPECT_EQ(SpaceNeededForCluster(t, 65536), 1008u);
  EXPECT_EQ(SpaceNeededForCluster(t, 1 << 20), 1008u);
}

TEST(DecodeToken, ReadsAFieldMadeByHand) {
  // d = 10 03 02 42 41 AB 13: key 0x10 ^ 0x13 = 3, lead 0, tail 1, check 0xAB.
  EXPECT_EQ(DecodeToken("cbbebdfdfcstce"), std::optional<std::string>("AB"));
  EXPECT_EQ(DecodeToken("CBBEBDFDFCSTCE"), std::nullopt);  // shifted upper case is no hex
  EXPECT_EQ(DecodeToken("cbbebdfdfcsuce"), std::nullopt);  // check byte off by one
  EXPECT_EQ(DecodeToken("cbbebdfd"), std::nullopt);        // four bytes are too few
  EXPECT_EQ(DecodeToken(""), std::nullopt);
  // lead 0xFF after the key: the lengths cannot fit the field.
  EXPECT_EQ(DecodeToken("cbxsbdfdfcsdce"), std::nullopt);
}

TEST(DecodeToken, UnreadableTokensBecomeAProvisionalNumber) {
  for (const char* bad : {"", "zz", "cbbebdfdfcsuce", "not a token at all"}) {
    std::string t = UnscrambleToken(bad);
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.find_first_not_of("0123456789"), std::string::npos) << t;
    EXPECT_LT(std::stol(t), 99999);
  }
}

TEST(DecodeToken, RoundTripsTheBuildersEncoding) {
  SeededRandom random(42);
  std::string all;
  for (int i = 0; i < 256; ++i) all += char(i);
  for (size_t length : {0, 1, 2, 5, 16, 64, 256}) {
    for (int round = 0; round < 20; ++round) {
      std::string token = all.substr(round % 7, length);
      std::string field = EncodeToken(token, random);
      EXPECT_EQ(field.find_first_not_of("bcdefghijkstuvwx"), std::string::npos);
      EXPECT_EQ(DecodeToken(field), std::optional<std::string>(token));
    }
  }
}

TEST(ParseInfoLine, TakesTheTokenAndTheRest) {
  InfoLine plain = ParseInfoLine("ignored|cbbebdfdfcstce|b|c|Version=2|Size=9");
  EXPECT_EQ(plain.token, "AB");
  EXPECT_EQ(plain.rest, "Version=2|Size=9");
  InfoLine scrambled = ParseInfoLine(Scramble("x|cbbebdfdfcstce|||rest", 77));
  EXPECT_EQ(scrambled.token, "AB");
  EXPECT_EQ(scrambled.rest, "rest");
  InfoLine shortLine = ParseInfoLine("|cbbebdfdfcstce");
  EXPECT_EQ(shortLine.token, "AB");
  EXPECT_EQ(shortLine.rest, "");
}

TEST(LanguageBlocks, ChoiceFollowsTheSystemLanguage) {
  const std::string french = "*French*s0=Bonjour*";
  const std::string english = "*English*s0=Hello*";
  const std::string german = "* german *s0=Hallo*";
  EXPECT_EQ(ChooseLanguageBlock("|" + french + "|", "GERMAN"), french);  // the only block
  EXPECT_EQ(ChooseLanguageBlock("|" + french + "|" + english + "|", "GERMAN"), english);
  EXPECT_EQ(ChooseLanguageBlock("|" + french + "|" + german + "|" + english + "|", "GERMAN"), german);
  EXPECT_EQ(ChooseLanguageBlock("|" + french + "|" + german + "|", "ENGLISH"), "*");
  EXPECT_EQ(ChooseLanguageBlock("\x02", "ENGLISH"), "*");
  EXPECT_EQ(ChooseLanguageBlock("", "ENGLISH"), "*");
}

TEST(LanguageBlocks, EscapesOfTheVendorsTextsBecomeBreaks) {
  ResetLanguageCache();
  MemoryFile file(HandPackage("", {"|*English*s7=Bad CRC!\\nTry again\\tnow*|", kPlainHeader}));
  EXPECT_EQ(TGFileInfo(file).GetLangString("s7", ""), "Bad CRC!\r\nTry again\tnow");
  ResetLanguageCache();
}

TEST(LanguageBlocks, LookupIsCachedForTheProcess) {
  ResetLanguageCache();
  MemoryFile first(HandPackage("", {"|*English*S0 =Hello*Empty=*Charset=177*FontSize=abc*|", kPlainHeader}));
  TGFileInfo info(first);
  EXPECT_EQ(info.GetLangString("s0", "default"), "Hello");
  EXPECT_EQ(info.GetLangString("EMPTY", "default"), "");
  EXPECT_EQ(info.GetLangString("s1", "default"), "default");
  EXPECT_EQ(info.GetCharset(), 177);
  EXPECT_EQ(info.GetFontSize(), 8);
  EXPECT_EQ(info.GetFontName(), "Tahoma");
  // A second reader answers from the block the first one chose.
  MemoryFile second(HandPackage("", {"|*English*s0=Other*|", kPlainHeader}));
  EXPECT_EQ(TGFileInfo(second).GetLangString("s0", "default"), "Hello");
  ResetLanguageCache();
  EXPECT_EQ(TGFileInfo(second).GetLangString("s0", "default"), "Other");

  ResetLanguageCache();
  MemoryFile empty(HandPackage("", {"\x02", kPlainHeader}));
  TGFileInfo none(empty);
  EXPECT_EQ(none.GetLangString("s0", "default"), "default");
  EXPECT_EQ(none.GetCharset(), 0);
  EXPECT_EQ(none.GetFontSize(), 8);
  ResetLanguageCache();
}
