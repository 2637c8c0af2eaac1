#include <windows.h>

#include "util/LanguageIds.h"

unsigned SystemLanguageId() {
  static const unsigned id = [] {
    unsigned primary = PRIMARYLANGID(LANGIDFROMLCID(GetThreadLocale()));
    return primary ? primary : 9u;
  }();
  return id;
}
