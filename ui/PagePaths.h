// Which pages the paths of one batch name, by the intake's rules, apart from
// the jobs made of them: the main window posts a job for each page, and
// halvok-run counts the lines a command-line run will show. Paths are UTF-16
// throughout, so that names in any script are found, and may be as long as
// a job's path field holds (1023 characters), past MAX_PATH.
#pragma once

#include <cstddef>
#include <cstdint>

// The longest path a job holds, its NUL included.
constexpr size_t kJobPathBuf = 1024;

// Writes into pszOut (kJobPathBuf characters) the path with its last
// component spelled as the file system stores it (letter case, the long name
// for a short alias). The last component follows the last "\" or "/". A path
// without either is returned as given. A path that does not fit, or that the
// stored name makes too long, leaves pszOut empty.
void ResolveFileName(const wchar_t* pszPath, wchar_t* pszOut);

// What the intake hands on, in order: a page's path, for a job (nStatus
// STATUS_OK), or, for an input it cannot take, the name its result line
// shows and the status that says why (STATUS_PATH_TOO_LONG,
// STATUS_WILDCARD_NAME, STATUS_NAME_REFUSED, STATUS_FOLDER_UNREADABLE).
// Nothing it is given is passed over in silence, but for a path that is
// neither a page nor a folder of pages.
using IntakeFn = void (*)(const wchar_t* pszPathOrName, int32_t nStatus, void* pContext);

// One batch: one drop, or the command line. Each page is handed on once,
// however often its paths name it.
class PageIntake {
  public:
    PageIntake(IntakeFn pfn, void* pContext) : m_pfn(pfn), m_pContext(pContext) {}
    ~PageIntake();
    PageIntake(const PageIntake&) = delete;
    PageIntake& operator=(const PageIntake&) = delete;

    // One path, nPath characters at pPath (not necessarily NUL-terminated).
    // A page, or a folder whose pages (one level deep, in directory-search
    // order) are taken; a path whose attributes cannot be read is taken for
    // a page, so that a missing page is reported on. With bPattern (the
    // command line), a "*" or "?" after the long-path prefix makes a
    // pattern: every entry it matches is taken as if named.
    void AddPath(const wchar_t* pPath, size_t nPath, bool bPattern);

    // Every path of a command-line tail (see CmdLine.h), patterns included.
    // pszTail may be null.
    void AddCmdLine(const wchar_t* pszTail);

  private:
    void AddResolved(const wchar_t* pszPath);
    void AddFolder(const wchar_t* pszFolder);
    void AddPattern(const wchar_t* pszPattern);
    void Page(const wchar_t* pszPath);
    void Refuse(const wchar_t* pName, size_t nName, int32_t nStatus);
    bool Seen(const wchar_t* pszPath);

    IntakeFn m_pfn;
    void* m_pContext;
    // The pages handed on, as keys that name a file one way only (full
    // path, ordinary form, upper case), sorted; from malloc.
    wchar_t** m_ppSeen = nullptr;
    size_t m_nSeen = 0, m_nSeenCapacity = 0;
};
