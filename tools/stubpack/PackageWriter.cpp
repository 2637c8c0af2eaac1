#include "PackageWriter.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>

#include "CodePages.h"
#include "OutFile.h"
#include "util/Files.h"
#include "util/SeparatorLists.h"

namespace {

constexpr char kSeparatorCandidates[] = "|*~^!@#$&\xFF";
constexpr size_t kChunk = 256 * 1024;
// Record lengths are signed 32-bit; staying far below keeps every body well-formed.
constexpr uint64_t kMaxRecordBody = uint64_t(1) << 30;
// Room for the end of a zlib stream after a sync flush, and for flush markers.
constexpr uint64_t kDeflateMargin = 64;
constexpr uint64_t kMinPieceRoom = 1024;
constexpr unsigned kMaxPieces = 999;

void Put32(uint8_t* b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[i] = uint8_t(v >> (8 * i));
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(int64_t z, int& year, unsigned& month, unsigned& day) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  unsigned doe = unsigned(z - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = int64_t(yoe) + era * 400;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  day = doy - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = int(y + (month <= 2));
}

char PickSeparator(const std::vector<std::string>& items) {
  for (const char* c = kSeparatorCandidates; *c; ++c) {
    bool used = std::any_of(items.begin(), items.end(),
                            [&](const std::string& item) { return item.find(*c) != std::string::npos; });
    if (!used) return *c;
  }
  return 0;
}

bool ModificationTime(const std::string& path, int64_t& unixSeconds) {
#ifdef _WIN32
  struct _stat64 st {};
  if (_stat64(path.c_str(), &st) != 0) return false;
#else
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
#endif
  unixSeconds = int64_t(st.st_mtime);
  return true;
}

class Writer {
 public:
  Writer(const BuildOptions& options, BuildResult& result, std::string& error)
      : o_(options), r_(result), error_(error) {}

  bool Run();

 private:
  bool Fail(const std::string& why) {
    if (error_.empty()) error_ = why;
    return false;
  }
  std::string PiecePath(unsigned piece) const;
  bool LoadStub();
  bool StartPiece();
  bool FinishPiece(bool morePieces);
  uint64_t RoomInPiece() const;
  bool EnsureRoom(uint64_t needed);
  bool WriteFileRecords(const PackedFile& file);
  bool WriteCompressedRecord(const std::string& prefix, InFile& in, bool& more);
  bool WriteStoredRecord(const std::string& prefix, InFile& in, bool& more);
  bool FillBuffer(InFile& in);
  bool BeginRecord(uint64_t& lengthAt);
  bool EndRecord(uint64_t lengthAt, int64_t signedLength);
  PackageTrailer MakeTrailer(bool firstPiece, bool morePieces, uint32_t records) const;
  bool PatchTrailer(OutFile& out, uint64_t trailerAt, const PackageTrailer& trailer);
  uint8_t StoredHeaderStrings() const;

  const BuildOptions& o_;
  BuildResult& r_;
  std::string& error_;

  std::vector<uint8_t> stub_;
  std::vector<std::string> headerStrings_;
  std::vector<std::unique_ptr<OutFile>> pieces_;
  std::vector<uint64_t> trailerAt_;
  std::vector<PackageTrailer> trailers_;
  OutFile* out_ = nullptr;
  uint64_t pieceStart_ = 0;  // offset of the first record of the current piece
  uint32_t pieceRecords_ = 0;
  uint32_t distinctFiles_ = 0;
  std::vector<uint32_t> spaceNeeded_ = std::vector<uint32_t>(9, 0);

  // Input staging: bytes read from the current file and not yet packed.
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kChunk);
  std::string source_;  // the file being packed
  size_t bufferBegin_ = 0, bufferEnd_ = 0;
  bool inputEnded_ = false;
  std::vector<uint8_t> zout_ = std::vector<uint8_t>(kChunk);
};

std::string Writer::PiecePath(unsigned piece) const {
  if (piece == 1 && !o_.numberFirstPiece) return o_.outputPath;
  return o_.outputPath + "." + ZeroPad(piece, 3);
}

uint8_t Writer::StoredHeaderStrings() const {
  if (o_.headerStrings) return *o_.headerStrings;
  return (o_.withDownloadHeader || o_.kind == OutputKind::Internet) ? 3 : 2;
}

bool Writer::LoadStub() {
  InFile in;
  if (!in.Open(o_.stubPath)) return Fail("cannot read the stub " + o_.stubPath);
  uint8_t chunk[65536];
  int64_t n;
  while ((n = in.Read(chunk, sizeof chunk)) > 0) {
    stub_.insert(stub_.end(), chunk, chunk + n);
    if (stub_.size() > 64u * 1024 * 1024) return Fail("the stub " + o_.stubPath + " is larger than 64 MB");
  }
  if (n < 0) return Fail("cannot read the stub " + o_.stubPath);
  MemoryFile image(stub_);
  if (!IsStampedCapable(image))
    return Fail("the stub " + o_.stubPath + " is not an executable with its PE header at 0x100");
  PackageTrailer existing;
  ReadTrailer(image, existing);
  if (existing.HasMagic()) return Fail("the stub " + o_.stubPath + " already carries a package");
  // The stamp belongs to the setup file, never to the stub.
  std::fill(stub_.begin() + kStampOffset, stub_.begin() + kStampOffset + 8, 0);
  return true;
}

PackageTrailer Writer::MakeTrailer(bool firstPiece, bool morePieces, uint32_t records) const {
  PackageTrailer t = o_.trailer;
  t.Reserved0 = o_.trailer.Reserved0 ? o_.trailer.Reserved0 : 1;
  t.HeaderStrings = StoredHeaderStrings();
  t.Magic = kPackageMagic;
  t.StartOffset = firstPiece ? uint32_t(stub_.size()) : 0;
  t.FilesCount = records;
  t.TrailerLength = kTrailerSize;
  t.Checksum = kNoChecksum;
  if (morePieces) t.Flags |= kFlagMorePieces;
  if (o_.pieceSize) t.Flags |= kFlagSpannedSet;
  if (o_.kind == OutputKind::Internet && !t.InternetDownload) t.InternetDownload = 1;
  if (o_.kind == OutputKind::Agent) t.ThisIs_AutoUpdateProg = 1;
  for (int i = 0; i < 9; ++i) t.SpaceNeeded[i] = spaceNeeded_[i];
  if (o_.spaceNeeded)
    for (int i = 0; i < 9; ++i) t.SpaceNeeded[i] = (*o_.spaceNeeded)[o_.spaceNeeded->size() == 9 ? i : 0];
  return t;
}

bool Writer::PatchTrailer(OutFile& out, uint64_t trailerAt, const PackageTrailer& trailer) {
  uint8_t bytes[kTrailerSize];
  trailer.ToBytes(bytes);
  for (auto [offset, value] : o_.trailerBytes)
    if (offset < kTrailerSize) bytes[offset] = value;
  if (!out.WriteAt(trailerAt, bytes, sizeof bytes)) return Fail("cannot write " + out.TempPath());
  return true;
}

bool Writer::StartPiece() {
  unsigned piece = unsigned(pieces_.size()) + 1;
  if (piece > kMaxPieces) return Fail("the package needs more than 999 pieces: raise --piece-size");
  auto out = std::make_unique<OutFile>();
  if (!out->Open(PiecePath(piece), error_)) return false;
  out_ = out.get();
  pieces_.push_back(std::move(out));
  pieceRecords_ = 0;
  if (piece == 1) {
    if (!out_->Write(stub_.data(), stub_.size())) return Fail("cannot write " + out_->TempPath());
    for (const std::string& s : headerStrings_) {
      uint8_t length[4];
      Put32(length, uint32_t(s.size()));
      if (!out_->Write(length, 4) || !out_->Write(s.data(), s.size()))
        return Fail("cannot write " + out_->TempPath());
    }
  }
  pieceStart_ = out_->Position();
  if (o_.pieceSize && RoomInPiece() < kMinPieceRoom)
    return Fail("--piece-size " + IntToStr(int64_t(o_.pieceSize)) + " leaves no room for file data");
  return true;
}

bool Writer::FinishPiece(bool morePieces) {
  bool first = pieces_.size() == 1;
  bool executable = first;  // only the first piece starts with the stub
  uint64_t trailerAt = out_->Position();
  PackageTrailer trailer = MakeTrailer(first, morePieces, pieceRecords_);
  if (o_.kind == OutputKind::Agent) trailer.FilesCount = 0;
  uint8_t bytes[kTrailerSize] = {};
  if (!out_->Write(bytes, sizeof bytes)) return Fail("cannot write " + out_->TempPath());
  uint64_t length = out_->Position();
  if (executable && o_.kind != OutputKind::Agent) {
    uint8_t stamp[8];
    Put32(stamp, uint32_t(length >> 32));
    Put32(stamp + 4, uint32_t(length));
    if (!out_->WriteAt(kStampOffset, stamp, sizeof stamp)) return Fail("cannot write " + out_->TempPath());
  }
  if (!PatchTrailer(*out_, trailerAt, trailer)) return false;
  if (o_.storedPieceCrc) {
    SetPieceCrc(trailer, *o_.storedPieceCrc);
  } else if (o_.pieceCrc) {
    // Read back from the file: record lengths are patched in after their bodies.
    uint32_t crc = 0;
    auto back = out_->Flush() ? OpenReadOnly(out_->TempPath()) : nullptr;
    if (!back || !ComputeCrcOfRange(*back, trailer.StartOffset, trailerAt, crc))
      return Fail("cannot read back " + out_->TempPath());
    SetPieceCrc(trailer, crc);
  }
  if (o_.checksum) {
    trailer.Checksum = *o_.checksum;
  } else if (length <= kChecksumMaxFileSize) {
    if (!out_->Flush()) return Fail("cannot write " + out_->TempPath());
    auto back = OpenReadOnly(out_->TempPath());
    if (!back) return Fail("cannot read back " + out_->TempPath());
    trailer.Checksum = ComputeChecksum(*back, kTrailerSize);
  }
  trailerAt_.push_back(trailerAt);
  trailers_.push_back(trailer);
  return PatchTrailer(*out_, trailerAt, trailer);
}

uint64_t Writer::RoomInPiece() const {
  uint64_t used = out_->Position() + kTrailerSize;
  if (!o_.pieceSize) return UINT64_MAX;
  return o_.pieceSize > used ? o_.pieceSize - used : 0;
}

bool Writer::EnsureRoom(uint64_t needed) {
  if (RoomInPiece() >= needed) return true;
  if (!o_.pieceSize) return Fail("internal error: no room in a single-file package");
  if (!FinishPiece(true) || !StartPiece()) return false;
  if (RoomInPiece() < needed) return Fail("--piece-size is too small for the record of a file");
  return true;
}

bool Writer::FillBuffer(InFile& in) {
  if (bufferBegin_ < bufferEnd_ || inputEnded_) return true;
  int64_t n = in.Read(buffer_.data(), buffer_.size());
  if (n < 0) return false;
  bufferBegin_ = 0;
  bufferEnd_ = size_t(n);
  inputEnded_ = n == 0;
  return true;
}

bool Writer::BeginRecord(uint64_t& lengthAt) {
  lengthAt = out_->Position();
  uint8_t zero[4] = {};
  if (!out_->Write(zero, 4)) return Fail("cannot write " + out_->TempPath());
  return true;
}

bool Writer::EndRecord(uint64_t lengthAt, int64_t signedLength) {
  uint8_t length[4];
  Put32(length, uint32_t(int32_t(signedLength)));
  if (!out_->WriteAt(lengthAt, length, 4)) return Fail("cannot write " + out_->TempPath());
  ++pieceRecords_;
  ++r_.recordCount;
  r_.packedBytes += uint64_t(signedLength < 0 ? -signedLength : signedLength);
  return true;
}

// One zlib record: the entry prefix (name field and NUL), then file data for as long
// as the record may grow. Near the limit the stream is sync-flushed so that the
// exact size so far is known and only a few bytes are needed to end it.
bool Writer::WriteCompressedRecord(const std::string& prefix, InFile& in, bool& more) {
  uint64_t capacity = std::min(RoomInPiece() - 4, kMaxRecordBody);
  uint64_t lengthAt;
  if (!BeginRecord(lengthAt)) return false;
  z_stream zs{};
  if (deflateInit(&zs, o_.level) != Z_OK) return Fail("zlib: cannot start compression");
  std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&zs, deflateEnd);
  uint64_t produced = 0, producedAtFlush = 0, inSinceFlush = 0;
  auto drain = [&](int flush) -> bool {
    do {
      zs.next_out = zout_.data();
      zs.avail_out = uInt(zout_.size());
      int rc = deflate(&zs, flush);
      if (rc == Z_STREAM_ERROR) return Fail("zlib: compression failed");
      size_t n = zout_.size() - zs.avail_out;
      if (!out_->Write(zout_.data(), n)) return Fail("cannot write " + out_->TempPath());
      produced += n;
      if (rc == Z_STREAM_END) break;
    } while (zs.avail_out == 0 || zs.avail_in > 0);
    return true;
  };
  auto fits = [&](uint64_t extra) {
    return producedAtFlush + deflateBound(&zs, uLong(inSinceFlush + extra)) + kDeflateMargin <= capacity;
  };
  auto feed = [&](const uint8_t* data, size_t size) {
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = uInt(size);
    inSinceFlush += size;
    return drain(Z_NO_FLUSH);
  };
  if (!feed(reinterpret_cast<const uint8_t*>(prefix.data()), prefix.size())) return false;
  more = true;
  for (;;) {
    if (!FillBuffer(in)) return Fail("cannot read " + source_);
    size_t available = bufferEnd_ - bufferBegin_;
    if (available == 0) {
      more = false;
      break;
    }
    uint64_t take = available;
    if (!fits(take)) {
      if (!drain(Z_SYNC_FLUSH)) return false;
      producedAtFlush = produced;
      inSinceFlush = 0;
      while (take > 0 && !fits(take)) take = take > 64 ? take * 3 / 4 : 0;
      if (take < 64 && take < available) break;  // the record is full
    }
    if (!feed(buffer_.data() + bufferBegin_, size_t(take))) return false;
    bufferBegin_ += size_t(take);
  }
  if (!drain(Z_FINISH)) return false;
  if (produced > capacity) return Fail("internal error: a record outgrew its piece");
  return EndRecord(lengthAt, int64_t(produced));
}

bool Writer::WriteStoredRecord(const std::string& prefix, InFile& in, bool& more) {
  uint64_t capacity = std::min(RoomInPiece() - 4, kMaxRecordBody);
  uint64_t lengthAt;
  if (!BeginRecord(lengthAt)) return false;
  if (!out_->Write(prefix.data(), prefix.size())) return Fail("cannot write " + out_->TempPath());
  uint64_t written = prefix.size();
  more = true;
  while (written < capacity) {
    if (!FillBuffer(in)) return Fail("cannot read " + source_);
    size_t take = std::min<uint64_t>(bufferEnd_ - bufferBegin_, capacity - written);
    if (bufferEnd_ == bufferBegin_) {
      more = false;
      break;
    }
    if (!out_->Write(buffer_.data() + bufferBegin_, take)) return Fail("cannot write " + out_->TempPath());
    bufferBegin_ += take;
    written += take;
  }
  if (more) {  // the record is full: is anything left at all?
    if (!FillBuffer(in)) return Fail("cannot read " + source_);
    more = bufferEnd_ > bufferBegin_;
  }
  return EndRecord(lengthAt, -int64_t(written));
}

bool Writer::WriteFileRecords(const PackedFile& file) {
  InFile in;
  if (!in.Open(file.sourcePath)) return Fail("cannot read " + file.sourcePath);
  uint32_t date = 0;
  if (file.dosDate) {
    date = *file.dosDate;
  } else if (o_.fixedDate) {
    date = DosDateTime(*o_.fixedDate);
  } else {
    int64_t modified;
    if (!ModificationTime(file.sourcePath, modified)) return Fail("cannot read the date of " + file.sourcePath);
    date = DosDateTime(modified);
  }
  std::string name = file.isMain ? file.name + "*" + file.mainArgs : file.name;
  std::vector<std::string> fields = {name, IntToStr(date)};
  char separator = PickSeparator(fields);
  if (!separator) return Fail("the main-program arguments of " + file.name + " use every separator character");
  std::string prefix = std::string(1, separator) + name + separator + IntToStr(date) + separator + '\0';

  source_ = file.sourcePath;
  bufferBegin_ = bufferEnd_ = 0;
  inputEnded_ = false;
  uint64_t minimum =
      4 + (o_.store ? prefix.size() + 1 : deflateBound(nullptr, uLong(prefix.size() + 64)) + kDeflateMargin);
  bool more = true;
  while (more) {
    if (!EnsureRoom(minimum)) return false;
    bool ok = o_.store ? WriteStoredRecord(prefix, in, more) : WriteCompressedRecord(prefix, in, more);
    if (!ok) return false;
    if (more && !o_.pieceSize) continue;  // a record limit, not a piece limit
    if (more && !FinishPiece(true)) return false;
    if (more && !StartPiece()) return false;
  }
  return true;
}

bool Writer::Run() {
  if (o_.outputPath.empty()) return Fail("no output file given (-o)");
  if (o_.level < 0 || o_.level > 9) return Fail("the compression level must be 0 to 9");
  if (o_.kind != OutputKind::Setup && !o_.files.empty())
    return Fail("internet stubs and agent files carry no files");
  if (o_.kind != OutputKind::Setup && o_.pieceSize) return Fail("only setup files can be spanned");
  if (o_.spaceNeeded && o_.spaceNeeded->size() != 1 && o_.spaceNeeded->size() != 9)
    return Fail("--space-needed takes one value or nine");

  // Names, duplicates and the payload's size on each cluster size.
  std::set<std::string> seen;
  int mains = 0;
  uint64_t totals[9] = {};
  for (const PackedFile& f : o_.files) {
    if (!IsPlainFileName(f.name)) return Fail("'" + f.name + "' is not a plain file name");
    if (!seen.insert(UpperCase(f.name)).second) return Fail("'" + f.name + "' is packed twice");
    mains += f.isMain;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(f.sourcePath, ec)) return Fail("cannot read " + f.sourcePath);
    uint64_t size = std::filesystem::file_size(f.sourcePath, ec);
    if (ec) return Fail("cannot read " + f.sourcePath);
    r_.payloadBytes += size;
    totals[0] += size;
    for (int i = 1; i <= 8; ++i) {
      uint64_t cluster = uint64_t(256) << i;
      totals[i] += (size + cluster - 1) / cluster * cluster;
    }
  }
  if (mains > 1) return Fail("only one file can be the main program");
  distinctFiles_ = uint32_t(o_.files.size());
  if (!LoadStub()) return false;
  if (o_.trailer.CreateAgent)  // the agent copy lands beside the files
    for (uint64_t& t : totals) t += stub_.size() + 4096;
  for (int i = 0; i < 9; ++i) {
    if (totals[i] > UINT32_MAX && !o_.spaceNeeded)
      return Fail("the payload needs more than 4 GB, which a package cannot record");
    spaceNeeded_[i] = uint32_t(totals[i]);
  }

  SeededRandom random(o_.seed);
  std::string token = o_.token;
  headerStrings_.push_back(o_.languageList.empty() ? std::string(1, '\x02') : o_.languageList);
  // Readers that know five items ignore a sixth.
  std::vector<std::string> package = {o_.infoLocation, o_.infoFileName, o_.agentName, EncodeToken(token, random),
                                      o_.hiddenRun ? "1" : "0"};
  if (!o_.updateKey.empty()) package.push_back(o_.updateKey);
  headerStrings_.push_back(MakeList(package));
  if (StoredHeaderStrings() >= 3) {
    std::vector<std::string> download = {o_.downloadLocation, o_.downloadFileName, o_.alwaysDownload ? "1" : "0",
                                         EncodeToken(o_.downloadToken, random), o_.downloadSize};
    if (!o_.downloadDigest.empty()) download.push_back(o_.downloadDigest);
    headerStrings_.push_back(MakeList(download));
  }
  for (const std::string& s : headerStrings_)
    if (s.size() > 16u * 1024 * 1024) return Fail("a header string is larger than 16 MB");

  if (!StartPiece()) return false;
  for (const PackedFile& f : o_.files)
    if (!WriteFileRecords(f)) return false;
  if (!FinishPiece(false)) return false;

  // The first piece's count is the extraction's progress range: one step per file
  // and one per change of piece.
  if (o_.kind == OutputKind::Setup) {
    PackageTrailer first = trailers_[0];
    first.FilesCount = distinctFiles_ + uint32_t(pieces_.size() - 1);
    if (!PatchTrailer(*pieces_[0], trailerAt_[0], first)) return false;
  }
  for (auto& piece : pieces_) {
    if (!piece->Commit(error_)) return false;
    r_.outputs.push_back(piece->FinalPath());
  }
  return true;
}

}  // namespace

std::string EncodeToken(const std::string& token, SeededRandom& random) {
  // d[1] and d[n] give the key; d[2], d[3] the padding counts; then padding, the
  // token, padding (one byte fewer than d[3] says), the check byte and d[n].
  uint8_t first = uint8_t(random.Next()), last = uint8_t(random.Next());
  uint8_t key = first ^ last;
  unsigned lead = random.Below(4), tail = 1 + random.Below(4);
  std::vector<uint8_t> d;
  d.push_back(first);
  d.push_back(uint8_t(lead) ^ key);
  d.push_back(uint8_t(tail) ^ key);
  for (unsigned i = 0; i < lead; ++i) d.push_back(uint8_t(random.Next()));
  for (char c : token) d.push_back(uint8_t(c) ^ key);
  for (unsigned i = 0; i + 1 < tail; ++i) d.push_back(uint8_t(random.Next()));
  d.push_back(0);  // check byte, below
  d.push_back(last);
  uint8_t sum = 0;
  for (size_t i = 0; i < d.size(); ++i)
    if (i != d.size() - 2) sum = uint8_t(sum + d[i]);
  d[d.size() - 2] = sum;
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(d.size() * 2);
  for (uint8_t b : d) {
    out += char(kHex[b >> 4] + 50);
    out += char(kHex[b & 15] + 50);
  }
  return out;
}

std::string MakeList(const std::vector<std::string>& items) {
  char separator = PickSeparator(items);
  if (!separator) return "";
  std::string list(1, separator);
  for (const std::string& item : items) list += item + separator;
  return list;
}

namespace {

struct LanguageLine {
  std::string text;
  size_t number;
};

// A block from UTF-8 in the code page of its own Charset, as the stub shows it.
bool EncodeBlock(const std::vector<LanguageLine>& lines, std::vector<std::string>& items, std::string& error) {
  std::vector<std::string> utf8;
  for (const LanguageLine& line : lines) utf8.push_back(line.text);
  // The stub's own reading of the key (any case, a blank before "=").
  int charset = int(StrToInt64Def(SUB::Value(MakeList(utf8), "Charset", true, "", "0"), 0));
  unsigned number = CodePageOfCharset(charset);
  const CodePage* page = CodePage::Find(number);
  std::string where = "block [" + lines[0].text + "] (Charset " + IntToStr(charset) + ", code page " +
                      IntToStr(number) + ")";
  if (!page) {
    error = "the code page of " + where + " is not available on this system";
    return false;
  }
  items.clear();
  for (const LanguageLine& line : lines) {
    std::string text;
    char32_t misfit = 0;
    if (!page->FromUtf8(line.text, text, misfit)) {
      error = "language line " + IntToStr(int64_t(line.number)) + ": " + CharacterName(misfit) + " does not fit " +
              where;
      return false;
    }
    items.push_back(text);
  }
  return true;
}

}  // namespace

bool LanguageListFromText(const std::string& fileText, std::string& list, std::string& error) {
  std::string text = StartsWith("\xEF\xBB\xBF", fileText) ? fileText.substr(3) : fileText;
  // Anything but UTF-8 is a language file of old, written in the blocks' code pages.
  bool utf8 = IsUtf8(text);
  std::vector<std::vector<LanguageLine>> blocks;
  size_t lineNo = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(at, end - at));
    at = end + 1;
    ++lineNo;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      blocks.push_back({{Trim(line.substr(1, line.size() - 2)), lineNo}});
    } else if (blocks.empty()) {
      error = "language line " + IntToStr(int64_t(lineNo)) + " lies outside a [Language] block";
      return false;
    } else if (line.find('=') == std::string::npos) {
      error = "language line " + IntToStr(int64_t(lineNo)) + " is not key=value";
      return false;
    } else {
      blocks.back().push_back({line, lineNo});
    }
  }
  if (blocks.empty()) {
    list = std::string(1, '\x02');
    return true;
  }
  std::vector<std::string> encoded;
  for (const auto& lines : blocks) {
    std::vector<std::string> block;
    if (!utf8) {
      for (const LanguageLine& line : lines) block.push_back(line.text);
    } else if (!EncodeBlock(lines, block, error)) {
      return false;
    }
    std::string b = MakeList(block);
    if (b.empty()) {
      error = "language block [" + lines[0].text + "] uses every separator character";
      return false;
    }
    encoded.push_back(b);
  }
  list = MakeList(encoded);
  if (list.empty()) {
    error = "the language blocks use every separator character";
    return false;
  }
  return true;
}

uint32_t DosDateTime(int64_t unixSeconds) {
  constexpr int64_t k1980 = 315532800;
  if (unixSeconds < k1980) unixSeconds = k1980;
  int64_t days = unixSeconds / 86400, secs = unixSeconds % 86400;
  int year;
  unsigned month, day;
  CivilFromDays(days, year, month, day);
  if (year > 2107) return 0xFF9FBF7D;  // 2107-12-31 23:59:58, the last DOS time
  uint32_t date = uint32_t((year - 1980) << 9 | month << 5 | day);
  uint32_t time = uint32_t(secs / 3600 << 11 | (secs / 60 % 60) << 5 | (secs % 60) / 2);
  return date << 16 | time;
}

bool WritePackage(const BuildOptions& options, BuildResult& result, std::string& error) {
  result = BuildResult{};
  error.clear();
  Writer writer(options, result, error);
  if (writer.Run()) return true;
  if (error.empty()) error = "the package could not be written";
  result.outputs.clear();
  return false;
}
