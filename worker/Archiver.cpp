// Starts the configured archiver on one page and reports its exit code.
#include "worker/Archiver.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwchar>

#include "app/Settings.h"
#include "fw/Handle.h"
#include "fw/LongPath.h"
#include "repair/FolderSuffix.h"
#include "ui/PathText.h"
#include "worker/CmdTemplate.h"
#include "worker/WrkDefs.h"

namespace {

// The page's stem and room for a suffix after it.
struct FolderProbe {
    wchar_t szFolder[kArcBufSize];
    size_t nStem;
};

bool IsPageFolder(const char* pszSuffix, void* context) {
    auto* probe = static_cast<FolderProbe*>(context);
    wchar_t* pszAfterStem = probe->szFolder + probe->nStem;
    if (WidenFolderSuffix(pszSuffix, pszAfterStem, kArcBufSize - probe->nStem) < 0)
        return false;
    const DWORD dwAttrs = GetFileAttributesW(CFilePath(probe->szFolder).Get());
    return dwAttrs != INVALID_FILE_ATTRIBUTES && (dwAttrs & FILE_ATTRIBUTE_DIRECTORY);
}

// The page's path as the archiver gets it: the ordinary form of a "\\?\"
// path where that names the same file (archivers take long paths in the
// ordinary form), the "\\?\" form where only it does (a name ending in a
// dot or a blank, a device name). False when it does not fit.
bool ArchiverPath(const wchar_t* pszPath, wchar_t* pszOut, size_t cchOut) {
    if (!OrdinaryPathForm(pszPath, pszOut, cchOut))
        return false;
    if (wcscmp(pszOut, pszPath) == 0)
        return true;
    wchar_t szFull[kArcBufSize];
    const DWORD n = GetFullPathNameW(pszOut, kArcBufSize, szFull, nullptr);
    if (n == 0 || n >= kArcBufSize || wcscmp(szFull, pszOut) != 0)
        wmemcpy(pszOut, pszPath, wcslen(pszPath) + 1); // fits: it is no shorter
    return true;
}

} // namespace

const char* FindPageFolderSuffix(const wchar_t* pszPath) {
    // The stem as the archiver's template gets it: up to the last '.'.
    const wchar_t* dot = wcsrchr(pszPath, L'.');
    FolderProbe probe;
    probe.nStem = dot ? size_t(dot - pszPath) : kArcBufSize;
    if (probe.nStem >= kArcBufSize)
        return kFolderSuffixes[0];
    wmemcpy(probe.szFolder, pszPath, probe.nStem);
    return FindFolderSuffix(IsPageFolder, &probe);
}

int RunArchiver(const wchar_t* pszJobPath, const char* pszFolderSuffix) {
    // Such a path names no Windows file; an archiver would act on every file
    // the pattern matches, other pages among them.
    if (HasWildcard(pszJobPath))
        return STATUS_WILDCARD_NAME;
    wchar_t szPath[kArcBufSize];
    if (!ArchiverPath(pszJobPath, szPath, kArcBufSize))
        return -1;
    const wchar_t* pszPath = szPath;
    DWORD dwExitCode = DWORD(-1);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = g_bHidden ? SW_HIDE : SW_SHOWNORMAL;

    wchar_t szStem[kArcBufSize];
    wchar_t szFolder[kArcBufSize];
    // Writable: CreateProcessW may write into the command line it is given.
    wchar_t szCmdLine[kArcBufSize];
    // An empty "Arc" means no archiver is configured; it is never left to the
    // platform to pick a program from the command line. A command line that
    // does not fit is not run cut.
    if (!g_szArcExe[0] || !SplitArcPath(pszPath, pszFolderSuffix, szStem, szFolder, kArcBufSize) ||
        !FormatArcCmd(szCmdLine, kArcBufSize, g_szArcCmd, szStem, pszPath, szFolder))
        return -1;

    PROCESS_INFORMATION pi{};
    if (CreateProcessW(g_szArcExe, szCmdLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                       nullptr, nullptr, &si, &pi)) {
        // Closed in reverse order: the thread's handle first, then the process's.
        CHandle hProcess(pi.hProcess);
        CHandle hThread(pi.hThread);
        WaitForSingleObject(hProcess.Get(), INFINITE);
        if (!GetExitCodeProcess(hProcess.Get(), &dwExitCode))
            dwExitCode = DWORD(-1);
    }
    return static_cast<int32_t>(dwExitCode);
}
