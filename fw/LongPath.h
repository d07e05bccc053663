// Paths past MAX_PATH for the file functions: the "\\?\" form, built by the
// program itself (the shell's path helpers stop at MAX_PATH).
#pragma once

#include <windows.h>

// The path as the file functions take it at any length: the path itself
// while it is shorter than MAX_PATH or already in the "\\?\" or "\\.\"
// form; otherwise "\\?\" (or "\\?\UNC\" for a network path) before its full
// path, which the functions take up to 32,767 characters. A path whose full
// path cannot be had is passed on as it is, and the call then fails as it
// would have. Valid for the life of the object and of pszPath.
class CFilePath {
  public:
    explicit CFilePath(const wchar_t* pszPath);
    CFilePath(const CFilePath&) = delete;
    CFilePath& operator=(const CFilePath&) = delete;
    const wchar_t* Get() const { return m_psz; }

  private:
    // A job path holds at most 1023 characters; a relative one grows by the
    // current folder's path.
    static constexpr DWORD kBuf = 2048;
    const wchar_t* m_psz;
    wchar_t m_sz[kBuf];
};
