// The archiver's command line, built from the user's template and the page's
// path. No Win32 call: the launch itself lives in Archiver.cpp.
#pragma once

#include <cstddef>

// Size of each working buffer of one archiver launch (stem, folder, command
// line), terminating NUL included.
constexpr size_t kArcBufSize = 4096;

// Splits a page's path at the last '.' of the whole string (folders
// included): pszStem gets the part before it, pszFolder the same followed by
// "_files". A path without any '.' gives the whole path in both, with no
// "_files". Each buffer holds cchBuf bytes. Returns false, leaving both
// buffers empty, when either result would not fit.
bool SplitArcPath(const char* pszPath, char* pszStem, char* pszFolder, size_t cchBuf);

// Fills pszOut (cchOut bytes) from the template. The template is plain text,
// never a printf format: its first three "%s" are replaced by pszStem,
// pszPath and pszFolder in that order, "%%" becomes "%", and every other
// character, any other "%" sequence and any "%s" after the third included,
// is copied as it stands. Nothing is added around the strings. Returns false
// when the result would not fit; pszOut is then the empty string. Nothing is
// ever written past cchOut bytes.
bool FormatArcCmd(char* pszOut, size_t cchOut, const char* pszTemplate, const char* pszStem,
                  const char* pszPath, const char* pszFolder);
