// The intake's path rules: the stored name of a path, the pages a path
// names, the paths of a command line.
#include "ui/PagePaths.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>

#include "fw/Handle.h"
#include "ui/CmdLine.h"
#include "ui/PageExt.h"

namespace {

constexpr size_t kPathBuf = 1024; // resolved paths, command-line tokens, job paths

bool IsPage(const char* pszPath) {
    return IsPageExtension(PathFindExtensionA(pszPath));
}

} // namespace

void ResolveFileName(const char* pszPath, char* pszOut) {
    size_t nPath = strlen(pszPath);
    if (nPath >= kPathBuf) {
        pszOut[0] = '\0';
        return;
    }
    memcpy(pszOut, pszPath, nPath + 1);
    // Windows takes "/" for a separator too: C:\pages/news.html names the
    // page in C:\pages, and only news.html is replaced.
    const char* pszSep = strrchr(pszPath, '\\');
    if (const char* pszSlash = strrchr(pszPath, '/'))
        if (!pszSep || pszSlash > pszSep)
            pszSep = pszSlash;
    if (!pszSep)
        return; // a bare name or "C:name": taken as given

    WIN32_FIND_DATAA fd;
    CFindHandle hFind(FindFirstFileA(pszPath, &fd));
    if (!hFind.IsValid())
        return;
    pszOut[pszSep - pszPath] = '\0';
    if (!PathAppendA(pszOut, fd.cFileName) || strlen(pszOut) >= kPathBuf)
        pszOut[0] = '\0';
}

void ForEachPage(const char* pszPath, PageFn pfnPage, void* pContext) {
    char szResolved[kPathBuf];
    ResolveFileName(pszPath, szResolved);
    if (!szResolved[0])
        return;

    DWORD dwAttr = GetFileAttributesA(szResolved);
    if (dwAttr == INVALID_FILE_ATTRIBUTES || !(dwAttr & FILE_ATTRIBUTE_DIRECTORY)) {
        if (IsPage(szResolved))
            pfnPage(szResolved, pContext);
        return;
    }

    // A folder: its pages, one level deep, in directory-search order.
    size_t nFolder = strlen(szResolved);
    if (nFolder >= MAX_PATH)
        return;
    char szEntry[MAX_PATH];
    memcpy(szEntry, szResolved, nFolder + 1);
    if (!PathAppendA(szEntry, "*.*htm*"))
        return;
    WIN32_FIND_DATAA fd;
    CFindHandle hFind(FindFirstFileA(szEntry, &fd));
    if (!hFind.IsValid())
        return;
    do {
        memcpy(szEntry, szResolved, nFolder + 1);
        if (!PathAppendA(szEntry, fd.cFileName))
            continue; // the entry's path would not fit MAX_PATH
        // A name the ANSI code page cannot carry comes back with "?" or a
        // look-alike letter and names no file: the search's own attributes
        // then tell a folder, and such a page still becomes a job, reported
        // on like a missing page rather than passed over in silence.
        dwAttr = GetFileAttributesA(szEntry);
        if (dwAttr == INVALID_FILE_ATTRIBUTES)
            dwAttr = fd.dwFileAttributes;
        if (dwAttr & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (IsPage(szEntry))
            pfnPage(szEntry, pContext);
    } while (FindNextFileA(hFind.Get(), &fd));
}

void ForEachCmdLinePath(const char* pszTail, PathFn pfnPath, void* pContext) {
    CmdLineSplitter split(pszTail);
    const char* pToken;
    size_t nToken;
    while (split.Next(&pToken, &nToken)) {
        if (nToken >= kPathBuf)
            continue; // too long for any path buffer: no job
        char szToken[kPathBuf];
        memcpy(szToken, pToken, nToken);
        szToken[nToken] = '\0';
        pfnPath(szToken, pContext);
    }
}
