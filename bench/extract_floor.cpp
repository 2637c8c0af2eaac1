// The extraction floor: what unpacking a setup file costs with nothing but zlib and
// plain Win32 file calls. Walks the package's records itself, inflates each into a
// 1 MB buffer and writes it straight out; no progress, no message pumping, no checks
// beyond what keeps it inside the target folder, and the one check every extraction
// owes: the piece's CRC-32 (trailer bytes 20..27, "CR32" and the CRC of StartOffset up
// to the trailer), summed with zlib's crc32 as the bytes are read.
//   extract_floor PACKAGE TARGETFOLDER
// Prints elapsed_ms=, peak_private_bytes=, peak_working_set_bytes=, files=, bytes=,
// crc= (ok, or none when the trailer holds no CRC). A CRC that does not match fails.
// Build: i686-w64-mingw32-g++ -std=c++20 -O2 -Isrc bench/extract_floor.cpp -lz -lpsapi -static -o extract_floor.exe
#include <windows.h>
#include <psapi.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "util/WinHandle.h"

namespace {

constexpr size_t kBufferSize = 1 << 20;
constexpr size_t kMaxNameField = 64 * 1024;
constexpr uint32_t kMagic = 0x4A3B2C1D;
constexpr uint32_t kCrcMarker = 0x32335243;  // "CR32"

uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

bool ReadAt(HANDLE h, uint64_t offset, void* dst, DWORD n) {
  LARGE_INTEGER li;
  li.QuadPart = LONGLONG(offset);
  DWORD got = 0;
  return SetFilePointerEx(h, li, nullptr, FILE_BEGIN) && ReadFile(h, dst, n, &got, nullptr) && got == n;
}

// Sequential reads of one region of the package through a 1 MB buffer.
class Reader {
 public:
  Reader(HANDLE h, uint64_t left) : h_(h), left_(left), buf_(kBufferSize) {}
  // Bytes buffered and not yet taken (0 at the end of the region or on a failure).
  size_t Available() {
    if (pos_ == len_ && left_ > 0) {
      DWORD want = DWORD(left_ < buf_.size() ? left_ : buf_.size());
      DWORD got = 0;
      if (!ReadFile(h_, buf_.data(), want, &got, nullptr)) got = 0;
      crc_ = uint32_t(crc32(crc_, buf_.data(), got));
      pos_ = 0, len_ = got;
      left_ -= got;
      if (got == 0) left_ = 0;
    }
    return len_ - pos_;
  }
  const uint8_t* Data() const { return buf_.data() + pos_; }
  void Take(size_t n) { pos_ += n; }
  uint64_t Remaining() const { return left_ + (len_ - pos_); }
  uint32_t Crc() const { return crc_; }
  bool Read(void* dst, size_t n) {
    auto* out = static_cast<uint8_t*>(dst);
    while (n) {
      size_t a = Available();
      if (!a) return false;
      size_t k = a < n ? a : n;
      std::memcpy(out, Data(), k);
      Take(k), out += k, n -= k;
    }
    return true;
  }

 private:
  HANDLE h_;
  uint64_t left_;
  std::vector<uint8_t> buf_;
  size_t pos_ = 0, len_ = 0;
  uint32_t crc_ = 0;
};

// One entry's text arriving in pieces: the name field up to 0x00, then file data.
class EntryWriter {
 public:
  EntryWriter(const std::string& target, std::set<std::string>& seen) : target_(target), seen_(seen) {}
  bool Put(const uint8_t* p, size_t n) {
    if (inName_) {
      const void* zero = std::memchr(p, 0, n);
      size_t k = zero ? size_t(static_cast<const uint8_t*>(zero) - p) : n;
      name_.append(reinterpret_cast<const char*>(p), k);
      if (name_.size() > kMaxNameField) return false;
      if (!zero) return true;
      inName_ = false;
      if (!Open()) return false;
      p += k + 1, n -= k + 1;
    }
    if (!n || !file_.ok()) return true;
    DWORD written = 0;
    if (!WriteFile(file_.get(), p, DWORD(n), &written, nullptr) || written != n) return false;
    bytes_ += n;
    return true;
  }
  bool Finish() {
    if (inName_) return name_.empty();  // a body with no 0x00 is damage
    if (file_.ok() && dosTime_) {
      FILETIME local, utc;
      if (DosDateTimeToFileTime(HIWORD(dosTime_), LOWORD(dosTime_), &local) && LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(file_.get(), nullptr, nullptr, &utc);
    }
    file_.reset();
    return true;
  }
  uint64_t Bytes() const { return bytes_; }

 private:
  bool Open() {
    // "|name|date|": the first character is the separator.
    if (name_.empty()) return true;  // skipped entry
    char sep = name_[0];
    size_t a = 1, b = name_.find(sep, a);
    std::string name = name_.substr(a, b == std::string::npos ? std::string::npos : b - a);
    if (b != std::string::npos) {
      size_t c = name_.find(sep, b + 1);
      dosTime_ = uint32_t(std::strtoul(name_.substr(b + 1, c == std::string::npos ? c : c - b - 1).c_str(), nullptr, 10));
    }
    size_t star = name.find('*');
    if (star != std::string::npos) name.resize(star);
    if (name.empty()) return true;
    if (name.find_first_of("\\/:") != std::string::npos || name == "." || name == "..") return false;
    std::string upper = name;
    CharUpperBuffA(&upper[0], DWORD(upper.size()));
    bool append = !seen_.insert(upper).second;
    std::string path = target_ + "\\" + name;
    file_.reset(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_.ok()) return false;
    if (append) SetFilePointer(file_.get(), 0, nullptr, FILE_END);
    return true;
  }

  const std::string& target_;
  std::set<std::string>& seen_;
  std::string name_;
  bool inName_ = true;
  uint32_t dosTime_ = 0;
  uint64_t bytes_ = 0;
  WinHandle file_;
};

struct Inflater {
  z_stream zs{};
  bool ok = inflateInit(&zs) == Z_OK;
  ~Inflater() {
    if (ok) inflateEnd(&zs);
  }
};

int Fail(const char* what) {
  std::fprintf(stderr, "extract_floor: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Fail("usage: extract_floor PACKAGE TARGETFOLDER");
  LARGE_INTEGER freq, t0, t1;
  QueryPerformanceFrequency(&freq);
  QueryPerformanceCounter(&t0);

  WinHandle in(CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in.ok()) return Fail("cannot open the package");
  LARGE_INTEGER size;
  if (!GetFileSizeEx(in.get(), &size) || size.QuadPart < 78) return Fail("not a package");
  uint64_t end = uint64_t(size.QuadPart);

  // Logical end: the stamped length when the file is an executable that carries one.
  uint8_t head[0x102] = {};
  if (ReadAt(in.get(), 0, head, sizeof head) && head[0] == 'M' && head[1] == 'Z' && head[0x100] == 'P' &&
      head[0x101] == 'E') {
    uint64_t stamped = uint64_t(U32(head + 0xF8)) << 32 | U32(head + 0xFC);
    if (stamped > 0 && stamped <= end) end = stamped;
  }
  uint8_t word[4];
  if (!ReadAt(in.get(), end - 4, word, 4)) return Fail("cannot read the trailer");
  uint32_t trailerLength = U32(word);
  if (trailerLength < 20 || trailerLength > end) return Fail("no trailer");
  uint64_t trailerPos = end - trailerLength;
  uint8_t trailer[74] = {};
  if (!ReadAt(in.get(), trailerPos, trailer, trailerLength < 74 ? trailerLength - 4 : 70)) return Fail("no trailer");
  if (U32(trailer + 12) != kMagic) return Fail("no package magic");
  unsigned headerStrings = trailer[1] ? trailer[1] : 2;
  uint64_t start = U32(trailer + 4);
  if (start >= trailerPos) return Fail("bad start offset");

  CreateDirectoryA(argv[2], nullptr);
  std::string target = argv[2];

  LARGE_INTEGER li;
  li.QuadPart = LONGLONG(start);
  if (!SetFilePointerEx(in.get(), li, nullptr, FILE_BEGIN)) return Fail("seek");
  Reader reader(in.get(), trailerPos - start);
  for (unsigned i = 0; i < headerStrings; ++i) {
    if (!reader.Read(word, 4)) return Fail("short header strings");
    uint64_t skip = U32(word);
    if (skip > reader.Remaining()) return Fail("header string too long");
    while (skip) {
      size_t a = reader.Available();
      size_t k = a < skip ? a : size_t(skip);
      reader.Take(k), skip -= k;
    }
  }

  Inflater z;
  if (!z.ok) return Fail("inflateInit");
  std::vector<uint8_t> out(kBufferSize);
  std::set<std::string> seen;
  uint64_t bytes = 0;
  while (reader.Remaining() > 0) {
    if (!reader.Read(word, 4)) return Fail("short record length");
    int32_t length = int32_t(U32(word));
    uint64_t body = length > 0 ? uint64_t(length) : uint64_t(-int64_t(length));
    if (body > reader.Remaining()) return Fail("record longer than the package");
    EntryWriter entry(target, seen);
    if (length > 0) {
      inflateReset(&z.zs);
      bool done = false;
      while (body && !done) {
        size_t a = reader.Available();
        if (!a) return Fail("short read");
        z.zs.next_in = const_cast<Bytef*>(reader.Data());
        z.zs.avail_in = uInt(a < body ? a : body);
        const uInt given = z.zs.avail_in;
        do {
          z.zs.next_out = out.data();
          z.zs.avail_out = uInt(out.size());
          int r = inflate(&z.zs, Z_NO_FLUSH);
          if (r == Z_BUF_ERROR) break;  // nothing pending: the next input is needed
          if (r != Z_OK && r != Z_STREAM_END) return Fail("corrupt zlib stream");
          if (!entry.Put(out.data(), out.size() - z.zs.avail_out)) return Fail("cannot write");
          done = r == Z_STREAM_END;
        } while (!done && (z.zs.avail_in > 0 || z.zs.avail_out == 0));
        size_t taken = given - z.zs.avail_in;
        reader.Take(taken), body -= taken;
      }
      if (!done) return Fail("zlib stream ends early");
      while (body) {  // bytes behind the stream end
        size_t a = reader.Available();
        if (!a) return Fail("short read");
        size_t k = a < body ? a : size_t(body);
        reader.Take(k), body -= k;
      }
    } else {
      while (body) {
        size_t a = reader.Available();
        if (!a) return Fail("short read");
        size_t k = a < body ? a : size_t(body);
        if (!entry.Put(reader.Data(), k)) return Fail("cannot write");
        reader.Take(k), body -= k;
      }
    }
    if (!entry.Finish()) return Fail("entry without a name field end");
    bytes += entry.Bytes();
  }
  bool haveCrc = U32(trailer + 20) == kCrcMarker;
  if (haveCrc && reader.Crc() != U32(trailer + 24)) return Fail("the piece fails its CRC-32");
  QueryPerformanceCounter(&t1);

  PROCESS_MEMORY_COUNTERS pmc{};
  pmc.cb = sizeof pmc;
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
  std::printf("elapsed_ms=%llu\n", (unsigned long long)((t1.QuadPart - t0.QuadPart) * 1000 / freq.QuadPart));
  std::printf("peak_private_bytes=%llu\n", (unsigned long long)pmc.PeakPagefileUsage);
  std::printf("peak_working_set_bytes=%llu\n", (unsigned long long)pmc.PeakWorkingSetSize);
  std::printf("files=%llu\nbytes=%llu\n", (unsigned long long)seen.size(), (unsigned long long)bytes);
  std::printf("crc=%s\n", haveCrc ? "ok" : "none");
  return 0;
}
