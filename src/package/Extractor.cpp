#include "package/Extractor.h"

#include <climits>
#include <cstring>
#include <vector>

#include "package/Inflater.h"
#include "package/PackageReader.h"
#include "util/Files.h"
#include "util/NameSet.h"
#include "util/SeparatorLists.h"

namespace {

constexpr uint64_t kTrailerRoom = 74;  // records end where the last 74 bytes begin
constexpr int kMaxPieces = 999;        // piece numbers have three digits

std::string HexText(uint32_t v) {
  std::string text = "0x00000000";
  for (int i = 9; i >= 2; --i, v >>= 4) text[size_t(i)] = "0123456789ABCDEF"[v & 15];
  return text;
}

// Reads a piece front to back through one buffer: records are many and small, and
// every read of the file costs a call into the system.
class PieceReader {
 public:
  PieceReader(ReadOnlyFile& file, std::vector<uint8_t>& buffer) : file_(file), buffer_(buffer) {}
  // Every byte handed out also goes into the piece's CRC: the one pass over the piece.
  void SumInto(PieceCrc* crc) { crc_ = crc; }
  // Bytes [offset, offset + count) of the file (count at most the buffer's size), or
  // nullptr when the file ends before them or cannot be read.
  const uint8_t* Get(uint64_t offset, size_t count) {
    const uint8_t* data = Fetch(offset, count);
    if (data && crc_) crc_->Feed(offset, data, count);
    return data;
  }

 private:
  const uint8_t* Fetch(uint64_t offset, size_t count) {
    if (offset >= start_ && offset - start_ + count <= filled_) return buffer_.data() + (offset - start_);
    uint64_t size = file_.Size();
    if (offset > size || count > buffer_.size() || size - offset < count) return nullptr;
    size_t want = size - offset < buffer_.size() ? size_t(size - offset) : buffer_.size();
    // What is buffered from offset on moves to the front: every byte of the piece is
    // read from the file once, also where a record begins near the buffer's end.
    size_t kept = 0;
    if (offset >= start_ && offset - start_ < filled_) {
      kept = filled_ - size_t(offset - start_);
      std::memmove(buffer_.data(), buffer_.data() + (offset - start_), kept);
    }
    start_ = offset;
    filled_ = 0;
    if (!file_.ReadExact(offset + kept, buffer_.data() + kept, want - kept)) return nullptr;
    filled_ = want;
    return buffer_.data();
  }

  ReadOnlyFile& file_;
  std::vector<uint8_t>& buffer_;
  uint64_t start_ = 0;
  size_t filled_ = 0;
  PieceCrc* crc_ = nullptr;
};

class Extraction {
 public:
  Extraction(const ExtractRequest& request, ExtractHost& host, ExtractSink& sink)
      : req_(request), host_(host), sink_(sink), in_(kReadChunk), out_(kInflateChunk) {}

  ExtractResult Run();

 private:
  bool Damage(const std::string& why) {
    if (!r_.damaged) {
      r_.damaged = true;
      r_.damage = why;
      host_.Trace(" --- damaged package: " + why);
    }
    return false;
  }
  bool Cancel() {
    r_.cancelled = true;
    return false;
  }
  bool Piece(ReadOnlyFile& file, const PackageTrailer& trailer, int piece, int& recordCounter);
  bool Record(PieceReader& reader, uint64_t position, uint64_t length, bool compressed);
  bool Consume(const uint8_t* data, size_t count);
  bool StartEntry();
  bool Emit(const uint8_t* data, size_t count);
  void EndEntry();
  void WriteFailed(const std::string& name);
  void WriteAgentFile(ReadOnlyFile& file, const PackageTrailer& trailer, uint64_t firstRecord, uint64_t fileLen);
  void RaiseLimit(const PackageTrailer& trailer);

  const ExtractRequest& req_;
  ExtractHost& host_;
  ExtractSink& sink_;
  ExtractResult r_;
  std::vector<uint8_t> in_, out_;
  ZInflater inflater_;  // one zlib state for every record
  NameSet names_;  // upper case: names written by this call
  uint64_t limit_ = UINT64_MAX;  // output the package can justify
  int64_t freeAtStart_ = -1;

  // The entry being read.
  std::string nameField_;
  bool haveName_ = false;
  bool skip_ = false;    // empty name, or its file could not be written
  bool open_ = false;
  EntryName entry_;
  uint64_t entryBytes_ = 0;
};


void Extraction::RaiseLimit(const PackageTrailer& trailer) {
  uint64_t estimate = 0;
  for (uint32_t v : trailer.SpaceNeeded)
    if (v > estimate) estimate = v;
  if (estimate == 0) return;  // no estimate: only the free space bounds the output
  uint64_t limit = 2 * estimate + kSpaceMargin;
  if (limit_ == UINT64_MAX || limit > limit_) limit_ = limit;
}

void Extraction::WriteFailed(const std::string& name) {
  ++r_.failedWrites;
  if (FailedWriteCount()++ == 0)
    host_.ShowError(sink_.FailureReport(name, int64_t(entryBytes_)));
  skip_ = true;  // the rest of this entry goes nowhere; the run command is dropped at the end
}

bool Extraction::StartEntry() {
  entry_ = ParseEntryName(nameField_);
  if (entry_.skip) {
    skip_ = true;
    return true;
  }
  if (!entry_.valid) return Damage("the entry name '" + nameField_ + "' is not a plain file name");
  if (!entry_.runCommand.empty()) r_.runCommand = entry_.runCommand;
  // The first record of a name replaces what an earlier run left; later ones append,
  // which joins a file that continues on the next piece.
  bool first = names_.Insert(UpperCase(entry_.fileName));
  if (first) {
    host_.Progress(1, 0);
    ++r_.filesWritten;
  }
  if (!sink_.Open(entry_.fileName, !first)) {
    WriteFailed(entry_.fileName);
    return true;
  }
  open_ = true;
  return true;
}

bool Extraction::Emit(const uint8_t* data, size_t count) {
  if (skip_ || count == 0) return true;
  if (r_.bytesWritten + count > limit_)
    return Damage("more data than the package declares (" + IntToStr(int64_t(limit_)) + " bytes)");
  entryBytes_ += count;
  // Stop before the drive is full rather than leave other programs without room.
  if (freeAtStart_ >= 0 && r_.bytesWritten + count > uint64_t(freeAtStart_)) {
    WriteFailed(entry_.fileName);
    return true;
  }
  if (!sink_.Write(data, count)) {
    WriteFailed(entry_.fileName);
    return true;
  }
  r_.bytesWritten += count;
  return true;
}

bool Extraction::Consume(const uint8_t* data, size_t count) {
  if (haveName_) return Emit(data, count);
  size_t i = 0;
  while (i < count && data[i] != 0) ++i;
  if (nameField_.size() + i > kMaxNameField) return Damage("an entry name longer than " + IntToStr(kMaxNameField) + " bytes");
  nameField_.append(reinterpret_cast<const char*>(data), i);
  if (i == count) return true;  // the name goes on in the next slice
  haveName_ = true;
  if (!StartEntry()) return false;
  return Emit(data + i + 1, count - i - 1);
}

void Extraction::EndEntry() {
  if (open_ && !sink_.Close(entry_.dosDate)) WriteFailed(entry_.fileName);
  open_ = false;
}

bool Extraction::Record(PieceReader& reader, uint64_t position, uint64_t length, bool compressed) {
  nameField_.clear();
  haveName_ = skip_ = open_ = false;
  entryBytes_ = 0;
  if (length == 0) return true;  // a stored, empty entry

  ZInflater& inflater = inflater_;
  if (compressed && !(inflater.ok() && inflater.Reset())) return Damage("zlib: " + inflater.Error());
  bool ended = false;
  bool ok = true;
  for (uint64_t done = 0; ok && done < length && !ended;) {
    size_t count = length - done < kReadChunk ? size_t(length - done) : kReadChunk;
    const uint8_t* data = reader.Get(position + done, count);
    if (!data) {
      ok = Damage("short read at " + IntToStr(int64_t(position + done)));
      break;
    }
    done += count;
    if (host_.PumpAndCheckAbort()) {
      ok = Cancel();
      break;
    }
    if (!compressed) {
      ok = Consume(data, count);
      continue;
    }
    const uint8_t* next = data;
    size_t left = count;
    while (ok) {
      size_t produced = 0;
      ZStatus status = inflater.Inflate(next, left, out_.data(), out_.size(), produced);
      if (status == ZStatus::Error) {
        ok = Damage("zlib: " + inflater.Error());
        break;
      }
      ok = Consume(out_.data(), produced);
      if (status == ZStatus::StreamEnd) {
        ended = true;
        break;
      }
      if (left == 0) break;  // the next slice of the body feeds it
      if (host_.PumpAndCheckAbort()) ok = Cancel();
    }
  }
  // The body is used up: what zlib still holds comes out now, and a stream without
  // its end marker is truncated.
  while (ok && compressed && !ended) {
    const uint8_t* none = nullptr;
    size_t left = 0, produced = 0;
    ZStatus status = inflater.Inflate(none, left, out_.data(), out_.size(), produced);
    if (status == ZStatus::Error) {
      ok = Damage("zlib: " + inflater.Error() + " (the stream ends early)");
      break;
    }
    ok = Consume(out_.data(), produced);
    ended = status == ZStatus::StreamEnd;
    if (!ended && produced == 0) ok = Damage("zlib: the stream ends early");
  }
  if (ok && !haveName_) ok = Damage("an entry without the 0x00 after its name");
  EndEntry();
  return ok;
}

void Extraction::WriteAgentFile(ReadOnlyFile& file, const PackageTrailer& trailer, uint64_t firstRecord,
                                uint64_t fileLen) {
  std::string name = req_.agentName;
  if (!WantsAgentFile(req_.packagePath, name)) return;
  // The agent is the stub image and the header strings: they end where the first
  // record begins, after the stamp area and before the trailer.
  if (firstRecord < kStampLowOffset + 4 || firstRecord + kTrailerRoom > fileLen) {
    host_.Trace(" --- no agent file: the first record lies at " + IntToStr(int64_t(firstRecord)));
    return;
  }
  std::string temp = "~" + name + ".tmp";
  bool ok = sink_.Open(temp, false);
  // The agent's own CRC: its trailer now follows the header strings.
  PieceCrc crc(trailer.StartOffset < firstRecord ? trailer.StartOffset : firstRecord, firstRecord);
  for (uint64_t done = 0; ok && done < firstRecord;) {
    size_t count = firstRecord - done < out_.size() ? size_t(firstRecord - done) : out_.size();
    ok = file.ReadExact(done, out_.data(), count);
    // The agent has no files behind it: its stamped length is cleared.
    for (uint64_t i = kStampLowOffset; ok && i < kStampLowOffset + 4; ++i)
      if (i >= done && i < done + count) out_[size_t(i - done)] = 0;
    if (ok) crc.Feed(done, out_.data(), count);
    ok = ok && sink_.Write(out_.data(), count);
    done += count;
  }
  PackageTrailer agent = trailer;
  agent.ThisIs_AutoUpdateProg = 1;
  agent.TrailerLength = kTrailerSize;
  if (GetPieceCrc(trailer).state == PieceCrcState::Stored) SetPieceCrc(agent, crc.Value());
  uint8_t bytes[kTrailerSize];
  agent.ToBytes(bytes);
  ok = ok && sink_.Write(bytes, sizeof bytes);
  ok = sink_.Close(host_.FileDate(req_.packagePath)) && ok;
  if (ok) ok = sink_.Replace(temp, name);
  if (!ok) {
    sink_.Remove(temp);
    host_.Trace(" --- the agent file " + sink_.PathOf(name) + " cannot be written");
    return;
  }
  host_.Trace(" New AU-Agent: " + sink_.PathOf(name));
}

bool Extraction::Piece(ReadOnlyFile& file, const PackageTrailer& trailer, int piece, int& recordCounter) {
  uint64_t fileLen = LogicalLength(file);
  if (fileLen > file.Size()) fileLen = file.Size();  // a stamp beyond the file is a lie
  host_.Trace("FileLen=" + IntToStr(int64_t(fileLen)));
  if (!trailer.HasMagic()) return true;
  if (piece == 1) host_.Progress(0, int(trailer.FilesCount > INT_MAX ? INT_MAX : trailer.FilesCount));
  RaiseLimit(trailer);
  std::string folderError = sink_.CreateFolder();
  if (!folderError.empty()) host_.ShowError(folderError);

  PieceReader reader(file, in_);
  // A piece with a CRC is summed from StartOffset to its trailer as it is read.
  PieceCrcField storedCrc = GetPieceCrc(trailer);
  bool checkCrc = storedCrc.state == PieceCrcState::Stored;
  uint64_t trailerAt = trailer.TrailerLength < fileLen ? fileLen - trailer.TrailerLength : 0;
  PieceCrc crc(trailer.StartOffset < trailerAt ? trailer.StartOffset : trailerAt, trailerAt);
  if (checkCrc) reader.SumInto(&crc);
  uint64_t position = trailer.StartOffset;
  uint64_t firstRecord = 0;
  while (position < fileLen && fileLen - position > kTrailerRoom) {
    if (host_.PumpAndCheckAbort()) return Cancel();
    const uint8_t* head = reader.Get(position, 4);
    if (!head) return Damage("short read at " + IntToStr(int64_t(position)));
    uint32_t raw = uint32_t(head[0]) | uint32_t(head[1]) << 8 | uint32_t(head[2]) << 16 | uint32_t(head[3]) << 24;
    int32_t length = int32_t(raw);
    if (length == INT32_MIN) return Damage("a record length of -2147483648");
    uint64_t size = uint64_t(length < 0 ? -int64_t(length) : int64_t(length));
    position += 4;
    if (size > fileLen - position)
      return Damage("a record of " + IntToStr(int64_t(size)) + " bytes at " + IntToStr(int64_t(position - 4)) +
                    " runs past the end of the package");
    ++recordCounter;
    if (recordCounter <= trailer.HeaderStrings) {
      // The package reader has the header strings; here they only count for the CRC.
      for (uint64_t done = 0; checkCrc && done < size;) {
        size_t count = size - done < kReadChunk ? size_t(size - done) : kReadChunk;
        if (!reader.Get(position + done, count)) return Damage("short read at " + IntToStr(int64_t(position + done)));
        done += count;
      }
      position += size;
      if (recordCounter == trailer.HeaderStrings) firstRecord = position;
      continue;
    }
    if (!Record(reader, position, size, length > 0)) return false;
    position += size;
  }
  if (checkCrc) {
    // Bytes between the last record and the trailer are covered as well.
    while (!crc.Complete()) {
      uint64_t at = crc.Next(), left = crc.End() - at;
      if (!reader.Get(at, left < kReadChunk ? size_t(left) : kReadChunk) || crc.Next() == at) break;
    }
    if (!crc.Complete() || crc.Value() != storedCrc.value)
      return Damage("piece " + IntToStr(piece) + " fails its CRC-32 (stored " + HexText(storedCrc.value) +
                    ", read " + (crc.Complete() ? HexText(crc.Value()) : std::string("incomplete")) + ")");
  }
  if (piece == 1) WriteAgentFile(file, trailer, firstRecord, fileLen);
  return true;
}

ExtractResult Extraction::Run() {
  uint64_t t0 = host_.Milliseconds();
  std::string base = PieceBase(req_.packagePath);
  std::string path = req_.packagePath;
  host_.Progress(0, 0);
  freeAtStart_ = sink_.FreeBytes();
  int recordCounter = 0;
  bool goOn = true;
  for (int piece = 1; goOn; ++piece) {
    std::unique_ptr<ReadOnlyFile> file = host_.OpenPiece(path);
    if (!file) {
      // A later piece that is there but cannot be read ends like a cancelled prompt.
      if (piece > 1) Cancel();
      break;
    }
    PackageTrailer trailer;
    ReadTrailer(*file, trailer);
    if (piece == 1) host_.Trace("FileInfo.FilesCount=" + IntToStr(trailer.FilesCount));
    r_.crcGood = ChecksumPasses(ComputeChecksum(*file, trailer.TrailerLength), trailer.Checksum);
    if (!r_.crcGood) break;
    if (!Piece(*file, trailer, piece, recordCounter)) break;
    file.reset();
    if (!trailer.HasFlag(kFlagMorePieces)) break;
    if (piece >= kMaxPieces) {
      Damage("more than " + IntToStr(kMaxPieces) + " pieces");
      break;
    }
    host_.EnableAutoPlayCancel();
    path = PiecePath(base, piece + 1);
    if (req_.forcePrompt || !host_.PieceExists(path)) {
      host_.EjectIfRemovable(path);
      do {
        goOn = host_.AskForDisk(piece + 1);
        host_.Wait(500);
      } while (goOn && !host_.PieceExists(path));
    }
    host_.Progress(1, 0);
    if (!goOn) Cancel();
  }
  if (r_.damaged) r_.crcGood = false;
  // An incomplete tree never starts its engine.
  if (r_.cancelled || r_.damaged || r_.failedWrites > 0) r_.runCommand.clear();
  host_.Trace("UnCompressTime: " + IntToStr(int64_t(host_.Milliseconds() - t0)) + " MS");
  host_.Trace("");
  host_.Wait(500);
  return r_;
}

}  // namespace

int& FailedWriteCount() {
  static int count = 0;
  return count;
}

EntryName ParseEntryName(const std::string& nameField) {
  EntryName e;
  if (nameField.empty()) {
    e.skip = true;
    return e;
  }
  std::string name = SUB::Item(nameField, 0);
  std::string date = Trim(SUB::Item(nameField, 1));
  if (nameField.find('*') != std::string::npos) e.runCommand = nameField;
  size_t star = name.find('*');
  if (star != std::string::npos) {
    e.runCommand = name;
    name.resize(star);
  }
  if (Trim(name).empty()) {
    e.skip = true;
    return e;
  }
  e.fileName = name;
  e.valid = IsPlainFileName(name);
  if (!e.runCommand.empty()) {
    // The program part is what the engine start puts behind the temp folder.
    std::string program = Trim(e.runCommand.substr(0, e.runCommand.find('*')));
    e.valid = e.valid && IsPlainFileName(program);
  }
  int64_t value = 0;
  if (TryParseInt64(date, value) && value > 0 && value <= int64_t(UINT32_MAX)) e.dosDate = uint32_t(value);
  return e;
}

std::string PieceBase(const std::string& packagePath) {
  if (packagePath.size() >= 4 && packagePath.compare(packagePath.size() - 4, 4, ".001") == 0)
    return packagePath.substr(0, packagePath.size() - 4);
  return packagePath;
}

std::string PiecePath(const std::string& base, int piece) { return base + "." + ZeroPad(piece, 3); }

bool WantsAgentFile(const std::string& packagePath, std::string& agentName) {
  size_t slash = agentName.find_last_of("\\/");
  if (slash != std::string::npos) agentName = agentName.substr(slash + 1);
  if (agentName.empty() || !IsPlainFileName(agentName)) return false;
  return EndsWith(".exe", packagePath, true) || EndsWith(".exe.001", packagePath, true);
}

ExtractResult ExtractCore(const ExtractRequest& request, ExtractHost& host, ExtractSink& sink) {
  return Extraction(request, host, sink).Run();
}
