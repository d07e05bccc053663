// The program's entry point and its one application object. Built into
// halvok.exe only, so that the tests can link the rest.
#include "app/MainApp.h"

#include <commctrl.h>

static CMainApp theApp;

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR /*lpCmdLine*/,
                   int nCmdShow) {
    // The manifest asks for the current common controls; Windows XP draws
    // the dialog's controls with them only once the library is loaded.
    InitCommonControls();
    // The tail is cut from the full command line here rather than taken from
    // the C runtime, so that it follows one rule whichever runtime is linked,
    // and in UTF-16, so that a path in any script reaches the intake whole.
    return AfxWinMain(hInstance, hPrevInstance, AfxCmdLineTail(GetCommandLineW()), nCmdShow);
}
