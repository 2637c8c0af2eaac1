#include "stub/StubSetup.h"

#include "stub/StubUtil.h"
#include "util/VDebug.h"

// The frame of the flow: it takes the setup temp folder, and when it is done removes
// the folder and ends the main loop. Extraction and the engine start run in between.
void RunSetupFlow(HWND mainWindow) {
  KillTimer(mainWindow, 1);
  std::string folder = SetupTempFolder();
  DebugWriteLine(" ==== SetupTempFolder=" + folder);
  RemoveSetupTempFolder();
  PostQuitMessage(0);
}
