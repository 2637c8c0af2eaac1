// Builder throughput against plain zlib on the same data in the same run.
//   bench_stubpack [MEGABYTES] [LEVEL]
// Prints MB/s of both, their ratio, and the builder's peak memory.
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "PackageWriter.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Half text-like, half noise: roughly what an application folder holds.
void FillChunk(std::vector<uint8_t>& chunk, uint32_t& state, size_t index) {
  for (size_t i = 0; i < chunk.size(); ++i) {
    state ^= state << 13, state ^= state >> 17, state ^= state << 5;
    chunk[i] = (index % 2) ? uint8_t(state) : uint8_t("etaoin shrdlu\n"[state % 14]);
  }
}

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

}  // namespace

int main(int argc, char** argv) {
  size_t megabytes = argc > 1 ? size_t(std::atoi(argv[1])) : 64;
  int level = argc > 2 ? std::atoi(argv[2]) : 9;
  fs::path dir = fs::temp_directory_path() / ("stubpack-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::string input = (dir / "payload.bin").string();
  std::string stub = (dir / "stub.exe").string();
  {
    std::vector<uint8_t> image(4096, 0);
    image[0] = 'M', image[1] = 'Z', image[0x3D] = 1, image[0x100] = 'P', image[0x101] = 'E';
    FILE* s = std::fopen(stub.c_str(), "wb");
    std::fwrite(image.data(), 1, image.size(), s);
    std::fclose(s);
  }
  std::vector<uint8_t> chunk(1 << 20);
  uint32_t state = 12345;
  FILE* f = std::fopen(input.c_str(), "wb");
  for (size_t i = 0; i < megabytes; ++i) {
    FillChunk(chunk, state, i);
    std::fwrite(chunk.data(), 1, chunk.size(), f);
  }
  std::fclose(f);

  // Plain zlib: stream the same file through deflate in 256 KB steps.
  std::vector<uint8_t> in(256 * 1024), out(256 * 1024);
  auto z0 = Clock::now();
  z_stream zs{};
  deflateInit(&zs, level);
  FILE* r = std::fopen(input.c_str(), "rb");
  uint64_t zlibOut = 0;
  size_t n;
  int flush = Z_NO_FLUSH;
  do {
    n = std::fread(in.data(), 1, in.size(), r);
    flush = n < in.size() ? Z_FINISH : Z_NO_FLUSH;
    zs.next_in = in.data();
    zs.avail_in = uInt(n);
    do {
      zs.next_out = out.data();
      zs.avail_out = uInt(out.size());
      deflate(&zs, flush);
      zlibOut += out.size() - zs.avail_out;
    } while (zs.avail_out == 0);
  } while (flush != Z_FINISH);
  deflateEnd(&zs);
  std::fclose(r);
  double zlibSeconds = Seconds(z0, Clock::now());

  BuildOptions o;
  o.stubPath = stub;
  o.outputPath = (dir / "setup.exe").string();
  o.level = level;
  o.fixedDate = 1700000000;
  o.files = {{input, "payload.bin", "", false, {}}};
  BuildResult result;
  std::string error;
  auto b0 = Clock::now();
  bool ok = WritePackage(o, result, error);
  double buildSeconds = Seconds(b0, Clock::now());
  if (!ok) {
    std::fprintf(stderr, "bench: %s\n", error.c_str());
    return 1;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  double mb = double(megabytes);
  std::printf("payload            %zu MB, zlib level %d\n", megabytes, level);
  std::printf("plain zlib         %8.1f MB/s  (%llu bytes out)\n", mb / zlibSeconds,
              static_cast<unsigned long long>(zlibOut));
  std::printf("stubpack build     %8.1f MB/s  (%llu bytes out)\n", mb / buildSeconds,
              static_cast<unsigned long long>(fs::file_size(o.outputPath)));
  std::printf("speed ratio        %8.3f  (stubpack / zlib)\n", zlibSeconds / buildSeconds);
  std::printf("peak memory        %8.1f MB  (whole process)\n", double(usage.ru_maxrss) / 1024.0);
  fs::remove_all(dir);
  return 0;
}
