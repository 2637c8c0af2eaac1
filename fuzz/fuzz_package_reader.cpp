// The package reader over arbitrary bytes: a setup file may come from a download.
#include <cstddef>
#include <cstdint>
#include <string>

#include "package/PackageReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFile file(data, size);
  TGFileInfo info(file);
  // Every query must answer without crashing, whatever the bytes said.
  (void)info.GetInfoFileName();
  (void)info.GetOriginalSettingsName();
  (void)info.GetPackageToken(true);
  (void)info.GetDownloadToken(true);
  (void)info.GetLangString("s0", "x");
  (void)info.GetCharset();
  (void)info.GetFontSize();
  // The reader never holds more than the file.
  if (info.LanguageList().size() + info.PackageHeader().size() + info.DownloadHeader().size() > size)
    __builtin_trap();
  if (info.IsValid() && info.Trailer().StartOffset > size) __builtin_trap();
  ResetLanguageCache();

  std::string text(reinterpret_cast<const char*>(data), size);
  (void)ComputeChecksum(file, uint32_t(size));
  (void)ReadStampedLength(text);
  if (auto token = DecodeToken(text); token && token->size() > size / 2) __builtin_trap();
  InfoLine line = ParseInfoLine(text);
  if (line.rest.size() > size) __builtin_trap();
  return 0;
}
