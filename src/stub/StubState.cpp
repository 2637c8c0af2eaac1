#include "stub/StubState.h"

StubGlobals& Globals() {
  static StubGlobals globals;
  return globals;
}
