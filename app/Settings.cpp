// The settings file "halvok.ini" beside the program: where it is, the
// archiver settings read once at start-up, and the main window's keys.
#include "app/Settings.h"

#include <shlwapi.h>

#include <cstring>
#include <memory>
#include <new>

#include "app/WindowPos.h"

char g_szIniPath[MAX_PATH];
char g_szArcCmd[260];
char g_szArcExe[260];
int g_bHidden = 1;

namespace {

const char kSection[] = "Options";
const char kIniName[] = "halvok.ini";
// g_szArcCmd holds one space, the template and a NUL.
constexpr size_t kMaxTemplate = sizeof g_szArcCmd - 2;
// The longest path that GetModuleFileNameA can report.
constexpr DWORD kMaxLongPath = 32768;

// Copies the folder part of pszPath, with a trailing backslash, into pszDir
// (MAX_PATH bytes); leaves it empty when the folder does not fit.
void CopyFolderOf(char* pszPath, char* pszDir) {
    *PathFindFileNameA(pszPath) = '\0';
    size_t n = strlen(pszPath);
    if (n + 2 > MAX_PATH) // room for a backslash and the NUL
        return;
    memcpy(pszDir, pszPath, n + 1);
    PathAddBackslashA(pszDir);
}

} // namespace

void GetModuleDir(char* pszDir) {
    pszDir[0] = '\0';
    char szPath[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    if (n == 0)
        return;
    if (n < MAX_PATH) {
        CopyFolderOf(szPath, pszDir);
        return;
    }
    // The path was cut (and, on older systems, left without its NUL): read it
    // whole, so that the folder is never taken from a cut path.
    std::unique_ptr<char[]> path(new (std::nothrow) char[kMaxLongPath]);
    if (!path)
        return;
    n = GetModuleFileNameA(nullptr, path.get(), kMaxLongPath);
    if (n > 0 && n < kMaxLongPath)
        CopyFolderOf(path.get(), pszDir);
}

void LoadArcSettings() {
    char szDir[MAX_PATH];
    GetModuleDir(szDir);
    g_szIniPath[0] = '\0';
    // Without a usable folder the program runs on the defaults.
    if (szDir[0] && strlen(szDir) + sizeof kIniName <= MAX_PATH) {
        memcpy(g_szIniPath, szDir, strlen(szDir) + 1);
        PathAppendA(g_szIniPath, kIniName);
    }
    ReadArcSettings();
}

void ReadArcSettings() {
    char szCom[260] = "";
    g_szArcExe[0] = '\0';
    g_bHidden = 1;
    if (g_szIniPath[0]) {
        GetPrivateProfileStringA(kSection, "Com", "", szCom, sizeof szCom, g_szIniPath);
        GetPrivateProfileStringA(kSection, "Arc", "", g_szArcExe, sizeof g_szArcExe, g_szIniPath);
        g_bHidden = static_cast<int>(GetPrivateProfileIntA(kSection, "Hidden", 1, g_szIniPath));
    }
    // A 259-character template would leave no room for the NUL after the
    // leading space: it is cut to 258.
    szCom[kMaxTemplate] = '\0';
    g_szArcCmd[0] = ' ';
    memcpy(g_szArcCmd + 1, szCom, strlen(szCom) + 1);
}

WindowKeys ReadWindowKeys(const char* pszIniPath) {
    WindowKeys keys{kDefaultWindowPos, kDefaultWindowPos, 1, 1};
    if (!pszIniPath[0])
        return keys;
    auto readInt = [pszIniPath](const char* pszKey, int nDefault) {
        return static_cast<int>(GetPrivateProfileIntA(kSection, pszKey, nDefault, pszIniPath));
    };
    keys.nPosX = RestoredWindowPos(readInt("PosX", kDefaultWindowPos));
    keys.nPosY = RestoredWindowPos(readInt("PosY", kDefaultWindowPos));
    keys.bArc = readInt("bArc", 1) != 0;
    keys.bMSIE = readInt("bMSIE", 1) != 0;
    return keys;
}

void WriteWindowKeys(const char* pszIniPath, const RECT& rcWindow, bool bArcChecked,
                     bool bFixChecked) {
    if (!pszIniPath[0])
        return;
    SavedWindowPos pos =
        SaveWindowPos(rcWindow.left, rcWindow.top, GetSystemMetrics(SM_CXMAXIMIZED),
                      GetSystemMetrics(SM_CYMAXIMIZED));
    if (pos.bWrite) {
        char szNum[34];
        WritePrivateProfileStringA(kSection, "PosX", _itoa(pos.nX, szNum, 10), pszIniPath);
        WritePrivateProfileStringA(kSection, "PosY", _itoa(pos.nY, szNum, 10), pszIniPath);
    }
    WritePrivateProfileStringA(kSection, "bArc", CheckKeyText(bArcChecked), pszIniPath);
    WritePrivateProfileStringA(kSection, "bMSIE", CheckKeyText(bFixChecked), pszIniPath);
}
