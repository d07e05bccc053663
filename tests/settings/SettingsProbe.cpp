// Loads the settings as the program does at start-up, from wherever this
// probe was copied, and prints them:
// program folder|ini path|template|archiver|hidden.
#include <cstdio>

#include "app/Settings.h"

int main() {
    char szDir[MAX_PATH];
    GetModuleDir(szDir);
    LoadArcSettings();
    printf("%s|%s|%s|%s|%d", szDir, g_szIniPath, g_szArcCmd, g_szArcExe, g_bHidden);
    return 0;
}
