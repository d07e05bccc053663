// The archiver's command line, built from the user's template and the page's
// path, all UTF-16 text. No Win32 call: the launch itself lives in Archiver.cpp.
#pragma once

#include <cstddef>
#include <cwchar>

// Size of each working buffer of one archiver launch (stem, folder, command
// line), in UTF-16 units, terminating NUL included.
constexpr size_t kArcBufSize = 4096;

// Splits a page's path at the last '.' of the whole string (folders
// included): pszStem gets the part before it, pszFolder the same followed by
// pszFolderSuffix (UTF-8: "_files", or the suffix of the folder found on
// disk), widened to UTF-16. A path without any '.' gives the whole path in both, with no
// suffix. Each buffer holds cchBuf units. Returns false, leaving both
// buffers empty, when either result would not fit.
bool SplitArcPath(const wchar_t* pszPath, const char* pszFolderSuffix, wchar_t* pszStem,
                  wchar_t* pszFolder, size_t cchBuf);

// Fills pszOut (cchOut units) from the template. The template is plain text,
// never a printf format: its first three "%s" are replaced by pszStem,
// pszPath and pszFolder in that order, "%%" becomes "%", and every other
// character, any other "%" sequence and any "%s" after the third included,
// is copied as it stands. Nothing is added around the strings. Returns false
// when the result would not fit; pszOut is then the empty string. Nothing is
// ever written past cchOut units.
bool FormatArcCmd(wchar_t* pszOut, size_t cchOut, const wchar_t* pszTemplate,
                  const wchar_t* pszStem, const wchar_t* pszPath, const wchar_t* pszFolder);

// True when the path holds "*" or "?" after its long-path prefix ("\\?\",
// "\\?\UNC\", "\\.\"): it names no Windows file, and an archiver would
// take it as a pattern and act on the files it matches.
bool HasWildcard(const wchar_t* pszPath);
