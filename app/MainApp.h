// The application object: sets up the settings, the run mutex and the
// worker, runs the main dialog, and shuts the worker down in order.
#pragma once

#include "fw/WinApp.h"

class CMainApp : public CWinApp {
  public:
    // Settings, run mutex, worker, nudge, then the main dialog modally.
    // FALSE on every path: the framework goes on to ExitInstance.
    BOOL InitInstance() override;
    // Releases the run mutex, stops the worker and waits for it without a
    // time limit, closes the mutex. Steps for a mutex or worker that a failed
    // start never made are skipped. Returns the framework's exit code.
    int ExitInstance() override;
};
