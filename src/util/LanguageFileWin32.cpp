#include <windows.h>

#include "util/FileIO.h"
#include "util/Files.h"
#include "util/LanguageFile.h"
#include "util/PlatformHelpers.h"

std::string LanguageFilePath() { return LanguageFilePathFor(ExePath()); }

std::string LanguageString(const std::string& key, const std::string& defaultText) {
  static const std::string file = LanguageFilePath();
  if (!FileExists(file)) return defaultText;
  std::string text = StripLanguageBars(ReadIniString(file, "STRINGS", key, ""));
  return text.empty() ? defaultText : text;
}

std::string LanguageStringArg(const std::string& key, const std::string& defaultText, const std::string& argument) {
  return InsertLanguageArg(LanguageString(key, defaultText), argument);
}
