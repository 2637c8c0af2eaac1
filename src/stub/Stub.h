// What the entry offers the rest of the stub: the own package, the agent flag, the
// instance class name and the process exit code.
#pragma once
#include <string>

class TGFileInfo;

const TGFileInfo& OwnPackage();
bool IsAgent();
const std::string& InstanceClass();
void SetProcessExitCode(int code);
// Sets the exit code unless something has set one already (0 counts as unset).
void SetProcessExitCodeIfUnset(int code);
void DoRunStubWin();
// The program's own file version, "a.b.c.d".
std::string OwnVersionText();
