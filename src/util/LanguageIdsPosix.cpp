#include "util/LanguageIds.h"

// Native builds have no Windows locale: the builder and the tests see English.
unsigned SystemLanguageId() { return 9; }
