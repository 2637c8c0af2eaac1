// The verification benchmark's driver: the SHA-256 of one file through the stub's own
// CNG code (the same calls a keyed agent makes on a downloaded package), timed.
//   sha256_cng.exe FILE   prints "sha256=<hex>" and "ms=<milliseconds>"
#include <windows.h>

#include <cstdio>
#include <string>

#include "util/Cng.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sha256_cng FILE\n");
    return 2;
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  Sha256Digest digest{};
  std::string error;
  bool ok = Sha256OfFile(argv[1], digest, error);
  QueryPerformanceCounter(&end);
  if (!ok) {
    std::fprintf(stderr, "sha256_cng: %s\n", error.c_str());
    return 1;
  }
  std::printf("sha256=");
  for (uint8_t b : digest) std::printf("%02x", b);
  std::printf("\nms=%.1f\n", double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart));
  return 0;
}
