// The "\\?\" form of long paths: see LongPath.h.
#include "fw/LongPath.h"

#include <cwchar>

CFilePath::CFilePath(const wchar_t* pszPath) : m_psz(pszPath) {
    if (wcslen(pszPath) < MAX_PATH || wcsncmp(pszPath, L"\\\\?\\", 4) == 0 ||
        wcsncmp(pszPath, L"\\\\.\\", 4) == 0)
        return;
    // The full path lands behind room for the longer prefix, "\\?\UNC".
    constexpr DWORD kRoom = 7;
    wchar_t* pszFull = m_sz + kRoom;
    const DWORD n = GetFullPathNameW(pszPath, kBuf - kRoom, pszFull, nullptr);
    if (n == 0 || n >= kBuf - kRoom)
        return;
    if (pszFull[0] == L'\\' && pszFull[1] == L'\\') {
        // \\server\share\x becomes \\?\UNC\server\share\x: "\\?\UNC" takes
        // the place before the full path's second backslash.
        wmemcpy(pszFull - 6, L"\\\\?\\UNC", 7);
        m_psz = pszFull - 6;
    } else {
        wmemcpy(pszFull - 4, L"\\\\?\\", 4);
        m_psz = pszFull - 4;
    }
}
