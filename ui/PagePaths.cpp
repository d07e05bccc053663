// The intake's path rules: the stored name of a path, the pages a path
// names, the paths of a command line. Every call is a wide one: no path
// passes through the ANSI code page.
#include "ui/PagePaths.h"

#include <windows.h>
#include <shlwapi.h>

#include <cwchar>

#include "fw/Handle.h"
#include "ui/CmdLine.h"
#include "ui/PageExt.h"

namespace {

constexpr size_t kPathBuf = 1024; // resolved paths, command-line tokens, job paths

bool IsPage(const wchar_t* pszPath) {
    return IsPageExtension(PathFindExtensionW(pszPath));
}

} // namespace

void ResolveFileName(const wchar_t* pszPath, wchar_t* pszOut) {
    size_t nPath = wcslen(pszPath);
    if (nPath >= kPathBuf) {
        pszOut[0] = L'\0';
        return;
    }
    wmemcpy(pszOut, pszPath, nPath + 1);
    // Windows takes "/" for a separator too: C:\pages/news.html names the
    // page in C:\pages, and only news.html is replaced.
    const wchar_t* pszSep = wcsrchr(pszPath, L'\\');
    if (const wchar_t* pszSlash = wcsrchr(pszPath, L'/'))
        if (!pszSep || pszSlash > pszSep)
            pszSep = pszSlash;
    if (!pszSep)
        return; // a bare name or "C:name": taken as given

    WIN32_FIND_DATAW fd;
    CFindHandle hFind(FindFirstFileW(pszPath, &fd));
    if (!hFind.IsValid())
        return;
    pszOut[pszSep - pszPath] = L'\0';
    if (!PathAppendW(pszOut, fd.cFileName) || wcslen(pszOut) >= kPathBuf)
        pszOut[0] = L'\0';
}

void ForEachPage(const wchar_t* pszPath, PageFn pfnPage, void* pContext) {
    wchar_t szResolved[kPathBuf];
    ResolveFileName(pszPath, szResolved);
    if (!szResolved[0])
        return;

    DWORD dwAttr = GetFileAttributesW(szResolved);
    if (dwAttr == INVALID_FILE_ATTRIBUTES || !(dwAttr & FILE_ATTRIBUTE_DIRECTORY)) {
        if (IsPage(szResolved))
            pfnPage(szResolved, pContext);
        return;
    }

    // A folder: its pages, one level deep, in directory-search order.
    size_t nFolder = wcslen(szResolved);
    if (nFolder >= MAX_PATH)
        return;
    wchar_t szEntry[MAX_PATH];
    wmemcpy(szEntry, szResolved, nFolder + 1);
    if (!PathAppendW(szEntry, L"*.*htm*"))
        return;
    WIN32_FIND_DATAW fd;
    CFindHandle hFind(FindFirstFileW(szEntry, &fd));
    if (!hFind.IsValid())
        return;
    do {
        wmemcpy(szEntry, szResolved, nFolder + 1);
        if (!PathAppendW(szEntry, fd.cFileName))
            continue; // the entry's path would not fit MAX_PATH
        // An entry whose attributes cannot be read back (gone meanwhile, or
        // refused) is told from a folder by the search's own attributes, and
        // such a page still becomes a job, reported on like a missing page
        // rather than passed over in silence.
        dwAttr = GetFileAttributesW(szEntry);
        if (dwAttr == INVALID_FILE_ATTRIBUTES)
            dwAttr = fd.dwFileAttributes;
        if (dwAttr & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (IsPage(szEntry))
            pfnPage(szEntry, pContext);
    } while (FindNextFileW(hFind.Get(), &fd));
}

void ForEachCmdLinePath(const wchar_t* pszTail, PathFn pfnPath, void* pContext) {
    CmdLineSplitter split(pszTail);
    const wchar_t* pToken;
    size_t nToken;
    while (split.Next(&pToken, &nToken)) {
        if (nToken >= kPathBuf)
            continue; // too long for any path buffer: no job
        wchar_t szToken[kPathBuf];
        wmemcpy(szToken, pToken, nToken);
        szToken[nToken] = L'\0';
        pfnPath(szToken, pContext);
    }
}
