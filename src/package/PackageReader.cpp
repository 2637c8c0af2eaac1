#include "package/PackageReader.h"

#include <cstring>
#include <memory>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define STUB_CRC_CLMUL 1
#endif

#include "util/LanguageIds.h"
#include "util/Random.h"
#include "util/Scramble.h"
#include "util/SeparatorLists.h"

namespace {

uint32_t Get32(const uint8_t* b) { return b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24); }
void Put32(uint8_t* b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[i] = uint8_t(v >> (8 * i));
}

// The language block every reader of the process shares; chosen by the first lookup.
std::string g_languageBlock;

std::string LastPathElement(const std::string& path) {
  size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

#ifdef STUB_CRC_CLMUL
bool CpuHasCarrylessMultiply() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_PCLMUL) && (c & bit_SSE4_1);
}

// The CRC of len bytes (at least 64, a multiple of 16) folded 64 bytes at a time
// with carry-less multiplication: "Fast CRC Computation for Generic Polynomials
// Using PCLMULQDQ Instruction", Gopal et al., Intel 2009, with the constants of the
// bit-reflected CRC-32 polynomial. crc comes and goes inverted. The stack is
// realigned: 32-bit Windows keeps it aligned to 4 bytes only, SSE spills need 16.
__attribute__((target("pclmul,sse4.1"), force_align_arg_pointer))
uint32_t FoldCrc32(uint32_t crc, const uint8_t* buf, size_t len) {
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
  const __m128i k5k0 = _mm_set_epi64x(0, 0x0163cd6124);
  const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
#define STUB_LOAD(p) _mm_loadu_si128(reinterpret_cast<const __m128i*>(p))
// x times k3 (high half) and k4 (low half), folded onto the next 128 bits.
#define STUB_FOLD(x, next) \
  _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k3k4, 0x11), next), _mm_clmulepi64_si128(x, k3k4, 0x00))
  __m128i x1 = _mm_xor_si128(STUB_LOAD(buf), _mm_cvtsi32_si128(int(crc)));
  __m128i x2 = STUB_LOAD(buf + 16), x3 = STUB_LOAD(buf + 32), x4 = STUB_LOAD(buf + 48);
  buf += 64;
  len -= 64;
  for (; len >= 64; buf += 64, len -= 64) {
    __m128i x5 = _mm_clmulepi64_si128(x1, k1k2, 0x00), x6 = _mm_clmulepi64_si128(x2, k1k2, 0x00);
    __m128i x7 = _mm_clmulepi64_si128(x3, k1k2, 0x00), x8 = _mm_clmulepi64_si128(x4, k1k2, 0x00);
    x1 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x1, k1k2, 0x11), x5), STUB_LOAD(buf));
    x2 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x2, k1k2, 0x11), x6), STUB_LOAD(buf + 16));
    x3 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x3, k1k2, 0x11), x7), STUB_LOAD(buf + 32));
    x4 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x4, k1k2, 0x11), x8), STUB_LOAD(buf + 48));
  }
  x1 = STUB_FOLD(x1, x2);
  x1 = STUB_FOLD(x1, x3);
  x1 = STUB_FOLD(x1, x4);
  for (; len >= 16; buf += 16, len -= 16) x1 = STUB_FOLD(x1, STUB_LOAD(buf));
  // 128 bits to 64, then Barrett reduction to 32.
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
  x2 = _mm_clmulepi64_si128(x1, k3k4, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
  x2 = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5k0, 0x00), x2);
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, low32), poly, 0x00);
  return uint32_t(_mm_extract_epi32(_mm_xor_si128(x1, x2), 1));
#undef STUB_FOLD
#undef STUB_LOAD
}
#endif

// The CRC-32 eight bytes at a time (slice-by-8) where the processor cannot fold. The
// tables are made on first use, on the heap: a zero-filled static would still take
// its 8 KB in the program file (-fdata-sections places it among the data).
struct CrcTables {
  uint32_t t[8][256];
};

const CrcTables& Crc32Tables() {
  static std::unique_ptr<CrcTables> tables;
  if (!tables) {
    tables = std::make_unique<CrcTables>();
    auto& t = tables->t;
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
      t[0][i] = c;
    }
    for (int s = 1; s < 8; ++s)
      for (uint32_t i = 0; i < 256; ++i) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  }
  return *tables;
}

uint32_t TableCrc32(uint32_t crc, const uint8_t* p, size_t n) {
  const auto& t = Crc32Tables().t;
  crc = ~crc;
  for (; n >= 8; p += 8, n -= 8) {
    const uint32_t a = crc ^ Get32(p), b = Get32(p + 4);
    crc = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^ t[3][b & 0xFF] ^
          t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
  }
  for (; n > 0; ++p, --n) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
  return ~crc;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

PackageTrailer PackageTrailer::FromBytes(const uint8_t (&b)[kTrailerSize]) {
  PackageTrailer t;
  t.Reserved0 = b[0];
  t.HeaderStrings = b[1];
  t.Reserved2 = uint16_t(b[2] | (b[3] << 8));
  t.StartOffset = Get32(b + 4);
  t.FilesCount = Get32(b + 8);
  t.Magic = Get32(b + 12);
  t.Checksum = Get32(b + 16);
  std::memcpy(t.Reserved20, b + 20, sizeof t.Reserved20);
  for (int i = 0; i < 9; ++i) t.SpaceNeeded[i] = Get32(b + 28 + 4 * i);
  t.Reserved64 = b[64];
  t.Flags = b[65];
  t.InternetDownload = b[66];
  t.ConfirmDownload = b[67];
  t.CreateAgent = b[68];
  t.ThisIs_AutoUpdateProg = b[69];
  t.TrailerLength = Get32(b + 70);
  return t;
}

void PackageTrailer::ToBytes(uint8_t (&b)[kTrailerSize]) const {
  b[0] = Reserved0;
  b[1] = HeaderStrings;
  b[2] = uint8_t(Reserved2);
  b[3] = uint8_t(Reserved2 >> 8);
  Put32(b + 4, StartOffset);
  Put32(b + 8, FilesCount);
  Put32(b + 12, Magic);
  Put32(b + 16, Checksum);
  std::memcpy(b + 20, Reserved20, sizeof Reserved20);
  for (int i = 0; i < 9; ++i) Put32(b + 28 + 4 * i, SpaceNeeded[i]);
  b[64] = Reserved64;
  b[65] = Flags;
  b[66] = InternetDownload;
  b[67] = ConfirmDownload;
  b[68] = CreateAgent;
  b[69] = ThisIs_AutoUpdateProg;
  Put32(b + 70, TrailerLength);
}

bool IsStampedCapable(ReadOnlyFile& file) {
  char mz[2], pe[2];
  return file.ReadExact(0, mz, 2) && file.ReadExact(kStampedPeOffset, pe, 2) && mz[0] == 'M' &&
         mz[1] == 'Z' && pe[0] == 'P' && pe[1] == 'E';
}

bool IsStampedCapable(const std::string& fileName) {
  auto file = OpenReadOnly(fileName);
  return file && IsStampedCapable(*file);
}

uint64_t ReadStampedLength(ReadOnlyFile& file) {
  uint32_t high = 0, low = 0;
  if (!file.ReadU32(kStampOffset, high) || !file.ReadU32(kStampLowOffset, low)) return 0;
  return (uint64_t(high) << 32) | low;
}

uint64_t ReadStampedLength(const std::string& bytes) {
  if (bytes.size() < kStampLowOffset + 4) return 0;
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  return (uint64_t(Get32(b + kStampOffset)) << 32) | Get32(b + kStampLowOffset);
}

uint64_t LogicalLength(ReadOnlyFile& file) {
  if (IsStampedCapable(file)) {
    uint64_t stamped = ReadStampedLength(file);
    if (stamped > 0) return stamped;
  }
  return file.Size();
}

TrailerLocation ReadTrailer(ReadOnlyFile& file, PackageTrailer& trailer) {
  uint8_t buffer[kTrailerSize] = {};
  TrailerLocation where;
  uint64_t end = LogicalLength(file);
  // A length field that cannot be read (a file of under 4 bytes, a stamp past the
  // physical end) reads as 0: no trailer.
  uint32_t length = 0;
  if (end >= 4 && !file.ReadU32(end - 4, length)) length = 0;
  where.length = length;
  if (length <= end) {
    where.position = int64_t(end - length);
    uint32_t body = (length < kTrailerSize ? length : kTrailerSize);
    if (body > 4 && !file.ReadExact(uint64_t(where.position), buffer, body - 4))
      std::memset(buffer, 0, sizeof buffer);
  }
  trailer = PackageTrailer::FromBytes(buffer);
  trailer.TrailerLength = length;
  if (trailer.HeaderStrings == 0) trailer.HeaderStrings = 2;
  return where;
}

TrailerLocation ReadTrailer(const std::string& fileName, PackageTrailer& trailer) {
  auto file = OpenReadOnly(fileName);
  if (!file) {
    trailer = PackageTrailer{};
    return {};
  }
  return ReadTrailer(*file, trailer);
}

bool Crc32FoldsInBulk() {
#ifdef STUB_CRC_CLMUL
  static const bool fold = CpuHasCarrylessMultiply();
  return fold;
#else
  return false;
#endif
}

uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t count) {
#ifdef STUB_CRC_CLMUL
  if (Crc32FoldsInBulk() && count >= 64) {
    size_t bulk = count & ~size_t(15);
    crc = ~FoldCrc32(~crc, data, bulk);
    data += bulk;
    count -= bulk;
  }
#endif
  return TableCrc32(crc, data, count);
}

PieceCrcField GetPieceCrc(const PackageTrailer& trailer) {
  PieceCrcField field;
  uint32_t marker = Get32(trailer.Reserved20);
  uint32_t value = Get32(trailer.Reserved20 + 4);
  if (marker == kPieceCrcMarker) {
    field.state = PieceCrcState::Stored;
    field.value = value;
  } else if (marker != 0 || value != 0) {
    field.state = PieceCrcState::Foreign;
  }
  return field;
}

void SetPieceCrc(PackageTrailer& trailer, uint32_t crc) {
  Put32(trailer.Reserved20, kPieceCrcMarker);
  Put32(trailer.Reserved20 + 4, crc);
}

void PieceCrc::Feed(uint64_t offset, const uint8_t* data, size_t count) {
  if (offset > next_ && next_ < end_) hole_ = true;
  if (hole_ || offset > next_ || next_ >= end_) return;
  uint64_t stop = offset + count < end_ ? offset + count : end_;
  if (stop <= next_) return;
  crc_ = Crc32Update(crc_, data + (next_ - offset), size_t(stop - next_));
  next_ = stop;
}

bool ComputeCrcOfRange(ReadOnlyFile& file, uint64_t from, uint64_t to, uint32_t& crc) {
  PieceCrc sum(from, to);
  uint64_t size = file.Size();
  if (to > size) return false;
  uint8_t chunk[65536];
  while (!sum.Complete()) {
    uint64_t left = sum.End() - sum.Next();
    size_t n = left < sizeof chunk ? size_t(left) : sizeof chunk;
    if (!file.ReadExact(sum.Next(), chunk, n)) return false;
    sum.Feed(sum.Next(), chunk, n);
  }
  crc = sum.Value();
  return true;
}

PieceCrcCheck CheckPieceCrc(ReadOnlyFile& file, const PackageTrailer& rawTrailer, const TrailerLocation& where) {
  PieceCrcCheck check;
  check.field = GetPieceCrc(rawTrailer);
  if (check.field.state != PieceCrcState::Stored) return check;
  // A StartOffset beyond the trailer covers nothing: the CRC of no bytes.
  uint64_t to = where.position < 0 ? 0 : uint64_t(where.position);
  uint64_t from = rawTrailer.StartOffset < to ? rawTrailer.StartOffset : to;
  check.computed = ComputeCrcOfRange(file, from, to, check.value);
  check.passes = check.computed && check.value == check.field.value;
  return check;
}

uint32_t ComputeChecksum(ReadOnlyFile& file, uint32_t trailerLength) {
  uint64_t size = file.Size();
  if (size > kChecksumMaxFileSize) return kNoChecksum;
  uint32_t stampedLow = 0;
  if (IsStampedCapable(file) && !file.ReadU32(kStampLowOffset, stampedLow)) stampedLow = 0;
  int64_t remaining = stampedLow ? int64_t(stampedLow) : int64_t(size);
  remaining -= trailerLength;
  uint64_t offset = 0;
  if (stampedLow) {
    // The stamped header block changes when the file is stamped: leave it out.
    remaining -= 512;
    offset = 512;
  }
  uint32_t sum = 0;
  uint8_t block[4096];
  for (;;) {
    size_t got = 0;
    while (got < sizeof block) {
      int64_t n = file.ReadAt(offset + got, block + got, sizeof block - got);
      if (n <= 0) break;
      got += size_t(n);
    }
    for (size_t i = 0; i + 4 <= got; i += 4) {
      remaining -= 4;
      if (remaining > 4) sum += Get32(block + i);
    }
    if (remaining > 4) sum += kNoChecksum;
    offset += got;
    if (got < sizeof block) break;
  }
  return sum;
}

uint32_t ComputeChecksum(const std::string& fileName, uint32_t trailerLength) {
  auto file = OpenReadOnly(fileName);
  if (!file) return 0;
  return ComputeChecksum(*file, trailerLength);
}

uint32_t SpaceNeededForCluster(const PackageTrailer& trailer, uint64_t clusterSize) {
  uint32_t result = trailer.SpaceNeeded[0];
  uint64_t threshold = 256;
  for (int i = 1; i <= 8; ++i) {
    threshold *= 2;
    if (clusterSize >= threshold) result = trailer.SpaceNeeded[i];
  }
  return result;
}

std::optional<std::string> DecodeToken(const std::string& scrambled) {
  // Characters shifted by 50, then hex pairs; an unreadable pair is 0xFF.
  std::string d;
  d.reserve(scrambled.size() / 2 + 1);
  for (size_t i = 0; i < scrambled.size(); i += 2) {
    int hi = HexDigit(char(uint8_t(scrambled[i]) - 50));
    int value = hi;
    if (i + 1 < scrambled.size()) {
      int lo = HexDigit(char(uint8_t(scrambled[i + 1]) - 50));
      value = (hi < 0 || lo < 0) ? -1 : hi * 16 + lo;
    }
    d += char(value < 0 ? 0xFF : value);
  }
  size_t n = d.size();
  if (n <= 4) return std::nullopt;
  auto at = [&](size_t oneBased) -> uint8_t& { return reinterpret_cast<uint8_t&>(d[oneBased - 1]); };
  uint8_t sum = 0;
  for (size_t i = 1; i <= n; ++i)
    if (i != n - 1) sum = uint8_t(sum + at(i));
  if (sum != at(n - 1)) return std::nullopt;
  uint8_t key = at(1) ^ at(n);
  for (size_t i = 2; i <= n - 1; ++i) at(i) ^= key;
  size_t lead = at(2), tail = at(3);
  if (lead + tail + 4 > n) return std::nullopt;  // the lengths do not fit the field
  return d.substr(lead + 3, n - lead - tail - 4);
}

std::string UnscrambleToken(const std::string& scrambled) {
  if (auto token = DecodeToken(scrambled)) return *token;
  return IntToStr(RandomBelow(99999));
}

InfoLine ParseInfoLine(const std::string& text) {
  std::string rest = Unscramble(text);
  size_t bar = rest.find('|');
  rest = bar == std::string::npos ? std::string() : rest.substr(bar + 1);
  std::string items[3];
  for (std::string& item : items) {
    bar = rest.find('|');
    item = rest.substr(0, bar);
    rest = bar == std::string::npos ? std::string() : rest.substr(bar + 1);
  }
  return InfoLine{UnscrambleToken(items[0]), rest, items[0]};
}

std::string ChooseLanguageBlock(const std::string& languageList, const std::string& languageName) {
  int count = SUB::Count(languageList);
  auto find = [&](const std::string& name) -> std::string {
    for (int i = 0; i < count; ++i) {
      std::string block = SUB::Item(languageList, i, "");
      if (SameText(Trim(SUB::Item(block, 0, "")), name)) return block;
    }
    return "";
  };
  std::string block = find(languageName);
  if (block.empty() && count == 1) block = SUB::Item(languageList, 0, "");
  if (block.empty()) block = find("English");
  return block.empty() ? "*" : block;
}

void ResetLanguageCache() { g_languageBlock.clear(); }

TGFileInfo::TGFileInfo(const std::string& fileName) {
  if (auto file = OpenReadOnly(fileName)) Load(*file);
}

TGFileInfo::TGFileInfo(ReadOnlyFile& file) { Load(file); }

void TGFileInfo::Load(ReadOnlyFile& file) {
  TrailerLocation where = ReadTrailer(file, trailer_);
  if (!trailer_.HasMagic() || where.position < 0) return;
  // Header strings must lie between StartOffset and the trailer.
  uint64_t limit = uint64_t(where.position);
  uint64_t position = trailer_.StartOffset;
  std::string* strings[3] = {&languageList_, &packageHeader_, &downloadHeader_};
  int count = trailer_.HeaderStrings >= 3 ? 3 : 2;
  for (int i = 0; i < count; ++i) {
    uint32_t length = 0;
    if (position + 4 > limit || !file.ReadU32(position, length) || length > limit - position - 4) break;
    std::string& text = *strings[i];
    text.resize(length);
    if (length && !file.ReadExact(position + 4, text.data(), length)) break;
    position += 4 + uint64_t(length);
    if (position > UINT32_MAX) break;
    trailer_.StartOffset = uint32_t(position);
    if (i == count - 1) valid_ = true;
  }
  if (!valid_) {
    languageList_.clear();
    packageHeader_.clear();
    downloadHeader_.clear();
  }
}

double TGFileInfo::GetSpaceNeeded(const std::string& folder) const {
  return SpaceNeededForCluster(trailer_, ClusterSize(folder));
}

std::string TGFileInfo::GetInfoLocation() const { return SUB::Item(packageHeader_, 0, ""); }
std::string TGFileInfo::GetInfoFileName() const { return LastPathElement(SUB::Item(packageHeader_, 1, "")); }

std::string TGFileInfo::GetOriginalSettingsName() const {
  std::string name = GetInfoFileName();
  return name.substr(0, name.find('.')) + ".original";
}

std::string TGFileInfo::GetAgentName() const { return SUB::Item(packageHeader_, 2, ""); }

std::string TGFileInfo::GetPackageToken(bool unscramble) const {
  std::string token = SUB::Item(packageHeader_, 3, "");
  return unscramble ? UnscrambleToken(token) : token;
}

bool TGFileInfo::IsHiddenRun() const { return SUB::Item(packageHeader_, 4, "") == "1"; }
std::string TGFileInfo::GetDownloadLocation() const { return SUB::Item(downloadHeader_, 0, ""); }
std::string TGFileInfo::GetDownloadFileName() const { return SUB::Item(downloadHeader_, 1, ""); }
bool TGFileInfo::IsAlwaysDownload() const { return SUB::Item(downloadHeader_, 2, "") == "1"; }

std::string TGFileInfo::GetDownloadToken(bool unscramble) const {
  std::string token = SUB::Item(downloadHeader_, 3, "");
  return unscramble ? UnscrambleToken(token) : token;
}

std::string TGFileInfo::GetDownloadSize() const { return SUB::Item(downloadHeader_, 4, ""); }
std::string TGFileInfo::GetUpdateKey() const { return SUB::Item(packageHeader_, 5, ""); }
std::string TGFileInfo::GetDownloadDigest() const { return SUB::Item(downloadHeader_, 5, ""); }

std::string TGFileInfo::GetLangString(const std::string& key, const std::string& defaultText) const {
  if (g_languageBlock.empty()) g_languageBlock = ChooseLanguageBlock(languageList_, SystemLanguageName());
  if (g_languageBlock.size() <= 1) return defaultText;
  // Vendors write line breaks and tabs of their texts as "\n" and "\t".
  return ExpandEscapes(SUB::Value(g_languageBlock, key, true, "", defaultText));
}

int TGFileInfo::GetCharset() const { return int(StrToInt64Def(GetLangString("Charset", "0"), 0)); }
int TGFileInfo::GetFontSize() const { return int(StrToInt64Def(GetLangString("FontSize", "8"), 8)); }
std::string TGFileInfo::GetFontName() const { return GetLangString("FontName", "Tahoma"); }
