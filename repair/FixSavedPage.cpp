// The Windows file shell of the page repair: open without sharing, one
// read, the rewrite, one write, cut; the original bytes go back on failure.
#include "repair/FixSavedPage.h"

#include "fw/Handle.h"
#include "fw/LongPath.h"
#include "repair/PageRewrite.h"
#include "repair/PageWriteOps.h"

#include <windows.h>

#include <climits>
#include <cstdlib>
#include <memory>

PageWriteOps g_pageWriteOps = {SetFilePointer, WriteFile, SetEndOfFile};

namespace {

// Writes cb bytes at the start of the file and cuts it there; false when
// any of the three steps fails.
bool WriteWhole(HANDLE h, const char* p, DWORD cb) {
    const PageWriteOps& ops = g_pageWriteOps;
    if (ops.pfnSetFilePointer(h, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return false;
    static const char kNothing = 0;
    DWORD written = 0;
    if (!ops.pfnWriteFile(h, cb ? p : &kNothing, cb, &written, nullptr) || written != cb)
        return false;
    return ops.pfnSetEndOfFile(h) != FALSE;
}

} // namespace

bool FixSavedPage(const wchar_t* pszPath, const char* pszFolderSuffix) {
    CFileHandle file(
        CreateFileW(CFilePath(pszPath).Get(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.IsValid())
        return false;
    // A read-only page stays as it is, also where the open itself does not
    // refuse write access (an administrator's process under some hosts).
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
        return false;
    // A page of 2 GiB or more cannot be held as one text; the high part of
    // the size must not be dropped, or the write-back would cut the page.
    DWORD sizeHigh = 0;
    const DWORD size = GetFileSize(file.Get(), &sizeHigh);
    if ((size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || sizeHigh != 0 ||
        size >= static_cast<DWORD>(INT_MAX))
        return false;

    std::unique_ptr<char, MallocDeleter> page(static_cast<char*>(std::malloc(size + 1)));
    if (!page)
        return false;
    DWORD read = 0;
    if (!ReadFile(file.Get(), page.get(), size, &read, nullptr) || read != size)
        return false;
    page.get()[size] = '\0';

    GrowBufOwner out;
    switch (RewriteSavedPage(page.get(), static_cast<int32_t>(size), &out.buf, nullptr,
                             pszFolderSuffix)) {
    case PageRepair::Leave:
        return false;
    case PageRepair::ZeroByte:
    case PageRepair::Unchanged:
        return true; // left as it is on purpose, or the same bytes: nothing to write
    case PageRepair::Rewritten:
        break;
    }
    if (WriteWhole(file.Get(), out.buf.data, static_cast<DWORD>(out.buf.used)))
        return true;
    // The page text was never modified: put it back as it was read.
    WriteWhole(file.Get(), page.get(), size);
    return false;
}
