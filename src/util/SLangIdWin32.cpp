#include <windows.h>

#include "util/SLangId.h"

unsigned SystemLanguageId() {
  static const unsigned id = [] {
    unsigned primary = PRIMARYLANGID(LANGIDFROMLCID(GetThreadLocale()));
    return primary ? primary : 9u;
  }();
  return id;
}
