#include "util/LanguageIds.h"

#include <cstring>

namespace {

// Rows 1-43 carry primary identifiers, the rest full identifiers. A number must match
// a row exactly: a substring test would turn Armenian (43) into Dutch (1043).
struct LanguageRow {
  const char* name;
  const char* number;
};
constexpr LanguageRow kLanguageTable[] = {
    {"AFRIKAANS", "54"},  {"ALBANIAN", "28"},   {"ARABIC", "01"},       {"BASQUE", "45"},
    {"BELARUSIAN", "35"}, {"BULGARIAN", "02"},  {"CATALAN", "03"},      {"CHINESE", "04"},
    {"CROATIAN", "26"},   {"CZECH", "05"},      {"DANISH", "06"},       {"DUTCH", "19"},
    {"ENGLISH", "09"},    {"ESTONIAN", "37"},   {"FAEROESE", "56"},     {"FARSI", "41"},
    {"FINNISH", "11"},    {"FRENCH", "12"},     {"GERMAN", "07"},       {"GREEK", "08"},
    {"HEBREW", "13"},     {"HUNGARIAN", "14"},  {"ICELANDIC", "15"},    {"INDONESIAN", "33"},
    {"ITALIAN", "16"},    {"JAPANESE", "17"},   {"KOREAN", "18"},       {"LATVIAN", "38"},
    {"LITHUANIAN", "39"}, {"NORWEGIAN", "20"},  {"POLISH", "21"},       {"PORTUGUESE", "22"},
    {"ROMANIAN", "24"},   {"RUSSIAN", "25"},    {"SERBIAN", "26"},      {"SLOVAK", "27"},
    {"SLOVENIAN", "36"},  {"SPANISH", "10"},    {"SWEDISH", "29"},      {"THAI", "30"},
    {"TURKISH", "31"},    {"UKRAINIAN", "34"},  {"VIETNAMESE", "42"},
    {"CHINESE(SIMPLIFIED)", "2052"},  {"CHINESE(TRADITIONAL)", "1028"},
    {"DUTCH(FLEMISH)", "2067"},       {"DUTCH(STANDARD)", "1043"},
    {"PORTUGUESE(PORTUGAL)", "2070"}, {"PORTUGUESE(BRAZIL)", "1046"},
    {"SERBIAN(LATIN)", "2074"},       {"SERBIAN(CYRILIC)", "3098"},
};

}  // namespace

std::string LanguageNameFromId(unsigned id) {
  // At least two digits, as the table writes its primary identifiers.
  char digits[16];
  char* p = digits + sizeof digits;
  *--p = 0;
  do {
    *--p = char('0' + id % 10);
    id /= 10;
  } while (id || p > digits + sizeof digits - 3);
  for (const LanguageRow& row : kLanguageTable)
    if (std::strcmp(row.number, p) == 0) return row.name;
  return "";
}

std::string SystemLanguageName() { return LanguageNameFromId(SystemLanguageId()); }
