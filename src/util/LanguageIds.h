// Language names from Windows language identifiers.
#pragma once
#include <string>

// The upper-case English name of the first table row whose number is the
// identifier's (at least two-digit) decimal text; empty when none is.
std::string LanguageNameFromId(unsigned id);

// Primary language identifier of the thread locale read at start-up; 9 (English)
// when the platform reports none.
unsigned SystemLanguageId();

// LanguageNameFromId(SystemLanguageId()).
std::string SystemLanguageName();
