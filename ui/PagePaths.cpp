// The intake's path rules: the stored name of a path, the pages a path
// names, the paths of a command line, patterns, and a page named twice.
// Every call is a wide one, past MAX_PATH in the "\\?\" form: no path passes
// through the ANSI code page or the shell's MAX_PATH-bound helpers.
#include "ui/PagePaths.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "fw/Handle.h"
#include "fw/LongPath.h"
#include "ui/CmdLine.h"
#include "ui/PageExt.h"
#include "ui/PathText.h"
#include "worker/WrkDefs.h"

namespace {

bool IsPage(const wchar_t* pszPath) {
    return IsPageExtension(PathFindExtensionW(FileNamePart(pszPath)));
}

bool IsDotEntry(const wchar_t* pszName) {
    return wcscmp(pszName, L".") == 0 || wcscmp(pszName, L"..") == 0;
}

// A name the file system refuses outright (characters or a form no file
// can have), as opposed to one that names no file now.
bool IsRefusedName(DWORD dwError) {
    return dwError == ERROR_INVALID_NAME || dwError == ERROR_BAD_PATHNAME;
}

// The key under which a page counts as seen: its full path in the ordinary
// form, in upper case, as Windows compares names. From malloc; null when
// memory ran out.
wchar_t* FoldedKey(const wchar_t* pszPath) {
    wchar_t szOrdinary[kJobPathBuf];
    if (!OrdinaryPathForm(pszPath, szOrdinary, kJobPathBuf))
        return nullptr;
    wchar_t szFull[2048];
    const wchar_t* pszKey = szOrdinary;
    const DWORD n = GetFullPathNameW(szOrdinary, 2048, szFull, nullptr);
    if (n > 0 && n < 2048)
        pszKey = szFull;
    const size_t nKey = wcslen(pszKey);
    auto* pszFolded = static_cast<wchar_t*>(malloc((nKey + 1) * sizeof(wchar_t)));
    if (!pszFolded)
        return nullptr;
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, pszKey, int(nKey + 1), pszFolded,
                     int(nKey + 1)) == 0)
        wmemcpy(pszFolded, pszKey, nKey + 1);
    return pszFolded;
}

} // namespace

void ResolveFileName(const wchar_t* pszPath, wchar_t* pszOut) {
    size_t nPath = wcslen(pszPath);
    if (nPath >= kJobPathBuf) {
        pszOut[0] = L'\0';
        return;
    }
    wmemcpy(pszOut, pszPath, nPath + 1);
    // Windows takes "/" for a separator too: C:\pages/news.html names the
    // page in C:\pages, and only news.html is replaced.
    const wchar_t* pszName = FileNamePart(pszPath);
    if (pszName == pszPath)
        return; // a bare name or "C:name": taken as given

    WIN32_FIND_DATAW fd;
    CFindHandle hFind(FindFirstFileW(CFilePath(pszPath).Get(), &fd));
    if (!hFind.IsValid())
        return;
    const size_t nFolder = size_t(pszName - pszPath); // with its separator
    const size_t nName = wcslen(fd.cFileName);
    if (nFolder + nName >= kJobPathBuf) {
        pszOut[0] = L'\0';
        return;
    }
    wmemcpy(pszOut + nFolder, fd.cFileName, nName + 1);
}

PageIntake::~PageIntake() {
    for (size_t i = 0; i < m_nSeen; ++i)
        free(m_ppSeen[i]);
    free(m_ppSeen);
}

void PageIntake::Refuse(const wchar_t* pName, size_t nName, int32_t nStatus) {
    // The line shows the name; one too long for the job is cut.
    wchar_t szName[kJobPathBuf];
    if (nName >= kJobPathBuf)
        nName = kJobPathBuf - 1;
    wmemcpy(szName, pName, nName);
    szName[nName] = L'\0';
    m_pfn(szName, nStatus, m_pContext);
}

bool PageIntake::Seen(const wchar_t* pszPath) {
    wchar_t* pszKey = FoldedKey(pszPath);
    if (!pszKey)
        return false; // no memory to tell: the page is taken
    size_t lo = 0, hi = m_nSeen;
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        const int cmp = wcscmp(m_ppSeen[mid], pszKey);
        if (cmp == 0) {
            free(pszKey);
            return true;
        }
        if (cmp < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (m_nSeen == m_nSeenCapacity) {
        const size_t nGrown = m_nSeenCapacity ? 2 * m_nSeenCapacity : 64;
        void* p = realloc(m_ppSeen, nGrown * sizeof *m_ppSeen);
        if (!p) {
            free(pszKey);
            return false;
        }
        m_ppSeen = static_cast<wchar_t**>(p);
        m_nSeenCapacity = nGrown;
    }
    memmove(m_ppSeen + lo + 1, m_ppSeen + lo, (m_nSeen - lo) * sizeof *m_ppSeen);
    m_ppSeen[lo] = pszKey;
    ++m_nSeen;
    return false;
}

void PageIntake::Page(const wchar_t* pszPath) {
    if (!Seen(pszPath))
        m_pfn(pszPath, STATUS_OK, m_pContext);
}

void PageIntake::AddPath(const wchar_t* pPath, size_t nPath, bool bPattern) {
    if (nPath >= kJobPathBuf) {
        // The name is what follows the last separator within the path.
        size_t nName = 0;
        while (nName < nPath && pPath[nPath - nName - 1] != L'\\' &&
               pPath[nPath - nName - 1] != L'/')
            ++nName;
        Refuse(pPath + nPath - nName, nName, STATUS_PATH_TOO_LONG);
        return;
    }
    wchar_t szPath[kJobPathBuf];
    wmemcpy(szPath, pPath, nPath);
    szPath[nPath] = L'\0';
    if (bPattern && FindWildcard(szPath))
        AddPattern(szPath);
    else
        AddResolved(szPath);
}

void PageIntake::AddResolved(const wchar_t* pszPath) {
    wchar_t szResolved[kJobPathBuf];
    ResolveFileName(pszPath, szResolved);
    if (!szResolved[0]) {
        // Its stored name (the long name of a short alias) makes it too long.
        const wchar_t* pszName = FileNamePart(pszPath);
        Refuse(pszName, wcslen(pszName), STATUS_PATH_TOO_LONG);
        return;
    }
    const DWORD dwAttr = GetFileAttributesW(CFilePath(szResolved).Get());
    if (dwAttr == INVALID_FILE_ATTRIBUTES && IsRefusedName(GetLastError())) {
        const wchar_t* pszName = FileNamePart(szResolved);
        Refuse(pszName, wcslen(pszName), STATUS_NAME_REFUSED);
    } else if (dwAttr != INVALID_FILE_ATTRIBUTES && (dwAttr & FILE_ATTRIBUTE_DIRECTORY)) {
        AddFolder(szResolved);
    } else if (IsPage(szResolved)) {
        Page(szResolved);
    }
}

void PageIntake::AddFolder(const wchar_t* pszFolder) {
    // A folder's pages, one level deep, in directory-search order.
    wchar_t szEntry[kJobPathBuf + 16];
    WIN32_FIND_DATAW fd;
    CFindHandle hFind;
    if (JoinPath(pszFolder, L"*.*htm*", szEntry, sizeof szEntry / sizeof szEntry[0]))
        hFind.Reset(FindFirstFileW(CFilePath(szEntry).Get(), &fd));
    if (!hFind.IsValid()) {
        // An empty folder is no failure; one whose entries cannot be read is.
        const DWORD dwError = GetLastError();
        if (dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_NO_MORE_FILES) {
            const wchar_t* pszName = FileNamePart(pszFolder);
            Refuse(pszName, wcslen(pszName), STATUS_FOLDER_UNREADABLE);
        }
        return;
    }
    do {
        if (!IsPage(fd.cFileName))
            continue;
        if (!JoinPath(pszFolder, fd.cFileName, szEntry, kJobPathBuf)) {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                Refuse(fd.cFileName, wcslen(fd.cFileName), STATUS_PATH_TOO_LONG);
            continue;
        }
        // An entry whose attributes cannot be read back (gone meanwhile, or
        // refused) is told from a folder by the search's own attributes, and
        // such a page still becomes a job, reported on like a missing page
        // rather than passed over in silence.
        DWORD dwAttr = GetFileAttributesW(CFilePath(szEntry).Get());
        if (dwAttr == INVALID_FILE_ATTRIBUTES)
            dwAttr = fd.dwFileAttributes;
        if (!(dwAttr & FILE_ATTRIBUTE_DIRECTORY))
            Page(szEntry);
    } while (FindNextFileW(hFind.Get(), &fd));
}

void PageIntake::AddPattern(const wchar_t* pszPattern) {
    // Windows matches a pattern in the last component only: one in a
    // folder's name matches nothing.
    const wchar_t* pszName = FileNamePart(pszPattern);
    WIN32_FIND_DATAW fd;
    CFindHandle hFind;
    if (FindWildcard(pszPattern) >= pszName)
        hFind.Reset(FindFirstFileW(CFilePath(pszPattern).Get(), &fd));
    bool bMatched = false;
    if (hFind.IsValid()) {
        wchar_t szFolder[kJobPathBuf];
        const size_t nFolder = size_t(pszName - pszPattern); // with its separator
        wmemcpy(szFolder, pszPattern, nFolder);
        szFolder[nFolder] = L'\0';
        do {
            if (IsDotEntry(fd.cFileName))
                continue;
            bMatched = true;
            wchar_t szMatch[kJobPathBuf];
            if (!JoinPath(szFolder, fd.cFileName, szMatch, kJobPathBuf)) {
                if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsPage(fd.cFileName))
                    Refuse(fd.cFileName, wcslen(fd.cFileName), STATUS_PATH_TOO_LONG);
                continue;
            }
            // The name is the stored one already: no resolving.
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                AddFolder(szMatch);
            else if (IsPage(szMatch))
                Page(szMatch);
        } while (FindNextFileW(hFind.Get(), &fd));
    }
    if (!bMatched) {
        const wchar_t* pszShown = WildcardComponent(pszPattern);
        Refuse(pszShown, wcslen(pszShown), STATUS_WILDCARD_NAME);
    }
}

void PageIntake::AddCmdLine(const wchar_t* pszTail) {
    CmdLineSplitter split(pszTail);
    const wchar_t* pToken;
    size_t nToken;
    while (split.Next(&pToken, &nToken))
        AddPath(pToken, nToken, true);
}
