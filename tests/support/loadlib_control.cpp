// Loads each named library by its bare name, the way a careless program would; the
// planted-library test uses it to prove that a planted DLL does get picked up.
#include <windows.h>

int main(int argc, char** argv) {
  int missing = 0;
  for (int i = 1; i < argc; ++i)
    if (!LoadLibraryA(argv[i])) ++missing;
  return missing;
}
