// The floor for the download benchmark: the plainest WinINet loop (8 KB reads into
// a file, no pumping, no progress). Timed like the stub times its own transfer (its
// "HTTP_DownloadTime:" trace line): from the opening of the URL to the last read.
//   inet_floor URL FILE   ->  BYTES=n, SECONDS=s
#include <windows.h>

#include <wininet.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: inet_floor URL FILE\n");
    return 2;
  }
  LARGE_INTEGER f{}, t0{}, t1{};
  QueryPerformanceFrequency(&f);
  HINTERNET internet = InternetOpenA("inet_floor", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  QueryPerformanceCounter(&t0);
  HINTERNET request = internet ? InternetOpenUrlA(internet, argv[1], nullptr, 0,
                                                  INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                               : nullptr;
  if (!request || file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "open failed: %lu\n", GetLastError());
    return 1;
  }
  static char buffer[8192];
  unsigned long long total = 0;
  DWORD got = 0;
  while (InternetReadFile(request, buffer, sizeof(buffer), &got) && got > 0) {
    DWORD written = 0;
    if (!WriteFile(file, buffer, got, &written, nullptr) || written != got) return 1;
    total += got;
  }
  QueryPerformanceCounter(&t1);
  CloseHandle(file);
  InternetCloseHandle(request);
  InternetCloseHandle(internet);
  std::printf("BYTES=%llu\nSECONDS=%.3f\n", total, double(t1.QuadPart - t0.QuadPart) / double(f.QuadPart));
  return 0;
}
