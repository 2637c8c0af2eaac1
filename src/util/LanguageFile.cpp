#include "util/LanguageFile.h"

#include "package/PackageReader.h"
#include "util/SeparatorLists.h"

std::string LanguageFilePathFor(const std::string& programPath) {
  size_t cut = programPath.find_last_of("\\/");
  std::string folder = cut == std::string::npos ? std::string() : programPath.substr(0, cut + 1);
  return folder + "HELP\\" + kLanguageFolderName + "\\" + kLanguageFileName;
}

std::string StripLanguageBars(const std::string& text) {
  if (text == "|") return "";
  if (text.size() >= 2 && text.front() == '|' && text.back() == '|') return text.substr(1, text.size() - 2);
  return text;
}

std::string InsertLanguageArg(const std::string& text, const std::string& argument) {
  return ReplaceAll(text, "<?>", argument);
}

std::string LanguageSetting(const TGFileInfo& package, const std::string& key, const std::string& defaultText) {
  return package.GetLangString(key, defaultText);
}
