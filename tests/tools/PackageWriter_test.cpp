#include "PackageWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "PackageLister.h"
#include "package/PackageReader.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kFixedDate = 1796823930;  // 2026-12-09 13:45:30 UTC
constexpr uint32_t kFixedDos = 0x5D896DAF;

class Builder : public ::testing::Test {
 protected:
  void SetUp() override {
    stub = MakeStubImage(60000);
    WriteBytes(dir.File("Stub.exe"), stub);
    Add("readme.txt", "Please read me.\r\n");
    Add("Engine.exe", NoiseBytes(300000, 7));
    Add("empty.dat", "");
    options.stubPath = dir.File("Stub.exe");
    options.outputPath = dir.File("setup.exe");
    options.files.back().isMain = false;
    options.files[1].isMain = true;
    options.files[1].mainArgs = "/X /Y=\"a b\"";
    options.fixedDate = kFixedDate;
  }

  void Add(const std::string& name, const std::string& data) {
    WriteBytes(dir.File(name), data);
    inputs[name] = data;
    options.files.push_back({dir.File(name), name, "", false, {}});
  }

  bool Build(std::string* errorOut = nullptr) {
    std::string error;
    bool ok = WritePackage(options, result, error);
    if (errorOut) *errorOut = error;
    EXPECT_EQ(ok, error.empty());
    return ok;
  }

  // Nothing may be left behind by a failed build.
  void ExpectNoOutputs() {
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
      std::string name = entry.path().filename().string();
      EXPECT_TRUE(name.rfind("setup", 0) != 0) << "left behind: " << name;
    }
  }

  TempDir dir;
  std::string stub;
  std::map<std::string, std::string> inputs;
  BuildOptions options;
  BuildResult result;
};

}  // namespace

TEST_F(Builder, SetupFileReadsBackExactly) {
  options.token = "Vendor-Token-1";
  options.agentName = "AutoUpdate.exe";
  options.infoLocation = "http://updates.example/app/";
  options.infoFileName = "app.info";
  ASSERT_TRUE(Build());
  ASSERT_EQ(result.outputs.size(), 1u);
  std::string bytes = ReadBytes(options.outputPath);
  EXPECT_EQ(bytes.substr(0, 0xF8), stub.substr(0, 0xF8));  // the stub is unchanged...
  EXPECT_EQ(bytes.substr(0x100, stub.size() - 0x100), stub.substr(0x100));
  EXPECT_EQ(ReadU32At(bytes, 0xFC), bytes.size());  // ...but for its stamp
  EXPECT_EQ(ReadU32At(bytes, 0xF8), 0u);

  TGFileInfo info(options.outputPath);
  ASSERT_TRUE(info.IsValid());
  EXPECT_EQ(info.GetPackageToken(true), "Vendor-Token-1");
  EXPECT_EQ(info.GetAgentName(), "AutoUpdate.exe");
  EXPECT_EQ(info.GetInfoLocation(), "http://updates.example/app/");
  EXPECT_EQ(info.GetOriginalSettingsName(), "app.original");
  EXPECT_EQ(info.PackageHeader().substr(0, 1), "|");
  const PackageTrailer& t = info.Trailer();
  EXPECT_EQ(t.Reserved0, 1);
  EXPECT_EQ(t.HeaderStrings, 2);
  EXPECT_EQ(t.FilesCount, 3u);
  EXPECT_EQ(t.TrailerLength, kTrailerSize);
  EXPECT_EQ(t.Checksum, kNoChecksum);  // above 51200 bytes
  uint32_t total = uint32_t(inputs["readme.txt"].size() + inputs["Engine.exe"].size());
  EXPECT_EQ(t.SpaceNeeded[0], total);
  EXPECT_EQ(t.SpaceNeeded[4], 4096u + (300000 + 4095) / 4096 * 4096);
  EXPECT_EQ(t.SpaceNeeded[8], 65536u + (300000 + 65535) / 65536 * 65536);

  UnpackedPackage unpacked = UnpackForTest(options.outputPath);
  ASSERT_TRUE(unpacked.ok);
  EXPECT_EQ(unpacked.files, inputs);
  ASSERT_EQ(unpacked.nameFields.size(), 3u);
  EXPECT_EQ(unpacked.nameFields[0], "|readme.txt|" + std::to_string(kFixedDos) + "|");
  EXPECT_EQ(unpacked.nameFields[1], "|Engine.exe*/X /Y=\"a b\"|" + std::to_string(kFixedDos) + "|");

  PackageListing listing = ListPackage(options.outputPath);
  EXPECT_TRUE(listing.problems.empty()) << listing.problems[0];
  ASSERT_EQ(listing.records.size(), 3u);
  EXPECT_TRUE(listing.records[1].isMain);
  EXPECT_EQ(listing.records[1].name, "Engine.exe");
  EXPECT_EQ(listing.records[1].mainArgs, "/X /Y=\"a b\"");
  EXPECT_EQ(listing.records[1].unpackedSize, 300000u);
  EXPECT_TRUE(listing.records[1].compressed);
  EXPECT_EQ(listing.records[2].unpackedSize, 0u);
  EXPECT_EQ(DosDateText(listing.records[0].dosDate), "2026-12-09 13:45:30");
}

TEST_F(Builder, StoredRecordsHaveNegativeLengths) {
  options.store = true;
  ASSERT_TRUE(Build());
  TGFileInfo info(options.outputPath);
  std::string bytes = ReadBytes(options.outputPath);
  int32_t first = int32_t(ReadU32At(bytes, info.Trailer().StartOffset));
  std::string field = "|readme.txt|" + std::to_string(kFixedDos) + "|";
  EXPECT_EQ(first, -int32_t(field.size() + 1 + inputs["readme.txt"].size()));
  EXPECT_EQ(UnpackForTest(options.outputPath).files, inputs);
}

TEST_F(Builder, AppendedSignatureBytesAreInvisible) {
  ASSERT_TRUE(Build());
  std::string bytes = ReadBytes(options.outputPath);
  WriteBytes(options.outputPath, bytes + NoiseBytes(7000, 3));
  TGFileInfo info(options.outputPath);
  EXPECT_TRUE(info.IsValid());
  EXPECT_EQ(UnpackForTest(options.outputPath).files, inputs);
  PackageListing listing = ListPackage(options.outputPath);
  EXPECT_TRUE(listing.problems.empty());
  EXPECT_EQ(listing.pieces[0].logicalLength, bytes.size());
  EXPECT_EQ(listing.pieces[0].physicalSize, bytes.size() + 7000);
}

TEST_F(Builder, HeaderStringsCountAndDownloadHeader) {
  options.headerStrings = 0;
  ASSERT_TRUE(Build());
  TGFileInfo zero(options.outputPath);
  EXPECT_TRUE(zero.IsValid());
  EXPECT_EQ(zero.Trailer().HeaderStrings, 2);
  EXPECT_EQ(ReadBytes(options.outputPath)[ReadBytes(options.outputPath).size() - kTrailerSize + 1], 0);
  EXPECT_EQ(UnpackForTest(options.outputPath).files, inputs);

  options.headerStrings.reset();
  options.withDownloadHeader = true;
  options.downloadLocation = "http://dl.example/";
  options.downloadFileName = "full.exe";
  options.downloadToken = "dl-token";
  options.downloadSize = "123";
  ASSERT_TRUE(Build());
  TGFileInfo three(options.outputPath);
  EXPECT_EQ(three.Trailer().HeaderStrings, 3);
  EXPECT_EQ(three.GetDownloadFileName(), "full.exe");
  EXPECT_EQ(three.GetDownloadToken(true), "dl-token");
  EXPECT_FALSE(three.IsAlwaysDownload());
  EXPECT_EQ(UnpackForTest(options.outputPath).files, inputs);
}

TEST_F(Builder, SpannedSetSplitsFilesAcrossPieces) {
  options.pieceSize = 100000;
  ASSERT_TRUE(Build());
  ASSERT_GE(result.outputs.size(), 4u);  // 60 KB stub + 300 KB of noise
  EXPECT_EQ(result.outputs[0], options.outputPath);
  for (size_t i = 0; i < result.outputs.size(); ++i) {
    const std::string& piece = result.outputs[i];
    if (i > 0) EXPECT_EQ(piece, options.outputPath + ".00" + std::to_string(i + 1));
    auto file = OpenReadOnly(piece);
    ASSERT_TRUE(file);
    EXPECT_LE(file->Size(), options.pieceSize);
    PackageTrailer t;
    ReadTrailer(*file, t);
    EXPECT_TRUE(t.HasMagic());
    EXPECT_EQ(t.HasFlag(kFlagMorePieces), i + 1 < result.outputs.size());
    EXPECT_TRUE(t.HasFlag(kFlagSpannedSet));
    if (i > 0) {
      EXPECT_EQ(t.StartOffset, 0u);
      EXPECT_FALSE(IsStampedCapable(*file));
    }
    EXPECT_TRUE(ChecksumPasses(ComputeChecksum(*file, t.TrailerLength), t.Checksum));
  }
  TGFileInfo first(options.outputPath);
  // One progress step per file and one per change of piece.
  EXPECT_EQ(first.Trailer().FilesCount, 3u + uint32_t(result.outputs.size() - 1));
  UnpackedPackage unpacked = UnpackForTest(options.outputPath);
  ASSERT_TRUE(unpacked.ok);
  EXPECT_EQ(unpacked.files, inputs);
  EXPECT_GT(unpacked.nameFields.size(), 3u);  // the engine continues on later pieces
  EXPECT_TRUE(ListPackage(options.outputPath).problems.empty());
}

TEST_F(Builder, SmallPiecesCarryARealChecksum) {
  WriteBytes(dir.File("small-stub.exe"), MakeStubImage(4096));
  options.stubPath = dir.File("small-stub.exe");
  options.pieceSize = 20000;
  options.store = true;
  ASSERT_TRUE(Build());
  ASSERT_GT(result.outputs.size(), 2u);
  auto file = OpenReadOnly(result.outputs[1]);
  PackageTrailer t;
  ReadTrailer(*file, t);
  EXPECT_NE(t.Checksum, kNoChecksum);
  EXPECT_EQ(ComputeChecksum(*file, kTrailerSize), t.Checksum);
  // A flipped data byte in the summed range fails the test.
  std::string bytes = ReadBytes(result.outputs[1]);
  bytes[100] ^= 0x40;
  MemoryFile damaged(bytes);
  EXPECT_FALSE(ChecksumPasses(ComputeChecksum(damaged, kTrailerSize), t.Checksum));
}

TEST_F(Builder, CompressiblePiecesAreFilledClosely) {
  options.files.clear();
  inputs.clear();
  std::string text;
  while (text.size() < 3000000) text += "line " + std::to_string(text.size() * 7919 % 100003) + " of a log\n";
  Add("log.txt", text);
  options.pieceSize = 120000;
  ASSERT_TRUE(Build());
  ASSERT_GT(result.outputs.size(), 2u);
  for (size_t i = 0; i + 1 < result.outputs.size(); ++i)
    EXPECT_GT(fs::file_size(result.outputs[i]), options.pieceSize * 97 / 100) << result.outputs[i];
  EXPECT_EQ(UnpackForTest(options.outputPath).files, inputs);
}

TEST_F(Builder, FirstPieceCanBeNumbered) {
  options.pieceSize = 150000;
  options.numberFirstPiece = true;
  ASSERT_TRUE(Build());
  EXPECT_EQ(result.outputs[0], options.outputPath + ".001");
  EXPECT_EQ(result.outputs[1], options.outputPath + ".002");
  EXPECT_FALSE(fs::exists(options.outputPath));
  EXPECT_EQ(UnpackForTest(result.outputs[0]).files, inputs);
}

TEST_F(Builder, AgentFileIsTheStrippedCopy) {
  options.files.clear();
  options.kind = OutputKind::Agent;
  options.agentName = "AutoUpdate.exe";
  options.trailer.Flags = kFlagAgentLogOn;
  ASSERT_TRUE(Build());
  std::string bytes = ReadBytes(options.outputPath);
  EXPECT_EQ(ReadU32At(bytes, 0xFC), 0u);
  PackageTrailer raw;
  MemoryFile file(bytes);
  ReadTrailer(file, raw);
  EXPECT_EQ(raw.StartOffset, stub.size());  // the header strings come right after the stub
  EXPECT_EQ(raw.ThisIs_AutoUpdateProg, 1);
  EXPECT_EQ(raw.TrailerLength, 74u);
  EXPECT_EQ(raw.FilesCount, 0u);
  TGFileInfo info(options.outputPath);
  ASSERT_TRUE(info.IsValid());
  EXPECT_TRUE(info.AgentLogOn());
  EXPECT_EQ(info.GetAgentName(), "AutoUpdate.exe");
  EXPECT_EQ(info.Trailer().StartOffset, bytes.size() - kTrailerSize);  // no records
}

TEST_F(Builder, InternetStubCarriesOnlyTheDownloadHeader) {
  options.files.clear();
  options.kind = OutputKind::Internet;
  options.downloadLocation = "http://127.0.0.1:8080/files/";
  options.downloadFileName = "setup-full.exe";
  options.alwaysDownload = true;
  options.downloadSize = "5000000";
  options.downloadToken = "full-token";
  options.trailer.ConfirmDownload = 1;
  ASSERT_TRUE(Build());
  TGFileInfo info(options.outputPath);
  ASSERT_TRUE(info.IsValid());
  EXPECT_EQ(info.InternetDownload(), 1);
  EXPECT_EQ(info.ConfirmDownload(), 1);
  EXPECT_EQ(info.Trailer().HeaderStrings, 3);
  EXPECT_EQ(info.GetDownloadLocation(), "http://127.0.0.1:8080/files/");
  EXPECT_TRUE(info.IsAlwaysDownload());
  EXPECT_EQ(info.GetDownloadSize(), "5000000");
  EXPECT_EQ(info.GetDownloadToken(true), "full-token");
  EXPECT_EQ(info.Trailer().FilesCount, 0u);
  EXPECT_TRUE(ListPackage(options.outputPath).records.empty());
}

TEST_F(Builder, SameInputsGiveTheSameBytes) {
  options.token = "reproducible";
  options.seed = 99;
  ASSERT_TRUE(Build());
  std::string first = ReadBytes(options.outputPath);
  fs::remove(options.outputPath);
  ASSERT_TRUE(Build());
  EXPECT_EQ(ReadBytes(options.outputPath), first);
  options.seed = 100;  // other padding, same token
  ASSERT_TRUE(Build());
  EXPECT_NE(ReadBytes(options.outputPath), first);
  EXPECT_EQ(TGFileInfo(options.outputPath).GetPackageToken(true), "reproducible");
}

TEST_F(Builder, TrailerFieldsCanBeSetByHand) {
  options.trailer.Flags = kFlagAnnounceTempDrive | kFlagShowActivityBar;
  options.trailer.CreateAgent = 1;
  options.spaceNeeded = std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9};
  options.checksum = 4321;
  options.trailerBytes = {{64, 7}, {20, 0xAA}};
  ASSERT_TRUE(Build());
  TGFileInfo info(options.outputPath);
  EXPECT_TRUE(info.AnnounceTempDrive());
  EXPECT_TRUE(info.ShowActivityBar());
  EXPECT_FALSE(info.MorePieces());
  EXPECT_EQ(info.CreateAgent(), 1);
  EXPECT_EQ(info.Trailer().SpaceNeeded[4], 5u);
  EXPECT_EQ(info.Trailer().Checksum, 4321u);
  EXPECT_EQ(info.Trailer().Reserved64, 7);
  EXPECT_EQ(info.Trailer().Reserved20[0], 0xAA);
}

namespace {

PieceCrcCheck CrcOf(const std::string& path) {
  auto file = OpenReadOnly(path);
  EXPECT_TRUE(file) << path;
  if (!file) return {};
  PackageTrailer raw;
  TrailerLocation where = ReadTrailer(*file, raw);
  return CheckPieceCrc(*file, raw, where);
}

}  // namespace

TEST_F(Builder, EveryPieceOfEveryKindCarriesItsCrc) {
  options.pieceSize = 100000;
  ASSERT_TRUE(Build());
  ASSERT_GE(result.outputs.size(), 4u);
  PackageListing listing = ListPackage(options.outputPath);
  EXPECT_TRUE(listing.problems.empty()) << listing.problems[0];
  ASSERT_EQ(listing.pieces.size(), result.outputs.size());
  std::string text = FormatListingText(listing);
  for (size_t i = 0; i < result.outputs.size(); ++i) {
    PieceCrcCheck c = CrcOf(result.outputs[i]);
    EXPECT_EQ(c.field.state, PieceCrcState::Stored) << i;
    EXPECT_TRUE(c.computed && c.passes) << i;
    EXPECT_EQ(listing.pieces[i].crc.field.value, c.field.value);
    char shown[40];
    std::snprintf(shown, sizeof shown, "0x%08X (matches)", c.field.value);
    EXPECT_NE(text.find(shown), std::string::npos) << text;
  }
  options.pieceSize = 0;
  options.files.clear();
  for (OutputKind kind : {OutputKind::Agent, OutputKind::Internet}) {
    options.kind = kind;
    options.downloadLocation = "http://127.0.0.1/";
    options.downloadFileName = "full.exe";
    ASSERT_TRUE(Build());
    PieceCrcCheck c = CrcOf(options.outputPath);
    EXPECT_EQ(c.field.state, PieceCrcState::Stored);
    EXPECT_TRUE(c.passes);
    // The CRC covers the header strings: one changed byte there is seen.
    std::string bytes = ReadBytes(options.outputPath);
    bytes[stub.size() + 12] ^= 0x01;  // in the package header text
    WriteBytes(options.outputPath, bytes);
    EXPECT_FALSE(CrcOf(options.outputPath).passes);
  }
}

TEST_F(Builder, CrcCanBeLeftOutOrSetByHandForTests) {
  options.pieceCrc = false;
  ASSERT_TRUE(Build());
  std::string bytes = ReadBytes(options.outputPath);
  EXPECT_EQ(bytes.substr(bytes.size() - kTrailerSize + 20, 8), std::string(8, '\0'));
  PackageListing old = ListPackage(options.outputPath);
  EXPECT_TRUE(old.problems.empty());
  EXPECT_NE(FormatListingText(old).find("CRC-32                none\n"), std::string::npos) << FormatListingText(old);
  EXPECT_NE(FormatListingJson(old).find("\"crc32\":{\"state\":\"none\"}"), std::string::npos);

  options.pieceCrc = true;
  options.storedPieceCrc = 0x12345678;  // a wrong CRC on purpose
  ASSERT_TRUE(Build());
  PackageListing wrong = ListPackage(options.outputPath);
  ASSERT_EQ(wrong.problems.size(), 1u);
  EXPECT_NE(wrong.problems[0].find("fails its CRC-32 (stored 0x12345678, computed 0x"), std::string::npos)
      << wrong.problems[0];
  EXPECT_NE(FormatListingText(wrong).find("MISMATCH"), std::string::npos);
  std::string json = FormatListingJson(wrong);
  EXPECT_NE(json.find("\"state\":\"stored\",\"stored\":305419896,\"computed\":"), std::string::npos) << json;
  EXPECT_NE(json.find("\"matches\":false"), std::string::npos);

  // Trailer-byte overrides come last: they make another builder's bytes.
  options.storedPieceCrc.reset();
  options.trailerBytes = {{20, 'Z'}};
  ASSERT_TRUE(Build());
  PackageListing foreign = ListPackage(options.outputPath);
  EXPECT_TRUE(foreign.problems.empty());
  EXPECT_EQ(foreign.pieces[0].crc.field.state, PieceCrcState::Foreign);
  EXPECT_NE(FormatListingText(foreign).find("none (bytes 20..27"), std::string::npos);
}

TEST_F(Builder, BadInputFailsWithoutLeavingFiles) {
  std::string error;
  options.stubPath = dir.File("missing.exe");
  EXPECT_FALSE(Build(&error));
  EXPECT_NE(error.find("stub"), std::string::npos);
  ExpectNoOutputs();

  WriteBytes(dir.File("notexe.bin"), NoiseBytes(5000));
  options.stubPath = dir.File("notexe.bin");
  EXPECT_FALSE(Build(&error));
  EXPECT_NE(error.find("not an executable"), std::string::npos) << error;

  std::string ldStub = stub;
  ldStub.replace(0x100, 2, "XX");  // PE header elsewhere
  WriteBytes(dir.File("ld.exe"), ldStub);
  options.stubPath = dir.File("ld.exe");
  EXPECT_FALSE(Build(&error));

  options.stubPath = dir.File("Stub.exe");
  ASSERT_TRUE(Build());
  fs::rename(options.outputPath, dir.File("already.exe"));
  options.stubPath = dir.File("already.exe");
  EXPECT_FALSE(Build(&error));
  EXPECT_NE(error.find("already carries a package"), std::string::npos) << error;
  options.stubPath = dir.File("Stub.exe");

  for (const char* name : {"a/b.txt", "a\\b.txt", "..", "x*y", "x|y", "c:x", "", "trailing.", "tab\tname"}) {
    BuildOptions saved = options;
    options.files.push_back({dir.File("readme.txt"), name, "", false, {}});
    EXPECT_FALSE(Build(&error)) << name;
    EXPECT_NE(error.find("not a plain file name"), std::string::npos) << error;
    options = saved;
  }
  options.files.push_back({dir.File("readme.txt"), "README.TXT", "", false, {}});
  EXPECT_FALSE(Build(&error));
  EXPECT_NE(error.find("packed twice"), std::string::npos) << error;
  options.files.pop_back();

  options.files.push_back({dir.File("gone.txt"), "gone.txt", "", false, {}});
  EXPECT_FALSE(Build(&error));
  EXPECT_NE(error.find("gone.txt"), std::string::npos) << error;
  options.files.pop_back();

  options.pieceSize = 61000;  // the stub alone nearly fills the first piece
  EXPECT_FALSE(Build(&error));
  EXPECT_NE(error.find("piece-size"), std::string::npos) << error;
  ExpectNoOutputs();
}

TEST(LanguageListFromText, BlocksBecomeNestedLists) {
  std::string list, error;
  ASSERT_TRUE(LanguageListFromText("; texts\n[English]\ns0=Hello <B>you</B>\r\nCharset=0\n\n[Hebrew]\nCharset=177\n",
                                   list, error));
  EXPECT_EQ(list, "*|English|s0=Hello <B>you</B>|Charset=0|*|Hebrew|Charset=177|*");
  EXPECT_EQ(ChooseLanguageBlock(list, "HEBREW"), "|Hebrew|Charset=177|");
  // A text holding "|" gets another separator for its block.
  ASSERT_TRUE(LanguageListFromText("[English]\nBtnText=|&OK|&Cancel|\n", list, error));
  EXPECT_EQ(list, "~*English*BtnText=|&OK|&Cancel|*~");
  ASSERT_TRUE(LanguageListFromText("", list, error));
  EXPECT_EQ(list, "\x02");
  EXPECT_FALSE(LanguageListFromText("s0=orphan\n", list, error));
  EXPECT_FALSE(LanguageListFromText("[English]\njust text\n", list, error));
}

TEST(DosDateTime, PacksDateHighAndTimeLow) {
  EXPECT_EQ(DosDateTime(kFixedDate), kFixedDos);
  EXPECT_EQ(DosDateTime(315532800), 0x00210000u);  // 1980-01-01 00:00:00
  EXPECT_EQ(DosDateTime(0), 0x00210000u);          // before 1980: the first DOS day
  EXPECT_EQ(DosDateTime(315532800 + 59), 0x0021001Du);  // seconds count in twos
}
