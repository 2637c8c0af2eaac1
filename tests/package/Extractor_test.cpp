#include "package/Extractor.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <climits>
#include <string>
#include <vector>

#include "PackageWriter.h"
#include "package/PackageReader.h"
#include "support/ExtractDoubles.h"
#include "support/TestFiles.h"

namespace {

constexpr int64_t kFixedDate = 1700000000;  // 2023-11-14 22:13:20 UTC

// ---- packages made by hand, for what the builder never writes ----

std::string U32(uint32_t v) {
  std::string s(4, '\0');
  PutU32At(s, 0, v);
  return s;
}

std::string Deflate(const std::string& data) {
  uLongf size = compressBound(uLong(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
            uLong(data.size()), 9);
  out.resize(size);
  return out;
}

std::string Compressed(const std::string& entry) {
  std::string body = Deflate(entry);
  return U32(uint32_t(body.size())) + body;
}
std::string Stored(const std::string& entry) { return U32(uint32_t(-int32_t(entry.size()))) + entry; }

struct HandOptions {
  uint32_t filesCount = 1;
  uint32_t spaceNeeded = 0;
  uint8_t flags = 0;
  uint32_t magic = kPackageMagic;
  uint32_t startOffset = UINT32_MAX;  // UINT32_MAX: behind the stub image
  bool headerStrings = true;          // false: a later piece (records only)
};

std::string HandPackage(const std::string& records, const HandOptions& o = {}) {
  std::string stub = MakeStubImage(1024);
  std::string bytes = stub;
  if (o.headerStrings) {
    std::string header = "|http:|.info|.exe|cbbebdfdfcstce|0|";
    bytes += U32(1) + "\x02" + U32(uint32_t(header.size())) + header;
  }
  bytes += records;
  PackageTrailer t;
  t.Reserved0 = 1;
  t.HeaderStrings = 2;
  t.StartOffset = o.startOffset == UINT32_MAX ? uint32_t(stub.size()) : o.startOffset;
  t.FilesCount = o.filesCount;
  t.Magic = o.magic;
  t.Checksum = kNoChecksum;
  t.SpaceNeeded[0] = o.spaceNeeded;
  t.Flags = o.flags;
  t.TrailerLength = kTrailerSize;
  uint8_t raw[kTrailerSize];
  t.ToBytes(raw);
  return bytes + std::string(reinterpret_cast<char*>(raw), sizeof raw);
}

ExtractResult Extract(ScriptedHost& host, MemorySink& sink, const std::string& path = "C:\\d\\setup.exe",
                      const std::string& agent = "", bool forcePrompt = false) {
  ExtractRequest request;
  request.packagePath = path;
  request.agentName = agent;
  request.forcePrompt = forcePrompt;
  return ExtractCore(request, host, sink);
}

ExtractResult ExtractHand(const std::string& package, MemorySink& sink, ScriptedHost* hostOut = nullptr) {
  ScriptedHost local;
  ScriptedHost& host = hostOut ? *hostOut : local;
  host.pieces["C:\\d\\setup.exe"] = package;
  return Extract(host, sink);
}

// ---- packages from the builder ----

struct Built {
  class TempDir dir;
  std::vector<std::string> outputs;
  std::map<std::string, std::string> pieces;  // "C:\d\" + piece name -> bytes
};

void Build(Built& b, std::vector<std::pair<std::string, std::string>> files, BuildOptions o = {},
           const std::string& mainName = "", const std::string& mainArgs = "") {
  WriteBytes(b.dir.File("stub.exe"), MakeStubImage(4096));
  o.stubPath = b.dir.File("stub.exe");
  if (o.outputPath.empty()) o.outputPath = b.dir.File("setup.exe");
  o.fixedDate = kFixedDate;
  for (auto& [name, data] : files) {
    WriteBytes(b.dir.File("src_" + name), data);
    PackedFile f;
    f.sourcePath = b.dir.File("src_" + name);
    f.name = name;
    f.isMain = name == mainName;
    f.mainArgs = f.isMain ? mainArgs : "";
    o.files.push_back(f);
  }
  BuildResult result;
  std::string error;
  ASSERT_TRUE(WritePackage(o, result, error)) << error;
  b.outputs = result.outputs;
  for (const std::string& out : result.outputs) {
    std::string name = out.substr(out.find_last_of("/\\") + 1);
    b.pieces["C:\\d\\" + name] = ReadBytes(out);
  }
}

TEST(ExtractBuilt, CompressedAndStoredRoundTrip) {
  for (bool store : {false, true}) {
    Built b;
    BuildOptions o;
    o.store = store;
    std::string big = NoiseBytes(300000) + std::string(200000, 'z');
    Build(b, {{"readme.txt", "hello\r\n"}, {"data.bin", big}, {"Engine.exe", "MZengine"}}, o, "Engine.exe",
          "/S /LANG=2");
    ScriptedHost host;
    host.pieces = b.pieces;
    MemorySink sink;
    ExtractResult r = Extract(host, sink);
    EXPECT_TRUE(r.crcGood);
    EXPECT_FALSE(r.damaged) << r.damage;
    EXPECT_EQ(r.runCommand, "Engine.exe*/S /LANG=2");
    ASSERT_NE(sink.Data("readme.txt"), nullptr);
    EXPECT_EQ(*sink.Data("readme.txt"), "hello\r\n");
    EXPECT_EQ(*sink.Data("data.bin"), big);
    EXPECT_EQ(*sink.Data("Engine.exe"), "MZengine");
    EXPECT_EQ(sink.files["DATA.BIN"].dosDate, DosDateTime(kFixedDate));
    // Reset, range = the record count, one step per file.
    ASSERT_GE(host.progress.size(), 2u);
    EXPECT_EQ(host.progress[0], (std::pair<int, int>{0, 0}));
    EXPECT_EQ(host.progress[1], (std::pair<int, int>{0, 3}));
    EXPECT_EQ(host.Steps(), 3);
    EXPECT_EQ(host.traces.front(), "FileInfo.FilesCount=3");
    EXPECT_EQ(host.traces[1], "FileLen=" + IntToStr(int64_t(b.pieces.begin()->second.size())));
    EXPECT_EQ(host.traces[host.traces.size() - 2], "UnCompressTime: 0 MS");
    EXPECT_TRUE(sink.unsafeNames.empty());
  }
}

TEST(ExtractBuilt, StaleFilesAreReplacedNotAppendedTo) {
  Built b;
  Build(b, {{"a.txt", "new"}});
  ScriptedHost host;
  host.pieces = b.pieces;
  MemorySink sink;
  sink.files["A.TXT"].data = "stale data of an earlier run";
  Extract(host, sink);
  EXPECT_EQ(*sink.Data("a.txt"), "new");
}

TEST(ExtractBuilt, SpannedSetAcrossPieces) {
  for (bool numbered : {false, true}) {
    Built b;
    BuildOptions o;
    o.pieceSize = 64 * 1024;
    o.numberFirstPiece = numbered;
    std::string big = NoiseBytes(200000, 7);
    Build(b, {{"big.bin", big}, {"small.txt", "tail"}}, o);
    ASSERT_GE(b.outputs.size(), 3u);
    const std::string first = numbered ? "C:\\d\\setup.exe.001" : "C:\\d\\setup.exe";
    ASSERT_TRUE(b.pieces.count(first));
    ASSERT_TRUE(b.pieces.count("C:\\d\\setup.exe.002"));

    ScriptedHost host;
    host.pieces = b.pieces;
    MemorySink sink;
    ExtractResult r = Extract(host, sink, first);
    EXPECT_TRUE(r.crcGood);
    EXPECT_FALSE(r.cancelled);
    EXPECT_TRUE(host.prompts.empty());  // every piece is there: no question
    EXPECT_EQ(*sink.Data("big.bin"), big);
    EXPECT_EQ(*sink.Data("small.txt"), "tail");
    // One step per file (a file on two pieces counts once) and one per piece change.
    EXPECT_EQ(host.Steps(), 2 + int(b.outputs.size()) - 1);
    EXPECT_GE(sink.files["BIG.BIN"].opens, 2);  // continued on a later piece
    EXPECT_GT(host.autoPlay, 0);
  }
}

TEST(ExtractBuilt, DiskPromptsAnsweredAndCancelled) {
  Built b;
  BuildOptions o;
  o.pieceSize = 64 * 1024;
  Build(b, {{"big.bin", NoiseBytes(150000, 3)}, {"Engine.exe", "MZ"}}, o, "Engine.exe");
  ASSERT_GE(b.outputs.size(), 3u);
  const std::string second = "C:\\d\\setup.exe.002";

  // The second disk is missing: the user inserts it and presses OK.
  ScriptedHost host;
  host.pieces = b.pieces;
  host.pieces.erase(second);
  host.onPrompt = [&](int piece) {
    host.pieces[second] = b.pieces[second];
    return piece == 2;
  };
  MemorySink sink;
  ExtractResult r = Extract(host, sink);
  EXPECT_EQ(host.prompts, std::vector<int>{2});
  EXPECT_EQ(r.runCommand, "Engine.exe*");
  EXPECT_FALSE(r.cancelled);

  // Cancel at the prompt: no run command, and the CRC result stays good.
  ScriptedHost cancel;
  cancel.pieces = b.pieces;
  cancel.pieces.erase(second);
  MemorySink sink2;
  ExtractResult c = Extract(cancel, sink2);
  EXPECT_EQ(cancel.prompts, std::vector<int>{2});
  EXPECT_TRUE(c.cancelled);
  EXPECT_TRUE(c.crcGood);
  EXPECT_EQ(c.runCommand, "");

  // With force prompt every further disk is asked for, present or not.
  ScriptedHost forced;
  forced.pieces = b.pieces;
  forced.onPrompt = [](int) { return true; };
  MemorySink sink3;
  ExtractResult f = Extract(forced, sink3, "C:\\d\\setup.exe", "", true);
  EXPECT_EQ(forced.prompts.size(), b.outputs.size() - 1);
  EXPECT_EQ(f.runCommand, "Engine.exe*");
}

TEST(ExtractBuilt, AgentFileIsTheStubAndHeadersWithTheAgentFlag) {
  Built b;
  Build(b, {{"a.txt", "x"}});
  std::string package = b.pieces.begin()->second;
  for (const std::string path : {"C:\\d\\SETUP.EXE", "C:\\d\\setup.exe.001"}) {
    ScriptedHost host;
    host.pieces[path] = package;
    MemorySink sink;
    ExtractResult r = Extract(host, sink, path, "C:\\Program Files\\App\\Agent.exe");
    EXPECT_TRUE(r.crcGood);
    const std::string* agent = sink.Data("Agent.exe");
    ASSERT_NE(agent, nullptr) << path;
    EXPECT_EQ(sink.files["AGENT.EXE"].dosDate, host.packageDate);
    EXPECT_FALSE(sink.Exists("~Agent.exe.tmp"));
    MemoryFile file(*agent);
    TGFileInfo info(file);
    EXPECT_TRUE(info.IsValid());
    EXPECT_EQ(info.ThisIs_AutoUpdateProg(), 1);
    EXPECT_EQ(ReadU32At(*agent, 0xFC), 0u);  // no stamped length
    EXPECT_EQ(ReadU32At(*agent, agent->size() - 4), 74u);
    // Stub image and header strings, then the trailer: no records.
    EXPECT_EQ(agent->size(), info.Trailer().StartOffset + 74u);
    EXPECT_EQ(agent->substr(0, 0xFC), package.substr(0, 0xFC));
    ASSERT_FALSE(host.traces.empty());
    bool traced = false;
    for (auto& line : host.traces) traced |= line == " New AU-Agent: T:\\Agent.exe";
    EXPECT_TRUE(traced);
  }
  // Only for programs: a package path without ".exe" writes none.
  ScriptedHost host;
  host.pieces["C:\\d\\setup.bin"] = package;
  MemorySink sink;
  Extract(host, sink, "C:\\d\\setup.bin", "Agent.exe");
  EXPECT_FALSE(sink.Exists("Agent.exe"));
}

TEST(ExtractBuilt, WriteFailuresShowOneBoxAndDropTheRunCommand) {
  FailedWriteCount() = 0;
  Built b;
  Build(b, {{"a.txt", "aaa"}, {"b.txt", "bbb"}, {"Engine.exe", "MZ"}}, {}, "Engine.exe");
  for (int round = 0; round < 2; ++round) {
    ScriptedHost host;
    host.pieces = b.pieces;
    MemorySink sink;
    sink.failName = "a.txt";
    ExtractResult r = Extract(host, sink);
    EXPECT_EQ(r.failedWrites, 1);
    EXPECT_TRUE(r.crcGood);
    EXPECT_EQ(r.runCommand, "");          // the engine never starts on an incomplete tree
    EXPECT_EQ(*sink.Data("b.txt"), "bbb");  // the others are still written
    EXPECT_EQ(host.errors.size(), round == 0 ? 1u : 0u);  // once per process
  }
  FailedWriteCount() = 0;
}

TEST(ExtractBuilt, FullDriveStopsWritingBeforeItIsFull) {
  FailedWriteCount() = 0;
  Built b;
  Build(b, {{"big.bin", std::string(3 << 20, 'q')}, {"Engine.exe", "MZ"}}, {}, "Engine.exe");
  ScriptedHost host;
  host.pieces = b.pieces;
  MemorySink sink;
  sink.freeBytes = 1 << 20;
  ExtractResult r = Extract(host, sink);
  EXPECT_EQ(r.failedWrites, 1);
  EXPECT_LE(sink.written, uint64_t(1 << 20));
  EXPECT_EQ(r.runCommand, "");
  EXPECT_EQ(host.errors.size(), 1u);
  FailedWriteCount() = 0;
}

TEST(ExtractBuilt, MissingPackageAndBadChecksum) {
  ScriptedHost host;
  MemorySink sink;
  ExtractResult r = Extract(host, sink);
  EXPECT_FALSE(r.crcGood);
  EXPECT_TRUE(sink.files.empty());

  Built b;
  BuildOptions o;
  o.checksum = 77;  // small files carry a checksum: this one does not match
  Build(b, {{"a.txt", "x"}}, o);
  ScriptedHost bad;
  bad.pieces = b.pieces;
  MemorySink sink2;
  ExtractResult c = Extract(bad, sink2);
  EXPECT_FALSE(c.crcGood);
  EXPECT_TRUE(sink2.files.empty());
}

TEST(ExtractBuilt, AbortRequestEndsLikeCancel) {
  Built b;
  Build(b, {{"big.bin", NoiseBytes(3 << 20, 5)}, {"Engine.exe", "MZ"}}, {}, "Engine.exe");
  ScriptedHost host;
  host.pieces = b.pieces;
  host.abortAfterPumps = 5;
  MemorySink sink;
  ExtractResult r = Extract(host, sink);
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(r.runCommand, "");
  EXPECT_LT(sink.written, uint64_t(3 << 20));
}

// ---- the CRC-32 of every piece ----

std::string TracesOf(const ScriptedHost& host) {
  std::string all;
  for (const std::string& line : host.traces) all += line + "\n";
  return all;
}

// A byte of a piece flipped where the text first occurs in it.
std::string Flipped(std::string bytes, const std::string& text) {
  size_t at = bytes.find(text);
  EXPECT_NE(at, std::string::npos) << text;
  if (at != std::string::npos) bytes[at + text.size() / 2] ^= 0x01;
  return bytes;
}

TEST(ExtractCrc, AFlippedByteOfAStoredRecordOrAHeaderStringIsCaught) {
  Built b;
  BuildOptions o;
  o.store = true;
  o.checksum = kNoChecksum;  // as on every file above 50 KB: only the CRC guards it
  o.languageList = "*|English|s9=header probe text|*";
  const std::string body = "a body that is stored as it is";
  Build(b, {{"a.txt", body}, {"Engine.exe", "MZengine"}}, o, "Engine.exe");
  const std::string package = b.pieces["C:\\d\\setup.exe"];
  {
    ScriptedHost host;
    host.pieces["C:\\d\\setup.exe"] = package;
    MemorySink sink;
    ExtractResult r = Extract(host, sink);
    EXPECT_TRUE(r.crcGood);
    EXPECT_EQ(r.runCommand, "Engine.exe*");
  }
  for (const std::string& where : {body, std::string("header probe text")}) {
    ScriptedHost host;
    host.pieces["C:\\d\\setup.exe"] = Flipped(package, where);
    MemorySink sink;
    ExtractResult r = Extract(host, sink, "C:\\d\\setup.exe", "Agent.exe");
    EXPECT_FALSE(r.crcGood) << where;
    EXPECT_TRUE(r.damaged) << where;
    EXPECT_EQ(r.runCommand, "") << where;
    EXPECT_NE(TracesOf(host).find("piece 1 fails its CRC-32 (stored 0x"), std::string::npos) << TracesOf(host);
    EXPECT_FALSE(sink.Exists("Agent.exe")) << "a damaged package wrote its agent";
  }
}

TEST(ExtractCrc, OldStyleAndForeignTrailersAreNotChecked) {
  for (int style = 0; style < 2; ++style) {
    Built b;
    BuildOptions o;
    o.store = true;
    o.checksum = kNoChecksum;
    if (style == 0) o.pieceCrc = false;  // bytes 20..27 stay 0
    else o.trailerBytes = {{20, 'X'}, {21, 'Y'}, {24, 7}};  // another builder's bytes
    const std::string body = "old style body";
    Build(b, {{"a.txt", body}, {"Engine.exe", "MZ"}}, o, "Engine.exe");
    ScriptedHost host;
    // Not even a flipped byte is seen: nothing guards such a package.
    host.pieces["C:\\d\\setup.exe"] = Flipped(b.pieces["C:\\d\\setup.exe"], body);
    MemorySink sink;
    ExtractResult r = Extract(host, sink);
    EXPECT_TRUE(r.crcGood) << style;
    EXPECT_EQ(r.runCommand, "Engine.exe*") << style;
    EXPECT_NE(*sink.Data("a.txt"), body);
  }
}

TEST(ExtractCrc, EachPieceOfASpannedSetIsCheckedAsItIsRead) {
  Built b;
  BuildOptions o;
  o.store = true;
  o.checksum = kNoChecksum;
  o.pieceSize = 64 * 1024;
  Build(b, {{"big.bin", NoiseBytes(200000, 9)}, {"Engine.exe", "MZ"}}, o, "Engine.exe");
  ASSERT_GE(b.outputs.size(), 4u);
  ScriptedHost host;
  host.pieces = b.pieces;
  std::string& second = host.pieces["C:\\d\\setup.exe.002"];
  second[second.size() / 2] ^= 0x10;
  MemorySink sink;
  ExtractResult r = Extract(host, sink);
  EXPECT_FALSE(r.crcGood);
  EXPECT_EQ(r.runCommand, "");
  EXPECT_NE(TracesOf(host).find("piece 2 fails its CRC-32"), std::string::npos) << TracesOf(host);
  // The set ends at the damaged piece: piece 3 is never opened.
  EXPECT_EQ(host.Steps(), 1 + 1);  // big.bin on piece 1, and the change to piece 2
}

TEST(ExtractCrc, BytesBetweenTheLastRecordAndAShortTrailerCount) {
  // A 70-byte trailer: the records end 74 bytes before the end, 4 bytes before it.
  std::string stub = MakeStubImage(1024);
  std::string header = "|http:|.info|.exe|cbbebdfdfcstce|0|";
  std::string covered = U32(1) + "\x02" + U32(uint32_t(header.size())) + header +
                        Stored("|a.txt|0|" + std::string(1, '\0') + "x") + "gap!";
  PackageTrailer t;
  t.HeaderStrings = 2;
  t.StartOffset = uint32_t(stub.size());
  t.FilesCount = 1;
  t.Magic = kPackageMagic;
  t.Checksum = kNoChecksum;
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(covered.data()), uInt(covered.size()));
  SetPieceCrc(t, uint32_t(crc));
  uint8_t raw[kTrailerSize];
  t.ToBytes(raw);
  std::string trailer(reinterpret_cast<char*>(raw), 66);
  std::string package = stub + covered + trailer + U32(70);
  MemorySink sink;
  EXPECT_TRUE(ExtractHand(package, sink).crcGood);
  std::string damaged = package;
  damaged[stub.size() + covered.size() - 2] ^= 0x01;  // in "gap!"
  MemorySink sink2;
  EXPECT_FALSE(ExtractHand(damaged, sink2).crcGood);
}

TEST(ExtractCrc, TheAgentFileCarriesTheCrcOfItsOwnBytes) {
  for (bool withCrc : {true, false}) {
    Built b;
    BuildOptions o;
    o.pieceCrc = withCrc;
    o.checksum = kNoChecksum;  // the agent keeps the setup file's additive checksum
    Build(b, {{"a.txt", NoiseBytes(5000)}}, o);
    ScriptedHost host;
    host.pieces = b.pieces;
    MemorySink sink;
    ASSERT_TRUE(Extract(host, sink, "C:\\d\\setup.exe", "Agent.exe").crcGood);
    const std::string* agent = sink.Data("Agent.exe");
    ASSERT_NE(agent, nullptr);
    MemoryFile file(*agent);
    PackageTrailer raw;
    TrailerLocation where = ReadTrailer(file, raw);
    PieceCrcCheck check = CheckPieceCrc(file, raw, where);
    EXPECT_EQ(check.field.state, withCrc ? PieceCrcState::Stored : PieceCrcState::None);
    EXPECT_TRUE(check.passes);
    // The agent extracts as a package of its own (no records) without complaint.
    ScriptedHost again;
    again.pieces["C:\\a\\Agent.exe"] = *agent;
    MemorySink sink2;
    EXPECT_TRUE(Extract(again, sink2, "C:\\a\\Agent.exe").crcGood);
  }
}

// ---- entries and names ----

TEST(ExtractEntries, NameFields) {
  EntryName e = ParseEntryName("|Engine.exe*/X|12345|");
  EXPECT_EQ(e.fileName, "Engine.exe");
  EXPECT_EQ(e.runCommand, "Engine.exe*/X");
  EXPECT_EQ(e.dosDate, 12345u);
  EXPECT_TRUE(e.valid);
  EXPECT_EQ(ParseEntryName("|a.txt|0|").dosDate, 0u);
  EXPECT_EQ(ParseEntryName("|a.txt|x1|").dosDate, 0u);
  EXPECT_EQ(ParseEntryName("|a.txt|4294967296|").dosDate, 0u);
  EXPECT_EQ(ParseEntryName("|a.txt|").dosDate, 0u);
  EXPECT_TRUE(ParseEntryName("").skip);
  EXPECT_TRUE(ParseEntryName("|   |1|").skip);
  for (const char* bad : {"|..|1|", "|.|1|", "|a\\b|1|", "|a/b|1|", "|C:x|1|", "|CON|1|", "|nul.txt|1|",
                          "|com1|1|", "|x.|1|", "|x |1|", "|a\tb|1|", "|..\\..\\evil.dll*|1|"}) {
    EXPECT_FALSE(ParseEntryName(bad).valid) << bad;
  }
  // The program part of the run command is checked as well ("Engine.exe " is not a
  // plain name: the system would drop the blank and write another file).
  EXPECT_FALSE(ParseEntryName("|Engine.exe * /S|1|").valid);
  EXPECT_FALSE(ParseEntryName("|Engine.exe|1*|").valid);
}

TEST(ExtractEntries, PiecePaths) {
  EXPECT_EQ(PieceBase("E:\\setup.exe.001"), "E:\\setup.exe");
  EXPECT_EQ(PieceBase("E:\\setup.exe"), "E:\\setup.exe");
  EXPECT_EQ(PieceBase("E:\\setup.001.exe"), "E:\\setup.001.exe");
  EXPECT_EQ(PiecePath("E:\\setup.exe", 2), "E:\\setup.exe.002");
  EXPECT_EQ(PiecePath("E:\\setup.exe", 12), "E:\\setup.exe.012");
  std::string name = "C:\\x\\Agent.exe";
  EXPECT_TRUE(WantsAgentFile("D:\\SETUP.EXE", name));
  EXPECT_EQ(name, "Agent.exe");
  name = "Agent.exe";
  EXPECT_TRUE(WantsAgentFile("D:\\setup.Exe.001", name));
  EXPECT_FALSE(WantsAgentFile("D:\\setup.msi", name));
  name = "";
  EXPECT_FALSE(WantsAgentFile("D:\\setup.exe", name));
  name = "a\\";
  EXPECT_FALSE(WantsAgentFile("D:\\setup.exe", name));
}

TEST(ExtractEntries, SameNameTwiceAppendsAndStepsOnce) {
  std::string records = Compressed("|part.bin|0|" + std::string(1, '\0') + "first-") +
                        Stored("|PART.BIN|0|" + std::string(1, '\0') + "second");
  MemorySink sink;
  ScriptedHost host;
  ExtractResult r = ExtractHand(HandPackage(records, {2}), sink, &host);
  EXPECT_FALSE(r.damaged) << r.damage;
  EXPECT_EQ(*sink.Data("part.bin"), "first-second");
  EXPECT_EQ(host.Steps(), 1);
}

TEST(ExtractEntries, EmptyEntriesAreSkipped) {
  std::string records = U32(0) + Stored(std::string(1, '\0') + "nameless") + Stored("|  |0|" + std::string(1, '\0'));
  MemorySink sink;
  ExtractResult r = ExtractHand(HandPackage(records, {3}), sink);
  EXPECT_FALSE(r.damaged) << r.damage;
  EXPECT_TRUE(r.crcGood);
  EXPECT_TRUE(sink.files.empty());
}

// ---- hostile and damaged packages ----

void ExpectDamaged(const std::string& package, const std::string& what) {
  MemorySink sink;
  ScriptedHost host;
  ExtractResult r = ExtractHand(package, sink, &host);
  EXPECT_TRUE(r.damaged) << what;
  EXPECT_FALSE(r.crcGood) << what;
  EXPECT_EQ(r.runCommand, "") << what;
  EXPECT_TRUE(sink.unsafeNames.empty()) << what;
}

TEST(ExtractHostile, NamesThatLeaveTheFolder) {
  const std::string nul(1, '\0');
  for (const char* name : {"..\\evil.dll", "../evil.dll", "C:\\Windows\\evil.dll", "..", "CON", "aux.txt", "a.", "a "}) {
    ExpectDamaged(HandPackage(Stored(std::string("|") + name + "|0|" + nul + "data")), name);
  }
  // The main program's part of the run command too.
  ExpectDamaged(HandPackage(Stored("|ok.txt|0|*|" + nul + "x")), "star in the date item");
  // A bad name after good ones: the run command of the earlier main entry is dropped.
  ExpectDamaged(HandPackage(Stored("|Engine.exe*/S|0|" + nul + "MZ") + Stored("|..\\x|0|" + nul + "y"), {2}),
                "bad second name");
}

TEST(ExtractHostile, LengthsThatDoNotFit) {
  const std::string nul(1, '\0');
  ExpectDamaged(HandPackage(U32(uint32_t(INT_MIN)) + std::string(100, 'x')), "INT_MIN length");
  ExpectDamaged(HandPackage(U32(1000000) + "|a|0|" + nul + "short"), "length past the end");
  ExpectDamaged(HandPackage(U32(uint32_t(-1000000)) + "|a|0|" + nul + "short"), "stored length past the end");
  ExpectDamaged(HandPackage(Stored("|noterminator|0|")), "no 0x00");
  ExpectDamaged(HandPackage(Stored(std::string(kMaxNameField + 10, 'n') + nul + "x")), "endless name");
}

TEST(ExtractHostile, BrokenStreams) {
  const std::string nul(1, '\0');
  std::string body = Deflate("|a.txt|0|" + nul + std::string(5000, 'a'));
  std::string corrupt = body;
  corrupt[body.size() / 2] ^= 0x55;
  corrupt[2] ^= 0x40;
  ExpectDamaged(HandPackage(U32(uint32_t(corrupt.size())) + corrupt), "corrupt stream");
  std::string truncated = body.substr(0, body.size() - 6);
  ExpectDamaged(HandPackage(U32(uint32_t(truncated.size())) + truncated), "truncated stream");
  ExpectDamaged(HandPackage(U32(4) + "abcd"), "not zlib at all");
}

TEST(ExtractHostile, DecompressionBombStopsNearTheEstimate) {
  const std::string nul(1, '\0');
  // 200 MB of zeros declared as needing 1000 bytes.
  z_stream z{};
  deflateInit(&z, 9);
  std::string head = "|bomb.bin|0|" + nul;
  std::string out;
  std::vector<char> zeros(1 << 20, 0), buf(1 << 16);
  auto pump = [&](const char* data, size_t n, int flush) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    z.avail_in = uInt(n);
    do {
      z.next_out = reinterpret_cast<Bytef*>(buf.data());
      z.avail_out = uInt(buf.size());
      deflate(&z, flush);
      out.append(buf.data(), buf.size() - z.avail_out);
    } while (z.avail_out == 0);
  };
  pump(head.data(), head.size(), Z_NO_FLUSH);
  for (int i = 0; i < 200; ++i) pump(zeros.data(), zeros.size(), Z_NO_FLUSH);
  pump(nullptr, 0, Z_FINISH);
  deflateEnd(&z);
  HandOptions o;
  o.spaceNeeded = 1000;
  MemorySink sink;
  ExtractResult r = ExtractHand(HandPackage(U32(uint32_t(out.size())) + out, o), sink);
  EXPECT_TRUE(r.damaged);
  EXPECT_FALSE(r.crcGood);
  EXPECT_LE(sink.written, 2 * 1000 + kSpaceMargin);
}

TEST(ExtractHostile, MissingLaterPieceEndsLikeCancel) {
  // Piece 1 says more pieces follow; the next one exists but cannot be opened.
  HandOptions o;
  o.flags = kFlagMorePieces;
  std::string first = HandPackage(Stored("|Engine.exe*|0|" + std::string(1, '\0') + "MZ"), o);
  class Host : public ScriptedHost {
   public:
    bool PieceExists(const std::string&) override { return true; }
  } host;
  host.pieces["C:\\d\\setup.exe"] = first;
  MemorySink sink;
  ExtractResult r = Extract(host, sink);
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(r.runCommand, "");
  EXPECT_FALSE(r.damaged);
}

TEST(ExtractHostile, WrongMagicSkipsThePieceRecords) {
  HandOptions o;
  o.magic = 0x12345678;
  MemorySink sink;
  ExtractResult r = ExtractHand(HandPackage(Stored("|a.txt|0|" + std::string(1, '\0') + "x"), o), sink);
  EXPECT_TRUE(r.crcGood);
  EXPECT_TRUE(sink.files.empty());
}

}  // namespace
