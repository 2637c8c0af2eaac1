// The setup package behind the stub's image: its trailer, header strings and
// checksum, and the reader that answers every question about a package.
//
// Everything here reads untrusted bytes (a setup file may come from a download):
// offsets and lengths are bounded by the real file, nothing is allocated beyond
// what the file holds, and no query can fail or crash.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "util/FileIO.h"

inline constexpr uint32_t kPackageMagic = 0x4A3B2C1D;
inline constexpr uint32_t kTrailerSize = 74;
inline constexpr uint32_t kNoChecksum = 1234;             // stored or computed: not checked
inline constexpr uint64_t kChecksumMaxFileSize = 51200;   // larger files are never summed
inline constexpr uint64_t kStampOffset = 0xF8;            // u32 high half, then u32 low half
inline constexpr uint64_t kStampLowOffset = 0xFC;
inline constexpr uint64_t kStampedPeOffset = 0x100;       // "PE" must stand exactly here

enum TrailerFlag : uint8_t {
  kFlagAnnounceTempDrive = 0x01,
  kFlagMorePieces = 0x02,
  kFlagSpannedSet = 0x04,
  kFlagShowActivityBar = 0x08,
  kFlagAgentLogOn = 0x10,
};

// The 74-byte trailer at the logical end of every package and piece.
struct PackageTrailer {
  uint8_t Reserved0 = 0;
  uint8_t HeaderStrings = 0;  // 2 or 3 (0 is read as 2)
  uint16_t Reserved2 = 0;
  uint32_t StartOffset = 0;   // first header string; on later pieces the first record
  uint32_t FilesCount = 0;
  uint32_t Magic = 0;
  uint32_t Checksum = 0;
  uint8_t Reserved20[8] = {};
  uint32_t SpaceNeeded[9] = {};  // [0] any cluster size, [i] clusters >= 256 << i
  uint8_t Reserved64 = 0;
  uint8_t Flags = 0;
  uint8_t InternetDownload = 0;
  uint8_t ConfirmDownload = 0;
  uint8_t CreateAgent = 0;
  uint8_t ThisIs_AutoUpdateProg = 0;
  uint32_t TrailerLength = 0;

  static PackageTrailer FromBytes(const uint8_t (&bytes)[kTrailerSize]);
  void ToBytes(uint8_t (&bytes)[kTrailerSize]) const;
  bool HasMagic() const { return Magic == kPackageMagic; }
  bool HasFlag(TrailerFlag flag) const { return (Flags & flag) != 0; }
};

// "MZ" at 0 and "PE" at exactly 0x100: only then does the stamped length count.
bool IsStampedCapable(ReadOnlyFile& file);
bool IsStampedCapable(const std::string& fileName);
// The 64-bit logical length stamped at 0xF8 (high half) and 0xFC (low half); 0 = none.
uint64_t ReadStampedLength(ReadOnlyFile& file);
uint64_t ReadStampedLength(const std::string& bytes);  // a whole file held in memory
// The logical end: the stamped length when the file is stamped-capable and stamped,
// else the physical size.
uint64_t LogicalLength(ReadOnlyFile& file);

// Where a trailer was found: its file offset and the length the file claims for it.
struct TrailerLocation {
  int64_t position = -1;
  uint32_t length = 0;
};

// Fills the trailer as the stub reads it (zero-filled, partial for short trailers,
// first 70 bytes of long ones, TrailerLength = the claimed length, HeaderStrings 0
// read as 2). Returns where it was looked for.
TrailerLocation ReadTrailer(ReadOnlyFile& file, PackageTrailer& trailer);
TrailerLocation ReadTrailer(const std::string& fileName, PackageTrailer& trailer);

// The CRC-32 of a piece (zlib's crc32, the standard CRC-32) over its bytes from
// StartOffset (the first header string; on later pieces the first record) up to the
// start of the trailer. It lives in the trailer's reserved bytes 20..27: the marker
// kPieceCrcMarker (the bytes "CR32": 43 52 33 32), then the CRC as u32. Unlike the
// additive checksum it covers pieces of any size, and stored records and header
// strings, which nothing else guards.
//   all 8 bytes 0     no CRC: a package of an older builder, checked as before
//   our marker        the CRC must match, or the piece is damaged
//   anything else     no CRC either: other builders may use these bytes for their
//                     own ends, and their packages install today
// A damaged marker therefore turns the check off; damage anywhere else is caught.
inline constexpr uint32_t kPieceCrcMarker = 0x32335243;  // "CR32"
inline constexpr unsigned kPieceCrcOffset = 20;           // in the trailer

enum class PieceCrcState { None, Foreign, Stored };
struct PieceCrcField {
  PieceCrcState state = PieceCrcState::None;
  uint32_t value = 0;  // the stored CRC (state Stored)
};
PieceCrcField GetPieceCrc(const PackageTrailer& trailer);
void SetPieceCrc(PackageTrailer& trailer, uint32_t crc);

// zlib's crc32 (crc 0 to start), the bulk folded with carry-less multiplication on
// processors that have it: the same values, about four times as fast, which keeps
// the check a small part of the extraction. In Stub.exe it is zlib's crc32 too (see
// PackageReaderWin32.cpp).
uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t count);
bool Crc32FoldsInBulk();

// The CRC of a byte range taken as the bytes go past in file order: a reader hands
// over what it read, overlaps and bytes outside the range are left out. A piece
// handed over with a hole before it can never complete.
class PieceCrc {
 public:
  PieceCrc(uint64_t from, uint64_t to) : next_(from), end_(to) {}
  void Feed(uint64_t offset, const uint8_t* data, size_t count);
  uint64_t Next() const { return next_; }
  uint64_t End() const { return end_; }
  bool Complete() const { return !hole_ && next_ >= end_; }
  uint32_t Value() const { return crc_; }

 private:
  uint64_t next_, end_;
  uint32_t crc_ = 0;
  bool hole_ = false;
};

// The CRC of bytes [from, to) of the file, read in bounded chunks; false when they
// cannot all be read.
bool ComputeCrcOfRange(ReadOnlyFile& file, uint64_t from, uint64_t to, uint32_t& crc);

// A piece's CRC as a lister sees it: what the trailer holds and what the bytes give.
struct PieceCrcCheck {
  PieceCrcField field;
  bool computed = false;  // the covered bytes were read (only when a CRC is stored)
  uint32_t value = 0;     // their CRC
  bool passes = true;     // no CRC stored, or the stored one matches
};
// rawTrailer as ReadTrailer filled it (StartOffset not advanced) and where it lies.
PieceCrcCheck CheckPieceCrc(ReadOnlyFile& file, const PackageTrailer& rawTrailer, const TrailerLocation& where);

// The additive checksum over a piece; kNoChecksum for files above 51200 bytes.
uint32_t ComputeChecksum(ReadOnlyFile& file, uint32_t trailerLength);
uint32_t ComputeChecksum(const std::string& fileName, uint32_t trailerLength);
inline bool ChecksumPasses(uint32_t computed, uint32_t stored) {
  return computed == stored || computed == kNoChecksum || stored == kNoChecksum;
}

// Bytes per cluster of the drive of path ("C:\" from its first three characters);
// 0 when the drive cannot be queried.
uint64_t ClusterSize(const std::string& path);
// The SpaceNeeded entry for a cluster size: entry 0, or the highest i whose
// threshold 256 << i the cluster size reaches.
uint32_t SpaceNeededForCluster(const PackageTrailer& trailer, uint64_t clusterSize);

// The plain token of a scrambled token field, or nothing when the field does not
// pass its own check.
std::optional<std::string> DecodeToken(const std::string& scrambled);
// DecodeToken, or a random decimal number below 99999 when the field does not check.
std::string UnscrambleToken(const std::string& scrambled);

struct InfoLine {
  std::string token;      // unscrambled
  std::string rest;       // the text after the fourth "|"
  std::string scrambled;  // the token field as stored, for a check of its own
};
// Splits an information text: optional "Scrambled=01" form, then "...|a|b|c|rest".
InfoLine ParseInfoLine(const std::string& text);

// The language block for a language name: the block named so, else the only block,
// else the block named "English", else "*" (none).
std::string ChooseLanguageBlock(const std::string& languageList, const std::string& languageName);
// Forgets the process-wide language block so that the next lookup chooses again.
void ResetLanguageCache();

class TGFileInfo {
 public:
  // Never fails: a missing file or a wrong Magic leaves every string empty.
  explicit TGFileInfo(const std::string& fileName);
  explicit TGFileInfo(ReadOnlyFile& file);

  const PackageTrailer& Trailer() const { return trailer_; }
  const std::string& LanguageList() const { return languageList_; }
  const std::string& PackageHeader() const { return packageHeader_; }
  const std::string& DownloadHeader() const { return downloadHeader_; }
  // Magic right and every header string read within the file.
  bool IsValid() const { return valid_; }

  double GetSpaceNeeded(const std::string& folder) const;

  bool AnnounceTempDrive() const { return trailer_.HasFlag(kFlagAnnounceTempDrive); }
  bool MorePieces() const { return trailer_.HasFlag(kFlagMorePieces); }
  bool SpannedSet() const { return trailer_.HasFlag(kFlagSpannedSet); }
  bool ShowActivityBar() const { return trailer_.HasFlag(kFlagShowActivityBar); }
  bool AgentLogOn() const { return trailer_.HasFlag(kFlagAgentLogOn); }
  uint8_t InternetDownload() const { return trailer_.InternetDownload; }
  uint8_t ConfirmDownload() const { return trailer_.ConfirmDownload; }
  uint8_t CreateAgent() const { return trailer_.CreateAgent; }
  uint8_t ThisIs_AutoUpdateProg() const { return trailer_.ThisIs_AutoUpdateProg; }

  std::string GetInfoLocation() const;
  std::string GetInfoFileName() const;
  std::string GetOriginalSettingsName() const;
  std::string GetAgentName() const;
  std::string GetPackageToken(bool unscramble) const;
  bool IsHiddenRun() const;
  std::string GetDownloadLocation() const;
  std::string GetDownloadFileName() const;
  bool IsAlwaysDownload() const;
  std::string GetDownloadToken(bool unscramble) const;
  std::string GetDownloadSize() const;
  // Sixth items, written by newer builders only ("" when absent): the base64 of the
  // vendor's update-key SubjectPublicKeyInfo, and the SHA-256 hex of the setup file
  // to download.
  std::string GetUpdateKey() const;
  std::string GetDownloadDigest() const;

  std::string GetLangString(const std::string& key, const std::string& defaultText) const;
  int GetCharset() const;
  int GetFontSize() const;
  std::string GetFontName() const;

 private:
  void Load(ReadOnlyFile& file);

  PackageTrailer trailer_;
  std::string languageList_;
  std::string packageHeader_;
  std::string downloadHeader_;
  bool valid_ = false;
};
