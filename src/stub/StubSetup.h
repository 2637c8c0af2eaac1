// The setup flow: from the package to the engine, run by the main window's first tick.
#pragma once
#include <windows.h>

void RunSetupFlow(HWND mainWindow);
