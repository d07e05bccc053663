// The settings file "halvok.ini" beside the program: where it is, the
// archiver settings read once at start-up, and the main window's keys.
#include "app/Settings.h"

#include <shlwapi.h>

#include <cwchar>
#include <iterator>
#include <memory>
#include <new>

#include "app/WindowPos.h"

wchar_t g_szIniPath[MAX_PATH];
wchar_t g_szArcCmd[260];
wchar_t g_szArcExe[260];
int g_bHidden = 1;

namespace {

const wchar_t kSection[] = L"Options";
const wchar_t kIniName[] = L"halvok.ini";
// g_szArcCmd holds one space, the template and a NUL.
constexpr size_t kMaxTemplate = sizeof g_szArcCmd / sizeof g_szArcCmd[0] - 2;
// The longest path that GetModuleFileNameW can report.
constexpr DWORD kMaxLongPath = 32768;

// Copies the folder part of pszPath, with a trailing backslash, into pszDir
// (MAX_PATH characters); leaves it empty when the folder does not fit.
void CopyFolderOf(wchar_t* pszPath, wchar_t* pszDir) {
    *PathFindFileNameW(pszPath) = L'\0';
    size_t n = wcslen(pszPath);
    if (n + 2 > MAX_PATH) // room for a backslash and the NUL
        return;
    wmemcpy(pszDir, pszPath, n + 1);
    PathAddBackslashW(pszDir);
}

} // namespace

void GetModuleDir(wchar_t* pszDir) {
    pszDir[0] = L'\0';
    wchar_t szPath[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    if (n == 0)
        return;
    if (n < MAX_PATH) {
        CopyFolderOf(szPath, pszDir);
        return;
    }
    // The path was cut (and, on older systems, left without its NUL): read it
    // whole, so that the folder is never taken from a cut path.
    std::unique_ptr<wchar_t[]> path(new (std::nothrow) wchar_t[kMaxLongPath]);
    if (!path)
        return;
    n = GetModuleFileNameW(nullptr, path.get(), kMaxLongPath);
    if (n > 0 && n < kMaxLongPath)
        CopyFolderOf(path.get(), pszDir);
}

void LoadArcSettings() {
    wchar_t szDir[MAX_PATH];
    GetModuleDir(szDir);
    g_szIniPath[0] = L'\0';
    // Without a usable folder the program runs on the defaults.
    if (szDir[0] && wcslen(szDir) + sizeof kIniName / sizeof kIniName[0] <= MAX_PATH) {
        wmemcpy(g_szIniPath, szDir, wcslen(szDir) + 1);
        PathAppendW(g_szIniPath, kIniName);
    }
    ReadArcSettings();
}

void ReadArcSettings() {
    wchar_t szCom[260] = L"";
    g_szArcExe[0] = L'\0';
    g_bHidden = 1;
    if (g_szIniPath[0]) {
        // Sizes in characters: a template or a program path is never cut
        // for the bytes its characters take in some encoding.
        GetPrivateProfileStringW(kSection, L"Com", L"", szCom, DWORD(std::size(szCom)), g_szIniPath);
        GetPrivateProfileStringW(kSection, L"Arc", L"", g_szArcExe, DWORD(std::size(g_szArcExe)),
                                 g_szIniPath);
        g_bHidden = static_cast<int>(GetPrivateProfileIntW(kSection, L"Hidden", 1, g_szIniPath));
    }
    // A 259-character template would leave no room for the NUL after the
    // leading space: it is cut to 258.
    szCom[kMaxTemplate] = L'\0';
    g_szArcCmd[0] = L' ';
    wmemcpy(g_szArcCmd + 1, szCom, wcslen(szCom) + 1);
}

WindowKeys ReadWindowKeys(const wchar_t* pszIniPath) {
    WindowKeys keys{kDefaultWindowPos, kDefaultWindowPos, 1, 1};
    if (!pszIniPath[0])
        return keys;
    auto readInt = [pszIniPath](const wchar_t* pszKey, int nDefault) {
        return static_cast<int>(GetPrivateProfileIntW(kSection, pszKey, nDefault, pszIniPath));
    };
    keys.nPosX = RestoredWindowPos(readInt(L"PosX", kDefaultWindowPos));
    keys.nPosY = RestoredWindowPos(readInt(L"PosY", kDefaultWindowPos));
    keys.bArc = readInt(L"bArc", 1) != 0;
    keys.bMSIE = readInt(L"bMSIE", 1) != 0;
    return keys;
}

void WriteWindowKeys(const wchar_t* pszIniPath, const RECT& rcWindow, bool bArcChecked,
                     bool bFixChecked) {
    if (!pszIniPath[0])
        return;
    SavedWindowPos pos =
        SaveWindowPos(rcWindow.left, rcWindow.top, GetSystemMetrics(SM_CXMAXIMIZED),
                      GetSystemMetrics(SM_CYMAXIMIZED));
    if (pos.bWrite) {
        wchar_t szNum[34];
        WritePrivateProfileStringW(kSection, L"PosX", _itow(pos.nX, szNum, 10), pszIniPath);
        WritePrivateProfileStringW(kSection, L"PosY", _itow(pos.nY, szNum, 10), pszIniPath);
    }
    WritePrivateProfileStringW(kSection, L"bArc", CheckKeyText(bArcChecked), pszIniPath);
    WritePrivateProfileStringW(kSection, L"bMSIE", CheckKeyText(bFixChecked), pszIniPath);
}
