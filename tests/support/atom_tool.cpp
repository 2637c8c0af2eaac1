// Global atoms for the tests, seen from outside the programs under test.
//   atom_tool add NAME      adds one reference, prints "atom=<number>"
//   atom_tool find NAME     prints "found=1" or "found=0"
//   atom_tool delete NAME   deletes one reference, prints "deleted=1" or "deleted=0"
//   atom_tool purge NAME    deletes every reference, prints "deleted=<count>"
// Exit code 0, or 1 when add fails, 2 for bad usage.
#include <windows.h>

#include <cstring>
#include <string>

namespace {

void Out(const std::string& line) {
  std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), DWORD(text.size()), &written, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::strlen(argv[2]) == 0 || std::strlen(argv[2]) > 255) {
    Out("usage: atom_tool add|find|delete|purge NAME");
    return 2;
  }
  std::string verb = argv[1];
  const char* name = argv[2];
  if (verb == "add") {
    ATOM a = GlobalAddAtomA(name);
    Out("atom=" + std::to_string(a));
    return a ? 0 : 1;
  }
  if (verb == "find") {
    Out(std::string("found=") + (GlobalFindAtomA(name) ? "1" : "0"));
    return 0;
  }
  if (verb == "delete") {
    ATOM a = GlobalFindAtomA(name);
    if (a) GlobalDeleteAtom(a);
    Out(std::string("deleted=") + (a ? "1" : "0"));
    return 0;
  }
  if (verb == "purge") {
    int count = 0;
    // An atom holds at most 0xFFFF references; the bound keeps a broken table from
    // turning this into an endless loop.
    for (ATOM a; count < 0x10000 && (a = GlobalFindAtomA(name)) != 0; ++count) GlobalDeleteAtom(a);
    Out("deleted=" + std::to_string(count));
    return 0;
  }
  Out("usage: atom_tool add|find|delete|purge NAME");
  return 2;
}
