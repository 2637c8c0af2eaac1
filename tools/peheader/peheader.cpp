// peheader: moves the PE header of a linked executable to a fixed file offset and
// reports what the loader will see (header offset, subsystem, imported DLLs).
//
// The stub keeps the stamped length of a setup file at 0xF8..0xFF, inside the DOS
// header area, and only trusts it when "PE" stands at exactly 0x100. GNU ld always
// places the PE header at 0x80, so the build moves it after linking.
//
//   peheader move IN OUT OFFSET   copy IN to OUT with the PE header at OFFSET
//   peheader info FILE            print pe_offset, machine, subsystem, import lines
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

bool ReadAll(const char* path, Bytes& out) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool WriteAll(const std::string& path, const Bytes& data) {
  std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  ok = (std::fclose(f) == 0) && ok;
  if (ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(tmp.c_str());
  return ok;
}

uint32_t U16(const Bytes& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t U32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

struct Layout {
  size_t peOffset = 0;      // "PE\0\0"
  size_t optOffset = 0;     // optional header
  size_t optSize = 0;
  size_t sectionTable = 0;
  unsigned sections = 0;
  size_t headerEnd = 0;     // end of the section table
  uint32_t sizeOfHeaders = 0;
};

bool Parse(const Bytes& b, Layout& l, std::string& why) {
  if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z') return why = "not an MZ executable", false;
  l.peOffset = U32(b, 0x3C);
  if (l.peOffset + 24 > b.size() || std::memcmp(&b[l.peOffset], "PE\0\0", 4) != 0)
    return why = "no PE signature", false;
  l.sections = U16(b, l.peOffset + 6);
  l.optSize = U16(b, l.peOffset + 20);
  l.optOffset = l.peOffset + 24;
  l.sectionTable = l.optOffset + l.optSize;
  l.headerEnd = l.sectionTable + 40 * size_t(l.sections);
  if (l.optSize < 64 || l.headerEnd > b.size()) return why = "truncated PE header", false;
  l.sizeOfHeaders = U32(b, l.optOffset + 60);
  return true;
}

size_t RvaToOffset(const Bytes& b, const Layout& l, uint32_t rva) {
  for (unsigned i = 0; i < l.sections; ++i) {
    size_t s = l.sectionTable + 40 * size_t(i);
    uint32_t vsize = U32(b, s + 8), va = U32(b, s + 12), rawSize = U32(b, s + 16), raw = U32(b, s + 20);
    uint32_t span = vsize > rawSize ? vsize : rawSize;
    if (rva >= va && rva - va < span) return size_t(raw) + (rva - va);
  }
  return SIZE_MAX;
}

int Move(const char* in, const char* out, const char* offsetText) {
  Bytes b;
  if (!ReadAll(in, b)) return std::fprintf(stderr, "peheader: cannot read %s\n", in), 1;
  Layout l;
  std::string why;
  if (!Parse(b, l, why)) return std::fprintf(stderr, "peheader: %s: %s\n", in, why.c_str()), 1;
  size_t target = std::strtoul(offsetText, nullptr, 0);
  size_t length = l.headerEnd - l.peOffset;
  size_t firstRaw = l.sizeOfHeaders;
  for (unsigned i = 0; i < l.sections; ++i) {
    uint32_t raw = U32(b, l.sectionTable + 40 * size_t(i) + 20);
    if (raw != 0 && raw < firstRaw) firstRaw = raw;
  }
  if (target < 0x40 || target % 8 != 0 || target + length > firstRaw || target + length > b.size())
    return std::fprintf(stderr, "peheader: %s: no room for the PE header at 0x%zx\n", in, target), 1;
  if (target != l.peOffset) {
    Bytes header(b.begin() + l.peOffset, b.begin() + l.headerEnd);
    std::fill(b.begin() + std::min(l.peOffset, target), b.begin() + std::max(l.headerEnd, target + length), 0);
    std::copy(header.begin(), header.end(), b.begin() + target);
    Put32(b, 0x3C, uint32_t(target));
  }
  if (!WriteAll(out, b)) return std::fprintf(stderr, "peheader: cannot write %s\n", out), 1;
  return 0;
}

int Info(const char* path) {
  Bytes b;
  if (!ReadAll(path, b)) return std::fprintf(stderr, "peheader: cannot read %s\n", path), 1;
  Layout l;
  std::string why;
  if (!Parse(b, l, why)) return std::fprintf(stderr, "peheader: %s: %s\n", path, why.c_str()), 1;
  std::printf("pe_offset=0x%zx\nmachine=0x%x\nsubsystem=%u\n", l.peOffset, U16(b, l.peOffset + 4),
              U16(b, l.optOffset + 68));
  bool pe32plus = U16(b, l.optOffset) == 0x20B;
  size_t dirs = l.optOffset + (pe32plus ? 112 : 96);
  if (dirs + 16 > l.sectionTable) return 0;
  size_t desc = RvaToOffset(b, l, U32(b, dirs + 8));
  for (; desc != SIZE_MAX && desc + 20 <= b.size(); desc += 20) {
    uint32_t nameRva = U32(b, desc + 12);
    if (nameRva == 0) break;
    size_t name = RvaToOffset(b, l, nameRva);
    std::string dll;
    for (; name < b.size() && b[name] != 0 && dll.size() < 256; ++name) dll += char(b[name]);
    std::printf("import=%s\n", dll.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "move") == 0) return Move(argv[2], argv[3], argv[4]);
  if (argc == 3 && std::strcmp(argv[1], "info") == 0) return Info(argv[2]);
  std::fprintf(stderr, "usage: peheader move IN OUT OFFSET | peheader info FILE\n");
  return 2;
}
