#include "stub/StubGlob.h"

StubGlobals& Globals() {
  static StubGlobals globals;
  return globals;
}
