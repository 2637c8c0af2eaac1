#include "support/TestFiles.h"

#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "package/PackageReader.h"
#include "util/SeparatorLists.h"

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path p = fs::temp_directory_path() /
               ("stubtest-" + std::to_string(now) + "-" + std::to_string(counter++));
  fs::create_directories(p);
  path_ = p.string();
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const { return (fs::path(path_) / name).string(); }

void WriteBytes(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

std::string ReadBytes(const std::string& path) {
  std::string out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

uint32_t ReadU32At(const std::string& b, size_t at) {
  auto u = [&](size_t i) { return uint32_t(uint8_t(b[at + i])); };
  return u(0) | u(1) << 8 | u(2) << 16 | u(3) << 24;
}

void PutU32At(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = char(v >> (8 * i));
}

std::string MakeStubImage(size_t size) {
  std::string image(size < 0x200 ? 0x200 : size, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  PutU32At(image, 0x3C, 0x100);
  image.replace(0x100, 4, std::string("PE\0\0", 4));
  for (size_t i = 0x200; i < image.size(); ++i) image[i] = char(i * 7 + 3);
  return image;
}

std::string NoiseBytes(size_t size, uint32_t seed) {
  std::string out(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : out) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    c = char(x >> 24);
  }
  return out;
}

UnpackedPackage UnpackForTest(const std::string& firstPiece) {
  UnpackedPackage result;
  TGFileInfo info(firstPiece);
  if (!info.IsValid()) return result;
  std::string base = EndsWith(".001", firstPiece, true) ? firstPiece.substr(0, firstPiece.size() - 4) : firstPiece;
  std::string path = firstPiece;
  for (int piece = 1; piece < 1000; ++piece) {
    std::string bytes = ReadBytes(path);
    auto file = OpenReadOnly(path);
    if (!file) return result;
    PackageTrailer t;
    ReadTrailer(*file, t);
    uint64_t end = LogicalLength(*file);
    uint64_t at = piece == 1 ? info.Trailer().StartOffset : t.StartOffset;
    while (end - at > kTrailerSize) {
      int32_t length = int32_t(ReadU32At(bytes, at));
      size_t n = size_t(length < 0 ? -int64_t(length) : length);
      std::string body = bytes.substr(at + 4, n);
      at += 4 + n;
      std::string entry;
      if (length > 0) {
        z_stream zs{};
        inflateInit(&zs);
        zs.next_in = reinterpret_cast<Bytef*>(body.data());
        zs.avail_in = uInt(body.size());
        char out[65536];
        int rc;
        do {
          zs.next_out = reinterpret_cast<Bytef*>(out);
          zs.avail_out = sizeof out;
          rc = inflate(&zs, Z_NO_FLUSH);
          entry.append(out, sizeof out - zs.avail_out);
        } while (rc == Z_OK);
        inflateEnd(&zs);
        if (rc != Z_STREAM_END) return result;
      } else {
        entry = body;
      }
      size_t nul = entry.find('\0');
      if (nul == std::string::npos) return result;
      std::string field = entry.substr(0, nul);
      result.nameFields.push_back(field);
      std::string name = SUB::Item(field, 0, "");
      name = name.substr(0, name.find('*'));
      result.files[name] += entry.substr(nul + 1);
    }
    if (!t.HasFlag(kFlagMorePieces)) break;
    path = base + "." + ZeroPad(piece + 1, 3);
  }
  result.ok = true;
  return result;
}
